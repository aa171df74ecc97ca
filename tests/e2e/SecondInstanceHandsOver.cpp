#include "E2eEnv.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <memory>

namespace quillet::e2e {
namespace {

class SecondInstanceHandsOver : public E2eEnv {
protected:
    // Whether a mapped window titled as the settings window is on the screen.
    bool settingsWindowShown()
    {
        const ToolResult r
            = runTool("xdotool", {"search", "--onlyvisible", "--name", "^墨钉设置$"}, 3000);
        return r.exitCode == 0 && !r.out.trimmed().isEmpty();
    }
};

TEST_F(SecondInstanceHandsOver, SecondStartExitsAndTheFirstKeepsRunning)
{
    QProcess* first = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const QString pid = quilletStatus().value("pid");
    EXPECT_EQ(pid.toLongLong(), first->processId());

    QElapsedTimer clock;
    clock.start();
    const ToolResult second = quillet({}, 5000);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_LT(clock.elapsed(), 2000);
    // It answers in one line instead of failing silently or starting a second copy, and the
    // running one shows its settings window.
    EXPECT_FALSE(second.out.trimmed().isEmpty());
    EXPECT_TRUE(waitFor([&] { return settingsWindowShown(); }));

    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(quilletStatus().value("pid"), pid);
    // Still the only holder of its keys.
    EXPECT_EQ(grabStatus(67, 0), 3);
}

TEST_F(SecondInstanceHandsOver, CommandsStartTheProgramWhenNoneRuns)
{
    ASSERT_EQ(quillet({"status"}).exitCode, 3);
    // `settings` needs a running program: it starts one, which then answers.
    const ToolResult r = quillet({"settings", "shortcuts"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(waitFor([&] { return settingsWindowShown(); }));
    EXPECT_EQ(quillet({"settings", "nowhere"}).exitCode, 2);
    const auto status = quilletStatus();
    ASSERT_TRUE(status.contains("pid"));
    const qint64 pid = status.value("pid").toLongLong();
    EXPECT_TRUE(processAlive(pid));
    // Not ours through QProcess: end it through the command line, then by PID if need be.
    EXPECT_EQ(quillet({"quit"}).exitCode, 0);
    EXPECT_TRUE(waitFor([&] { return !processAlive(pid); }));
    if (processAlive(pid))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

TEST_F(SecondInstanceHandsOver, TwoStartingTogetherLeaveOne)
{
    QProcess* a = startQuillet();
    QProcess* b = startQuillet();
    ASSERT_TRUE(waitFor(
        [&] { return a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning; }));
    QProcess* left = a->state() == QProcess::Running ? a : b;
    QProcess* gone = left == a ? b : a;
    EXPECT_EQ(gone->exitCode(), 0);
    ASSERT_TRUE(waitForQuilletReady());
    EXPECT_EQ(quilletStatus().value("pid").toLongLong(), left->processId());
    EXPECT_EQ(quilletStatus().value("hotkeys-failed"), "");
}

// A restart starts its successor before it has ended; the successor must wait for the
// predecessor instead of handing over to it, and then be the one instance.
TEST_F(SecondInstanceHandsOver, RestartedInstanceTakesOverOnceThePredecessorEnds)
{
    QProcess* first = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const qint64 firstPid = first->processId();

    auto owned = std::make_unique<QProcess>();
    QProcess* successor = owned.get();
    QProcessEnvironment env = environment();
    env.insert("QUILLET_HANDOVER", QString::number(firstPid));
    successor->setProcessEnvironment(env);
    successor->setStandardOutputFile(scratch("successor.out"));
    successor->setStandardErrorFile(scratch("successor.err"));
    successor->start(QUILLET_BINARY, {});
    ASSERT_TRUE(successor->waitForStarted());
    const qint64 successorPid = successor->processId();
    // It waits while the predecessor runs: the predecessor still answers, the settings
    // window was not asked for.
    EXPECT_EQ(quilletStatus().value("pid").toLongLong(), firstPid);
    EXPECT_EQ(successor->state(), QProcess::Running);
    EXPECT_FALSE(settingsWindowShown());

    EXPECT_EQ(quillet({"quit"}).exitCode, 0);
    EXPECT_TRUE(waitFor([&] { return first->state() == QProcess::NotRunning; }));
    EXPECT_TRUE(
        waitFor([&] { return quilletStatus().value("pid").toLongLong() == successorPid; }, 10000));
    EXPECT_EQ(successor->state(), QProcess::Running);
    ASSERT_TRUE(waitForQuilletReady());
    EXPECT_EQ(quilletStatus().value("hotkeys-failed"), "");
    stop(successor);
}

} // namespace
} // namespace quillet::e2e
