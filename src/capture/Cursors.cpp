#include "capture/Cursors.h"

#include "ui/Icons.h"

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <array>
#include <cmath>

namespace quillet::Cursors {

namespace {

constexpr qreal symbolSide = 16; // the arrow at 15 points, bold, fills about 16 points
const QString moveSymbol = QStringLiteral("arrow.up.and.down.and.arrow.left.and.right");

std::optional<QCursor> makeMove(qreal dpr)
{
    const qreal side = symbolSide + 4;
    const int px = int(std::ceil(side * dpr));
    QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    img.setDevicePixelRatio(dpr);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // The outline is the white arrow stamped around the black one; the offsets are symmetric,
    // so y-up and y-down give the same picture.
    static constexpr std::array<QPointF, 8> ring
        = {QPointF(0.8, 0.8), QPointF(0.8, 2), QPointF(0.8, 3.2), QPointF(2, 0.8), QPointF(2, 3.2),
            QPointF(3.2, 0.8), QPointF(3.2, 2), QPointF(3.2, 3.2)};
    for (const QPointF& o : ring) {
        if (!drawSymbol(p, moveSymbol, QRectF(o, QSizeF(symbolSide, symbolSide)), Qt::white, 1.6))
            return std::nullopt;
    }
    drawSymbol(
        p, moveSymbol, QRectF(QPointF(2, 2), QSizeF(symbolSide, symbolSide)), Qt::black, 1.6);
    p.end();
    QPixmap pm = QPixmap::fromImage(img);
    pm.setDevicePixelRatio(dpr);
    return QCursor(pm, int(side / 2), int(side / 2));
}

} // namespace

QCursor move(qreal devicePixelRatio)
{
    static QHash<int, QCursor> made;
    const int key = qRound(devicePixelRatio * 100);
    auto it = made.constFind(key);
    if (it != made.constEnd())
        return *it;
    const QCursor c = makeMove(devicePixelRatio).value_or(QCursor(Qt::OpenHandCursor));
    made.insert(key, c);
    return c;
}

QCursor diagonal(bool nwse)
{
    return QCursor(nwse ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
}

} // namespace quillet::Cursors
