#include "capture/annotation/ShadowCache.h"

#include <QImage>
#include <QTransform>
#include <cmath>
#include <list>

namespace quillet::ShadowCache {

namespace {

// Enough for every shadow of a busy 4K capture; one full-screen rectangle's shadow is ~33 MB.
constexpr qint64 budget = 160LL * 1024 * 1024;

struct Entry {
    size_t hash = 0;
    Annotation annotation;
    int pass = 0;
    QTransform transform;
    QRgb color = 0;
    QPoint origin; // device pixels
    QImage image; // the shadow alone, device pixels
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

size_t hashOf(const Annotation& a, int pass, const QTransform& t, QRgb color)
{
    size_t h = qHashMulti(0, int(a.tool), a.color.rgba(), a.width, a.text, a.style, pass, color);
    for (const QPointF& pt : a.points)
        h = qHashMulti(h, pt.x(), pt.y());
    return qHashMulti(h, t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy());
}

// The device-pixel area the shadow covers: the shape's bounds, grown by the blur's reach and
// the offset, kept to the device (a huge shape must not cost a huge blur).
QRect shadowArea(QPainter& p, const Shadow& shadow, const QRectF& bounds)
{
    const QTransform dt = p.deviceTransform();
    const qreal unit = std::sqrt(std::abs(dt.determinant()));
    const QPointF off = dt.map(shadow.offset) - dt.map(QPointF(0, 0));
    const int margin = int(std::ceil(shadow.blur * unit * 1.5)) + 3
        + int(std::ceil(std::abs(off.x()) + std::abs(off.y())));
    QRect area = dt.mapRect(bounds).toAlignedRect().adjusted(-margin, -margin, margin, margin);
    p.save();
    p.resetTransform();
    const QRect dev = p.deviceTransform().mapRect(QRectF(p.window())).toAlignedRect();
    p.restore();
    return area.intersected(dev.adjusted(-margin, -margin, margin, margin));
}

QImage renderShadow(QPainter& p, const QRect& area, const Shadow& shadow, const QRectF& bounds,
    const std::function<void(QPainter&)>& draw)
{
    QImage img(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (img.isNull())
        return img;
    img.fill(Qt::transparent);
    QPainter cp(&img);
    cp.setRenderHints(p.renderHints());
    cp.setTransform(p.deviceTransform() * QTransform::fromTranslate(-area.x(), -area.y()));
    // paintWithShadow paints the silhouette with its own painter and then the shape with ours;
    // only the shadow is wanted here, the shape is drawn live on top.
    paintWithShadow(cp, shadow, bounds, [&](QPainter& q) {
        if (&q != &cp)
            draw(q);
    });
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

void paint(QPainter& p, const Annotation& a, int pass, const Shadow& shadow, const QRectF& bounds,
    const std::function<void(QPainter&)>& draw, bool cache)
{
    if (shadow.isNone() || bounds.isEmpty()) {
        draw(p);
        return;
    }
    const QRect area = shadowArea(p, shadow, bounds);
    if (area.isEmpty()) {
        draw(p);
        return;
    }
    if (!cache) {
        blit(p, area.topLeft(), renderShadow(p, area, shadow, bounds, draw));
        draw(p);
        return;
    }

    Store& s = store();
    const QTransform t = p.deviceTransform();
    const QRgb color = shadow.color.rgba();
    const size_t h = hashOf(a, pass, t, color);
    auto it = s.entries.begin();
    for (; it != s.entries.end(); ++it) {
        if (it->hash == h && it->pass == pass && it->color == color && it->transform == t
            && it->origin == area.topLeft() && it->annotation == a)
            break;
    }
    if (it == s.entries.end()) {
        Entry e {h, a, pass, t, color, area.topLeft(), renderShadow(p, area, shadow, bounds, draw)};
        s.bytes += e.image.sizeInBytes();
        s.entries.push_front(std::move(e));
        it = s.entries.begin();
        evict(s);
        if (s.entries.empty()) { // larger than the whole budget: paint it once, keep nothing
            paintWithShadow(p, shadow, bounds, draw);
            return;
        }
    } else if (it != s.entries.begin()) {
        s.entries.splice(s.entries.begin(), s.entries, it);
        it = s.entries.begin();
    }
    blit(p, it->origin, it->image);
    draw(p);
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

} // namespace quillet::ShadowCache
