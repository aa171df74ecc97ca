#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class EscapeCancelsAndNextCaptureWorks : public CaptureJourney { };

// Escape ends a capture without touching the clipboard, before and after a region exists; the
// next capture opens and copies as usual.
TEST_F(EscapeCancelsAndNextCaptureWorks, CancelTwiceThenCopy)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());

    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitSessionGone());

    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(drag({100, 100}, {300, 200}));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitSessionGone());
    EXPECT_TRUE(clipboardTargets().isEmpty());

    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(drag({400, 300}, {480, 360}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage image = waitClipboardImage();
    EXPECT_EQ(patternDiff(image, QRect(400, 300, 80, 60)), 0);
    EXPECT_EQ(quilletStatus().value("busy"), "0");
}

// On a 4K screen the grab takes long enough for the hot key's own release to fall between the
// early-input grab and the overlay's. Had it slipped out there, the program would have believed
// the key still held and taken the next press within two seconds for auto-repeat.
class HotKeyRightAfterACapture : public CaptureJourney {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.size = QSize(3840, 2160);
        return o;
    }
};

TEST_F(HotKeyRightAfterACapture, OpensEveryTime)
{
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(openCapture("F1")) << "capture " << i + 1;
        ASSERT_TRUE(key("Escape"));
        ASSERT_TRUE(waitSessionGone());
    }
}

} // namespace
} // namespace quillet::e2e
