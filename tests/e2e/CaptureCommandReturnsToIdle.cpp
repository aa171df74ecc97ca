#include "E2eEnv.h"

#include <QProcess>

namespace quillet::e2e {
namespace {

class CaptureCommandReturnsToIdle : public E2eEnv { };

// Whatever the capture shows, the program is idle again afterwards and takes the next one. The
// first capture comes before the program has made its buffers ready, the others after.
TEST_F(CaptureCommandReturnsToIdle, CaptureThenEscapeThenCaptureAgain)
{
    QProcess* program = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    for (int round = 0; round < 3; ++round) {
        if (round == 1) {
            ASSERT_TRUE(
                waitFor([&] { return quilletStatus().value("capture-ready") == "1"; }, 10000));
        }
        SCOPED_TRACE(round);
        const ToolResult r = quillet({"capture"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        // Either an overlay is up (then Escape ends it) or the capture already ended.
        ASSERT_TRUE(waitFor([&] {
            const auto s = quilletStatus();
            return s.value("busy") == "0";
        }));
        if (quilletStatus().value("session") == "open") {
            ASSERT_TRUE(key("Escape"));
        }
        EXPECT_TRUE(waitFor([&] { return quilletStatus().value("session") == "none"; }));
    }
    EXPECT_EQ(quilletStatus().value("capture-ready"), "1") << "still ready after captures";
    EXPECT_EQ(program->state(), QProcess::Running);
}

} // namespace
} // namespace quillet::e2e
