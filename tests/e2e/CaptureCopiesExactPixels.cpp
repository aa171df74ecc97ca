// Regions copied from a capture are the screen's own pixels as the screen is at that capture:
// wherever the region lies, after a window appeared, at scale 2, and right after a capture still
// fading under a compositor (two monitors are the monitor journey's). Escape ends a capture
// without touching the clipboard, and whatever a capture did the program is idle again and takes
// the next one.
#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class CaptureCopiesExactPixels : public CaptureJourney { };

// Escape before and after a region exists leaves the clipboard empty; the next captures copy
// near the top-left corner, and clamped into the bottom-right one by moving the region there:
// its last row and column are the screen's.
TEST_F(CaptureCopiesExactPixels, CancelTwiceThenCopyNearBothCorners)
{
    ASSERT_TRUE(startOnPattern());
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitSessionGone());
    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(drag({100, 100}, {300, 200}));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitSessionGone());
    EXPECT_TRUE(clipboardTargets().isEmpty());

    EXPECT_EQ(patternDiff(copyRegion({3, 5, 200, 150}, "F1"), QRect(3, 5, 200, 150)), 0);
    EXPECT_EQ(quilletStatus().value("busy"), "0");

    const QByteArray before = clipboardPng();
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({900, 500}, {1140, 630}));
    // Dragging inside the region moves it; the pointer stops at the last pixel, the region at
    // the screen's edge.
    ASSERT_TRUE(drag({1000, 560}, {1279, 799}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage image = waitClipboardImage(before);
    EXPECT_EQ(image.size(), QSize(240, 130));
    EXPECT_EQ(patternDiff(image, QRect(1280 - 240, 800 - 130, 240, 130)), 0);
}

// Captures reuse their windows and their memory: a window that appeared in between is in the
// picture, and nothing of the previous capture's frame is left.
TEST_F(CaptureCopiesExactPixels, NextCaptureSeesAWindowMappedBetweenAndColoursUnderThePointer)
{
    ASSERT_TRUE(startOnPattern());
    const QRect region(100, 100, 400, 300);
    EXPECT_EQ(patternDiff(copyRegion(region, "F1"), region), 0);

    const QRect window(200, 150, 160, 120);
    ASSERT_FALSE(mapWindow(window, "ff8800").isEmpty());
    const QImage second = copyRegion(region, "F1");
    ASSERT_EQ(second.size(), QSize(400, 300));
    const QRect inImage = window.translated(-100, -100);
    EXPECT_EQ(second.pixel(inImage.center()) & 0xFFFFFF, 0xff8800u);
    EXPECT_EQ(second.pixel(inImage.topLeft()) & 0xFFFFFF, 0xff8800u);
    EXPECT_EQ(patternDiffOutside(second, QPoint(100, 100), inImage), 0);

    // C with nothing selected copies the frozen pixel under the pointer as #RRGGBB and ends.
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
TEST_F(CaptureCopiesExactPixels, DoubleScaleKeepsDevicePixels)
{
    ASSERT_TRUE(startOnPattern({"QT_SCALE_FACTOR=2"}));
    // xdotool speaks device pixels: (100,100)-(300,260) is 100×80 points.
    EXPECT_EQ(patternDiff(copyRegion({100, 100, 200, 160}), QRect(100, 100, 200, 160)), 0);
}

// Whatever the capture shows, the program is idle again afterwards and takes the next one. The
// first capture comes before the program has made its buffers ready, the others after.
TEST_F(CaptureCopiesExactPixels, CaptureCommandReturnsToIdle)
{
    QProcess* program = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    for (int round = 0; round < 3; ++round) {
        if (round == 1) {
            ASSERT_TRUE(
                waitFor([&] { return quilletStatus().value("capture-ready") == "1"; }, 10000));
        }
        SCOPED_TRACE(round);
        const ToolResult r = quillet({"capture"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        // Either an overlay is up (then Escape ends it) or the capture already ended.
        ASSERT_TRUE(waitFor([&] { return quilletStatus().value("busy") == "0"; }));
        if (sessionIs("open")) {
            ASSERT_TRUE(key("Escape"));
        }
        EXPECT_TRUE(waitFor([&] { return sessionIs("none"); }));
    }
    EXPECT_EQ(quilletStatus().value("capture-ready"), "1") << "still ready after captures";
    EXPECT_EQ(program->state(), QProcess::Running);
}

// The overlay fades out after a capture. A capture started right away, while the last overlay
// may still be fading, freezes the screen without it.
class CapturesUnderACompositor : public CaptureJourney {
protected:
    EnvOptions options() const override { return {.compositor = true}; }
};

TEST_F(CapturesUnderACompositor, NextCaptureDuringTheFadeIsExact)
{
    ASSERT_TRUE(startOnPattern());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const QRect r(100 + 40 * round, 80, 400, 300);
        EXPECT_EQ(patternDiff(copyRegion(r, "F1"), r), 0);
    }
}

// On a 4K screen the grab takes long enough for the hot key's own release to fall between the
// early-input grab and the overlay's. Had it slipped out there, the program would have believed
// the key still held and taken the next press within two seconds for auto-repeat.
class HotKeyRightAfterACapture : public CaptureJourney {
protected:
    EnvOptions options() const override { return {.size = {3840, 2160}}; }
};

TEST_F(HotKeyRightAfterACapture, OpensEveryTime)
{
    ASSERT_TRUE(startTraced() && waitForQuilletReady());
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(openCapture("F1")) << "capture " << i + 1;
        ASSERT_TRUE(key("Escape"));
        ASSERT_TRUE(waitSessionGone());
    }
}

} // namespace
} // namespace quillet::e2e
