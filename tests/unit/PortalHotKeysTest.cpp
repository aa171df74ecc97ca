// The global keys through a desktop's shortcuts portal, against a stand-in portal on a private
// session bus: what the desktop is asked for, what fires, and what the program is told when the
// desktop says no or has no such portal.
#include "platform/wayland/PortalHotKeys.h"

#include "../common/BareBus.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::waitUntil;

namespace {

class PortalHotKeysTest : public ::testing::Test {
protected:
    // A bus of the test's own, with the stand-in portal on it unless `portalArgs` is null.
    void startBus(const QStringList* portalArgs)
    {
        m_daemon = std::make_unique<quillet::test::BareBus>();
        m_address = m_daemon->address();
        ASSERT_FALSE(m_address.isEmpty()) << "no dbus-daemon";
        if (portalArgs) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
            m_portal.setProcessEnvironment(env);
            m_portal.start(QStringLiteral(FAKE_SHORTCUTS_BINARY), *portalArgs);
            ASSERT_TRUE(nextLine().startsWith("ready"))
                << m_portal.readAllStandardError().toStdString() << " state " << m_portal.state();
        }
        m_name = QStringLiteral("portal-keys-%1").arg(++s_connections);
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_name));
        ASSERT_TRUE(m_bus->isConnected());
    }

    void TearDown() override
    {
        m_keys.reset();
        if (m_bus)
            QDBusConnection::disconnectFromBus(m_name);
        if (m_portal.state() != QProcess::NotRunning) {
            m_portal.terminate();
            if (!m_portal.waitForFinished(3000))
                m_portal.kill();
            m_portal.waitForFinished();
        }
        m_daemon.reset();
    }

    // The stand-in portal's next report, or nothing after a while.
    QByteArray nextLine(int ms = 5000)
    {
        QByteArray line;
        waitUntil(
            [&] {
                m_portal.waitForReadyRead(5);
                if (!m_portal.canReadLine())
                    return false;
                line = m_portal.readLine().trimmed();
                return true;
            },
            ms);
        return line;
    }

    PortalHotKeys& keys()
    {
        if (!m_keys)
            m_keys = std::make_unique<PortalHotKeys>(*m_bus);
        return *m_keys;
    }

    bool want(quint32 id, const char* name, const char* trigger)
    {
        keys().describe(
            id, {QString::fromLatin1(name), QStringLiteral("截图"), QString::fromLatin1(trigger)});
        return keys().grab(id, 0, 0);
    }

    std::unique_ptr<quillet::test::BareBus> m_daemon;
    QProcess m_portal;
    QString m_address;
    QString m_name;
    std::unique_ptr<QDBusConnection> m_bus;
    std::unique_ptr<PortalHotKeys> m_keys;
    static inline int s_connections = 0;
};

TEST_F(PortalHotKeysTest, OnePassBindsTogetherFiresByNameAndAskingAgainKeepsTheBinding)
{
    const QStringList accept;
    startBus(&accept);
    ASSERT_FALSE(HasFatalFailure());
    QSignalSpy pressed(&keys(), &HotKeyBackend::pressed);
    QSignalSpy answered(&keys(), &PortalHotKeys::answered);
    EXPECT_TRUE(want(1, "capture", "F1"));
    EXPECT_TRUE(want(2, "capture-2", "CTRL+SHIFT+a"));
    const QByteArray bind = nextLine();
    EXPECT_TRUE(bind.startsWith("bind ")) << bind.constData();
    EXPECT_TRUE(bind.endsWith(" capture=F1|capture-2=CTRL+SHIFT+a")) << bind.constData();
    ASSERT_TRUE(waitUntil([&] { return answered.count() == 1; }));
    EXPECT_TRUE(answered.at(0).at(0).toBool());
    EXPECT_EQ(keys().triggers().value(QStringLiteral("capture-2")), QStringLiteral("CTRL+SHIFT+a"));
    EXPECT_TRUE(keys().unavailableReason().isEmpty());
    // The settings window shows what the desktop bound.
    EXPECT_TRUE(keys().note().contains(QStringLiteral("截图 CTRL+SHIFT+a")))
        << keys().note().toStdString();

    m_portal.write("activate capture-2\n");
    ASSERT_EQ(nextLine(), "ok");
    ASSERT_TRUE(waitUntil([&] { return pressed.count() == 1; }));
    EXPECT_EQ(pressed.at(0).at(0).toUInt(), 2u);

    // A registration pass with the same keys under new identifiers asks the desktop nothing
    // (it would ask the user again), and the keys fire under their new identifiers.
    keys().ungrab(1);
    keys().ungrab(2);
    EXPECT_TRUE(want(3, "capture", "F1"));
    EXPECT_TRUE(want(4, "capture-2", "CTRL+SHIFT+a"));
    QCoreApplication::processEvents();
    m_portal.write("activate capture\n");
    EXPECT_EQ(nextLine(), "ok");
    ASSERT_TRUE(waitUntil([&] { return pressed.count() == 2; }));
    EXPECT_EQ(pressed.at(1).at(0).toUInt(), 3u);

    // A changed key binds anew in a new session; the old one is closed first.
    keys().ungrab(4);
    EXPECT_TRUE(want(5, "capture-2", "ALT+s"));
    EXPECT_TRUE(nextLine().startsWith("closed "));
    EXPECT_TRUE(nextLine().endsWith(" capture=F1|capture-2=ALT+s"));
    // No keys at all: the session goes.
    ASSERT_TRUE(waitUntil([&] { return answered.count() == 2; }));
    keys().ungrab(3);
    keys().ungrab(5);
    EXPECT_TRUE(nextLine().startsWith("closed "));
}

TEST_F(PortalHotKeysTest, ATurnedDownBindingFailsThoseKeysWithTheReasonButNotOthers)
{
    const QStringList refuse = {QStringLiteral("--refuse")};
    startBus(&refuse);
    ASSERT_FALSE(HasFatalFailure());
    QSignalSpy again(&keys(), &HotKeyBackend::mappingChanged);
    EXPECT_TRUE(want(1, "capture", "F1"));
    EXPECT_TRUE(nextLine().startsWith("bind "));
    EXPECT_TRUE(nextLine().startsWith("closed "));
    // The program registers again on this, and learns which keys failed, and why.
    ASSERT_TRUE(waitUntil([&] { return again.count() == 1; }));
    EXPECT_FALSE(keys().unavailableReason().isEmpty());
    keys().ungrab(1);
    EXPECT_FALSE(want(2, "capture", "F1"));
    // A key the user records afterwards is asked for.
    EXPECT_TRUE(want(3, "capture", "F2"));
    EXPECT_TRUE(nextLine().endsWith(" capture=F2"));
}

// KDE's portal says yes to a program it does not know and lists no keys: nothing is bound then.
TEST_F(PortalHotKeysTest, AYesBindsOnlyTheKeysItLists)
{
    for (const bool some : {true, false}) {
        SCOPED_TRACE(some ? "one listed" : "none listed");
        TearDown();
        const QStringList grant
            = {some ? QStringLiteral("--grant=capture") : QStringLiteral("--grant=")};
        startBus(&grant);
        ASSERT_FALSE(HasFatalFailure());
        QSignalSpy again(&keys(), &HotKeyBackend::mappingChanged);
        QSignalSpy pressed(&keys(), &HotKeyBackend::pressed);
        EXPECT_TRUE(want(1, "capture", "F1"));
        EXPECT_TRUE(want(2, "capture-2", "F2"));
        EXPECT_TRUE(nextLine().startsWith("bind "));
        ASSERT_TRUE(waitUntil([&] { return again.count() == 1; }));
        EXPECT_TRUE(keys().unavailableReason().contains(QStringLiteral("没有绑定")));
        // Registering again: the unlisted keys fail; a listed one keeps its binding and fires.
        keys().ungrab(1);
        keys().ungrab(2);
        EXPECT_EQ(want(3, "capture", "F1"), some);
        EXPECT_FALSE(want(4, "capture-2", "F2"));
        QCoreApplication::processEvents();
        if (some) {
            m_portal.write("activate capture\n");
            EXPECT_EQ(nextLine(), "ok");
            ASSERT_TRUE(waitUntil([&] { return pressed.count() == 1; }));
            EXPECT_EQ(pressed.at(0).at(0).toUInt(), 3u);
        } else {
            EXPECT_TRUE(nextLine().startsWith("closed "));
        }
    }
}

TEST_F(PortalHotKeysTest, APortalWithoutShortcutsRefusesEveryKeyWithTheReason)
{
    startBus(nullptr);
    ASSERT_FALSE(HasFatalFailure());
    QSignalSpy again(&keys(), &HotKeyBackend::mappingChanged);
    EXPECT_TRUE(want(1, "capture", "F1"));
    ASSERT_TRUE(waitUntil([&] { return again.count() == 1; }, 10000));
    EXPECT_TRUE(keys().unavailableReason().contains(QStringLiteral("全局快捷键")))
        << keys().unavailableReason().toStdString();
    EXPECT_FALSE(want(2, "capture", "F1"));
}

} // namespace
