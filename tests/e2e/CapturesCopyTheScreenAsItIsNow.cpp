// Regions copied from a capture are the screen's own pixels as the screen is at that capture:
// after a window appeared, at scale 2, on either of two monitors, and right after a capture
// still fading under a compositor. C copies the frozen pixel under the pointer as #RRGGBB.
#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class CapturesCopyTheScreen : public CaptureJourney {
protected:
    void start(const QStringList& extraEnv = {})
    {
        ASSERT_TRUE(screenPattern());
        startTraced(extraEnv);
        ASSERT_TRUE(waitForQuilletReady());
    }

    // Opens a capture, drags out a region and copies it: the image that reaches the clipboard.
    QImage copyRegion(QPoint from, QPoint to, const QString& hotKey = {})
    {
        const QByteArray before = clipboardPng();
        if (!openCapture(hotKey) || !drag(from, to) || !key("Return") || !waitSessionGone())
            return {};
        return waitClipboardImage(before);
    }
};

// Captures reuse their windows and their memory: a window that appeared in between is in the
// picture, and nothing of the previous capture's frame is left.
TEST_F(CapturesCopyTheScreen, NextCaptureSeesAWindowMappedBetweenAndColoursUnderThePointer)
{
    start();
    EXPECT_EQ(patternDiff(copyRegion({100, 100}, {500, 400}, "F1"), QRect(100, 100, 400, 300)), 0);

    const QRect window(200, 150, 160, 120);
    ASSERT_FALSE(mapWindow(window, QStringLiteral("ff8800")).isEmpty());
    const QImage second = copyRegion({100, 100}, {500, 400}, "F1");
    ASSERT_EQ(second.size(), QSize(400, 300));
    const QRect inImage = window.translated(-100, -100);
    EXPECT_EQ(second.pixel(inImage.center()) & 0xFFFFFF, 0xff8800u);
    EXPECT_EQ(second.pixel(inImage.topLeft()) & 0xFFFFFF, 0xff8800u);
    EXPECT_EQ(patternDiffOutside(second, QPoint(100, 100), inImage), 0);

    // C with nothing selected copies the frozen pixel under the pointer and ends.
    for (const QPoint at : {QPoint(517, 300), QPoint(1100, 777)}) {
        SCOPED_TRACE(at.x());
        ASSERT_TRUE(mouseMove(at));
        ASSERT_TRUE(openCapture());
        ASSERT_TRUE(key("c"));
        ASSERT_TRUE(waitSessionGone());
        const QString expected = QColor(patternColor(at.x(), at.y())).name().toUpper();
        QByteArray text;
        EXPECT_TRUE(waitFor([&] {
            text = runTool("xclip", {"-selection", "clipboard", "-o"}).out;
            return text == expected.toLatin1();
        })) << text.toStdString()
            << " expected " << expected.toStdString();
    }
}

// At a scale of 2 a region of N points exports 2N device pixels, each the screen's own.
TEST_F(CapturesCopyTheScreen, DoubleScaleKeepsDevicePixels)
{
    start({"QT_SCALE_FACTOR=2"});
    // xdotool speaks device pixels: (100,100)-(300,260) is 100×80 points.
    EXPECT_EQ(patternDiff(copyRegion({100, 100}, {300, 260}), QRect(100, 100, 200, 160)), 0);
}

class CapturesCopyTheScreenOnTwoMonitors : public CapturesCopyTheScreen {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.size = {2304, 800};
        o.twoMonitors = true;
        return o;
    }
};

// Both monitors are covered, each overlay exports its own pixels, and a drag that ends past
// the first monitor's edge, on the other one, still copies.
TEST_F(CapturesCopyTheScreenOnTwoMonitors, RegionsOnEitherMonitor)
{
    start();
    ASSERT_TRUE(mouseMove({1500, 300}));
    EXPECT_EQ(patternDiff(copyRegion({1400, 200}, {1700, 420}), QRect(1400, 200, 300, 220)), 0)
        << log().toStdString();
    EXPECT_EQ(patternDiff(copyRegion({1100, 600}, {1280, 700}), QRect(1100, 600, 180, 100)), 0)
        << log().toStdString();
}

class CapturesCopyTheScreenUnderACompositor : public CapturesCopyTheScreen {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.compositor = true;
        return o;
    }
};

// The overlay fades out after a capture. A capture started right away, while the last overlay
// may still be fading, freezes the screen without it.
TEST_F(CapturesCopyTheScreenUnderACompositor, NextCaptureDuringTheFadeIsExact)
{
    start();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const QPoint from(100 + 40 * round, 80), to(500 + 40 * round, 380);
        EXPECT_EQ(patternDiff(copyRegion(from, to, "F1"), QRect(from, QSize(400, 300))), 0);
    }
}

} // namespace
} // namespace quillet::e2e
