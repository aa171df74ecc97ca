#include "E2eEnv.h"

namespace quillet::e2e {
namespace {

class StatusMenuFromTheTray : public E2eEnv { };

TEST_F(StatusMenuFromTheTray, EntryJoinsALateTrayAndItsMenuPins)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    EXPECT_EQ(quilletStatus().value("tray"), "0");
    EXPECT_TRUE(quilletStderr().contains("托盘"));

    // The tray host starts after the program: the entry moves in by itself.
    startBackground("trayer",
        {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100", "--height",
            "24"});
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("tray") == "1"; }));

    // Its icon sits at the right end of the 100-pixel panel; a click opens the menu, and the
    // second entry pins the clipboard.
    ASSERT_TRUE(putClipboardText("from the menu"));
    ASSERT_TRUE(waitFor(
        [&] {
            mouseMove({1268, 12});
            click(1);
            return key("Down") && key("Down") && key("Return")
                && waitFor([&] { return quilletStatus().value("pins") == "1"; }, 1000);
        },
        8000));
}

} // namespace
} // namespace quillet::e2e
