#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class TypedTextIsInTheExport : public CaptureJourney { };

// Text typed with the text tool ends up in the copy as a label filled in the default colour,
// right where it was placed; everywhere else the copy is the screen.
TEST_F(TypedTextIsInTheExport, LabelWhereTheTextWasPlaced)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture());
    const QRect region(200, 150, 600, 400);
    ASSERT_TRUE(drag(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height())));
    ASSERT_TRUE(key("6"));
    const QPoint at(300, 300);
    ASSERT_TRUE(mouseMove(at));
    ASSERT_TRUE(click());
    ASSERT_EQ(runTool("xdotool", {"type", "--delay", "20", "Quillet 42"}).exitCode, 0);
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(sessionIs("open")) << "Escape ends the typing, not the capture";
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());

    const QImage image = waitClipboardImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), region.size());
    const QPoint o = region.topLeft();
    int red = 0;
    QRect changed;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if ((c & 0xFFFFFF) != (patternColor(o.x() + x, o.y() + y) & 0xFFFFFF))
                changed |= QRect(x, y, 1, 1);
            red += isPaletteRed(c, 12);
        }
    }
    // Ten characters at the default size make a label well over a thousand red pixels.
    EXPECT_GT(red, 1000);
    // Everything that changed lies around the place of the click: the label and its shadow.
    const QRect near = QRect(at - o - QPoint(40, 60), QSize(320, 120));
    EXPECT_TRUE(near.contains(changed))
        << changed.x() << "," << changed.y() << " " << changed.width() << "x" << changed.height();
    EXPECT_TRUE(changed.contains(at - o + QPoint(20, 0))) << "the label starts at the click";
}

} // namespace
} // namespace quillet::e2e
