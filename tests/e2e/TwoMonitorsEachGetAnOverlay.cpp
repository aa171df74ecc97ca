#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class TwoMonitorsEachGetAnOverlay : public CaptureJourney {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.size = {2304, 800};
        o.twoMonitors = true;
        return o;
    }
};

// Both monitors are covered (two overlays painted before the trace), and a region on the
// second one exports its own pixels.
TEST_F(TwoMonitorsEachGetAnOverlay, RegionOnTheSecondMonitor)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(mouseMove({1500, 300}));
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({1400, 200}, {1700, 420}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone()) << log().toStdString();
    const QImage image = waitClipboardImage();
    EXPECT_EQ(image.size(), QSize(300, 220));
    EXPECT_EQ(patternDiff(image, QRect(1400, 200, 300, 220)), 0);

    // The first monitor's overlay works the same way in the next capture; the drag ends with
    // the pointer past its edge, on the other monitor, and Return still copies.
    const QByteArray before = clipboardPng();
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({1100, 600}, {1280, 700}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone()) << log().toStdString();
    const QImage left = waitClipboardImage(before);
    EXPECT_EQ(patternDiff(left, QRect(1100, 600, 180, 100)), 0);
}

} // namespace
} // namespace quillet::e2e
