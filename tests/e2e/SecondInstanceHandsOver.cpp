#include "E2eEnv.h"

#include <QProcess>

#include <memory>

namespace quillet::e2e {
namespace {

class SecondInstanceHandsOver : public E2eEnv {
protected:
    // Whether a mapped window titled as the settings window is on the screen.
    bool settingsWindowShown() { return !visibleWindows({"--name", "^墨钉设置$"}).isEmpty(); }
};

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
