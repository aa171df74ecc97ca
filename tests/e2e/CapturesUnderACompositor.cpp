#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class CapturesUnderACompositor : public CaptureJourney {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.compositor = true;
        return o;
    }
};

// With a compositor the overlay fades out after a capture. A capture started right away, while
// the last overlay may still be fading, freezes the screen without it and exports exact pixels.
TEST_F(CapturesUnderACompositor, NextCaptureDuringTheFadeIsExact)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    QByteArray before;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(openCapture("F1"));
        const QPoint from(100 + 40 * round, 80), to(500 + 40 * round, 380);
        ASSERT_TRUE(drag(from, to));
        ASSERT_TRUE(key("Return"));
        ASSERT_TRUE(waitSessionGone());
        const QImage image = waitClipboardImage(before);
        before = clipboardPng();
        ASSERT_EQ(image.size(), QSize(400, 300));
        EXPECT_EQ(patternDiff(image, QRect(from, QSize(400, 300))), 0);
    }
}

} // namespace
} // namespace quillet::e2e
