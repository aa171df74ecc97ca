#pragma once

#include "platform/Screen.h"

#include <QPointer>
#include <QWidget>

namespace quillet {

class CaptureView;

// The borderless window that covers one screen while a capture is up. It stays above everything,
// bypasses the window manager, and holds the keyboard while the pointer is on its screen.
class OverlayWindow final : public QWidget {
    Q_OBJECT
public:
    explicit OverlayWindow(const Screen& screen);
    ~OverlayWindow() override;

    // A window for `screen`: one an earlier capture left for it, else a new one.
    static OverlayWindow* acquire(const Screen& screen);
    // The capture is over for this window: it leaves the screen, its view goes, and the window
    // with its buffers waits for the next capture on the same screen.
    void retire();
    // Makes a window and its pixel buffer for every screen ahead of the first capture, and lets
    // go of windows kept for screens that no longer exist.
    static void prepare(const QList<Screen>& screens);
    // Deletes every window waiting for a capture (the program is ending).
    static void dropSpares();
    // Windows waiting for a capture (tests and diagnostics).
    static int spareCount();

    void setView(CaptureView* view);
    CaptureView* view() const { return m_view; }
    const Screen& screen() const { return m_screen; }

    // Shows the window over its screen, above everything.
    void present();
    // Routes the keyboard here (and only here). False when the window system refused the grab.
    bool takeKeyboard();
    void releaseKeyboard();
    // For the fade-out: the window lets the pointer through and drops its grab.
    void ignoreInput();

    // Fading out after its capture ended; dismissLeaving() can cut the fade short.
    void markLeaving();
    // Takes every overlay that is still fading out off the screen at once, and returns when the
    // window system has done so: a new grab must not freeze an old overlay. True when one was
    // still on screen.
    static bool dismissLeaving();

    // Application shortcuts reach the overlay through its window; the view does the work.
    Q_INVOKABLE void copy();
    Q_INVOKABLE void saveImage();
    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillBuffer();

    Screen m_screen;
    QPointer<CaptureView> m_view;
    bool m_retired = false;
};

} // namespace quillet
