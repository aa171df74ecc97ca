#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class NextCaptureSeesTheScreenAsItIsNow : public CaptureJourney { };

// Captures reuse their windows and their memory. A capture right after another must still show
// and export the screen as it is now: a window that appeared in between is in the picture, and
// nothing of the previous capture's frame is left.
TEST_F(NextCaptureSeesTheScreenAsItIsNow, WindowMappedBetweenCaptures)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());

    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(drag({100, 100}, {500, 400}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage first = waitClipboardImage();
    ASSERT_EQ(patternDiff(first, QRect(100, 100, 400, 300)), 0);

    const QRect window(200, 150, 160, 120);
    ASSERT_FALSE(mapWindow(window, QStringLiteral("ff8800")).isEmpty());
    const QByteArray before = clipboardPng();
    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(drag({100, 100}, {500, 400}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage second = waitClipboardImage(before);
    ASSERT_EQ(second.size(), QSize(400, 300));
    const QRect inImage = window.translated(-100, -100);
    EXPECT_EQ(second.pixel(inImage.center()) & 0xFFFFFF, 0xff8800u);
    EXPECT_EQ(second.pixel(inImage.topLeft()) & 0xFFFFFF, 0xff8800u);
    EXPECT_EQ(patternDiffOutside(second, QPoint(100, 100), inImage), 0);
}

} // namespace
} // namespace quillet::e2e
