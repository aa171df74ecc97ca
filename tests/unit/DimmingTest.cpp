#include "CaptureFixtures.h"

#include "capture/Dimming.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

namespace {

// What the painter itself makes of a copy with a shade laid over it.
QImage painterDimmed(const QImage& source, const QRect& from, QSize targetSize, QPoint to,
    int alpha, QImage::Format format)
{
    QImage out(targetSize, format);
    out.fill(Qt::green);
    QImage unscaled = source;
    unscaled.setDevicePixelRatio(1);
    QPainter p(&out);
    p.drawImage(to, unscaled, from);
    p.fillRect(QRect(to, from.size()), QColor(0, 0, 0, alpha));
    return out;
}

} // namespace

// Every alpha a user can set and every channel value, over widths that do and do not fill the
// vector lanes, must give exactly the painter's pixels: the first paint writes them directly and
// later paints copy them from the dimmed copy or draw them with the painter.
TEST(Dimming, MatchesThePainterExactly)
{
    QImage source(259, 7, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb(x & 0xff, (x * 3 + y * 40) & 0xff, (255 - x) & 0xff));
    for (const QImage::Format format :
        {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        for (const double alpha : {0.0, 0.1, 0.42, 0.5, 0.85, 1.0}) {
            const int a = Dimming::alphaStep(alpha);
            for (const QRect& from : {QRect(0, 0, 259, 7), QRect(3, 1, 5, 4), QRect(1, 2, 1, 1)}) {
                const QPoint to(2, 1);
                const QSize size(from.width() + 4, from.height() + 2);
                const QImage expected = painterDimmed(source, from, size, to, a, format);
                QImage actual(size, format);
                actual.fill(Qt::green);
                Dimming::darken(source, from, actual, to, a);
                ASSERT_EQ(actual, expected)
                    << "alpha " << alpha << " format " << format << " width " << from.width();
            }
        }
    }
}

TEST(Dimming, DarkenedCopyKeepsSizeAndRatio)
{
    const QImage source = patternImage(64, 32, 2.0);
    const QImage copy = Dimming::darkened(source, 107);
    ASSERT_EQ(copy.size(), source.size());
    EXPECT_EQ(copy.devicePixelRatio(), 2.0);
    EXPECT_EQ(copy, painterDimmed(source, source.rect(), source.size(), {}, 107, copy.format()));
    // A source of another format is converted first instead of being misread.
    const QImage rgb888 = source.convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(Dimming::darkened(rgb888, 107).pixel(5, 5), copy.pixel(5, 5));
}

TEST(Dimming, DirectTargetOnlyWhenPixelsMapOneToOne)
{
    struct Case {
        const char* name;
        QImage::Format format;
        QTransform transform;
        bool direct;
    };
    const Case cases[] = {
        {"moved by whole pixels", QImage::Format_RGB32, QTransform::fromTranslate(5, 3), true},
        {"scaled", QImage::Format_RGB32, QTransform::fromScale(2, 2), false},
        {"between pixels", QImage::Format_RGB32, QTransform::fromTranslate(0.5, 0), false},
        {"a format it cannot write", QImage::Format_RGB888, QTransform(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QImage image(40, 30, c.format);
        QPainter p(&image);
        p.setTransform(c.transform);
        const auto t = Dimming::directTarget(p);
        ASSERT_EQ(t.has_value(), c.direct);
        if (t) {
            EXPECT_EQ(t->image, &image);
            EXPECT_EQ(t->offset, QPoint(5, 3));
        }
    }
}
