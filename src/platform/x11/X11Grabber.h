#pragma once

#include "platform/ScreenGrabber.h"

#include <QByteArray>
#include <QList>
#include <QRect>
#include <memory>

namespace quillet {

class GrabWorker;

// Reads the screens from the X server's root window and lists its top-level windows.
class X11Grabber final : public ScreenGrabber {
    Q_OBJECT
public:
    // How pixels travel from the server. Auto prefers shared memory and falls back to plain
    // GetImage requests (remote displays, servers without MIT-SHM); the others exist so the two
    // paths can be measured and checked on their own.
    enum class Method { Auto, SharedMemory, GetImage };

    // `display` empty: the one DISPLAY names, read when the grabbing connection opens.
    explicit X11Grabber(Method method = Method::Auto, QByteArray display = {});
    ~X11Grabber() override;

    void grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done) override;
    // Opens the grabbing connection and warms one shared-memory frame per screen.
    void prepare(const QList<Screen>& screens) override;
    QList<WindowRecord> windowList() override;
    std::unique_ptr<ScrollSource> scrollSource(const Screen& screen, const QRect& pixels) override;
    QString longCaptureUnavailable() const override { return unavailableReason(); }

    // Under a Wayland session the root window seen through XWayland holds only X clients, so a
    // frozen image would be wrong; the grabber says so rather than showing a partial screen.
    bool canRecordScreen() const override;
    QString unavailableReason() const override;
    QString routeName() const override { return QStringLiteral("x11"); }

    // One screen's rectangle on the root window in device pixels, and the image size it must give.
    struct Target {
        QRect nativeRect;
        QSize imageSize;
    };

    // Where each screen lies on the root window. Main thread only (reads QScreen).
    static QList<Target> targetsFor(const QList<Screen>& screens);

    // grabAll and prepare for targets already worked out; any thread. Grabs run one after
    // another on the grabbing thread; `done` is called on the main thread.
    void grabTargets(const QList<Target>& targets, Done done);
    void prepareTargets(const QList<Target>& targets);

    // The shared-memory frames the grabbing connection holds, leased to images or spare.
    struct PoolStats {
        int segments = 0;
        int leased = 0;
        qint64 bytes = 0;
    };
    PoolStats poolStats() const;

    // Reads the targets on a connection and segments of its own to `display`, as a first grab
    // does; blocking, any thread.
    static GrabResult grabBlocking(
        const QByteArray& display, const QList<Target>& targets, Method method);

private:
    GrabWorker& worker();

    Method method;
    QByteArray display;
    std::unique_ptr<GrabWorker> grabWorker; // started by the first grab or prepare
};

} // namespace quillet
