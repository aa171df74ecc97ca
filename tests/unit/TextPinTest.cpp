#include "output/PinWindow.h"
#include "ui/Accent.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace quillet;

namespace {

QSizeF pointSize(const QImage& img)
{
    return QSizeF(img.width() / img.devicePixelRatio(), img.height() / img.devicePixelRatio());
}

int inkPixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += qGray(img.pixel(x, y)) < 128;
    return n;
}

QString repeated(const QString& unit, int times)
{
    QString s;
    for (int i = 0; i < times; ++i)
        s += unit;
    return s;
}

} // namespace

TEST(TextPin, EmptyTextIsABarePaper)
{
    for (qreal scale : {1.0, 2.0, 1.5}) {
        const QImage img = PinWindow::renderText(QString(), scale);
        EXPECT_EQ(pointSize(img), QSizeF(32, 28)) << scale;
        EXPECT_DOUBLE_EQ(img.devicePixelRatio(), scale);
        EXPECT_EQ(img.pixel(0, 0), srgb(1.0, 0.99, 0.94).rgb());
        EXPECT_EQ(inkPixels(img), 0);
    }
}

TEST(TextPin, PaperFitsTheTextWithItsMargins)
{
    const QImage img = PinWindow::renderText(QStringLiteral("贴图 note"));
    const QSizeF size = pointSize(img);
    EXPECT_GT(size.width(), 32 + 40);
    EXPECT_LT(size.width(), 32 + 120);
    EXPECT_GT(size.height(), 28 + 10);
    EXPECT_LT(size.height(), 28 + 30);
    // Ink only inside the 16 × 14 margins.
    const QImage top = img.copy(0, 0, img.width(), 13);
    const QImage left = img.copy(0, 0, 15, img.height());
    EXPECT_EQ(inkPixels(top), 0);
    EXPECT_EQ(inkPixels(left), 0);
    EXPECT_GT(inkPixels(img), 20);
}

TEST(TextPin, LineBreaksStartNewLinesAndLongLinesWrapAtSixHundredPoints)
{
    const struct {
        const char* what;
        QString text;
    } cases[] = {
        {"words", repeated(QStringLiteral("wrap me "), 200)},
        {"one unbreakable run", repeated(QStringLiteral("x"), 800)},
        {"Chinese", repeated(QStringLiteral("墨钉贴图"), 100)},
    };
    const qreal oneLine = pointSize(PinWindow::renderText(QStringLiteral("x"))).height();
    for (const auto& c : cases) {
        const QSizeF size = pointSize(PinWindow::renderText(c.text));
        EXPECT_LE(size.width(), 632) << c.what;
        EXPECT_GT(size.width(), 500) << c.what;
        EXPECT_GT(size.height(), 2 * oneLine) << c.what;
    }
    const qreal one = pointSize(PinWindow::renderText(QStringLiteral("a"))).height();
    const qreal two = pointSize(PinWindow::renderText(QStringLiteral("a\nb"))).height();
    const qreal three = pointSize(PinWindow::renderText(QStringLiteral("a\n\nb"))).height();
    EXPECT_GT(two, one + 10);
    EXPECT_GT(three, two + 10);
    EXPECT_EQ(PinWindow::renderText(QStringLiteral("a\r\nb")),
        PinWindow::renderText(QStringLiteral("a\nb")));
    // A single space is text too: it makes a note, not an empty paper.
    EXPECT_GT(pointSize(PinWindow::renderText(QStringLiteral(" "))).height(), 28);
}

TEST(TextPin, OnlyTheFirstFiveThousandCharactersAndTheLinesInsideTheImageBoundAreDrawn)
{
    const struct {
        const char* what;
        QString unit;
    } cases[] = {
        {"ASCII", QStringLiteral("k")},
        {"emoji", QStringLiteral("😀")},
        {"flag", QStringLiteral("🇨🇳")},
        {"combining accent", QStringLiteral("e\u0301")},
    };
    for (const auto& c : cases) {
        const QImage at5000 = PinWindow::renderText(repeated(c.unit, 5000));
        EXPECT_EQ(PinWindow::renderText(repeated(c.unit, 5000) + QStringLiteral("Z")), at5000)
            << c.what;
        // One character fewer leaves room for the next: it is drawn.
        EXPECT_NE(PinWindow::renderText(repeated(c.unit, 4999) + QStringLiteral("Z")),
            PinWindow::renderText(repeated(c.unit, 4999)))
            << c.what;
    }
    // Thousands of short lines would make a sheet taller than any image the program takes in
    // (a gigabyte at a scale of 2): the lines stop at that bound, and the sheet fills it.
    // 2500 one-digit lines fit the character limit and are far taller than the bound.
    QStringList lines;
    for (int i = 0; i < 2500; ++i)
        lines << QString::number(i % 10);
    const QString text = lines.join(QLatin1Char('\n'));
    for (const qreal scale : {1.0, 2.0, 3.0}) {
        const QImage img = PinWindow::renderText(text, scale);
        ASSERT_FALSE(img.isNull()) << scale;
        EXPECT_LE(img.height(), 16384) << scale;
        EXPECT_GT(img.height(), 16384 - 60 * scale) << scale;
        // The last line kept is drawn whole inside the sheet, above its bottom margin.
        const QImage bottom = img.copy(0, img.height() - qCeil(40 * scale), img.width(),
            qCeil(40 * scale) - qCeil(14 * scale));
        EXPECT_GT(inkPixels(bottom), 0) << scale;
    }
}

TEST(TextPin, SharpOnADoubleDensityScreen)
{
    const QString text = QStringLiteral("Sharp text 清晰");
    const QImage one = PinWindow::renderText(text, 1.0);
    const QImage two = PinWindow::renderText(text, 2.0);
    EXPECT_EQ(pointSize(two), pointSize(one));
    EXPECT_EQ(two.size(), one.size() * 2);
    // Glyphs drawn at twice the pixels cover about four times as many of them.
    const double ratio = double(inkPixels(two)) / inkPixels(one);
    EXPECT_GT(ratio, 2.8);
    EXPECT_LT(ratio, 5.5);
}
