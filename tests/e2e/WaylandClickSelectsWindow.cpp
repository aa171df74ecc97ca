// Window detection on sway, from its window tree: a click on another program's window during a
// capture selects that window's rectangle as sway placed it, and Return copies exactly those
// pixels.
#include "WaylandRig.h"

namespace quillet::e2e {
namespace {

class WaylandClickSelectsWindow : public WaylandRig { };

TEST_F(WaylandClickSelectsWindow, AClickedWindowIsCopiedAsSwayPlacedIt)
{
    const QImage background = noise({1280, 720}, 21);
    startCompositor({background});
    if (IsSkipped() || HasFatalFailure())
        return;
    startInput();
    ASSERT_FALSE(HasFatalFailure());
    QProcess* window = startReady(QStringLiteral(WLWINDOW_BINARY), {"probe", "3366cc"});
    ASSERT_TRUE(window) << "the window never showed";
    // Floating, away from every edge, with a border of its own: its rectangle is then its own
    // and not the output's, and a title bar that comes or goes as the client settles how it is
    // decorated cannot move it.
    ASSERT_EQ(runTool(QStringLiteral("swaymsg"),
                  {"[title=\"probe\"] floating enable, border pixel 3, move absolute position "
                   "300 200"})
                  .exitCode,
        0);
    const QRect frame(300, 200, 426, 266);
    ASSERT_TRUE(waitFor([&] { return viewRect(window->processId()) == frame; }));
    // The pointer waits in a corner while the screen is read: sway draws it into the picture.
    ASSERT_TRUE(pointer("move 1279 719"));
    const QPoint outside = frame.bottomRight() + QPoint(2, 2);
    QImage before;
    ASSERT_TRUE(waitFor([&] {
        before = outputImage();
        return !before.isNull() && (before.pixel(frame.center()) & 0xffffff) == 0x3366cc
            && before.pixel(outside) == background.pixel(outside);
    })) << "the window is not drawn where the tree says";

    QProcessEnvironment route;
    route.insert(QStringLiteral("QUILLET_WAYLAND_GRAB"), QStringLiteral("screencopy"));
    startProgram(route);
    ASSERT_FALSE(HasFatalFailure());
    // The program's start leaves other programs' windows as they were (their title bar and
    // border): the rules it gives sway for its own windows once made the focused window
    // borderless and sticky.
    EXPECT_EQ(viewRect(window->processId()), frame);
    ASSERT_TRUE(openCapture(1));
    ASSERT_TRUE(moveTo(frame.center()) && pointer("press") && pointer("release"));
    ASSERT_TRUE(key({QStringLiteral("-k"), QStringLiteral("Return")}));
    const QImage copied = copiedAfterEnd();
    ASSERT_EQ(copied.size(), frame.size());
    EXPECT_EQ(differingPixels(copied, before.copy(frame)), 0);
}

} // namespace
} // namespace quillet::e2e
