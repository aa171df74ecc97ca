#include "capture/annotation/RenderCache.h"

#include <QImage>
#include <QTransform>
#include <cmath>
#include <list>

namespace quillet::RenderCache {

namespace {

// Room for every layer of a busy 4K capture; a full-screen rectangle's layer alone is ~33 MB.
constexpr qint64 budget = 192LL * 1024 * 1024;

// What a layer depends on. An annotation moved by whole device pixels looks the same, only
// elsewhere, so the key holds its shape relative to its first point and where that point falls
// within a device pixel; the layer's position is kept relative to that pixel. (Dragging a text or
// moving the selection with everything on it then reuses every layer.) A layer cut off by the
// device's edge is only good where it is, and keeps its absolute place in the key.
struct Key {
    Annotation shape; // points relative to the first one
    qreal m11 = 1, m12 = 0, m21 = 0, m22 = 1;
    QPointF fraction; // of the first point, in device pixels
    bool absolute = false;
    QPoint anchor; // the first point's device pixel, in the key only when absolute

    bool operator==(const Key&) const = default;
};

struct Entry {
    size_t hash = 0;
    Key key;
    QPoint offset; // the layer's top-left corner from the anchor pixel
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

size_t hashOf(const Key& k)
{
    const Annotation& a = k.shape;
    size_t h = qHashMulti(0, int(a.tool), a.color.rgba(), a.width, a.text, a.style);
    for (const QPointF& pt : a.points)
        h = qHashMulti(h, pt.x(), pt.y());
    h = qHashMulti(h, k.m11, k.m12, k.m21, k.m22, k.fraction.x(), k.fraction.y(), k.absolute);
    return k.absolute ? qHashMulti(h, k.anchor.x(), k.anchor.y()) : h;
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
    const QRect full = t.mapRect(bounds).toAlignedRect().adjusted(-1, -1, 1, 1);
    const QRect area = full.intersected(deviceRect(p));
    if (area.isEmpty())
        return;

    const QPointF first = a.points.value(0);
    const QPointF devFirst = t.map(first);
    const QPoint anchor(int(std::floor(devFirst.x())), int(std::floor(devFirst.y())));
    Key key {a, t.m11(), t.m12(), t.m21(), t.m22(), devFirst - QPointF(anchor), area != full,
        area != full ? anchor : QPoint()};
    for (QPointF& pt : key.shape.points)
        pt -= first;

    Store& s = store();
    const size_t h = hashOf(key);
    auto it = s.entries.begin();
    for (; it != s.entries.end(); ++it) {
        if (it->hash == h && it->key == key)
            break;
    }
    if (it == s.entries.end()) {
        Entry e {h, std::move(key), area.topLeft() - anchor, render(p, area, draw)};
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
    blit(p, anchor + it->offset, it->image);
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
