#include "E2eEnv.h"

#include <QProcess>

namespace quillet::e2e {
namespace {

// The snapshot mode renders the settings window, which does not exist yet: a script that
// runs it must not wait forever, nor be told the pictures were made.
class SnapshotModeEndsHonestly : public E2eEnv { };

TEST_F(SnapshotModeEndsHonestly, SaysItIsNotAvailableAndExitsWithFailure)
{
    QProcessEnvironment env = environment();
    env.insert("QUILLET_SNAPSHOT", scratch(""));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QUILLET_BINARY, {});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("快照"));
}

} // namespace
} // namespace quillet::e2e
