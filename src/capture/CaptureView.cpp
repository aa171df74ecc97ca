#include "capture/CaptureView.h"

#include "capture/CaptureSession.h"
#include "capture/Dimming.h"
#include "platform/Geometry.h"
#include "settings/Prefs.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

namespace quillet {

namespace {

// How far the frame, its shadow and the handles reach on either side of the region's edges.
constexpr qreal frameReach = 18;
// Each easing step covers this share of what is left between the frame and its target.
constexpr qreal easing = 0.28;
// How far the magnifier's shadow reaches beyond its panel.
constexpr qreal panelReach = 30;

QRect outerAligned(const QRectF& widgetRect, qreal grow)
{
    return widgetRect.adjusted(-grow, -grow, grow, grow).toAlignedRect();
}

// The largest whole-pixel rectangle inside r shrunk by `shrink`; empty when nothing is left.
QRect innerAligned(const QRectF& widgetRect, qreal shrink)
{
    const QRectF s = widgetRect.adjusted(shrink, shrink, -shrink, -shrink);
    if (s.width() <= 0 || s.height() <= 0)
        return {};
    const int x0 = int(std::ceil(s.left())), y0 = int(std::ceil(s.top()));
    const int x1 = int(std::floor(s.right())), y1 = int(std::floor(s.bottom()));
    if (x1 <= x0 || y1 <= y0)
        return {};
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

} // namespace

CaptureView::CaptureView(CaptureSession* session, const ScreenShot& shot,
    const QList<QRectF>& windowRects, std::optional<QPointF> pointer)
    : m_session(session)
    , m_screen(shot.screen)
    , m_image(shot.image)
    , m_windowRects(windowRects)
{
    if (!qFuzzyCompare(m_image.devicePixelRatio(), m_screen.scale) && m_screen.scale > 0)
        m_image.setDevicePixelRatio(m_screen.scale);
    m_dimAlpha = Prefs::dimAlpha();
    m_showMagnifier = Prefs::showMagnifier();
    m_annotator = std::make_unique<Annotator>(*this);

    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(m_screen.frame.size().toSize());
    setCursor(Qt::CrossCursor);

    if (pointer && containsPoint(bounds(), *pointer))
        updateHover(*pointer);
    m_lastChrome = chrome();
}

CaptureView::~CaptureView()
{
    if (m_animTimer)
        m_animTimer->stop();
    // The annotation side may still talk to its host while it goes.
    m_annotator.reset();
}

void CaptureView::startDimming()
{
    // Dimming a 4K frame costs several milliseconds and a fresh frame of memory: it waits until
    // the overlay is on screen, and paints until then dim on the fly.
    if (m_dimming)
        return;
    m_dimming = true;
    QPointer<CaptureView> guard(this);
    const QImage source = m_image;
    const double alpha = m_dimAlpha;
    QThreadPool::globalInstance()->start([guard, source, alpha] {
        const QImage dimmed = Dimming::darkened(source, Dimming::alphaStep(alpha));
        QMetaObject::invokeMethod(
            qApp,
            [guard, dimmed] {
                if (guard)
                    guard->m_dimmed = dimmed;
            },
            Qt::QueuedConnection);
    });
}

void CaptureView::releaseFrame()
{
    if (m_animTimer)
        m_animTimer->stop();
    m_image = QImage();
    m_dimmed = QImage();
}

bool CaptureView::live() const
{
    return m_session && m_session->isEditing();
}

bool CaptureView::gated() const
{
    if (!live())
        return true;
    CaptureView* a = m_session->active();
    return a && a != this;
}

bool CaptureView::isEasing() const
{
    return m_animTimer && m_animTimer->isActive();
}

QPointF CaptureView::viewPoint(QPointF widgetPos) const
{
    return viewFromWidget(widgetPos, bounds().height());
}

void CaptureView::beginEditing(
    const QRectF& selection, const QList<Annotation>& annotations, const AnnotationHistory& history)
{
    if (m_session)
        m_session->activate(this);
    m_selected = true;
    m_selection = intersectRect(integralRect(selection), bounds());
    m_annotator->setAnnotations(annotations, history);
    m_mouse.reset();
    m_annotator->showToolbar();
    redraw();
}

void CaptureView::hostTakeKeyboard()
{
    setFocus(Qt::OtherFocusReason);
    if (m_session)
        m_session->makeKey(this);
}

// --- window detection: the frame follows the window under the pointer ---

void CaptureView::updateHover(QPointF p)
{
    m_mouse = p;
    if (m_selected)
        return;
    QRectF target = bounds();
    for (const QRectF& r : m_windowRects) {
        if (containsPoint(r, p)) {
            target = r;
            break;
        }
    }
    m_hoverRect = intersectRect(target, bounds());
    if (!m_shownHover) {
        m_shownHover = m_hoverRect;
        return;
    }
    if (isEasing() || *m_shownHover == *m_hoverRect)
        return;
    if (!m_animTimer) {
        m_animTimer = new QTimer(this);
        m_animTimer->setTimerType(Qt::PreciseTimer);
        m_animTimer->setInterval(1000 / 120);
        connect(m_animTimer, &QTimer::timeout, this, &CaptureView::animateHover);
    }
    m_animTimer->start();
}

void CaptureView::animateHover()
{
    if (!m_hoverRect || !m_shownHover) {
        if (m_animTimer)
            m_animTimer->stop();
        return;
    }
    const QRectF s = *m_shownHover, t = *m_hoverRect;
    QRectF next(s.x() + (t.x() - s.x()) * easing, s.y() + (t.y() - s.y()) * easing,
        s.width() + (t.width() - s.width()) * easing,
        s.height() + (t.height() - s.height()) * easing);
    const qreal d = std::abs(next.x() - t.x()) + std::abs(next.y() - t.y())
        + std::abs(next.width() - t.width()) + std::abs(next.height() - t.height());
    if (d < 1.0) {
        if (m_animTimer)
            m_animTimer->stop();
        next = t;
    }
    m_shownHover = next;
    redraw();
}

std::optional<QRectF> CaptureView::regionOfInterest() const
{
    if (m_session) {
        CaptureView* a = m_session->active();
        if (a && a != this)
            return std::nullopt;
    }
    if (m_selected || m_dragMode.kind == DragMode::create)
        return m_selection;
    if (m_shownHover)
        return m_shownHover;
    return m_hoverRect;
}

CaptureView::Chrome CaptureView::chrome() const
{
    Chrome c;
    c.roi = regionOfInterest();
    c.full
        = m_selected || (m_dragMode.kind != DragMode::none && m_dragMode.kind != DragMode::create);
    if (c.full)
        return c;
    const qreal h = bounds().height();
    if (c.roi) {
        const QRectF w = widgetFromView(*c.roi, h);
        c.frame += QRegion(outerAligned(w, frameReach)).subtracted(innerAligned(w, frameReach));
    }
    if (auto label = sizeLabelRect())
        c.frame += outerAligned(widgetFromView(*label, h), 2);
    if (auto panel = magnifierRect())
        c.panel += outerAligned(widgetFromView(*panel, h), panelReach);
    return c;
}

void CaptureView::redraw()
{
    Chrome now = chrome();
    const Chrome& was = m_lastChrome;
    if (now.full || was.full || now.roi.has_value() != was.roi.has_value()) {
        m_damage = QRegion(rect());
        update();
    } else {
        // The magnifier follows the pointer; the frame and its label move only with the region.
        QRegion changed = was.panel + now.panel;
        if (now.roi && was.roi && *now.roi != *was.roi) {
            changed += was.frame + now.frame;
            // Between the old and the new edges the dimming changes.
            const qreal h = bounds().height();
            const QRectF a = widgetFromView(*was.roi, h), b = widgetFromView(*now.roi, h);
            QRegion outer = QRegion(outerAligned(a, 1)) + QRegion(outerAligned(b, 1));
            outer -= QRegion(innerAligned(a, 1)).intersected(innerAligned(b, 1));
            changed += outer;
        }
        changed &= rect();
        if (!changed.isEmpty()) {
            m_damage += changed;
            update(changed);
        }
    }
    m_lastChrome = std::move(now);
}

void CaptureView::redrawAll()
{
    m_lastChrome = chrome();
    m_damage = QRegion(rect());
    update();
}

} // namespace quillet
