#pragma once

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <cmath>

namespace quillet {

// Draws images in device pixels. Where a piece of an image is as large in pixels as its place on
// screen, the painter copies it instead of resampling it; and only what lies in the exposed
// region is touched at all.
class DeviceBlit {
public:
    DeviceBlit(QPainter& p, const QRegion& exposed)
        : m_p(p)
        , m_dpr(p.device() ? p.device()->devicePixelRatioF() : 1.0)
        , m_exposed(exposed)
        , m_box(exposed.boundingRect())
    {
        m_p.save();
        m_p.setWorldTransform(QTransform::fromScale(1 / m_dpr, 1 / m_dpr));
    }
    ~DeviceBlit() { m_p.restore(); }
    DeviceBlit(const DeviceBlit&) = delete;
    DeviceBlit& operator=(const DeviceBlit&) = delete;

    // `target` in widget points, `source` in the image's pixels.
    void draw(const QRectF& target, const QImage& image, const QRectF& source)
    {
        if (!target.intersects(m_box))
            return;
        const qreal kx = source.width() / target.width(), ky = source.height() / target.height();
        for (const QRect& e : m_exposed) {
            const QRectF sub = target.intersected(QRectF(e));
            if (sub.isEmpty())
                continue;
            const QRectF from(source.x() + (sub.x() - target.x()) * kx,
                source.y() + (sub.y() - target.y()) * ky, sub.width() * kx, sub.height() * ky);
            const QRectF to = device(sub);
            // A clip of one rectangle lets the painter copy rows instead of blending span by
            // span; the paint event's own clip is a region of many.
            m_p.save();
            m_p.setClipRect(to, Qt::IntersectClip);
            m_p.drawImage(to, image, from);
            m_p.restore();
        }
    }
    void fill(const QRectF& target, const QColor& color)
    {
        if (!target.intersects(m_box))
            return;
        for (const QRect& e : m_exposed) {
            const QRectF sub = target.intersected(QRectF(e));
            if (!sub.isEmpty())
                m_p.fillRect(device(sub), color);
        }
    }

private:
    QRectF device(const QRectF& r) const
    {
        const QPointF a(std::round(r.left() * m_dpr), std::round(r.top() * m_dpr));
        const QPointF b(std::round(r.right() * m_dpr), std::round(r.bottom() * m_dpr));
        return QRectF(a, b);
    }

    QPainter& m_p;
    qreal m_dpr;
    const QRegion& m_exposed;
    QRectF m_box;
};

} // namespace quillet
