#include "settings/window/components/IconTile.h"

#include "ui/Icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quillet {

IconTile::IconTile(const QString& symbol, TileColors colors, int size, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_colors(colors)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
}

IconTile::IconTile(SettingsPage page, int size, QWidget* parent)
    : IconTile(quillet::symbol(page), quillet::colors(page), size, parent)
{ }

void IconTile::setPage(SettingsPage page)
{
    m_symbol = quillet::symbol(page);
    m_colors = quillet::colors(page);
    update();
}

void IconTile::paint(
    QPainter& p, const QRectF& rect, const QString& symbol, const TileColors& colors)
{
    const qreal size = std::min(rect.width(), rect.height());
    const QRectF tile(rect.center() - QPointF(size / 2, size / 2), QSizeF(size, size));
    const qreal radius = size * 0.24;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(tile.adjusted(0.25, 0.25, -0.25, -0.25), radius, radius);
    QLinearGradient g(tile.topLeft(), tile.bottomLeft());
    g.setColorAt(0, colors.top);
    g.setColorAt(1, colors.bottom);
    p.fillPath(shape, g);
    p.setPen(QPen(QColor(255, 255, 255, 46), 0.5));
    p.drawPath(shape);
    // The symbol at half the tile, semibold, with a faint shadow half a point below.
    const qreal side = size * 0.5;
    const QRectF glyph(tile.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    drawSymbol(p, symbol, glyph.translated(0, std::max(0.5, size / 60)), QColor(0, 0, 0, 38), 1.3);
    drawSymbol(p, symbol, glyph, Qt::white, 1.3);
    p.restore();
}

void IconTile::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, rect(), m_symbol, m_colors);
}

} // namespace quillet
