#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class CaptureHotKeyPinsTheSelection : public CaptureJourney { };

// The overlay holds the keyboard, so a capture hot key pressed during a capture reaches it:
// it pins the selection exactly where it was and ends the capture. With nothing selected it
// does nothing.
TEST_F(CaptureHotKeyPinsTheSelection, F1PinsInPlace)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(key("F1"));
    EXPECT_TRUE(sessionIs("open"));
    EXPECT_EQ(pins(), 0);

    const QRect region(320, 240, 260, 180);
    ASSERT_TRUE(drag(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height())));
    // Away from the region, so the pointer hides none of it.
    ASSERT_TRUE(mouseMove({20, 20}));
    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(waitSessionGone());
    EXPECT_TRUE(waitFor([&] { return pins() == 1; }));

    // The pin shows the region's pixels in place; the screen elsewhere is the pattern again.
    // The pin that has the keyboard wears a 2-pixel accent border over its edge; inside it every
    // pixel is the region's own, in place.
    const QRect inner = region.adjusted(2, 2, -2, -2);
    qint64 differ = -2;
    waitFor([&] {
        const QImage shot = screenShot();
        differ = shot.isNull() ? -2 : patternDiff(shot.copy(inner), inner);
        return differ == 0;
    });
    EXPECT_EQ(differ, 0);
    // Pinned is pinned: the same key now starts a new capture instead.
    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitSessionGone());
    EXPECT_EQ(pins(), 1);
}

} // namespace
} // namespace quillet::e2e
