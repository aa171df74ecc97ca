#include "E2eEnv.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

namespace quillet::e2e {
namespace {

class SecondInstanceHandsOver : public E2eEnv { };

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
    // It answers in one line instead of failing silently or starting a second copy.
    EXPECT_FALSE(second.out.trimmed().isEmpty());

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
    EXPECT_NE(r.exitCode, 2) << r.err.toStdString();
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

} // namespace
} // namespace quillet::e2e
