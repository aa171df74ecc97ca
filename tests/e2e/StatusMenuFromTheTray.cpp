#include "E2eEnv.h"

namespace quillet::e2e {
namespace {

class StatusMenuFromTheTray : public E2eEnv { };

// The tray host starts after the program: the entry moves in by itself. Its menu's third entry
// closes every pin, the second pins the clipboard.
TEST_F(StatusMenuFromTheTray, EntryJoinsALateTrayAndItsMenuPins)
{
    ASSERT_TRUE(startQuilletReady());
    EXPECT_EQ(quilletStatus().value("tray"), "0");
    EXPECT_TRUE(quilletStderr().contains("托盘"));
    ASSERT_TRUE(startTray());
    // Two pins away from the panel, which a pin at the pointer there would cover.
    ASSERT_TRUE(mouseMove({640, 400}));
    for (const char* text : {"first", "second"}) {
        ASSERT_TRUE(putClipboardText(text));
        ASSERT_EQ(quillet({"pin"}).exitCode, 0);
    }
    ASSERT_TRUE(chooseFromTray(3, [&] { return pins() == 0; }));
    ASSERT_TRUE(putClipboardText("from the menu"));
    EXPECT_TRUE(chooseFromTray(2, [&] { return pins() == 1; }));
    EXPECT_TRUE(quilletStatus().contains("pid"));
}

} // namespace
} // namespace quillet::e2e
