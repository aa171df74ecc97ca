#pragma once

#include "platform/ScreenGrabber.h"

#include <QByteArray>
#include <QList>
#include <QRect>

namespace quillet {

// Reads the screens from the X server's root window and lists its top-level windows.
class X11Grabber final : public ScreenGrabber {
    Q_OBJECT
public:
    // How pixels travel from the server. Auto prefers shared memory and falls back to plain
    // GetImage requests (remote displays, servers without MIT-SHM); the others exist so the two
    // paths can be measured and checked on their own.
    enum class Method { Auto, SharedMemory, GetImage };

    explicit X11Grabber(Method method = Method::Auto);
    ~X11Grabber() override;

    void grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done) override;
    QList<WindowRecord> windowList() override;

    // Under a Wayland session the root window seen through XWayland holds only X clients, so a
    // frozen image would be wrong; the grabber says so rather than showing a partial screen.
    bool canRecordScreen() const override;
    QString unavailableReason() const override;

    // One screen's rectangle on the root window in device pixels, and the image size it must give.
    struct Target {
        QRect nativeRect;
        QSize imageSize;
    };

    // Where each screen lies on the root window. Main thread only (reads QScreen).
    static QList<Target> targetsFor(const QList<Screen>& screens);

    // Reads the targets on a connection of its own to `display`; blocking, any thread.
    static GrabResult grabBlocking(
        const QByteArray& display, const QList<Target>& targets, Method method);

private:
    Method method;
};

} // namespace quillet
