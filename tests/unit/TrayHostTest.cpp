// The tray of a desktop without X11, known through the StatusNotifier watcher on the session bus:
// none at start, then a tray that starts later, against a stand-in watcher on a bus of the
// test's own.
#include "platform/wayland/StatusNotifierHost.h"

#include "../common/BareBus.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::waitUntil;

namespace {

class StandInWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    bool hostRegistered() const { return host; }
    bool host = false;
};

TEST(StatusNotifierHost, NoEntryUntilATrayHostIsThereThenOne)
{
    const quillet::test::BareBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "no dbus-daemon";
    QDBusConnection program = QDBusConnection::connectToBus(bus.address(), "tray-program");
    QDBusConnection desktop = QDBusConnection::connectToBus(bus.address(), "tray-desktop");
    {
        StatusNotifierHost tray(program);
        QSignalSpy changed(&tray, &TrayHost::changed);
        EXPECT_FALSE(tray.known());
        // No watcher: known at once not to be there, and no entry is made.
        ASSERT_TRUE(waitUntil([&] { return tray.known(); }));
        EXPECT_FALSE(tray.present());
        EXPECT_FALSE(tray.entryWorks());

        // A watcher without a host is no tray yet; its host registering is.
        StandInWatcher watcher;
        ASSERT_TRUE(desktop.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
            QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(desktop.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        const int before = int(changed.count());
        QCoreApplication::processEvents();
        watcher.host = true;
        desktop.send(QDBusMessage::createSignal(QStringLiteral("/StatusNotifierWatcher"),
            QStringLiteral("org.kde.StatusNotifierWatcher"),
            QStringLiteral("StatusNotifierHostRegistered")));
        ASSERT_TRUE(waitUntil([&] { return tray.entryWorks(); }));
        EXPECT_TRUE(tray.present());
        EXPECT_EQ(changed.count(), before + 1);

        // The tray going away is seen too.
        desktop.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        EXPECT_TRUE(waitUntil([&] { return !tray.present(); }));
    }
    QDBusConnection::disconnectFromBus("tray-program");
    QDBusConnection::disconnectFromBus("tray-desktop");
}

} // namespace

#include "TrayHostTest.moc"
