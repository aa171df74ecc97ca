#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class ScaledScreenKeepsDevicePixels : public CaptureJourney { };

// At a scale of 2 a region of N points exports 2N device pixels, each the screen's own.
TEST_F(ScaledScreenKeepsDevicePixels, DoubleScale)
{
    ASSERT_TRUE(screenPattern());
    startTraced({"QT_SCALE_FACTOR=2"});
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture());
    // xdotool speaks device pixels: (100,100)-(300,260) is 100×80 points.
    ASSERT_TRUE(drag({100, 100}, {300, 260}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage image = waitClipboardImage();
    EXPECT_EQ(image.size(), QSize(200, 160));
    EXPECT_EQ(patternDiff(image, QRect(100, 100, 200, 160)), 0);
}

} // namespace
} // namespace quillet::e2e
