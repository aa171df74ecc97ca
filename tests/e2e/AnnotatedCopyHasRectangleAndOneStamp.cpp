#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class AnnotatedCopyHasRectangleAndOneStamp : public CaptureJourney {
protected:
    static int redPixelsAround(const QImage& img, QPoint c, int half)
    {
        int red = 0;
        for (int y = c.y() - half; y <= c.y() + half; ++y) {
            for (int x = c.x() - half; x <= c.x() + half; ++x)
                red += img.rect().contains(x, y) && isPaletteRed(img.pixel(x, y));
        }
        return red;
    }
};

// A rectangle and two stamps drawn with the keyboard's tool keys, the last stamp undone: the
// copy carries the rectangle's stroke and one stamp in the palette's red, and every pixel away
// from them is the screen's own.
TEST_F(AnnotatedCopyHasRectangleAndOneStamp, RectangleStampUndoCopy)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(openCapture());
    const QRect region(100, 100, 500, 300);
    ASSERT_TRUE(drag(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height())));

    ASSERT_TRUE(key("1"));
    const QRect box(150, 150, 200, 150);
    ASSERT_TRUE(drag(box.topLeft(), box.topLeft() + QPoint(box.width(), box.height())));
    ASSERT_TRUE(key("7"));
    const QPoint kept(450, 200), undone(500, 330);
    ASSERT_TRUE(mouseMove(kept));
    ASSERT_TRUE(click());
    ASSERT_TRUE(mouseMove(undone));
    ASSERT_TRUE(click());
    ASSERT_TRUE(key("ctrl+z"));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());

    const QImage image = waitClipboardImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), region.size());
    const QPoint o = region.topLeft();
    // The middle of the rectangle's top and left edges, and the stamp's disc around its numeral.
    EXPECT_TRUE(isPaletteRed(image.pixel(QPoint(250, 150) - o)));
    EXPECT_TRUE(isPaletteRed(image.pixel(QPoint(150, 225) - o)));
    EXPECT_GT(redPixelsAround(image, kept - o, 10), 100);
    EXPECT_EQ(redPixelsAround(image, undone - o, 20), 0);

    // Away from the two shapes (grown by their shadow's reach) the pattern is untouched: the
    // undone stamp left nothing behind.
    constexpr int margin = 14;
    QRegion shapes(box.translated(-o).adjusted(-margin, -margin, margin, margin));
    shapes += QRect(
        kept - o - QPoint(24 + margin, 24 + margin), QSize(48 + 2 * margin, 48 + 2 * margin));
    EXPECT_EQ(patternDiffOutside(image, o, shapes), 0);
    // The rectangle's inside is the screen's too.
    EXPECT_EQ(patternDiff(image.copy(box.translated(-o).adjusted(margin, margin, -margin, -margin)),
                  box.adjusted(margin, margin, -margin, -margin)),
        0);
}

} // namespace
} // namespace quillet::e2e
