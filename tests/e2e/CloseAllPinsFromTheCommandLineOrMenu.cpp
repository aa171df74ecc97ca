#include "PinJourney.h"

namespace quillet::e2e {
namespace {

// Like the tray journey, without a window manager: trayer is the only other client.
class CloseAllPinsFromTheCommandLineOrMenu : public PinJourney {
protected:
    EnvOptions options() const override { return {}; }

    // Two pins side by side, one from a file and one from clipboard text.
    void twoPins()
    {
        ASSERT_TRUE(mouseMove({300, 300}));
        ASSERT_EQ(quillet({"pin", savedImage(gradientImage({160, 100}), "one.png")}).exitCode, 0);
        ASSERT_TRUE(putClipboardText("second pin"));
        ASSERT_TRUE(mouseMove({800, 500}));
        ASSERT_EQ(quillet({"pin"}).exitCode, 0);
        ASSERT_EQ(pins(), 2);
        ASSERT_TRUE(waitFor([&] { return shownPins().size() == 2; }));
    }

    void allGone()
    {
        EXPECT_TRUE(waitForPins(0));
        EXPECT_TRUE(waitForNoPinWindow());
        // The program itself stays.
        EXPECT_TRUE(quilletStatus().contains("pid"));
    }
};

TEST_F(CloseAllPinsFromTheCommandLineOrMenu, TheTrayMenusThirdItem)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    startBackground("trayer",
        {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100", "--height",
            "24"});
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("tray") == "1"; }));
    twoPins();

    // 截图, 贴图, 关闭所有贴图: the icon sits at the right end of the panel.
    ASSERT_TRUE(waitFor(
        [&] {
            mouseMove({1268, 12});
            click(1);
            return key("Down") && key("Down") && key("Down") && key("Return")
                && waitFor([&] { return pins() == 0; }, 1000);
        },
        8000));
    allGone();
}

TEST_F(CloseAllPinsFromTheCommandLineOrMenu, APinsContextMenuClosesEveryPin)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    twoPins();

    // The last entry of the menu on the first pin.
    ASSERT_TRUE(mouseMove({300, 300}));
    ASSERT_TRUE(click(3));
    ASSERT_TRUE(waitFor([&] {
        // The menu is a window of the program's own that is not a pin.
        const ToolResult r = runTool("xdotool", {"search", "--onlyvisible", "--class", "quillet"});
        return QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts).size() > 2;
    }));
    ASSERT_TRUE(key("Up"));
    ASSERT_TRUE(key("Return"));
    allGone();
}

} // namespace
} // namespace quillet::e2e
