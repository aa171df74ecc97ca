#include "E2eEnv.h"

#include <QImage>
#include <QProcess>

namespace quillet::e2e {
namespace {

class QuitEndsTheProgram : public E2eEnv { };

// Quit returns once the program has ended and has given back its socket and its keys; open
// pins do not hold it back.
TEST_F(QuitEndsTheProgram, QuitReturnsOnceTheProgramHasEndedPinsOpenOrNot)
{
    QProcess* program = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    QImage img(120, 80, QImage::Format_RGB32);
    img.fill(Qt::darkMagenta);
    const QString file = scratch("pin.png");
    ASSERT_TRUE(img.save(file));
    ASSERT_EQ(quillet({"pin", file}).exitCode, 0);
    ASSERT_EQ(quillet({"pin", file}).exitCode, 0);
    ASSERT_EQ(quilletStatus().value("pins"), "2");

    const ToolResult r = quillet({"quit"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    // `quit` waits for the end, so the process is gone or going at once.
    ASSERT_TRUE(waitFor([&] { return program->state() == QProcess::NotRunning; }, 2000));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    for (const XKey& k : defaultHotKeys)
        EXPECT_EQ(grabStatus(k.keycode, k.mods), 0) << k.display;

    const ToolResult status = quillet({"status"});
    EXPECT_EQ(status.exitCode, 3);
    EXPECT_EQ(status.out.trimmed(), "running: 0");
    // Quitting again is harmless, and a fresh start works at once.
    EXPECT_EQ(quillet({"quit"}).exitCode, 0);
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    EXPECT_EQ(quilletStatus().value("hotkeys-failed"), "");
}

TEST_F(QuitEndsTheProgram, ControlQIsNotTakenFromOtherPrograms)
{
    QProcess* program = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    // With no window of its own in front, Ctrl+Q belongs to whoever has the focus: the
    // program must not take it globally.
    ASSERT_TRUE(key("ctrl+q"));
    EXPECT_FALSE(waitFor([&] { return program->state() == QProcess::NotRunning; }, 500));
}

} // namespace
} // namespace quillet::e2e
