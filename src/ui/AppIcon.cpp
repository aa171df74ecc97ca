#include "ui/AppIcon.h"

#include "platform/AppIdentity.h"
#include "ui/Accent.h"
#include "ui/Icons.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillet {

namespace {

void paintIcon(QPainter& p, const QRectF& rect)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // A tile with the margin and corner of the desktop's usual application icons.
    const qreal side = qMin(rect.width(), rect.height());
    const QRectF tile(
        rect.center().x() - side * 0.42, rect.center().y() - side * 0.42, side * 0.84, side * 0.84);
    QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
    fill.setColorAt(0, srgb(0.25, 0.68, 1.0));
    fill.setColorAt(1, srgb(0.10, 0.48, 0.95));
    QPainterPath path;
    path.addRoundedRect(tile, side * 0.2, side * 0.2);
    p.fillPath(path, fill);
    const qreal inset = side * 0.2;
    drawSymbol(
        p, QStringLiteral("scissors"), tile.adjusted(inset, inset, -inset, -inset), Qt::white, 1.2);
    p.restore();
}

class AppIconEngine final : public QIconEngine {
public:
    void paint(QPainter* p, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        paintIcon(*p, rect);
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
        paintIcon(p, QRectF(QPointF(0, 0), QSizeF(size)));
        return pm;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    // Sizes a window manager picks from for the window's icon property.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64), QSize(128, 128)};
    }
    QIconEngine* clone() const override { return new AppIconEngine; }
    QString key() const override { return QStringLiteral("quillet-app-icon"); }
};

} // namespace

QIcon applicationIcon()
{
    const QIcon themed = QIcon::fromTheme(QString::fromLatin1(appId));
    if (!themed.isNull())
        return themed;
    return QIcon(new AppIconEngine);
}

} // namespace quillet
