#include "CaptureJourney.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

namespace quillet::e2e {
namespace {

class ProgramEndsCleanly : public CaptureJourney {
protected:
    QString folder() const { return scratch("saved"); }
    QStringList everythingSaved() const
    {
        return QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    bool alertShown() { return !visibleWindows({"--name", "保存失败"}).isEmpty(); }
    static bool ends(QProcess* p, int timeoutMs = 5000)
    {
        return waitFor([p] { return p->state() == QProcess::NotRunning; }, timeoutMs);
    }
};

// The X server dies under the program, idle or capturing: it must end by itself, quickly, in
// one line.
class ProgramEndsWhenTheServerGoes : public ProgramEndsCleanly,
                                     public ::testing::WithParamInterface<bool> { };

TEST_P(ProgramEndsWhenTheServerGoes, InOneLine)
{
    QProcess* p = startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    if (GetParam()) {
        ASSERT_TRUE(openCapture());
    }
    killXServer();
    ASSERT_TRUE(ends(p)) << "still running 5 s after the X server went";
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit) << "crashed";
    EXPECT_NE(p->exitCode(), 0);
    const QString said = log();
    EXPECT_EQ(said.count("与显示服务器（X11）的连接断开了"), 1) << said.toStdString();
    EXPECT_FALSE(said.contains("The X11 connection broke")) << said.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Capturing, ProgramEndsWhenTheServerGoes, ::testing::Bool(),
    [](const ::testing::TestParamInfo<bool>& info) {
        return std::string(info.param ? "DuringACapture" : "WhileIdle");
    });

TEST_F(ProgramEndsCleanly, TerminationSignalsEndItInOrder)
{
    struct Case {
        int signal;
        bool capturing;
    };
    for (const Case& c : {Case {SIGTERM, false}, Case {SIGINT, false}, Case {SIGTERM, true},
             Case {SIGINT, true}, Case {SIGHUP, true}}) {
        SCOPED_TRACE(testing::Message() << "signal " << c.signal << " capturing " << c.capturing);
        QProcess* p = startTraced();
        ASSERT_TRUE(waitForQuilletReady());
        if (c.capturing) {
            ASSERT_TRUE(openCapture());
        }
        ::kill(static_cast<pid_t>(p->processId()), c.signal);
        ASSERT_TRUE(ends(p));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
        // It gave back what it held: the socket answers nobody, the keys are free.
        EXPECT_EQ(quillet({"status"}).exitCode, 3);
        EXPECT_EQ(grabStatus(67, 0), 0);
    }
}

// A screen-sized save with Ctrl+S is being written when the signal comes: the program ends once
// the file is whole under its name ("墨钉_yyyyMMdd_HHmmss.png", the screen's exact pixels), and
// no temporary file is left behind.
TEST_F(ProgramEndsCleanly, SignalDuringASaveLeavesNoPartialFile)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    writeSettings({{"quickSave", true}, {"saveDir", folder()}});
    ASSERT_TRUE(screenPattern());
    QProcess* p = startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture());
    const QRect all(0, 0, 1270, 790); // nearly all of the screen, for a long write
    ASSERT_TRUE(drag(all.topLeft(), all.topLeft() + QPoint(all.width(), all.height())));
    ASSERT_TRUE(key("ctrl+s"));
    // The overlay has gone and the image is being encoded and written.
    ASSERT_TRUE(waitFor([&] { return log().contains("quillet-trace save-begin"); }, 10000));
    ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
    ASSERT_TRUE(ends(p));
    EXPECT_EQ(p->exitCode(), 0);
    const QStringList saved = everythingSaved();
    // The signal waits for the save that has begun: one whole file, nothing else.
    ASSERT_EQ(saved.size(), 1) << saved.join(", ").toStdString();
    EXPECT_TRUE(QRegularExpression("^墨钉_\\d{8}_\\d{6}\\.png$").match(saved.first()).hasMatch())
        << saved.first().toStdString();
    EXPECT_EQ(patternDiff(QImage(QDir(folder()).filePath(saved.first())), all), 0);
}

// The failure alert keeps the capture: a new capture may not open over it, and a signal while
// it is up ends the program without writing anything anywhere.
TEST_F(ProgramEndsCleanly, FailureAlertHoldsItsCaptureUntilTheEnd)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QString notAFolder = scratch("plain");
    QFile(notAFolder).open(QIODevice::WriteOnly);
    writeSettings({{"quickSave", true}, {"saveDir", notAFolder}});
    QProcess* p = startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({100, 100}, {300, 250}));
    ASSERT_TRUE(key("ctrl+s"));
    ASSERT_TRUE(waitFor([&] { return alertShown(); }, 10000));

    ASSERT_TRUE(key("F1"));
    const ToolResult capture = quillet({"capture"});
    EXPECT_EQ(capture.exitCode, 1);
    EXPECT_EQ(capture.errLines().size(), 1) << capture.err.toStdString();
    EXPECT_TRUE(sessionIs("none"));
    EXPECT_TRUE(alertShown());

    ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
    ASSERT_TRUE(ends(p));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(everythingSaved().isEmpty());
    QFile plain(notAFolder);
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_TRUE(plain.readAll().isEmpty());
}

} // namespace
} // namespace quillet::e2e
