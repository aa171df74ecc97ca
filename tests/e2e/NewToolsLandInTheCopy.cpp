#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class NewToolsLandInTheCopy : public CaptureJourney {
protected:
    // Ellipse, pen, highlighter and mosaic, each chosen with its digit key and dragged out.
    // `undoRedo`: the last two taken back and put back again before the copy.
    QImage drawAndCopy(const QRect& region, bool undoRedo, const QByteArray& previous)
    {
        if (!openCapture())
            return {};
        const QPoint to = region.topLeft() + QPoint(region.width(), region.height());
        if (!drag(region.topLeft(), to))
            return {};
        const bool drawn = key("2") && drag(ellipse.topLeft(), ellipse.bottomRight() + QPoint(1, 1))
            && key("4") && drag(penFrom, penTo) && key("5") && drag(markFrom, markTo) && key("8")
            && drag(mosaic.topLeft(), mosaic.bottomRight() + QPoint(1, 1));
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
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
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

} // namespace
} // namespace quillet::e2e
