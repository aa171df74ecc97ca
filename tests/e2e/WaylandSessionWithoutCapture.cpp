// The program in a Wayland session that offers it no way to read the screen or to hold global
// keys (QUILLET_WAYLAND_GRAB=none stands for a compositor without screen copy or a portal). It
// says so, holds no keys it cannot hold, and pins still work.
#include "WaylandRig.h"

namespace quillet::e2e {
namespace {

class WaylandSessionWithoutCapture : public WaylandRig { };

TEST_F(WaylandSessionWithoutCapture, SaysSoHoldsNoKeysAndStillPins)
{
    startCompositor({filled({1280, 720}, 0xff202020)});
    if (IsSkipped() || HasFatalFailure())
        return;
    QProcessEnvironment none;
    none.insert(QStringLiteral("QUILLET_WAYLAND_GRAB"), QStringLiteral("none"));
    startProgram(none, true);
    ASSERT_FALSE(HasFatalFailure());
    const QString s = status();
    EXPECT_TRUE(s.contains(QLatin1String("wayland: 1"))) << s.toStdString();
    // No key is claimed that would never fire.
    EXPECT_TRUE(s.contains(QLatin1String("hotkeys-registered: 0"))) << s.toStdString();
    // The settings window shows why, on the general page.
    EXPECT_TRUE(waitStatus("settings-window: 1"));
    EXPECT_TRUE(status().contains(QLatin1String("settings-page: general")));
    // A capture asked for says why not.
    const ToolResult capture = quillet({"capture"});
    EXPECT_EQ(capture.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(capture.err + capture.out).contains("QUILLET_WAYLAND_GRAB"))
        << capture.err.toStdString();
    // And says on stderr why, and what to bind in the desktop instead of hot keys.
    EXPECT_TRUE(programSaid(
        {QStringLiteral("Wayland"), QStringLiteral("截图"), QStringLiteral("quillet capture")}))
        << m_said.toStdString();

    // A pin of a picture in one colour shows that colour on the compositor's output.
    QImage picture(240, 160, QImage::Format_RGB32);
    picture.fill(0xff3366cc);
    const QString file = m_dir.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(picture.save(file));
    const ToolResult pinned = quillet({"pin", file});
    EXPECT_EQ(pinned.exitCode, 0) << pinned.err.toStdString();
    EXPECT_TRUE(waitStatus("pins: 1"));
    qint64 shown = 0;
    EXPECT_TRUE(waitFor(
        [&] {
            const QImage shot = outputImage();
            shown = 0;
            for (int y = 0; y < shot.height(); ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
                for (int x = 0; x < shot.width(); ++x)
                    shown += (line[x] & 0xffffff) == 0x3366cc;
            }
            return shown >= 200 * 140;
        },
        10000))
        << shown << " pixels of the pin's colour";

    // The program still ends on request.
    EXPECT_EQ(quillet({"quit"}).exitCode, 0);
    EXPECT_TRUE(m_program->waitForFinished(10000));
}

// A command typed in a Wayland session's terminal, where no X display is set and Qt chooses its
// platform itself, starts the program instead of asking for an X display.
TEST_F(WaylandSessionWithoutCapture, CommandStartsTheProgramWithoutAnXDisplay)
{
    startCompositor({filled({1280, 720}, 0xff202020)});
    if (IsSkipped() || HasFatalFailure())
        return;
    m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_env.remove(QStringLiteral("DISPLAY"));
    m_env.insert(QStringLiteral("QUILLET_WAYLAND_GRAB"), QStringLiteral("none"));
    const ToolResult capture = quillet({"capture"}, 20000);
    EXPECT_FALSE(QString::fromUtf8(capture.err).contains(QStringLiteral("DISPLAY")))
        << capture.err.toStdString();
    const QString s = status();
    EXPECT_TRUE(s.contains(QLatin1String("wayland: 1"))) << s.toStdString();
}

// Neither a tray nor global keys (sway, stock GNOME): nothing would show that the program runs, so
// the first start opens the page that says what to bind. Once: later starts stay quiet.
TEST_F(WaylandSessionWithoutCapture, TheFirstStartWithoutTrayOrKeysShowsTheShortcutsPage)
{
    startCompositor({filled({640, 480}, 0xff202020)});
    if (IsSkipped() || HasFatalFailure())
        return;
    setFirstStart(true);
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(waitStatus("settings-window: 1", 10000)) << status().toStdString();
    EXPECT_TRUE(status().contains(QLatin1String("settings-page: shortcuts")));
    stop(m_program);
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitStatus("capture-ready: 1", 10000));
    EXPECT_TRUE(status().contains(QLatin1String("settings-window: 0"))) << status().toStdString();
}

} // namespace
} // namespace quillet::e2e
