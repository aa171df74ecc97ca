#include "ui/AppIcons.h"

#include "platform/AppIdentity.h"
#include "ui/Accent.h"
#include "ui/Icons.h"
#include "ui/SymbolPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIconEngine>
#include <QPainterPathStroker>
#include <QPixmap>

namespace quillet {

namespace {

constexpr qreal grid = 24.0;
constexpr qreal haloWidth = 2.6; // grid units, twice the halo's reach beyond the ink

QString appIconName()
{
    return QString::fromLatin1(appId);
}

QString trayIconName()
{
    return QString::fromLatin1(appId) + QStringLiteral("-symbolic");
}

// Draws anew at every size and ratio asked for, like the symbol icons.
class PaintedIconEngine final : public QIconEngine {
public:
    using Painter = void (*)(QPainter&, const QRectF&);
    explicit PaintedIconEngine(Painter painter)
        : painter(painter)
    { }

    void paint(QPainter* p, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        painter(*p, rect);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal) override
    {
        if (size.isEmpty())
            return {};
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        painter(p, QRectF(QPointF(0, 0), QSizeF(size)));
        return pm;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new PaintedIconEngine(painter); }
    QString key() const override { return QStringLiteral("quillet-painted"); }

private:
    Painter painter;
};

// Maps the 24-unit grid onto the square centred in `rect`.
void fitGrid(QPainter& p, const QRectF& rect)
{
    const qreal side = std::min(rect.width(), rect.height());
    p.translate(rect.center());
    p.scale(side / grid, side / grid);
    p.translate(-grid / 2, -grid / 2);
}

void drawTrayGlyph(QPainter& p, const QRectF& rect)
{
    static const TrayGlyph glyph = trayGlyph();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    fitGrid(p, rect);
    p.setBrush(QColor::fromRgba(trayGlyphHalo));
    p.drawPath(glyph.halo);
    p.setBrush(QColor::fromRgba(trayGlyphInk));
    p.drawPath(glyph.ink);
    p.restore();
}

} // namespace

void addInstalledIconPaths()
{
    const QString icons = QDir::cleanPath(
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/icons"));
    QStringList paths = QIcon::themeSearchPaths();
    if (QFileInfo(icons).isDir() && !paths.contains(icons)) {
        paths.prepend(icons);
        QIcon::setThemeSearchPaths(paths);
    }
    // Without a desktop session Qt may know no theme at all; hicolor is where applications
    // install their icons and every theme falls back to it.
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName(QStringLiteral("hicolor"));
}

bool appIconFromTheme()
{
    return QIcon::hasThemeIcon(appIconName());
}

bool trayIconFromTheme()
{
    return QIcon::hasThemeIcon(trayIconName());
}

QIcon appIcon()
{
    if (appIconFromTheme())
        return QIcon::fromTheme(appIconName());
    return QIcon(new PaintedIconEngine(drawAppIcon));
}

QIcon trayIcon()
{
    if (trayIconFromTheme())
        return QIcon::fromTheme(trayIconName());
    return QIcon(new PaintedIconEngine(drawTrayGlyph));
}

TrayGlyph trayGlyph()
{
    TrayGlyph g;
    g.ink = symbolPath(QStringLiteral("scissors"), 1.15).value_or(QPainterPath());
    QPainterPathStroker stroker;
    stroker.setWidth(haloWidth);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    g.halo = stroker.createStroke(g.ink).united(g.ink).simplified();
    return g;
}

void drawAppIcon(QPainter& p, const QRectF& rect)
{
    const qreal side = std::min(rect.width(), rect.height());
    const QRectF tile(rect.center() - QPointF(side, side) * 0.45, QSizeF(side, side) * 0.9);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(accent());
    p.drawRoundedRect(tile, side * 0.2, side * 0.2);
    p.restore();
    drawSymbol(p, QStringLiteral("scissors"),
        tile.adjusted(side * 0.16, side * 0.16, -side * 0.16, -side * 0.16), Qt::white, 1.3);
}

} // namespace quillet
