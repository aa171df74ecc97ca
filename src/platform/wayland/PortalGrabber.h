#pragma once

#include "platform/ScreenGrabber.h"

#include <QDBusConnection>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QTimer>

namespace quillet {

// Reads the screens through the desktop portal's Screenshot interface (xdg-desktop-portal), for
// Wayland desktops whose compositor offers no screen copy to programs (GNOME, KDE). The portal
// hands back one picture of the whole desktop, which is cut into one image per screen. The
// desktop may ask the user first; a grab then waits for the answer.
class PortalGrabber final : public ScreenGrabber {
    Q_OBJECT
public:
    explicit PortalGrabber(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~PortalGrabber() override;

    void grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done) override;
    QList<WindowRecord> windowList() override;
    QString routeDescription() const override;
    QString routeName() const override { return QStringLiteral("portal"); }
    QString longCaptureUnavailable() const override
    {
        return QStringLiteral(
            "长截图不可用：这个桌面只让墨钉通过门户读取屏幕，而门户每读一次都可能要你确认");
    }
    bool canRecordScreen() const override { return m_missing.isEmpty(); }
    QString unavailableReason() const override { return m_missing; }
    bool refusedByDesktop() const override { return m_refused; }
    void askAgain(std::function<void(bool)> done) override;
    bool waitingForDesktop() const override { return m_pending.has_value(); }
    void stopWaiting() override;

    // Whether the session bus has a portal or can start one; `why` says what is missing when
    // not. Asks the bus only, so it is quick.
    static bool available(QString* why = nullptr);

    // One picture of the desktop cut into the screens': `qtRects` are the screens' places in the
    // layout, `pixelSizes` the sizes their images must have. Null images where a screen lies
    // outside the picture.
    static QList<QImage> split(
        const QImage& desktop, const QList<QRect>& qtRects, const QList<QSize>& pixelSizes);

private Q_SLOTS:
    void responded(uint code, const QVariantMap& results);

private:
    struct Pending {
        QString requestPath;
        QList<QRect> qtRects;
        QList<QSize> pixelSizes;
        Done done;
    };
    void checkInterface();
    // A "no" from the portal: the desktop's stored refusal, or a failure.
    void refusedOrFailed();
    // Ends the grab with `why` as its error (none: a quiet end).
    void fail(const std::optional<QString>& why);
    // The same, and an answer that still comes only has its picture removed.
    void abandon(const std::optional<QString>& why);
    void stopListening();

    QDBusConnection m_bus;
    std::optional<Pending> m_pending;
    QTimer m_deadline;
    int m_serial = 0;
    QString m_missing; // why the portal cannot capture, once it said so
    bool m_refused = false;
};

} // namespace quillet
