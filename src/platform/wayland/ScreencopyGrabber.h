#pragma once

#include "platform/ScreenGrabber.h"
#include "platform/wayland/ScreencopySession.h"

#include <QThreadPool>
#include <memory>

namespace quillet {

// Reads the screens through the compositor's screen copy, on a thread of its own that keeps its
// Wayland connection between captures. Wayland tells a client nothing about other clients'
// windows; sway's IPC does, and elsewhere there is no window list: selection is by dragging.
class ScreencopyGrabber final : public ScreenGrabber {
    Q_OBJECT
public:
    // `session` is the one the start-up check connected, kept warm for the first capture.
    explicit ScreencopyGrabber(std::unique_ptr<ScreencopySession> session);
    ~ScreencopyGrabber() override;

    void grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done) override;
    QList<WindowRecord> windowList() override;
    std::unique_ptr<ScrollSource> scrollSource(const Screen& screen, const QRect& pixels) override;
    QString longCaptureUnavailable() const override { return {}; }
    QString routeDescription() const override;
    QString routeName() const override { return QStringLiteral("screencopy"); }

    static QList<ScreencopySession::Target> targetsFor(const QList<Screen>& screens);

private:
    std::unique_ptr<ScreencopySession> m_session; // touched on m_thread only, once made
    QThreadPool m_thread;
};

} // namespace quillet
