#include "CaptureJourney.h"

#include <QFile>

namespace quillet::e2e {
namespace {

class MosaicHidesTextFromOcr : public CaptureJourney {
protected:
    // What tesseract reads in `image`, upper-cased, or an empty string when it cannot run.
    QString ocr(const QImage& image, const QString& name)
    {
        const QString path = scratch(name);
        if (!image.save(path, "PNG"))
            return {};
        const ToolResult r = runTool("tesseract", {path, "stdout", "-l", "eng+chi_sim"}, 60000);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QString::fromUtf8(r.out).toUpper();
    }

    // Copies `region` of the screen, with a mosaic dragged over `hidden` when it is not empty.
    QImage copyRegion(const QRect& region, const QRect& hidden)
    {
        if (!putClipboardText("-") || !openCapture() || !dragRect(region))
            return {};
        if (!hidden.isEmpty() && !(key("8") && dragRect(hidden)))
            return {};
        if (!key("Return") || !waitSessionGone())
            return {};
        return waitClipboardImage().convertToFormat(QImage::Format_RGB32);
    }
};

// Large words on the screen, copied as they are, read back by OCR; copied again with a mosaic over
// the second line, that line is gone for OCR while the first still reads.
TEST_F(MosaicHidesTextFromOcr, MosaicedLineIsNoLongerReadable)
{
    ASSERT_TRUE(startTraced() && waitForQuilletReady());
    const QString words = scratch("words.png");
    const ToolResult made = runTool("convert",
        {"-size", "1000x360", "xc:white", "-fill", "black", "-font", "DejaVu-Sans-Bold",
            "-pointsize", "80", "-annotate", "+40+120", "PUBLIC NOTICE", "-annotate", "+40+290",
            "SECRET CODE", "PNG24:" + words});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QImage expected = QImage(words).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(expected.size(), QSize(1000, 360));

    // Shown on the screen as a pin centred on the pointer.
    ASSERT_TRUE(mouseMove({640, 400}));
    ASSERT_EQ(quillet({"pin", words}).exitCode, 0);
    const QRect shown(140, 220, 1000, 360);
    const auto showing = [&] {
        const QImage screen = screenShot();
        if (screen.isNull())
            return false;
        // Its fade-in over: the pixels as in the file, within a rounding step (the border of the
        // pin that has the keyboard left out).
        const QImage seen = screen.copy(shown);
        for (int y = 4; y < expected.height() - 4; y += 3) {
            for (int x = 4; x < expected.width() - 4; x += 3) {
                if (std::abs(qGray(seen.pixel(x, y)) - qGray(expected.pixel(x, y))) > 3)
                    return false;
            }
        }
        return true;
    };
    ASSERT_TRUE(waitFor(showing, 10000));

    const QRect region = shown.adjusted(10, 10, -10, -10);
    const QString before = ocr(copyRegion(region, {}), "before.png");
    EXPECT_TRUE(before.contains("PUBLIC")) << before.toStdString();
    EXPECT_TRUE(before.contains("SECRET")) << before.toStdString();

    // The second line's box: its words sit between y 200 and 300 of the picture.
    const QRect secondLine(shown.x() + 20, shown.y() + 190, 900, 130);
    const QImage hidden = copyRegion(region, secondLine);
    ASSERT_EQ(hidden.size(), region.size());
    const QString after = ocr(hidden, "after.png");
    EXPECT_TRUE(after.contains("PUBLIC")) << after.toStdString();
    EXPECT_FALSE(after.contains("SECRET")) << after.toStdString();
    EXPECT_FALSE(after.contains("CODE")) << after.toStdString();
}

} // namespace
} // namespace quillet::e2e
