// Every tool's marks land in the copied PNG where they were made, and every pixel away from them
// is the screen's own.
#include "CaptureJourney.h"

#include <QSet>

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

    // Rectangle, ellipse, pen, highlighter, two stamps (the second undone at once) and mosaic,
    // each chosen with its digit key. `undoRedo`: the last two taken back and put back again
    // before the copy.
    QImage drawAndCopy(const QRect& region, bool undoRedo, const QByteArray& previous)
    {
        if (!openCapture() || !dragRect(region))
            return {};
        const bool drawn = key("1") && dragRect(box) && key("2") && dragRect(ellipse) && key("4")
            && drag(penFrom, penTo) && key("5") && drag(markFrom, markTo) && key("7")
            && mouseMove(kept) && click() && mouseMove(undone) && click() && key("ctrl+z")
            && key("8") && dragRect(mosaic);
        if (!drawn)
            return {};
        if (undoRedo && !(key("ctrl+z") && key("ctrl+z") && key("ctrl+shift+z") && key("ctrl+y")))
            return {};
        if (!key("Return") || !waitSessionGone())
            return {};
        return waitClipboardImage(previous).convertToFormat(QImage::Format_RGB32);
    }

    const QRect box {120, 300, 180, 170};
    const QRect ellipse {150, 150, 150, 110};
    const QPoint penFrom {350, 150}, penTo {450, 250};
    const QPoint markFrom {350, 350}, markTo {500, 350};
    const QPoint kept {600, 430}, undone {470, 440};
    const QRect mosaic {520, 151, 140, 150};
};

// Keys 1, 2, 4, 5, 7 and 8 pick the rectangle, the ellipse, the pen, the highlighter, the stamp
// and the mosaic; each lands in the copied PNG where it was made, an undone stamp leaves nothing,
// and every pixel away from the marks is the screen's own. Undo and redo in between give back
// exactly the same picture.
TEST_F(NewToolsLandInTheCopy, EveryToolAndRedo)
{
    ASSERT_TRUE(startOnPattern());
    const QRect region(100, 100, 600, 400);
    const QImage image = drawAndCopy(region, true, {});
    ASSERT_EQ(image.size(), region.size());
    const QPoint o = region.topLeft();
    const auto at = [&](QPoint screen) { return image.pixel(screen - o); };

    // The middle of the rectangle's top and left edges, and the stamp's disc around its numeral.
    EXPECT_TRUE(isPaletteRed(at({box.center().x(), box.top()})));
    EXPECT_TRUE(isPaletteRed(at({box.left(), box.center().y()})));
    EXPECT_GT(redPixelsAround(image, kept - o, 10), 100);
    EXPECT_EQ(redPixelsAround(image, undone - o, 20), 0);
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
    // The mosaic (its blocks are the headless tests'): hardly any of the screen's own pixels
    // left (a block's average is the colour of about one pixel in it), and a few colours where
    // the screen had one per pixel.
    QSet<QRgb> colours;
    int screenOwn = 0;
    for (int y = mosaic.top() + 20; y <= mosaic.bottom() - 20; ++y) {
        for (int x = mosaic.left() + 20; x <= mosaic.right() - 20; ++x) {
            colours.insert(at({x, y}) & 0xFFFFFF);
            screenOwn += (at({x, y}) & 0xFFFFFF) == (patternColor(x, y) & 0xFFFFFF);
        }
    }
    EXPECT_LT(screenOwn, 100);
    EXPECT_LE(colours.size(), 6 * 7);
    // Away from the marks (grown by their shadows' reach) the pattern is untouched.
    constexpr int margin = 16;
    QRegion marks;
    for (const QRect& r :
        {box, ellipse, QRect(penFrom, penTo), mosaic, QRect(kept - QPoint(24, 24), QSize(48, 48))})
        marks += r.translated(-o).adjusted(-margin, -margin, margin, margin);
    marks += QRect(markFrom, markTo).translated(-o).adjusted(-30, -30, 30, 30);
    EXPECT_EQ(patternDiffOutside(image, o, marks), 0);
    // The rectangle's inside is the screen's too.
    const QRect inBox = box.adjusted(margin, margin, -margin, -margin);
    EXPECT_EQ(patternDiff(image.copy(inBox.translated(-o)), inBox), 0);

    // Drawn again without the undo and redo: the same pixels (the clipboard emptied of the first
    // copy, which would look the same).
    ASSERT_TRUE(putClipboardText(QStringLiteral("-")));
    const QImage again = drawAndCopy(region, false, {});
    ASSERT_EQ(again.size(), image.size());
    EXPECT_TRUE(again == image);
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
