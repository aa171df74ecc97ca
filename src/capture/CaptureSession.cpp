#include "capture/CaptureSession.h"

#include "capture/CaptureView.h"
#include "capture/NativePointer.h"
#include "capture/OverlayWindow.h"
#include "capture/Trace.h"
#include "output/PinWindow.h"
#include "platform/Geometry.h"
#include "platform/WindowSystem.h"

#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>

#include <malloc.h>

namespace quillet {

namespace {

constexpr int fadeInMs = 160;
constexpr int fadeOutMs = 140;

// Screen-sized buffers (frozen image, dimmed copy, layers) are made on worker threads and freed
// on the main thread. Under glibc's sliding mmap threshold a 4K frame (just under its 32 MiB cap)
// ends up in a heap arena after the first capture, and the freed space stays with the process.
// A fixed threshold keeps every such buffer in its own mapping, returned the moment it is freed.
void keepLargeBuffersMapped()
{
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
        return true;
    }();
    Q_UNUSED(done);
}

bool sameScreen(const Screen& a, const Screen& b)
{
    if (a.qscreen && b.qscreen)
        return a.qscreen == b.qscreen;
    return a.sameAs(b);
}

} // namespace

CaptureSession::CaptureSession(
    const QList<ScreenShot>& shots, const QList<QRectF>& windowRects, std::function<void()> onEnd)
    : m_onEnd(std::move(onEnd))
{
    keepLargeBuffersMapped();
    // Where the window system does not say where the pointer is, no screen pretends to have it:
    // every overlay starts dimmed, and the one the pointer enters takes it from there.
    const std::optional<QPointF> pointer = knownMouseLocation();
    for (const ScreenShot& shot : shots) {
        const QRectF frame = shot.screen.frame;
        const QRectF local(QPointF(0, 0), frame.size());
        QList<QRectF> rects;
        for (const QRectF& r : windowRects) {
            const QRectF moved = r.translated(-frame.x(), -frame.y());
            if (rectsIntersect(moved, local))
                rects.append(moved);
        }
        OverlayWindow* window = OverlayWindow::acquire(shot.screen);
        std::optional<QPointF> at;
        if (pointer && containsPoint(frame, *pointer))
            at = *pointer - frame.topLeft();
        auto* view = new CaptureView(this, shot, rects, at);
        window->setView(view);
        m_windows.append(window);
        m_views.append(view);
    }
}

CaptureSession::~CaptureSession()
{
    // Only a session that was never shown still owns its windows here; a shown one is kept
    // alive by its views until they are gone.
    for (OverlayWindow* w : std::exchange(m_windows, {}))
        w->retire();
    m_views.clear();
}

bool CaptureSession::show(bool fade)
{
    const std::shared_ptr<CaptureSession> self = weak_from_this().lock();
    m_unpainted = m_views;
    for (int i = 0; i < m_windows.size(); ++i) {
        OverlayWindow* w = m_windows[i];
        if (self)
            m_views[i]->holdSession(self);
        // Where windows have no opacity of their own (Wayland) the overlay simply appears.
        const bool fadeIn = fade && windowOpacitySupported();
        if (windowOpacitySupported())
            w->setWindowOpacity(fadeIn ? 0.0 : 1.0);
        w->present();
        if (fadeIn) {
            // Without a compositor the opacity is ignored and the overlay simply appears.
            auto* anim = new QPropertyAnimation(w, "windowOpacity", w);
            anim->setDuration(fadeInMs);
            anim->setStartValue(0.0);
            anim->setEndValue(1.0);
            anim->start(QAbstractAnimation::DeleteWhenStopped);
        }
    }
    if (m_views.isEmpty())
        return false;
    const std::optional<QPointF> pointer = knownMouseLocation();
    CaptureView* key = m_views.first();
    for (int i = 0; pointer && i < m_windows.size(); ++i) {
        if (containsPoint(m_windows[i]->screen().frame, *pointer)) {
            key = m_views[i];
            break;
        }
    }
    const bool keyboard = makeKey(key);
    for (CaptureView* v : m_views)
        v->setCursor(Qt::CrossCursor);
    return keyboard;
}

bool CaptureSession::makeKey(CaptureView* view)
{
    const int i = m_views.indexOf(view);
    if (i < 0)
        return false;
    OverlayWindow* w = m_windows[i];
    // X11 has one keyboard grab per client, and grabbing again moves it to the new window in one
    // step: letting go first would hand keys typed in between to whatever has the focus. Only a
    // refused grab lets go of the old one, so that the keys follow the focus to the new window.
    const QPointer<OverlayWindow> previous = m_key;
    m_key = w;
    const bool taken = w->takeKeyboard();
    if (!taken && previous && previous != w)
        previous->releaseKeyboard();
    view->setFocus(Qt::OtherFocusReason);
    return taken;
}

void CaptureSession::viewPainted(CaptureView* view)
{
    if (!m_unpainted.removeOne(view) || !m_unpainted.isEmpty() || !trace::enabled())
        return;
    // The pixels are on screen once the window system has carried out the buffer's flush,
    // which follows this paint.
    QTimer::singleShot(0, [] {
        NativePointer::syncWithServer();
        trace::mark("overlay-painted");
    });
}

CaptureView* CaptureSession::keyView() const
{
    return m_key ? m_key->view() : nullptr;
}

void CaptureSession::activate(CaptureView* view)
{
    m_active = view;
    for (CaptureView* v : m_views) {
        if (v != view)
            v->redrawAll();
    }
}

void CaptureSession::resetActive()
{
    m_active = nullptr;
    for (CaptureView* v : m_views)
        v->redrawAll();
}

CaptureView* CaptureSession::active() const
{
    return m_active;
}

void CaptureSession::forward(MouseEventType type, QPointF p)
{
    if (m_windows.isEmpty())
        return;
    int index = 0;
    for (int i = 0; i < m_windows.size(); ++i) {
        if (containsPoint(m_windows[i]->screen().frame.adjusted(-1, -1, 1, 1), p)) {
            index = i;
            break;
        }
    }
    OverlayWindow* window = m_windows[index];
    CaptureView* view = m_views[index];
    if (type == MouseEventType::down && m_key != window)
        makeKey(view);
    const QPointF local = p - window->screen().frame.topLeft();
    switch (type) {
    case MouseEventType::dragged:
        view->mouseDraggedAt(local);
        break;
    case MouseEventType::up:
        view->mouseUpAt(local);
        break;
    case MouseEventType::down:
        view->mouseMovedAt(local);
        view->mouseDownAt(local, 1);
        break;
    case MouseEventType::moved:
        view->mouseMovedAt(local);
        break;
    }
}

void CaptureSession::finish(bool fade)
{
    // The owner usually lets go of the session in onEnd; stay alive until this call returns.
    const std::shared_ptr<CaptureSession> self = weak_from_this().lock();
    const QList<OverlayWindow*> windows = std::exchange(m_windows, {});
    m_views.clear();
    m_unpainted.clear();
    m_active = nullptr;
    m_key = nullptr;
    const QPointer<PinWindow> restored = pinConsumed ? nullptr : editingPin;
    if (restored)
        restored->orderFront();
    if (m_onEnd) {
        const std::function<void()> onEnd = m_onEnd;
        onEnd();
    }
    for (OverlayWindow* w : windows)
        w->ignoreInput();
    // The keyboard grab is gone at the server before anyone can learn that the capture ended:
    // a hot key pressed right then must reach its passive grab, not the overlay on its way out.
    if (!windows.isEmpty())
        NativePointer::syncWithServer();
    // The pin had the keyboard when it was sent into editing: it gets it back once the overlay
    // has let go, so its keys (Return to edit again, Escape, zoom) work without a click.
    if (restored)
        restored->activateWindow();
    if (windows.isEmpty())
        return;
    // Without a compositor the fade would only hold the frozen picture on screen a moment
    // longer.
    const bool fades = fade && compositorActive() && windowOpacitySupported();
    for (OverlayWindow* w : windows) {
        if (!fades || !w->isVisible()) {
            w->retire();
            continue;
        }
        w->markLeaving();
        auto* anim = new QPropertyAnimation(w, "windowOpacity", w);
        anim->setDuration(fadeOutMs);
        anim->setEndValue(0.0);
        QObject::connect(anim, &QPropertyAnimation::finished, w, [w] { w->retire(); });
        anim->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

void CaptureSession::pinSelectionIfAny()
{
    if (CaptureView* v = active())
        v->pinAndFinish();
}

void CaptureSession::beginEdit(const Screen& on, const QRectF& selection,
    const QList<Annotation>& annotations, const AnnotationHistory& history)
{
    for (CaptureView* v : m_views) {
        if (sameScreen(v->screen(), on)) {
            v->beginEditing(selection, annotations, history);
            return;
        }
    }
}

void CaptureSession::consumePin()
{
    if (!editingPin || pinConsumed)
        return;
    pinConsumed = true;
    editingPin->closePin();
}

} // namespace quillet
