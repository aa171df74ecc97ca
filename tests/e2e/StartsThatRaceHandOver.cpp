// Starts that meet a capture or each other: the capture keeps the keyboard, two commands asked at
// once give one program doing what they asked, and a runtime folder too deep for a socket still
// leaves exactly one program that every command reaches.
#include "CaptureJourney.h"
#include "Residents.h"

#include <QProcess>

#include <csignal>

namespace quillet::e2e {
namespace {

class StartsThatRaceHandOver : public CaptureJourney {
protected:
    QList<qint64> programs() { return programsWith("DISPLAY=" + display().toUtf8()); }

    // Ends the programs the command line started (not ours through QProcess).
    void endStartedPrograms()
    {
        quillet({QStringLiteral("quit")});
        for (const qint64 pid : programs()) {
            if (!waitFor([&] { return !processAlive(pid); }, 3000))
                ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
    }

    bool settingsShown() { return quilletStatus().value(QStringLiteral("settings-window")) == "1"; }
};

TEST_F(StartsThatRaceHandOver, StartDuringACaptureLeavesItTheKeyboard)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    // The second case finds the window of the first one open (under the capture): the page it
    // asks for is what must wait.
    struct Case {
        const char* what;
        QStringList args;
        const char* pageAfter;
    };
    const Case cases[]
        = {{"a second start", {}, "general"}, {"the settings command", {"settings", "pin"}, "pin"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(openCapture());
        const QString pageBefore = quilletStatus().value("settings-page");
        const QString shownBefore = quilletStatus().value("settings-window");
        const ToolResult second = quillet(c.args);
        EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
        EXPECT_TRUE(second.out.contains("截图结束后")) << second.out.toStdString();
        EXPECT_EQ(quilletStatus().value("settings-window"), shownBefore);
        EXPECT_EQ(quilletStatus().value("settings-page"), pageBefore);
        // Escape still reaches the capture, which ends; the window asked for comes then.
        ASSERT_TRUE(key("Escape"));
        EXPECT_TRUE(waitSessionGone());
        EXPECT_TRUE(waitFor([&] { return settingsShown(); }));
        EXPECT_EQ(quilletStatus().value("settings-page"), c.pageAfter);
    }
}

TEST_F(StartsThatRaceHandOver, TwoCapturesAskedAtOnceGiveOneCaptureAndNothingElse)
{
    std::vector<std::unique_ptr<QProcess>> commands;
    for (int i = 0; i < 2; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->start(QStringLiteral(QUILLET_BINARY), {QStringLiteral("capture")});
        commands.push_back(std::move(p));
    }
    for (auto& p : commands) {
        ASSERT_TRUE(p->waitForFinished(20000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    EXPECT_TRUE(waitFor([&] { return quilletStatus().value("session") == "open"; }, 10000));
    EXPECT_TRUE(waitFor([&] { return programs().size() == 1; }));
    EXPECT_FALSE(settingsShown());
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([&] { return quilletStatus().value("session") == "none"; }));
    EXPECT_FALSE(settingsShown());
    endStartedPrograms();
}

class DeepRuntimeFolder : public StartsThatRaceHandOver {
protected:
    EnvOptions options() const override { return {.longRuntimeDir = true}; }
};

TEST_F(DeepRuntimeFolder, CommandsReachTheOneProgram)
{
    ASSERT_GT(QFile::encodeName(runtimeDir()).size(), 108);
    ASSERT_EQ(quillet({"capture"}).exitCode, 0);
    const QString pid = quilletStatus().value("pid");
    ASSERT_FALSE(pid.isEmpty());
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([&] { return quilletStatus().value("session") == "none"; }));
    // Another command reaches the same program instead of starting another one.
    EXPECT_EQ(quillet({"capture"}).exitCode, 0);
    EXPECT_EQ(quilletStatus().value("pid"), pid);
    EXPECT_EQ(programs().size(), 1);
    ASSERT_TRUE(key("Escape"));
    endStartedPrograms();
}

} // namespace
} // namespace quillet::e2e
