// Every tool's marks land in the copied PNG where they were made, and every pixel away from them
// is the screen's own.
#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class NewToolsLandInTheCopy : public CaptureJourney {
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

    // Ellipse, pen, highlighter and mosaic, each chosen with its digit key and dragged out.
    // `undoRedo`: the last two taken back and put back again before the copy.
    QImage drawAndCopy(const QRect& region, bool undoRedo, const QByteArray& previous)
    {
        if (!openCapture() || !dragRect(region))
            return {};
        const bool drawn = key("2") && dragRect(ellipse) && key("4") && drag(penFrom, penTo)
            && key("5") && drag(markFrom, markTo) && key("8") && dragRect(mosaic);
        if (!drawn)
            return {};
        if (undoRedo && !(key("ctrl+z") && key("ctrl+z") && key("ctrl+shift+z") && key("ctrl+y")))
            return {};
        if (!key("Return") || !waitSessionGone())
            return {};
        return waitClipboardImage(previous).convertToFormat(QImage::Format_RGB32);
    }

    // The average of the pattern over a block of screen pixels, as the mosaic makes it.
    static QRgb patternAverage(const QRect& block)
    {
        qint64 r = 0, g = 0, b = 0, n = 0;
        for (int y = block.top(); y <= block.bottom(); ++y) {
            for (int x = block.left(); x <= block.right(); ++x) {
                const QRgb c = patternColor(x, y);
                r += qRed(c), g += qGreen(c), b += qBlue(c), ++n;
            }
        }
        return qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n));
    }

    const QRect ellipse {150, 150, 150, 110};
    const QPoint penFrom {350, 150}, penTo {450, 250};
    const QPoint markFrom {350, 350}, markTo {500, 350};
    const QRect mosaic {520, 151, 140, 150};
};

// Keys 2, 4, 5 and 8 pick the ellipse, the pen, the highlighter and the mosaic; each drag lands in
// the copied PNG where it was made. Undo and redo in between give back exactly the same picture.
TEST_F(NewToolsLandInTheCopy, EllipsePenHighlighterMosaicAndRedo)
{
    ASSERT_TRUE(startOnPattern());
    const QRect region(100, 100, 600, 400);
    const QImage image = drawAndCopy(region, true, {});
    ASSERT_EQ(image.size(), region.size());
    const QPoint o = region.topLeft();
    const auto at = [&](QPoint screen) { return image.pixel(screen - o); };

    // The ellipse's outline at its left and top, the screen inside it.
    EXPECT_TRUE(isPaletteRed(at({ellipse.left(), ellipse.center().y()})));
    EXPECT_TRUE(isPaletteRed(at({ellipse.center().x(), ellipse.top()})));
    EXPECT_EQ(at(ellipse.center()) & 0xFFFFFF,
        patternColor(ellipse.center().x(), ellipse.center().y()) & 0xFFFFFF);
    // The pen's line through the middle of its drag.
    EXPECT_TRUE(isPaletteRed(at((penFrom + penTo) / 2)));
    // The highlighter: the palette's red at 38 % over the screen, which shows through.
    const QPoint mid = (markFrom + markTo) / 2;
    const QRgb under = patternColor(mid.x(), mid.y()), seen = at(mid);
    EXPECT_NEAR(qRed(seen), 0.38 * 255 + 0.62 * qRed(under), 4);
    EXPECT_NEAR(qGreen(seen), 0.38 * 0x45 + 0.62 * qGreen(under), 4);
    // The mosaic: blocks of 20 pixels (the medium size) counted from the screen's bottom-left
    // corner, each the average of the screen beneath it.
    const int screenHeight = 800;
    int blocks = 0;
    for (int bottom = screenHeight; bottom - 20 >= mosaic.top(); bottom -= 20) {
        for (int left = 0; left + 20 <= mosaic.right() + 1; left += 20) {
            const QRect block(left, bottom - 20, 20, 20);
            if (!mosaic.contains(block))
                continue;
            const QRgb want = patternAverage(block);
            for (int y = block.top(); y <= block.bottom(); ++y)
                for (int x = block.left(); x <= block.right(); ++x)
                    ASSERT_EQ(at({x, y}) & 0xFFFFFF, want & 0xFFFFFF) << x << "," << y;
            ++blocks;
        }
    }
    EXPECT_GE(blocks, 6 * 7);

    // Drawn again without the undo and redo: the same pixels (the clipboard emptied of the first
    // copy, which would look the same).
    ASSERT_TRUE(putClipboardText(QStringLiteral("-")));
    const QImage again = drawAndCopy(region, false, {});
    ASSERT_EQ(again.size(), image.size());
    EXPECT_TRUE(again == image);
}

// A rectangle and two stamps drawn with the keyboard's tool keys, the last stamp undone: the
// copy carries the rectangle's stroke and one stamp in the palette's red, and every pixel away
// from them is the screen's own.
TEST_F(NewToolsLandInTheCopy, RectangleStampUndoCopy)
{
    ASSERT_TRUE(startOnPattern());
    ASSERT_TRUE(openCapture());
    const QRect region(100, 100, 500, 300);
    ASSERT_TRUE(dragRect(region));

    ASSERT_TRUE(key("1"));
    const QRect box(150, 150, 200, 150);
    ASSERT_TRUE(dragRect(box));
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

// Text typed with the text tool ends up in the copy as a label filled in the default colour,
// right where it was placed; everywhere else the copy is the screen.
TEST_F(NewToolsLandInTheCopy, LabelWhereTheTextWasPlaced)
{
    ASSERT_TRUE(startOnPattern());
    ASSERT_TRUE(openCapture());
    const QRect region(200, 150, 600, 400);
    ASSERT_TRUE(dragRect(region));
    ASSERT_TRUE(key("6"));
    const QPoint at(300, 300);
    ASSERT_TRUE(mouseMove(at));
    ASSERT_TRUE(click());
    ASSERT_TRUE(xdotool({"type", "--delay", "20", "Quillet 42"}));
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
