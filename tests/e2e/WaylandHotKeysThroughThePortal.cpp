// Global keys on a Wayland desktop with a shortcuts portal (a stand-in for KDE's or GNOME's):
// the program asks for its stored keys under stable names, a key the desktop reports opens a
// capture, and a desktop that turns the keys down leaves them reported as failed, with why.
#include "WaylandRig.h"

namespace quillet::e2e {
namespace {

class WaylandHotKeysThroughThePortal : public WaylandRig {
protected:
    void start(const QStringList& portalArgs)
    {
        startCompositor({filled({1280, 720}, 0xff405060)});
        if (IsSkipped() || HasFatalFailure())
            return;
        startShortcutsPortal(portalArgs);
        ASSERT_FALSE(HasFatalFailure());
        startInput();
        ASSERT_FALSE(HasFatalFailure());
        QProcessEnvironment route;
        route.insert(QStringLiteral("QUILLET_WAYLAND_GRAB"), QStringLiteral("screencopy"));
        startProgram(route, true);
    }
};

TEST_F(WaylandHotKeysThroughThePortal, StoredKeysAreAskedForAndAnActivationCaptures)
{
    start({});
    if (IsSkipped() || HasFatalFailure())
        return;
    // The default keys, each under the name the desktop remembers the user's choice by.
    const QByteArray bind = shortcutsLine();
    EXPECT_TRUE(bind.startsWith("bind ")) << bind.constData();
    EXPECT_TRUE(bind.endsWith(" capture=F1|capture-2=CTRL+SHIFT+a|pin=F3|pin-2=CTRL+SHIFT+p"))
        << bind.constData();
    const QString s = status();
    EXPECT_TRUE(s.contains(QLatin1String("hotkeys-registered: 4"))) << s.toStdString();
    EXPECT_TRUE(s.contains(QLatin1String("hotkeys-failed:\n"))) << s.toStdString();

    m_shortcuts->write("activate capture\n");
    ASSERT_EQ(shortcutsLine(), "ok");
    EXPECT_TRUE(waitFor([&] {
        return status().contains(QLatin1String("session: open")) && visibleViews().fullScreen == 1;
    })) << status().toStdString();
    ASSERT_TRUE(key({QStringLiteral("-k"), QStringLiteral("Escape")}));
    EXPECT_TRUE(waitStatus("session: none"));
    // Ending asks the desktop to drop the keys along with the session.
    EXPECT_EQ(quillet({"quit"}).exitCode, 0);
    EXPECT_TRUE(m_program->waitForFinished(10000));
}

TEST_F(WaylandHotKeysThroughThePortal, KeysTheDesktopTurnsDownAreReportedWithWhy)
{
    start({QStringLiteral("--refuse")});
    if (IsSkipped() || HasFatalFailure())
        return;
    EXPECT_TRUE(shortcutsLine().startsWith("bind "));
    EXPECT_TRUE(waitStatus("hotkeys-registered: 0")) << status().toStdString();
    EXPECT_TRUE(programSaid({QStringLiteral("桌面没有同意"), QStringLiteral("quillet capture")}))
        << m_said.toStdString();
    // The session goes, and the desktop is not asked again: the user already answered.
    EXPECT_TRUE(shortcutsLine().startsWith("closed "));
    EXPECT_TRUE(shortcutsLine(1000).isEmpty());
}

} // namespace
} // namespace quillet::e2e
