// Painting the overlay: the frozen screen, its dimming, the frame with handles and size label,
// the magnifier with its colour readout; and the copy-colour action that reads it.
#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "output/Toast.h"
#include "platform/Geometry.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Shadow.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace quillet {

namespace {

constexpr qreal panelW = 120, panelH = 170, panelGap = 22, cell = 8;
constexpr qreal panelShadowMargin = 26;
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

// The magnifier's body with its soft shadow, painted once per pixel ratio: the shape never
// changes, and blurring it on every pointer move would cost more than the rest of the frame.
const QImage& panelSprite(qreal dpr)
{
    static QHash<int, QImage> sprites;
    const int key = qRound(dpr * 100);
    auto it = sprites.find(key);
    if (it != sprites.end())
        return *it;
    const QSizeF size(panelW + 2 * panelShadowMargin, panelH + 2 * panelShadowMargin);
    QImage img((size * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF body(panelShadowMargin, panelShadowMargin, panelW, panelH);
        QPainterPath path;
        path.addRoundedRect(body, 12, 12);
        // y down here: the shadow falls 4 points below the panel.
        paintWithShadow(p, Shadow {QColor::fromRgbF(0, 0, 0, 0.5f), 14, QPointF(0, 4)}, body,
            [&](QPainter& q) { q.fillPath(path, white(0.1, 1.0)); });
    }
    return *sprites.insert(key, img);
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
    QPainter p(this);
    paint(p, event->region());
    m_damage = QRegion();
}

void CaptureView::paint(QPainter& p, const QRegion& exposed)
{
    if (!p.isActive())
        return;
    const std::optional<QRectF> roi = regionOfInterest();
    p.save();
    p.setClipRegion(exposed, Qt::IntersectClip);
    paintImage(p, exposed, roi);
    if (!roi) {
        p.restore();
        return;
    }
    const qreal h = bounds().height();
    const QRectF exposedBox = exposed.boundingRect();
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
    paintFrame(p, rw, exposedBox);
    const auto kind = m_dragMode.kind;
    if ((m_selected && (kind == DragMode::none || kind == DragMode::draw))
        || kind == DragMode::resize)
        paintHandles(p, rw);
    if (m_selected)
        flipped([&] { m_annotator->drawTextChrome(p); });
    paintSizeLabel(p, *roi);
    if (magnifierRect() && m_mouse)
        paintMagnifier(p, *m_mouse);
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
    const QColor shade = QColor::fromRgbF(0, 0, 0, float(m_dimAlpha));
    auto blit = [&](const QRectF& target, const QImage& from, bool shadeIt) {
        if (target.isEmpty())
            return;
        const QRectF source(
            target.x() * s, target.y() * s, target.width() * s, target.height() * s);
        p.drawImage(target, from, source);
        if (shadeIt)
            p.fillRect(target, shade);
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

void CaptureView::paintFrame(QPainter& p, const QRectF& r, const QRectF& exposed)
{
    // The frame is a 1.5-point line just outside the region. Its glow is blurred strip by strip
    // (four pieces that tile the line) so the cost follows the frame's length, not its area.
    const qreal lw = 1.5;
    const QRectF outer = r.adjusted(-lw, -lw, lw, lw);
    const QRectF strips[4] = {
        QRectF(QPointF(outer.left(), outer.top()), QPointF(outer.right(), r.top())),
        QRectF(QPointF(outer.left(), r.bottom()), QPointF(outer.right(), outer.bottom())),
        QRectF(QPointF(outer.left(), r.top()), QPointF(r.left(), r.bottom())),
        QRectF(QPointF(r.right(), r.top()), QPointF(outer.right(), r.bottom())),
    };
    const Shadow glow {QColor::fromRgbF(0.13f, 0.55f, 1.0f, 0.8f), 6, QPointF()};
    const QColor line = accent();
    for (const QRectF& strip : strips) {
        if (strip.isEmpty() || !strip.adjusted(-12, -12, 12, 12).intersects(exposed))
            continue;
        paintWithShadow(p, glow, strip, [&](QPainter& q) {
            if (&q != &p)
                q.fillRect(strip, line);
        });
    }
    QPainterPath ring;
    ring.setFillRule(Qt::OddEvenFill);
    ring.addRect(outer);
    ring.addRect(r);
    p.fillPath(ring, line);
}

void CaptureView::paintHandles(QPainter& p, const QRectF& r)
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

void CaptureView::paintMagnifier(QPainter& p, QPointF m)
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

    p.drawImage(panel.topLeft() - QPointF(panelShadowMargin, panelShadowMargin), panelSprite(dpr));

    QPainterPath body;
    body.addRoundedRect(panel, 12, 12);
    p.save();
    p.setClipPath(body, Qt::IntersectClip);

    const QRectF zoom(panel.left(), panel.top(), panelW, panelW);
    const QRect source(px - 7, py - 7, 15, 15);
    const QRect crop = source.intersected(m_image.rect());
    if (!crop.isEmpty()) {
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const QRectF target(zoom.left() + (crop.x() - source.x()) * cell,
            zoom.top() + (crop.y() - source.y()) * cell, crop.width() * cell, crop.height() * cell);
        p.drawImage(target, m_image, QRectF(crop));
        p.restore();
    }
    p.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.12f), 0.5));
    for (int i = 1; i <= 14; ++i) {
        p.drawLine(QPointF(zoom.left() + cell * i, zoom.top()),
            QPointF(zoom.left() + cell * i, zoom.bottom()));
        p.drawLine(QPointF(zoom.left(), zoom.top() + cell * i),
            QPointF(zoom.right(), zoom.top() + cell * i));
    }
    QColor band = accent();
    band.setAlphaF(0.28f);
    p.fillRect(QRectF(zoom.left(), zoom.top() + 56, panelW, cell), band);
    p.fillRect(QRectF(zoom.left() + 56, zoom.top(), cell, panelW), band);
    const QRectF centre(zoom.left() + 56, zoom.top() + 56, cell, cell);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(centre.adjusted(-1, -1, 1, 1));
    p.setPen(QPen(Qt::white, 1));
    p.drawRect(centre);

    const QRectF info(panel.left(), panel.bottom() - 50, panelW, 50);
    p.fillRect(info, white(0.1, 0.96));
    if (const auto c = pixelColor(m)) {
        const QRectF swatch(panel.left() + 10, panel.bottom() - 22 - 18, 18, 18);
        QPainterPath sw;
        sw.addRoundedRect(swatch, 5, 5);
        p.fillPath(sw, *c);
        p.setPen(QPen(white(1.0, 0.3), 0.5));
        p.drawPath(sw);
        drawRun(p, monospacedFont(12, QFont::DemiBold), Qt::white, hexOf(*c),
            QPointF(swatch.right() + 8, swatch.bottom() - 1));
    }
    drawRun(p, monospacedDigitFont(10), white(1.0, 0.55),
        QStringLiteral("%1, %2   按 C 取色").arg(px).arg(py),
        QPointF(panel.left() + 10, panel.bottom() - 6));
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white(1.0, 0.18), 0.5));
    p.drawPath(body);
}

} // namespace quillet
