#include "capture/annotation/RenderCache.h"

#include <QImage>
#include <QTransform>
#include <list>

namespace quillet::RenderCache {

namespace {

// Room for every layer of a busy 4K capture; a full-screen rectangle's layer alone is ~33 MB.
constexpr qint64 budget = 192LL * 1024 * 1024;

struct Entry {
    size_t hash = 0;
    Annotation annotation;
    QTransform transform;
    QPoint origin; // device pixels
    QImage image;
};

struct Store {
    std::list<Entry> entries; // most recently used first
    qint64 bytes = 0;
};

Store& store()
{
    static Store s;
    return s;
}

size_t hashOf(const Annotation& a, const QTransform& t)
{
    size_t h = qHashMulti(0, int(a.tool), a.color.rgba(), a.width, a.text, a.style);
    for (const QPointF& pt : a.points)
        h = qHashMulti(h, pt.x(), pt.y());
    return qHashMulti(h, t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy());
}

// The painter's device in device pixels.
QRect deviceRect(QPainter& p)
{
    p.save();
    p.resetTransform();
    const QRect dev = p.deviceTransform().mapRect(QRectF(p.window())).toAlignedRect();
    p.restore();
    return dev;
}

QImage render(QPainter& p, const QRect& area, const std::function<void(QPainter&)>& draw)
{
    QImage img(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (img.isNull())
        return img;
    img.fill(Qt::transparent);
    QPainter lp(&img);
    lp.setRenderHints(p.renderHints());
    lp.setTransform(p.deviceTransform() * QTransform::fromTranslate(-area.x(), -area.y()));
    draw(lp);
    return img;
}

void blit(QPainter& p, const QPoint& origin, const QImage& img)
{
    p.save();
    p.resetTransform();
    const QTransform toDevice = p.deviceTransform(); // only the device pixel ratio is left
    p.setWorldTransform(toDevice.inverted());
    p.drawImage(origin, img);
    p.restore();
}

void evict(Store& s)
{
    while (s.bytes > budget && !s.entries.empty()) {
        s.bytes -= s.entries.back().image.sizeInBytes();
        s.entries.pop_back();
    }
}

} // namespace

void paint(QPainter& p, const Annotation& a, const QRectF& bounds,
    const std::function<void(QPainter&)>& draw)
{
    const QTransform t = p.deviceTransform();
    // Only plain scales and translations keep a layer pixel-exact; anything else draws live.
    if (t.isRotating() || bounds.isEmpty()) {
        draw(p);
        return;
    }
    const QRect area
        = t.mapRect(bounds).toAlignedRect().adjusted(-1, -1, 1, 1).intersected(deviceRect(p));
    if (area.isEmpty())
        return;

    Store& s = store();
    const size_t h = hashOf(a, t);
    auto it = s.entries.begin();
    for (; it != s.entries.end(); ++it) {
        if (it->hash == h && it->origin == area.topLeft() && it->transform == t
            && it->annotation == a)
            break;
    }
    if (it == s.entries.end()) {
        Entry e {h, a, t, area.topLeft(), render(p, area, draw)};
        if (e.image.isNull() || e.image.sizeInBytes() > budget / 2) {
            draw(p); // too large to be worth keeping
            return;
        }
        s.bytes += e.image.sizeInBytes();
        s.entries.push_front(std::move(e));
        evict(s);
        it = s.entries.begin();
    } else if (it != s.entries.begin()) {
        s.entries.splice(s.entries.begin(), s.entries, it);
        it = s.entries.begin();
    }
    blit(p, it->origin, it->image);
}

void clear()
{
    store().entries.clear();
    store().bytes = 0;
}

qint64 bytes()
{
    return store().bytes;
}

} // namespace quillet::RenderCache
