// Painting the overlay: the frozen screen, its dimming, the frame with handles and size label,
// the magnifier with its colour readout; and the copy-colour action that reads it.
#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "capture/DeviceBlit.h"
#include "capture/Dimming.h"
#include "capture/MagnifierPanel.h"
#include "capture/Trace.h"
#include "output/Toast.h"
#include "platform/Geometry.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Shadow.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <cmath>

namespace quillet {

namespace {

constexpr qreal panelW = MagnifierPanel::width, panelH = MagnifierPanel::height, panelGap = 22;
const QString sizeSeparator = QStringLiteral("  ×  ");

QString hexOf(const QColor& c)
{
    return QString::asprintf("#%02X%02X%02X", c.red(), c.green(), c.blue());
}

// Draws one run of text whose line box has its bottom-left corner at `bottomLeft` (y down).
qreal drawRun(
    QPainter& p, const QFont& font, const QColor& color, const QString& text, QPointF bottomLeft)
{
    const QFontMetricsF fm(font);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QPointF(bottomLeft.x(), bottomLeft.y() - fm.descent()), text);
    return fm.horizontalAdvance(text);
}

struct LabelFonts {
    QFont digits = monospacedDigitFont(12, QFont::DemiBold);
    QFont separator = uiFont(11);
};

const LabelFonts& labelFonts()
{
    static const LabelFonts f;
    return f;
}

constexpr qreal frameLine = 1.5;
constexpr qreal glowPad = 16; // how far the glow reaches outside the region
constexpr qreal glowInside = 14; // and inside it
constexpr qreal glowRef = 48; // the region of the reference picture

Shadow frameGlow()
{
    return Shadow {QColor::fromRgbF(0.13f, 0.55f, 1.0f, 0.8f), 6, QPointF()};
}

// The glow of a frame around a reference square, blurred once per pixel ratio. Frames of any
// size are assembled from its corners and from edge strips: along a straight edge the blur of
// the line is the same everywhere, so this is the picture a blur of the whole frame gives. The
// strips are laid side by side unscaled, which the painter does as fast as a copy.
struct GlowSprites {
    QImage reference;
    QImage top, bottom; // long horizontal strips, one corner block high
    QImage left, right; // long vertical strips, one corner block wide
};

constexpr int stripLength = 1024; // device pixels

const GlowSprites& glowSprites(qreal dpr)
{
    static QHash<int, GlowSprites> made;
    const int key = qRound(dpr * 100);
    auto it = made.constFind(key);
    if (it != made.constEnd())
        return *it;
    const qreal side = 2 * glowPad + glowRef;
    GlowSprites g;
    g.reference = QImage(QSize(int(std::round(side * dpr)), int(std::round(side * dpr))),
        QImage::Format_ARGB32_Premultiplied);
    g.reference.setDevicePixelRatio(dpr);
    g.reference.fill(Qt::transparent);
    {
        QPainter p(&g.reference);
        const QRectF ref(glowPad, glowPad, glowRef, glowRef);
        QPainterPath ring;
        ring.setFillRule(Qt::OddEvenFill);
        ring.addRect(ref.adjusted(-frameLine, -frameLine, frameLine, frameLine));
        ring.addRect(ref);
        // Only the glow goes into the sprite; the line itself is painted crisp on the overlay.
        paintWithShadow(p, frameGlow(), ring.boundingRect(), [&](QPainter& q) {
            if (&q != &p)
                q.fillPath(ring, accent());
        });
    }
    const int sidePx = g.reference.width();
    const int cPx = int(std::round((glowPad + glowInside) * dpr));
    const int mid = sidePx / 2;
    auto strip = [&](bool horizontal, int from) {
        QImage out = horizontal ? QImage(stripLength, cPx, QImage::Format_ARGB32_Premultiplied)
                                : QImage(cPx, stripLength, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < out.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x) {
                row[x] = horizontal ? g.reference.pixel(mid, from + y)
                                    : g.reference.pixel(from + x, mid);
            }
        }
        out.setDevicePixelRatio(dpr);
        return out;
    };
    g.top = strip(true, 0);
    g.bottom = strip(true, sidePx - cPx);
    g.left = strip(false, 0);
    g.right = strip(false, sidePx - cPx);
    return *made.insert(key, g);
}

// Draws the glow for the frame around r (widget coordinates, on whole device pixels).
void paintGlowSprite(QPainter& p, const QRegion& exposed, const QRectF& r, qreal dpr)
{
    const GlowSprites& g = glowSprites(dpr);
    const QImage& sprite = g.reference;
    const qreal side = 2 * glowPad + glowRef;
    const qreal c = glowPad + glowInside; // corner block
    auto src = [dpr](qreal x, qreal y, qreal w, qreal h) {
        return QRectF(x * dpr, y * dpr, w * dpr, h * dpr);
    };
    const qreal x0 = r.left() - glowPad, y0 = r.top() - glowPad;
    const qreal x1 = r.right() + glowPad - c, y1 = r.bottom() + glowPad - c;
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setRenderHint(QPainter::Antialiasing, false);
    {
        DeviceBlit blit(p, exposed);
        blit.draw(QRectF(x0, y0, c, c), sprite, src(0, 0, c, c));
        blit.draw(QRectF(x1, y0, c, c), sprite, src(side - c, 0, c, c));
        blit.draw(QRectF(x0, y1, c, c), sprite, src(0, side - c, c, c));
        blit.draw(QRectF(x1, y1, c, c), sprite, src(side - c, side - c, c, c));
        const qreal step = stripLength / dpr;
        const qreal w = x1 - (x0 + c), h = y1 - (y0 + c);
        for (qreal at = 0; at < w; at += step) {
            const qreal len = std::min(step, w - at);
            blit.draw(QRectF(x0 + c + at, y0, len, c), g.top, src(0, 0, len, c));
            blit.draw(QRectF(x0 + c + at, y1, len, c), g.bottom, src(0, 0, len, c));
        }
        for (qreal at = 0; at < h; at += step) {
            const qreal len = std::min(step, h - at);
            blit.draw(QRectF(x0, y0 + c + at, c, len), g.left, src(0, 0, c, len));
            blit.draw(QRectF(x1, y0 + c + at, c, len), g.right, src(0, 0, c, len));
        }
    }
    p.restore();
}

} // namespace

// --- what is drawn where ---

QString CaptureView::sizeLabelText() const
{
    const auto r = regionOfInterest();
    if (!r)
        return {};
    return QString::number(int(r->width() * m_screen.scale)) + sizeSeparator
        + QString::number(int(r->height() * m_screen.scale));
}

std::optional<QRectF> CaptureView::sizeLabelRect() const
{
    const auto r = regionOfInterest();
    if (!r)
        return std::nullopt;
    const LabelFonts& f = labelFonts();
    const QFontMetricsF fd(f.digits), fs(f.separator);
    const qreal tw = fd.horizontalAdvance(QString::number(int(r->width() * m_screen.scale)))
        + fs.horizontalAdvance(sizeSeparator)
        + fd.horizontalAdvance(QString::number(int(r->height() * m_screen.scale)));
    const qreal th = std::ceil(std::max(fd.height(), fs.height()));
    QRectF box(minX(*r), maxY(*r) + 8, std::ceil(tw) + 20, th + 8);
    if (maxY(box) > maxY(bounds()))
        box.moveTo(minX(*r) + 8, maxY(*r) - box.height() - 8);
    box.moveLeft(std::min(box.x(), maxX(bounds()) - box.width() - 4));
    return box;
}

std::optional<QRectF> CaptureView::magnifierRect() const
{
    if (m_selected || !m_showMagnifier || !m_mouse || !regionOfInterest())
        return std::nullopt;
    const QPointF m = *m_mouse;
    QRectF panel(m.x() + panelGap, m.y() - panelGap - panelH, panelW, panelH);
    if (maxX(panel) > maxX(bounds()) - 4)
        panel.moveLeft(m.x() - panelGap - panelW);
    if (minY(panel) < 4)
        panel.moveTop(m.y() + panelGap); // y up: the bottom edge
    return panel;
}

std::optional<QColor> CaptureView::pixelColor(QPointF p) const
{
    const int px = int(p.x() * m_screen.scale);
    const int py = int((bounds().height() - p.y()) * m_screen.scale);
    if (px < 0 || py < 0 || px >= m_image.width() || py >= m_image.height())
        return std::nullopt;
    const QRgb c = m_image.pixel(px, py);
    return QColor(qRed(c), qGreen(c), qBlue(c));
}

void CaptureView::copyColor()
{
    if (!m_mouse)
        return;
    const auto color = pixelColor(*m_mouse);
    if (!color)
        return;
    const QString hex = hexOf(*color);
    QGuiApplication::clipboard()->setText(hex);
    m_session->finish(true);
    Toast::show(QStringLiteral("已复制颜色 ") + hex, {}, *color, m_screen);
}

// --- painting ---

void CaptureView::paintEvent(QPaintEvent* event)
{
    trace::mark("paint-begin");
    QPainter p(this);
    paint(p, event->region());
    trace::mark("paint-end");
    const qreal painted = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    p.end();
    m_damage = QRegion();
    repaintAtWindowScale(painted);
    QTimer::singleShot(100, this, &CaptureView::startDimming);
    if (m_session)
        m_session->viewPainted(this);
}

void CaptureView::repaintAtWindowScale(qreal painted)
{
    // Qt's Wayland window takes its output's scale when its surface enters the output, some
    // time after it was shown, and tells no widget: a frame drawn for another scale than the
    // window's buffer has would stay on screen, magnified or shrunk, until something repaints.
    QWindow* w = window()->windowHandle();
    if (!w || qFuzzyCompare(w->devicePixelRatio(), painted) || m_scaleWatch)
        return;
    const qreal buffer = w->devicePixelRatio();
    m_scaleWatch = new QTimer(this);
    m_scaleWatch->setInterval(16);
    QPointer<QWindow> window(w);
    auto* watch = m_scaleWatch;
    connect(watch, &QTimer::timeout, this, [this, window, buffer, watch, tries = 0]() mutable {
        // Two seconds on, the compositor has long placed the surface: its scale stays.
        const bool changed = window && !qFuzzyCompare(window->devicePixelRatio(), buffer);
        if (!changed && ++tries < 120)
            return;
        m_scaleWatch = nullptr;
        watch->deleteLater();
        if (changed)
            redrawAll();
    });
    watch->start();
}

void CaptureView::paint(QPainter& p, const QRegion& exposed)
{
    if (!p.isActive())
        return;
    const std::optional<QRectF> roi = regionOfInterest();
    p.save();
    // A paint event clips to its region already; a second, equal clip would only slow every
    // operation down. Painting elsewhere (tests, benchmarks) sets it here.
    if (!p.paintEngine() || p.paintEngine()->systemClip().isEmpty())
        p.setClipRegion(exposed, Qt::IntersectClip);
    paintImage(p, exposed, roi);
    if (!roi) {
        p.restore();
        return;
    }
    const qreal h = bounds().height();
    p.setRenderHint(QPainter::Antialiasing);

    // The annotation side draws in view points, y up.
    auto flipped = [&](auto&& draw) {
        p.save();
        flipPainter(p, h);
        draw();
        p.restore();
    };
    flipped([&] {
        p.setClipRect(*roi, Qt::IntersectClip);
        m_annotator->drawAnnotationPass(p, *roi);
    });

    const QRectF rw = widgetFromView(*roi, h);
    paintFrame(p, rw, exposed);
    const auto kind = m_dragMode.kind;
    if ((m_selected && (kind == DragMode::none || kind == DragMode::draw))
        || kind == DragMode::resize)
        paintHandles(p, rw, exposed);
    if (m_selected)
        flipped([&] { m_annotator->drawTextChrome(p); });
    if (const auto box = sizeLabelRect();
        box && exposed.intersects(widgetFromView(*box, h).toAlignedRect().adjusted(-2, -2, 2, 2)))
        paintSizeLabel(p, *roi);
    if (const auto panel = magnifierRect(); panel && m_mouse
        && exposed.intersects(widgetFromView(*panel, h).toAlignedRect().adjusted(-30, -30, 30, 30)))
        paintMagnifier(p, exposed, *m_mouse);
    const Annotator& a = *m_annotator;
    if (m_selected && a.tool && *a.tool != Tool::text && m_mouse && containsPoint(*roi, *m_mouse)
        && kind == DragMode::none)
        flipped([&] { m_annotator->drawBrushRing(p); });
    p.restore();
}

void CaptureView::paintImage(QPainter& p, const QRegion& exposed, const std::optional<QRectF>& roi)
{
    const qreal s = m_screen.scale;
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    // The hole's edges fall on device pixels, so every piece below is a plain copy of pixels.
    std::optional<QRectF> hole;
    if (roi) {
        const QRectF w = widgetFromView(*roi, bounds().height());
        auto snap = [dpr](qreal v) { return std::round(v * dpr) / dpr; };
        hole = QRectF(
            QPointF(snap(w.left()), snap(w.top())), QPointF(snap(w.right()), snap(w.bottom())));
    }
    const QImage& dimSource = m_dimmed.isNull() ? m_image : m_dimmed;
    const int shadeAlpha = Dimming::alphaStep(m_dimAlpha);
    const QColor shade(0, 0, 0, shadeAlpha);
    // Until the dimmed copy exists (the first paint), dimmed pixels are written straight into
    // the window's buffer where the painter allows it: one pass instead of a copy and a blend.
    const std::optional<Dimming::DirectTarget> direct
        = qFuzzyCompare(s, dpr) ? Dimming::directTarget(p) : std::nullopt;
    DeviceBlit device(p, exposed);
    auto blit = [&](const QRectF& target, const QImage& from, bool shadeIt) {
        if (target.isEmpty())
            return;
        const QRectF source(
            target.x() * s, target.y() * s, target.width() * s, target.height() * s);
        if (shadeIt && direct && source == QRectF(source.toRect())) {
            const QRect px = source.toRect();
            Dimming::darken(from, px, *direct->image, px.topLeft() + direct->offset, shadeAlpha);
            return;
        }
        device.draw(target, from, source);
        if (shadeIt)
            device.fill(target, shade);
    };
    for (const QRect& e : exposed) {
        const QRectF er(e);
        const bool shadeIt = m_dimmed.isNull();
        if (!hole || !hole->intersects(er)) {
            blit(er, dimSource, shadeIt);
            continue;
        }
        const QRectF in = er.intersected(*hole);
        blit(in, m_image, false);
        // What is left of the exposed rectangle: bands above and below, pieces left and right.
        blit(QRectF(QPointF(er.left(), er.top()), QPointF(er.right(), in.top())), dimSource,
            shadeIt);
        blit(QRectF(QPointF(er.left(), in.bottom()), QPointF(er.right(), er.bottom())), dimSource,
            shadeIt);
        blit(QRectF(QPointF(er.left(), in.top()), QPointF(in.left(), in.bottom())), dimSource,
            shadeIt);
        blit(QRectF(QPointF(in.right(), in.top()), QPointF(er.right(), in.bottom())), dimSource,
            shadeIt);
    }
}

void CaptureView::paintFrame(QPainter& p, const QRectF& region, const QRegion& exposed)
{
    // The frame is a 1.5-point line just outside the region, with an accent glow. The line sits
    // on whole device pixels, like the hole it surrounds.
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    auto snap = [dpr](qreal v) { return std::round(v * dpr) / dpr; };
    const QRectF r(QPointF(snap(region.left()), snap(region.top())),
        QPointF(snap(region.right()), snap(region.bottom())));
    const QRectF outer = r.adjusted(-frameLine, -frameLine, frameLine, frameLine);
    const QColor line = accent();
    // Four bands that tile the line.
    const QRectF bands[4] = {
        QRectF(QPointF(outer.left(), outer.top()), QPointF(outer.right(), r.top())),
        QRectF(QPointF(outer.left(), r.bottom()), QPointF(outer.right(), outer.bottom())),
        QRectF(QPointF(outer.left(), r.top()), QPointF(r.left(), r.bottom())),
        QRectF(QPointF(r.right(), r.top()), QPointF(outer.right(), r.bottom())),
    };
    if (r.width() > 2 * glowInside && r.height() > 2 * glowInside) {
        paintGlowSprite(p, exposed, r, dpr);
    } else {
        // Too small for the sprite's corners: blur this frame directly, band by band, so each
        // costs only its own length.
        for (const QRectF& band : bands) {
            if (band.isEmpty()
                || !exposed.intersects(band.adjusted(-16, -16, 16, 16).toAlignedRect()))
                continue;
            paintWithShadow(p, frameGlow(), band, [&](QPainter& q) {
                if (&q != &p)
                    q.fillRect(band, line);
            });
        }
    }
    // Each band cut to what is exposed: the rasteriser then touches only the pixels that changed.
    for (const QRect& e : exposed) {
        for (const QRectF& band : bands) {
            const QRectF part = band.intersected(QRectF(e));
            if (!part.isEmpty())
                p.fillRect(part, line);
        }
    }
}

void CaptureView::paintHandles(QPainter& p, const QRectF& r, const QRegion& exposed)
{
    const qreal xs[3] = {r.left(), r.center().x(), r.right()};
    const qreal ys[3] = {r.bottom(), r.center().y(), r.top()}; // bottom first, as in y-up order
    const Shadow shadow {QColor::fromRgbF(0, 0, 0, 0.4f), 3, QPointF(0, 1)};
    QPen outline(accent(), 1.5);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (i == 1 && j == 1)
                continue;
            const QRectF dot(xs[i] - 4.5, ys[j] - 4.5, 9, 9);
            if (!exposed.intersects(dot.toAlignedRect().adjusted(-9, -9, 9, 9)))
                continue;
            paintWithShadow(p, shadow, dot.adjusted(-1, -1, 1, 1), [&](QPainter& q) {
                q.setPen(Qt::NoPen);
                q.setBrush(Qt::white);
                q.drawEllipse(dot);
            });
            p.setBrush(Qt::NoBrush);
            p.setPen(outline);
            p.drawEllipse(dot);
        }
    }
}

void CaptureView::paintSizeLabel(QPainter& p, const QRectF& r)
{
    const auto box = sizeLabelRect();
    if (!box)
        return;
    const qreal h = bounds().height();
    const QRectF bw = widgetFromView(*box, h);
    QPainterPath capsule;
    capsule.addRoundedRect(bw, bw.height() / 2, bw.height() / 2);
    p.fillPath(capsule, white(0.08, 0.82));
    const LabelFonts& f = labelFonts();
    QPointF at(bw.left() + 10, bw.bottom() - 4);
    at.rx()
        += drawRun(p, f.digits, Qt::white, QString::number(int(r.width() * m_screen.scale)), at);
    at.rx() += drawRun(p, f.separator, white(1.0, 0.55), sizeSeparator, at);
    drawRun(p, f.digits, Qt::white, QString::number(int(r.height() * m_screen.scale)), at);
}

void CaptureView::paintMagnifier(QPainter& p, const QRegion& exposed, QPointF m)
{
    const auto panelView = magnifierRect();
    if (!panelView)
        return;
    const qreal h = bounds().height();
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    // On whole device pixels, so the zoomed cells are exact squares whatever part is repainted.
    QRectF panel = widgetFromView(*panelView, h);
    panel.moveTopLeft(QPointF(std::round(panel.x() * dpr), std::round(panel.y() * dpr)) / dpr);
    const qreal s = m_screen.scale;
    const int px = int(m.x() * s);
    const int py = int((h - m.y()) * s);

    const QImage& shadow = MagnifierPanel::shadowSprite(dpr);
    const QImage content = MagnifierPanel::render(m_image, px, py, pixelColor(m), dpr);
    DeviceBlit blit(p, exposed);
    const qreal sm = MagnifierPanel::shadowMargin, om = MagnifierPanel::outlineMargin;
    blit.draw(QRectF(panel.topLeft() - QPointF(sm, sm), shadow.deviceIndependentSize()), shadow,
        QRectF(shadow.rect()));
    blit.draw(QRectF(panel.topLeft() - QPointF(om, om), content.deviceIndependentSize()), content,
        QRectF(content.rect()));
}

} // namespace quillet
