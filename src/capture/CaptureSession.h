#pragma once

#include "capture/ScreenShot.h"
#include "capture/annotation/Annotation.h"

#include <QList>
#include <QPointer>
#include <QRectF>
#include <QStringList>
#include <functional>
#include <memory>

namespace quillet {

class CaptureView;
class OverlayWindow;
class PinWindow;

// One capture across every screen: an overlay window with its view per screen. The controller
// holds the only owning reference and drops it from `onEnd`.
class CaptureSession final : public std::enable_shared_from_this<CaptureSession> {
public:
    enum class MouseEventType { down, dragged, up, moved };

    CaptureSession(const QList<ScreenShot>& shots, const QList<QRectF>& windowRects,
        std::function<void()> onEnd);
    ~CaptureSession();

    // Shows every overlay; the one under the pointer takes the keyboard. True when it got it.
    bool show(bool fade);
    void activate(CaptureView* view);
    void resetActive();
    // Replays early input caught before the overlays existed; p in global points.
    void forward(MouseEventType type, QPointF p);
    void finish(bool fade);
    void pinSelectionIfAny();
    void beginEdit(const Screen& on, const QRectF& selection, const QList<Annotation>& annotations,
        const AnnotationHistory& history = {});
    void consumePin();
    // Each view reports its first paint; the last one marks the overlays as fully on screen.
    void viewPainted(CaptureView* view);
    bool isEditing() const { return !m_windows.isEmpty(); }
    // Pictures the first view, which need never be shown, with a sample selection and sample
    // annotations under no tool, the text tool and the arrow tool, as capture-none.png,
    // capture-text.png and capture-arrow.png in `folder`. One line for each file that could not
    // be written, saying why.
    QStringList debugSnapshot(const QString& folder);

    CaptureView* active() const;
    // Keys go to this view's window from now on (the pointer entered its screen).
    // True when the window system let the view's window have the keyboard.
    bool makeKey(CaptureView* view);
    CaptureView* keyView() const;
    const QList<CaptureView*>& views() const { return m_views; }
    const QList<OverlayWindow*>& windows() const { return m_windows; }

    QPointer<PinWindow> editingPin;
    bool pinConsumed = false;

private:
    QList<OverlayWindow*> m_windows;
    QList<CaptureView*> m_views;
    QPointer<CaptureView> m_active;
    std::function<void()> m_onEnd;
    QPointer<OverlayWindow> m_key;
    QList<CaptureView*> m_unpainted;
};

} // namespace quillet
