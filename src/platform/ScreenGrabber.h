#pragma once

#include "platform/Screen.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace quillet {

class ScrollSource;

// One top-level window as the window system reports it, before the program's own filters.
struct WindowRecord {
    QRect qtBounds; // Qt virtual-desktop coordinates (y down), the frame users see
    std::optional<double> alpha; // absent when the window system says nothing about opacity
    int layer = 0; // 0 for ordinary windows; >= 1000 for the program's own overlays
    quint32 windowId = 0;
};

struct GrabResult {
    std::optional<QString> error; // set when the grab failed as a whole
    QList<QImage> images; // one per requested screen, same order; null = not matched
};

// Reads the screen. Backends: X11 (root-window grabs), Wayland (screen copy or the portal) and a
// fake one for tests.
class ScreenGrabber : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(GrabResult)>;

    // Grabs every screen at full device-pixel size without the cursor. Runs off the main thread
    // and calls `done` on the main thread. `excluding` names windows of this program that must
    // not appear; a window system that cannot leave a window out of its picture takes them off
    // the screen first, and the caller shows them again when it wants them back.
    virtual void grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done)
        = 0;

    // Gets ready to grab these screens quickly, off the main thread, and returns at once. Cheap
    // to call again with the same screens; call it after start-up and whenever screens change.
    virtual void prepare(const QList<Screen>& screens) { Q_UNUSED(screens); }

    // Top-level windows, front-most first. Synchronous; never fails (an empty list instead).
    virtual QList<WindowRecord> windowList() = 0;

    // Whether the program may read the screen at all (always so on X11).
    virtual bool canRecordScreen() const { return true; }
    virtual QString unavailableReason() const { return {}; }
    // How the screen is read, for the permission card where the desktop offers several ways;
    // empty where there is only the one.
    virtual QString routeDescription() const { return {}; }
    // A long capture of `pixels` (device pixels of the screen's image, rows from the top) on
    // `screen`; null where this way of reading the screen cannot read it again and again.
    virtual std::unique_ptr<ScrollSource> scrollSource(const Screen& screen, const QRect& pixels);
    // Why a long capture is not offered here; empty when it is.
    virtual QString longCaptureUnavailable() const;
    // A short stable name of the way ("x11", "screencopy", "portal", "none"), for scripts.
    virtual QString routeName() const { return QStringLiteral("none"); }

    // Whether the last grab failed because the desktop holds a stored refusal for this program,
    // one the program may take back so that the desktop asks the user again.
    virtual bool refusedByDesktop() const { return false; }
    // Takes the stored refusal back; `done` gets whether it went, on the main thread.
    virtual void askAgain(std::function<void(bool)> done) { done(false); }
    // Whether a grab waits for the desktop, which may be asking the user whether to allow it.
    virtual bool waitingForDesktop() const { return false; }
    // Stops that wait: the grab ends with neither pictures nor an error.
    virtual void stopWaiting() { }
};

// A grabber for a session where the screen cannot be read, saying why.
std::unique_ptr<ScreenGrabber> makeUnavailableScreenGrabber(const QString& reason);

// The grabber of this session. Chosen once: QUILLET_GRABBER=fake forces the fake backend.
ScreenGrabber& screenGrabber();

// Replaces the process-wide grabber (tests install a fake one).
void setScreenGrabber(std::unique_ptr<ScreenGrabber> grabber);

// Registered by the X11 backend library at start-up so the platform layer does not depend on it.
void setScreenGrabberFactory(std::function<std::unique_ptr<ScreenGrabber>()> factory);

} // namespace quillet
