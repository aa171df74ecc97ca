// The harness's own promises, checked on a real server: the pattern background is exact, the
// monitors split as asked, the window manager is up.
#include "E2eEnv.h"

#include <QImage>

namespace quillet::e2e {
namespace {

class HarnessDrivesARealServer : public E2eEnv {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.size = {2304, 800};
        o.windowManager = true;
        o.twoMonitors = true;
        return o;
    }
};

TEST_F(HarnessDrivesARealServer, PatternMonitorsAndWindowManager)
{
    EXPECT_EQ(xprobe({"wm"}).exitCode, 0);
    const ToolResult monitors = runTool("xrandr", {"--listmonitors"});
    EXPECT_TRUE(monitors.out.startsWith("Monitors: 2")) << monitors.out.toStdString();

    ASSERT_TRUE(screenPattern());
    const ToolResult shot = runTool("import", {"-window", "root", "png:-"}, 15000);
    QImage img;
    ASSERT_TRUE(img.loadFromData(shot.out, "PNG"));
    ASSERT_EQ(img.size(), QSize(2304, 800));
    int wrong = 0;
    for (int y = 0; y < img.height(); y += 7) {
        for (int x = 0; x < img.width(); x += 5)
            wrong += (img.pixel(x, y) & 0xffffff) != (patternColor(x, y) & 0xffffff);
    }
    EXPECT_EQ(wrong, 0);
    // Every pixel differs: no two points of the screen share a colour.
    EXPECT_NE(patternColor(0, 0), patternColor(256, 0));
    EXPECT_NE(patternColor(0, 0), patternColor(0, 256));
    EXPECT_NE(patternColor(2303, 799), patternColor(2303 - 256, 799));
}

} // namespace
} // namespace quillet::e2e
