#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

// A long capture of a page in a scrolling view (tools/tallview: a fixed header, blank
// stretches, lines that repeat, uneven wheel steps) gives exactly the page, row for row.
class LongCaptureStitchesExactly : public CaptureJourney {
protected:
    const QRect view {200, 90, 320, 600};

    // The view on screen with a page of `rows`; the whole page as it must come out.
    QImage showPage(int rows)
    {
        const QString png = scratch("page.png");
        const QByteArray said = startUntilSaid(QStringLiteral(TALLVIEW_BINARY),
            {png, QString::number(view.x()), QString::number(view.y()),
                QString::number(view.width()), QString::number(view.height()),
                QString::number(rows)},
            "ready");
        return said.isEmpty() ? QImage() : QImage(png).convertToFormat(QImage::Format_RGB32);
    }

    QString longCapture() { return quilletStatus().value("long-capture"); }
    int gathered() { return longCapture().section(QLatin1Char(' '), 1).toInt(); }

    // Selects the view on the overlay and starts the long capture with its key.
    bool startLongCapture()
    {
        return openCapture() && dragRect(view) && key("l")
            && waitFor([&] { return longCapture().startsWith("manual") && gathered() > 0; });
    }

    // Rows that differ from the page; -1 when the width or height is not the page's.
    static qint64 rowsDiffering(const QImage& got, const QImage& want)
    {
        if (got.size() != want.size())
            return -1;
        const QImage g = got.convertToFormat(QImage::Format_RGB32);
        qint64 n = 0;
        for (int y = 0; y < g.height(); ++y) {
            for (int x = 0; x < g.width(); ++x) {
                if ((g.pixel(x, y) & 0xFFFFFF) != (want.pixel(x, y) & 0xFFFFFF)) {
                    ++n;
                    break;
                }
            }
        }
        return n;
    }
};

TEST_F(LongCaptureStitchesExactly, ByAutoScrollAndByUnevenWheelSteps)
{
    ASSERT_TRUE(startTraced() && waitForQuilletReady());
    const QImage page = showPage(4000);
    ASSERT_FALSE(page.isNull());

    // Auto-scroll runs to the end of the page by itself; Return copies.
    ASSERT_TRUE(startLongCapture()) << longCapture().toStdString();
    ASSERT_TRUE(key("a"));
    ASSERT_TRUE(waitFor([&] { return longCapture().startsWith("auto"); }));
    ASSERT_TRUE(waitFor([&] { return longCapture().startsWith("manual"); }, 60000))
        << longCapture().toStdString();
    EXPECT_EQ(gathered(), page.height());
    ASSERT_TRUE(key("Return"));
    const QImage automatic = waitClipboardImage();
    EXPECT_EQ(rowsDiffering(automatic, page), 0) << automatic.width() << "x" << automatic.height();
    ASSERT_TRUE(waitFor([&] { return longCapture() == "none"; }));

    // The same page from the top again (a new view over the old one), scrolled by the test in
    // bursts of uneven size.
    const QImage again = showPage(4000);
    ASSERT_FALSE(again.isNull());
    ASSERT_TRUE(startLongCapture());
    ASSERT_TRUE(mouseMove(view.center()));
    const int bursts[] = {1, 3, 2, 4, 1, 2, 3};
    for (int i = 0; gathered() < page.height() && i < 400; ++i) {
        const int before = gathered();
        ASSERT_TRUE(xdotool({"click", "--repeat", QString::number(bursts[i % std::size(bursts)]),
            "--delay", "1", "5"}));
        waitFor([&] { return gathered() > before; }, 3000);
    }
    EXPECT_EQ(gathered(), page.height());
    const QByteArray previous = clipboardPng();
    ASSERT_TRUE(key("Return"));
    const QImage byHand = waitClipboardImage(previous);
    EXPECT_EQ(rowsDiffering(byHand, page), 0) << byHand.width() << "x" << byHand.height();
}

TEST_F(LongCaptureStitchesExactly, StopsAtTheLimitWithWhatItGathered)
{
    ASSERT_TRUE(startTraced() && waitForQuilletReady());
    const QImage page = showPage(31000);
    ASSERT_FALSE(page.isNull());
    ASSERT_TRUE(startLongCapture());
    ASSERT_TRUE(key("a"));
    ASSERT_TRUE(waitFor([&] { return longCapture().startsWith("auto"); }));
    ASSERT_TRUE(waitFor([&] { return longCapture().startsWith("manual"); }, 120000))
        << longCapture().toStdString();
    EXPECT_EQ(gathered(), 30000);
    ASSERT_TRUE(key("Return"));
    const QImage got = waitClipboardImage();
    EXPECT_EQ(rowsDiffering(got, page.copy(0, 0, page.width(), 30000)), 0)
        << got.width() << "x" << got.height();
}

// Ctrl+S saves what was gathered at full size; the capture key pins it, scaled to the screen's
// height; Escape drops it and leaves the pin.
TEST_F(LongCaptureStitchesExactly, SavesPinsAndCancels)
{
    const QString folder = scratch("saved");
    ASSERT_TRUE(QDir().mkpath(folder));
    // The saved toast fades on the screen the region is on; a frame read through it has changed
    // by itself and is rightly refused, which is not what this journey is about.
    writeSettings({{"quickSave", true}, {"saveDir", folder}, {"showToast", false}});
    ASSERT_TRUE(startTraced() && waitForQuilletReady());
    const QImage page = showPage(4000);
    ASSERT_FALSE(page.isNull());

    ASSERT_TRUE(startLongCapture());
    ASSERT_TRUE(key("ctrl+s"));
    QStringList saved;
    ASSERT_TRUE(waitFor([&] {
        saved = QDir(folder).entryList({"*.png"}, QDir::Files);
        return saved.size() == 1;
    }));
    EXPECT_EQ(rowsDiffering(QImage(QDir(folder).filePath(saved.first())),
                  page.copy(0, 0, view.width(), view.height())),
        0);
    ASSERT_TRUE(waitFor([&] { return longCapture() == "none"; }));

    ASSERT_TRUE(startLongCapture());
    ASSERT_TRUE(mouseMove(view.center()));
    // Two notches at a time: on a loaded machine a burst of more can scroll a whole view
    // between two reads, and such a frame cannot be placed.
    for (int i = 0; gathered() <= 1200 && i < 40; ++i) {
        const int before = gathered();
        ASSERT_TRUE(xdotool({"click", "--repeat", "2", "5"}));
        waitFor([&] { return gathered() > before; }, 3000);
    }
    const int tall = gathered();
    ASSERT_GT(tall, 1200);
    ASSERT_EQ(quillet({"capture"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return pins() == 1 && longCapture() == "none"; }));
    // "pin: x y w h zoom opacity", Qt points: as tall as the 800-point screen, no taller.
    const QStringList pin = quilletStatus().value("pin").split(QLatin1Char(' '));
    ASSERT_EQ(pin.size(), 6);
    EXPECT_LE(pin[3].toDouble(), 800.0);
    EXPECT_GE(pin[3].toDouble(), 700.0);
    EXPECT_NEAR(pin[4].toDouble(), pin[3].toDouble() / tall, 0.01);

    ASSERT_TRUE(startLongCapture());
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([&] { return longCapture() == "none"; }));
    EXPECT_EQ(pins(), 1);
    EXPECT_EQ(QDir(folder).entryList({"*.png"}, QDir::Files).size(), 1);
}

} // namespace
} // namespace quillet::e2e
