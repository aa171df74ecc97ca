#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class CaptureCopiesExactPixels : public CaptureJourney { };

// A dragged region copied with Return is the screen's pixels, every one of them.
TEST_F(CaptureCopiesExactPixels, NearTheTopLeftCorner)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({3, 5}, {203, 155}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage image = waitClipboardImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(200, 150));
    EXPECT_EQ(patternDiff(image, QRect(3, 5, 200, 150)), 0);
}

// Moving the region into the corner clamps it there: its last row and column are the screen's.
TEST_F(CaptureCopiesExactPixels, TouchingTheBottomRightCorner)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({900, 500}, {1140, 630}));
    // Dragging inside the region moves it; the pointer stops at the last pixel, the region at
    // the screen's edge.
    ASSERT_TRUE(drag({1000, 560}, {1279, 799}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage image = waitClipboardImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(240, 130));
    EXPECT_EQ(patternDiff(image, QRect(1280 - 240, 800 - 130, 240, 130)), 0);
}

} // namespace
} // namespace quillet::e2e
