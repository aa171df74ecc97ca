#include "capture/annotation/AnnotationDrawing.h"
#include "FakeAnnotationHost.h"
#include "Pixels.h"
#include "capture/annotation/RenderCache.h"
#include "ui/Shadow.h"

#include <QFontMetricsF>
#include <cmath>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::Canvas;
using quillet::test::near;
using quillet::test::worstChannel;

namespace {

const QColor grey(128, 128, 128);

Annotation make(Tool t, QList<QPointF> pts, double width = 4, QColor c = palette()[0],
    QString text = {}, int style = 0)
{
    return Annotation {t, c, width, pts, text, style};
}

// Pixels of the canvas inside a view rectangle that satisfy `pred`.
template<typename F> int countPixels(const Canvas& c, const QRectF& r, F pred)
{
    int n = 0;
    for (int y = int(r.top()); y < int(r.bottom()); ++y)
        for (int x = int(r.left()); x < int(r.right()); ++x)
            n += pred(c.at(QPointF(x + 0.5, y + 0.5))) ? 1 : 0;
    return n;
}

} // namespace

struct ArrowCase {
    double width;
    double length;
    double head; // 0: nothing drawn
};

class ArrowHead : public ::testing::TestWithParam<ArrowCase> { };

TEST_P(ArrowHead, HeadLengthAndWidth)
{
    const ArrowCase c = GetParam();
    const Annotation a = make(Tool::arrow, {QPointF(10, 10), QPointF(10 + c.length, 10)}, c.width);
    const QPolygonF poly = arrowPolygon(a);
    if (c.head == 0) {
        EXPECT_TRUE(poly.isEmpty());
        return;
    }
    ASSERT_EQ(poly.size(), 7);
    EXPECT_NEAR(arrowHeadLength(a), c.head, 1e-9);
    // The head is as wide as it is long, and the shaft tapers from 0.4 w to 1.5 w.
    EXPECT_NEAR(poly[2].y() - poly[4].y(), c.head, 1e-9);
    EXPECT_NEAR(poly[0].y() - poly[6].y(), 0.4 * c.width, 1e-9);
    EXPECT_NEAR(poly[1].y() - poly[5].y(), 1.5 * c.width, 1e-9);
    EXPECT_EQ(poly[3], QPointF(10 + c.length, 10));
}

INSTANTIATE_TEST_SUITE_P(Geometry, ArrowHead,
    ::testing::Values(ArrowCase {4, 30, 18}, ArrowCase {4, 300, 18}, ArrowCase {2, 27, 16},
        ArrowCase {2, 500, 16}, ArrowCase {4, 20, 12}, ArrowCase {1, 10, 6}, ArrowCase {4, 2, 0},
        ArrowCase {4, 0, 0}, ArrowCase {4, 2.5, 1.5}));

// The field that edits a text is sized from this width: it must be the words' own, rounded up.
TEST(AnnotationGeometry, TextWidthAndLineHeightAreRoundedUp)
{
    EXPECT_EQ(textWidth(make(Tool::text, {QPointF(50, 60)}, 18)), 2);
    const Annotation words = make(Tool::text, {QPointF(0, 0)}, 18, palette()[0], "截图 Hello");
    const qreal measured = QFontMetricsF(textFont(words)).horizontalAdvance(words.text);
    EXPECT_EQ(textWidth(words), std::ceil(measured));
    // Lines are whole points high, so the field and the label share their rows.
    const qreal lh = lineHeight(textFont(words));
    EXPECT_EQ(lh, std::ceil(lh));
}

TEST(AnnotationRendering, ShapesLandWhereTheirPointsSay)
{
    Canvas c(QSize(300, 200), grey);
    const QColor red = palette()[0];
    c.paint([&](QPainter& p) {
        drawAnnotation(
            p, make(Tool::rect, {QPointF(20, 20), QPointF(120, 80)}, 4), nullptr, c.bounds);
        drawAnnotation(
            p, make(Tool::ellipse, {QPointF(150, 20), QPointF(250, 80)}, 4), nullptr, c.bounds);
        drawAnnotation(p,
            make(Tool::pen, {QPointF(20, 150), QPointF(80, 150), QPointF(80, 180)}, 6), nullptr,
            c.bounds);
    });
    EXPECT_TRUE(near(c.at({70, 20}), red)); // bottom edge of the rectangle
    EXPECT_TRUE(near(c.at({120, 50}), red)); // its right edge
    EXPECT_TRUE(near(c.at({70, 50}), grey)); // not filled
    EXPECT_TRUE(near(c.at({200, 20}), red)); // bottom of the ellipse
    EXPECT_TRUE(near(c.at({150, 50}), red)); // its left side
    EXPECT_TRUE(near(c.at({152, 22}), grey)); // the ellipse leaves the corner alone
    EXPECT_TRUE(near(c.at({50, 150}), red)); // pen segment
    EXPECT_TRUE(near(c.at({80, 170}), red));
    // The soft shadow falls below a shape: darker than the background just under the edge.
    EXPECT_LT(c.at({70, 16}).red(), grey.red() - 4);
    EXPECT_TRUE(near(c.at({70, 5}), grey, 1));
}

TEST(AnnotationRendering, ArrowTapersFromTailToHead)
{
    Canvas c(QSize(300, 100), grey);
    const QColor red = palette()[0];
    c.paint([&](QPainter& p) {
        drawAnnotation(
            p, make(Tool::arrow, {QPointF(20, 50), QPointF(220, 50)}, 8), nullptr, c.bounds);
    });
    EXPECT_TRUE(near(c.at({21.5, 50}), red));
    EXPECT_TRUE(near(c.at({21.5, 54.5}), grey, 12)); // 0.4 w wide at the tail
    EXPECT_TRUE(near(c.at({180, 54.5}), red)); // 1.5 w wide near the head
    EXPECT_TRUE(near(c.at({186, 64}), red)); // inside the 36-point head
    EXPECT_TRUE(near(c.at({215, 50}), red));
    EXPECT_TRUE(near(c.at({240, 50}), grey, 1));
}

TEST(AnnotationRendering, HighlighterLetsTheCaptureThrough)
{
    Canvas c(QSize(200, 100), grey);
    const QColor yellow = palette()[1];
    c.paint([&](QPainter& p) {
        drawAnnotation(p, make(Tool::highlighter, {QPointF(20, 50), QPointF(180, 50)}, 5, yellow),
            nullptr, c.bounds);
    });
    const QColor got = c.at({100, 50});
    auto blend = [](int over, int under) { return 0.38 * over + 0.62 * under; };
    EXPECT_NEAR(got.red(), blend(yellow.red(), 128), 2.5);
    EXPECT_NEAR(got.green(), blend(yellow.green(), 128), 2.5);
    EXPECT_NEAR(got.blue(), blend(yellow.blue(), 128), 2.5);
    // 4 x width wide, and no shadow outside it.
    EXPECT_FALSE(near(c.at({100, 59}), grey, 1));
    EXPECT_TRUE(near(c.at({100, 38}), grey, 0));
    EXPECT_TRUE(near(c.at({100, 62}), grey, 0));
}

TEST(AnnotationRendering, LabelWordsContrastWithTheLabel)
{
    struct Case {
        int colorIndex;
        QColor words;
        QColor wrong;
    };
    for (const Case k : {Case {0, Qt::white, Qt::black}, Case {1, Qt::black, Qt::white}}) {
        Canvas c(QSize(300, 120), grey);
        const QColor fill = palette()[k.colorIndex];
        const Annotation a = make(Tool::text, {QPointF(30, 30)}, 10, fill, "AB 字", 1);
        c.paint([&](QPainter& p) { drawAnnotation(p, a, nullptr, c.bounds); });
        const qreal lh = lineHeight(textFont(a));
        // The label reaches 6 points left of the words and 4 below; its colour is the palette's.
        EXPECT_TRUE(near(c.at({26, 30 + lh / 2}), fill)) << k.colorIndex;
        EXPECT_TRUE(near(c.at({32, 27}), fill)) << k.colorIndex;
        EXPECT_TRUE(near(c.at({20, 30 + lh / 2}), grey, 12)) << k.colorIndex;
        const QRectF box(30, 30, textWidth(a), lh);
        EXPECT_GT(countPixels(c, box, [&](QColor p) { return near(p, k.words, 10); }), 40);
        EXPECT_EQ(countPixels(c, box, [&](QColor p) { return near(p, k.wrong, 10); }), 0);
    }
}

TEST(AnnotationRendering, OutlinedTextHasAContrastingRim)
{
    for (int index : {0, 1}) {
        Canvas c(QSize(300, 120), grey);
        const QColor fill = palette()[index];
        const Annotation a = make(Tool::text, {QPointF(30, 30)}, 14, fill, "HI", 2);
        c.paint([&](QPainter& p) { drawAnnotation(p, a, nullptr, c.bounds); });
        const QRectF box(25, 25, textWidth(a) + 10, lineHeight(textFont(a)) + 10);
        const QColor rim = index == 1 ? QColor(26, 26, 26) : QColor(Qt::white);
        EXPECT_GT(countPixels(c, box, [&](QColor p) { return near(p, rim, 12); }), 30) << index;
        EXPECT_GT(countPixels(c, box, [&](QColor p) { return near(p, fill, 6); }), 30) << index;
    }
}

TEST(AnnotationRendering, NumberStampDiscRingAndNumeral)
{
    Canvas c(QSize(100, 100), grey);
    const QColor green = palette()[2];
    c.paint([&](QPainter& p) {
        drawAnnotation(p, make(Tool::number, {QPointF(50, 50)}, 4, green, "7"), nullptr, c.bounds);
    });
    EXPECT_TRUE(near(c.at({50, 60.5}), green));
    EXPECT_TRUE(near(c.at({50 + 13.8, 50}), Qt::white, 40));
    EXPECT_GT(
        countPixels(c, QRectF(44, 44, 12, 12), [](QColor p) { return near(p, Qt::white, 20); }), 8);
    EXPECT_TRUE(near(c.at({50, 50 - 13.8 - 6}), grey, 20));
}

TEST(AnnotationRendering, MosaicRevealsThePixellatedCopy)
{
    test::FakeAnnotationHost host(QSize(200, 100), 1);
    const QImage pix = makePixelated(host.image, 1);
    Canvas c(QSize(200, 100), grey);
    c.paint([&](QPainter& p) {
        drawAnnotation(p, make(Tool::mosaic, {QPointF(10, 10), QPointF(55, 45)}), &pix, c.bounds);
        drawAnnotation(
            p, make(Tool::mosaic, {QPointF(100, 10), QPointF(150, 45)}), nullptr, c.bounds);
    });
    EXPECT_EQ(c.at({12, 12}), pix.pixelColor(12, 100 - 13));
    EXPECT_EQ(c.at({12, 12}), c.at({19.5, 19.5})); // one 10-point block from (10, 10)
    EXPECT_NE(c.at({12, 12}), c.at({12, 21}));
    EXPECT_TRUE(near(c.at({8, 12}), grey, 0)); // nothing outside the rectangle
    EXPECT_TRUE(near(c.at({120, 20}), grey, 0)); // no copy: invisible, not an error
}

TEST(AnnotationRendering, KeptLayersLookLikeLiveDrawing)
{
    RenderCache::clear();
    const QList<Annotation> list = {
        make(Tool::rect, {QPointF(20, 20), QPointF(120, 80)}, 4, palette()[5]),
        make(Tool::highlighter, {QPointF(20, 100), QPointF(180, 110)}, 4, palette()[1]),
        make(Tool::text, {QPointF(130, 20)}, 8, palette()[0], "Hi 你", 2),
        make(Tool::number, {QPointF(160, 140)}, 4, palette()[3], "12"),
    };
    auto render = [&](ShadowCaching caching) {
        Canvas c(QSize(240, 180), grey);
        c.paint([&](QPainter& p) {
            for (const Annotation& a : list)
                drawAnnotation(p, a, nullptr, c.bounds, caching);
        });
        return c;
    };
    const Canvas live = render(ShadowCaching::direct);
    const Canvas first = render(ShadowCaching::cached);
    EXPECT_GT(RenderCache::bytes(), 0);
    const Canvas again = render(ShadowCaching::cached);
    EXPECT_EQ(first.image, again.image);
    EXPECT_LE(worstChannel(live.image, first.image), 2);
    // A light colour casts the darker shadow.
    EXPECT_LT(first.at({70, 16}).red(), 128 - 8);
    RenderCache::clear();
    EXPECT_EQ(RenderCache::bytes(), 0);
}

TEST(AnnotationRendering, LargeShapesCastTheSameShadowInTiles)
{
    // Large enough that the shadow is made tile by tile; compared with one blur over everything.
    for (qreal scale : {1.0, 2.0}) {
        const Annotation a
            = make(Tool::rect, {QPointF(30, 40), QPointF(730, 560)}, 6, palette()[3]);
        Canvas tiled(QSize(800, 600), grey, scale), whole(QSize(800, 600), grey, scale);
        tiled.paint([&](QPainter& p) {
            drawAnnotation(p, a, nullptr, tiled.bounds, ShadowCaching::direct);
        });
        whole.paint([&](QPainter& p) {
            p.setRenderHint(QPainter::Antialiasing);
            const QRectF r(30, 40, 700, 520);
            paintWithShadow(p, Shadow {QColor(0, 0, 0, qRound(0.30 * 255)), 3, QPointF(0, -1)},
                r.adjusted(-6, -6, 6, 6), [&](QPainter& q) {
                    q.setPen(QPen(a.color, a.width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
                    q.setBrush(Qt::NoBrush);
                    q.drawRoundedRect(r, 3, 3);
                });
        });
        EXPECT_LE(worstChannel(tiled.image, whole.image), 2) << scale;
        EXPECT_LT(tiled.at({380, 36}).red(), 128 - 4) << scale; // the shadow is there
    }
}

TEST(AnnotationRendering, MovedAnnotationsReuseTheirLayer)
{
    RenderCache::clear();
    Annotation a = make(Tool::text, {QPointF(20.5, 30)}, 6, palette()[1], "移动 move", 1);
    Canvas first(QSize(300, 200), grey);
    first.paint([&](QPainter& p) { drawAnnotation(p, a, nullptr, first.bounds); });
    const qint64 held = RenderCache::bytes();
    for (QPointF& pt : a.points)
        pt += QPointF(37, 52);
    Canvas moved(QSize(300, 200), grey), live(QSize(300, 200), grey);
    moved.paint([&](QPainter& p) { drawAnnotation(p, a, nullptr, moved.bounds); });
    live.paint(
        [&](QPainter& p) { drawAnnotation(p, a, nullptr, live.bounds, ShadowCaching::direct); });
    EXPECT_EQ(RenderCache::bytes(), held); // nothing new was rendered
    EXPECT_LE(worstChannel(live.image, moved.image), 2);
    EXPECT_TRUE(near(moved.at({57.5 - 3, 82 + 2}), palette()[1])); // the label moved along
}
