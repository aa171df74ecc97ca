#include "ui/Icons.h"

#include "ui/SymbolInk.h"
#include "ui/SymbolPaths.h"

#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QMutex>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>

namespace quillet {

namespace {

// Building a symbol runs path boolean operations; menus repaint often, so each (name, weight)
// is built once.
std::optional<QPainterPath> cachedPath(const QString& name, qreal weight)
{
    static QMutex mutex;
    static QHash<QString, std::optional<QPainterPath>> cache;
    const QString key = name + QLatin1Char('@') + QString::number(weight, 'g', 4);
    QMutexLocker lock(&mutex);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, symbolPath(name, weight));
    return *it;
}

// Renders a symbol anew for every size and pixel ratio asked for, so a menu on a 2x screen gets
// a 2x drawing and not an enlarged 1x one.
class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(const QString& name, const QColor& color)
        : name(name)
        , color(color)
    { }

    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        drawSymbol(*p, name, rect, colorFor(mode));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels already; QIcon sets the ratio on what is returned.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        if (size.isEmpty())
            return {};
        const QColor c = colorFor(mode);
        const QString key = QStringLiteral("quillet-symbol:%1:%2:%3x%4:%5")
                                .arg(name, c.name(QColor::HexArgb))
                                .arg(size.width())
                                .arg(size.height())
                                .arg(scale);
        QPixmap pm;
        if (QPixmapCache::find(key, &pm))
            return pm;
        pm = QPixmap(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            drawSymbol(p, name, QRectF(QPointF(0, 0), QSizeF(size)), c);
        }
        QPixmapCache::insert(key, pm);
        return pm;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {}; }
    QIconEngine* clone() const override { return new SymbolIconEngine(name, color); }
    QString key() const override { return QStringLiteral("quillet-symbol"); }
    QString iconName() override { return name; }
    bool isNull() override { return !hasSymbol(name); }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        switch (mode) {
        case QIcon::Disabled: {
            QColor c = color;
            c.setAlphaF(color.alphaF() * 0.35f);
            return c;
        }
        case QIcon::Selected:
            // Selected menu and list rows paint a highlight; the symbol follows the row's text.
            return QGuiApplication::palette().color(QPalette::HighlightedText);
        case QIcon::Normal:
        case QIcon::Active:
            break;
        }
        return color;
    }

    QString name;
    QColor color;
};

} // namespace

bool drawSymbol(
    QPainter& p, const QString& name, const QRectF& rect, const QColor& color, qreal weight)
{
    const std::optional<QPainterPath> path = cachedPath(name, weight);
    if (!path)
        return false;
    if (rect.isEmpty())
        return true;
    const qreal side = std::min(rect.width(), rect.height());
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.translate(rect.center());
    p.scale(side / symbolGrid, side / symbolGrid);
    p.translate(-symbolGrid / 2, -symbolGrid / 2);
    p.drawPath(*path);
    p.restore();
    return true;
}

QIcon symbolIcon(const QString& name, const QColor& color)
{
    return QIcon(new SymbolIconEngine(name, color));
}

bool hasSymbol(const QString& name)
{
    return cachedPath(name, 1.0).has_value();
}

} // namespace quillet
