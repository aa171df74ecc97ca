#include "output/PinGeometry.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace quillet;

namespace {

Screen makeScreen(const QString& name, QRectF frame, QRectF visible, qreal scale = 1.0)
{
    Screen s;
    s.name = name;
    s.frame = frame;
    s.visibleFrame = visible;
    s.scale = scale;
    return s;
}

const Screen laptop = makeScreen("laptop", QRectF(0, 0, 1440, 900), QRectF(0, 0, 1440, 875), 2.0);
const Screen side = makeScreen("side", QRectF(1440, 0, 1920, 1080), QRectF(1440, 0, 1920, 1040));

} // namespace

// A given rectangle is used exactly; without one the image is centred on the pointer, at its own
// size when 90 % of the visible frame of the screen under the pointer holds it, shrunk to that
// otherwise; off every screen it keeps its size and is not moved on screen.
TEST(PinGeometryFrame, FromTheGivenRectangleOrAroundThePointer)
{
    struct Case {
        const char* what;
        QSizeF image;
        std::optional<QRectF> at;
        QList<Screen> screens;
        QPointF pointer;
        QRectF frame;
    };
    const Case cases[] = {
        {"given rectangle", {600, 400}, QRectF(123.5, 456.25, 300, 200), {laptop}, {10, 10},
            {123.5, 456.25, 300, 200}},
        {"small image", {100, 80}, {}, {laptop}, {500, 400}, {450, 360, 100, 80}},
        // s = min(1296 / 4000, 787.5 / 3000) = 0.2625
        {"large image", {4000, 3000}, {}, {laptop}, {700, 450}, {175, 56.25, 1050, 787.5}},
        {"fits the side screen", {1500, 900}, {}, {laptop, side}, {2000, 500},
            {1440, 50, 1500, 900}},
        {"off every screen", {2000, 1500}, {}, {laptop}, {-500, -500}, {-1500, -1250, 2000, 1500}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PinGeometry::initialFrame(c.image, c.at, c.screens, c.pointer), c.frame)
            << c.what;
    // 1500 × 900 does not fit the laptop's.
    EXPECT_LT(
        PinGeometry::initialFrame(QSizeF(1500, 900), {}, {laptop, side}, QPointF(100, 500)).width(),
        1500);
}

// A new pin near an edge opens whole on the screen under the pointer, nearest to being centred.
TEST(PinGeometryFrame, PinNearAnEdgeStaysOnItsScreen)
{
    const Screen left = makeScreen("left", QRectF(0, 0, 1280, 800), QRectF(0, 0, 1280, 770));
    const Screen right
        = makeScreen("right", QRectF(1280, 0, 1024, 768), QRectF(1280, 0, 1024, 768));
    struct Case {
        const char* what;
        QSizeF size;
        QPointF pointer;
        QRectF frame;
    };
    const Case cases[] = {
        {"tall note low on the left", QSizeF(632, 600), QPointF(100, 200), QRectF(0, 0, 632, 600)},
        {"top right", QSizeF(632, 600), QPointF(1250, 760), QRectF(648, 170, 632, 600)},
        {"wide note at the seam stays left", QSizeF(600, 100), QPointF(1270, 400),
            QRectF(680, 350, 600, 100)},
        {"and right of it stays right", QSizeF(600, 100), QPointF(1290, 400),
            QRectF(1280, 350, 600, 100)},
        {"centred where it fits", QSizeF(200, 100), QPointF(640, 400), QRectF(540, 350, 200, 100)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PinGeometry::initialFrame(c.size, {}, {left, right}, c.pointer), c.frame)
            << c.what;
}

TEST(PinGeometryCap, WindowSizeLimitFollowsTheScreensAndHugeImagesAreShrunkToIt)
{
    struct Case {
        const char* what;
        QList<Screen> screens;
        QSizeF cap;
    };
    const Screen big = makeScreen("5k", QRectF(0, 0, 5120, 2880), QRectF(0, 0, 5120, 2880));
    const Case cases[] = {
        {"1080p", {side}, QSizeF(7680, 4320)},
        {"retina: 16384 device pixels at 2×", {laptop}, QSizeF(5760, 3600)},
        {"mixed: widest and tallest, densest scale", {laptop, side}, QSizeF(7680, 4320)},
        {"5K: device limit wins", {big}, QSizeF(16384, 11520)},
        {"no screens", {}, QSizeF(16384, 16384)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PinGeometry::maxWindowSize(c.screens), c.cap) << c.what;
    const Screen dense = makeScreen("dense", QRectF(0, 0, 3000, 2000), QRectF(0, 0, 3000, 2000), 3);
    EXPECT_NEAR(PinGeometry::maxWindowSize({dense}).width(), 16384.0 / 3, 1e-9);
    const QRectF f
        = PinGeometry::initialFrame(QSizeF(30000, 1000), {}, {side}, QPointF(-9000, 100));
    EXPECT_DOUBLE_EQ(f.width(), 7680);
    EXPECT_DOUBLE_EQ(f.height(), 256);
    const QRectF at(0, 0, 20000, 100);
    const QRectF g = PinGeometry::initialFrame(QSizeF(20000, 100), at, {side}, QPointF());
    EXPECT_DOUBLE_EQ(g.width(), 7680);
    EXPECT_EQ(g.center(), at.center());
}

TEST(PinGeometryZoom, ClampedToRangeAndToTheWindowCap)
{
    struct Case {
        qreal asked;
        QSizeF image;
        qreal expected;
    };
    const Case cases[] = {
        {1.0, QSizeF(100, 80), 1.0},
        {2.5, QSizeF(100, 80), 2.5},
        {0.1, QSizeF(100, 80), 0.1},
        {0.01, QSizeF(100, 80), 0.1},
        {-3, QSizeF(100, 80), 0.1},
        {8.0, QSizeF(100, 80), 8.0},
        {100, QSizeF(100, 80), 8.0},
        {std::numeric_limits<qreal>::infinity(), QSizeF(100, 80), 8.0},
        {std::numeric_limits<qreal>::quiet_NaN(), QSizeF(100, 80), 1.0},
        // 3000 × 2000 on a 1080p screen: 4320 / 2000 caps the zoom at 2.16.
        {8.0, QSizeF(3000, 2000), 2.16},
        {2.0, QSizeF(3000, 2000), 2.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(PinGeometry::clampZoom(c.asked, c.image, {side}), c.expected, 1e-12)
            << c.asked << " on " << c.image.width() << "×" << c.image.height();
}

TEST(PinGeometryZoom, PointUnderThePointerStaysUnderIt)
{
    const QRectF frame(100, 200, 400, 300);
    struct Case {
        QPointF pointer;
        QSizeF size;
    };
    const Case cases[] = {
        {QPointF(200, 260), QSizeF(800, 600)}, {QPointF(499, 499), QSizeF(40, 30)},
        {QPointF(50, 700), QSizeF(1000, 750)}, // outside: extrapolates, not clamped
    };
    for (const Case& c : cases) {
        const QRectF z = PinGeometry::anchoredFrame(frame, c.size, c.pointer);
        EXPECT_EQ(z.size(), c.size);
        EXPECT_NEAR((c.pointer.x() - z.x()) / z.width(), (c.pointer.x() - frame.x()) / 400, 1e-12);
        EXPECT_NEAR((c.pointer.y() - z.y()) / z.height(), (c.pointer.y() - frame.y()) / 300, 1e-12);
    }
    // A frame without extent anchors at its middle.
    EXPECT_EQ(PinGeometry::anchoredFrame(QRectF(10, 10, 0, 0), QSizeF(100, 50), QPointF(10, 10)),
        QRectF(-40, -15, 100, 50));
}

TEST(PinGeometryWheel, ZoomIsMultiplicativeOpacityStepsAndBothBounded)
{
    EXPECT_DOUBLE_EQ(PinGeometry::zoomAfterWheel(1.0, 1, false), std::exp(0.04));
    EXPECT_DOUBLE_EQ(PinGeometry::zoomAfterWheel(1.0, 3, false), std::exp(0.04)); // per event
    EXPECT_DOUBLE_EQ(PinGeometry::zoomAfterWheel(1.0, -1, false), std::exp(-0.04));
    EXPECT_DOUBLE_EQ(PinGeometry::zoomAfterWheel(1.0, 0, false), 1.0);
    EXPECT_DOUBLE_EQ(PinGeometry::zoomAfterWheel(1.0, 10, true), std::exp(0.02));
    EXPECT_DOUBLE_EQ(PinGeometry::zoomAfterWheel(1.0, 500, true), std::exp(0.04));
    EXPECT_DOUBLE_EQ(PinGeometry::zoomAfterWheel(1.0, -500, true), std::exp(-0.04));
    qreal z = 1.3;
    for (int i = 0; i < 7; ++i)
        z = PinGeometry::zoomAfterWheel(z, 1, false);
    for (int i = 0; i < 7; ++i)
        z = PinGeometry::zoomAfterWheel(z, -1, false);
    EXPECT_NEAR(z, 1.3, 1e-12);
    EXPECT_NEAR(PinGeometry::opacityAfterWheel(1.0, -1, false), 0.9, 1e-12);
    EXPECT_NEAR(PinGeometry::opacityAfterWheel(0.5, 2, false), 0.7, 1e-12);
    EXPECT_NEAR(PinGeometry::opacityAfterWheel(0.5, -5, true), 0.45, 1e-12);
    EXPECT_DOUBLE_EQ(PinGeometry::opacityAfterWheel(0.2, -1, false), 0.15);
    EXPECT_DOUBLE_EQ(PinGeometry::opacityAfterWheel(0.95, 1, false), 1.0);
    EXPECT_DOUBLE_EQ(PinGeometry::opacityAfterWheel(1.0, 40, true), 1.0);
}

TEST(PinGeometryBadge, Texts)
{
    struct Case {
        qreal value;
        const char* text;
    };
    const Case zooms[] = {{1.0, "100%"}, {2.5, "250%"}, {0.1, "10%"}, {8.0, "800%"},
        {0.2625, "26%"}, {0.125, "13%"}, {0.005, "1%"}, {std::exp(0.04), "104%"}};
    for (const Case& c : zooms)
        EXPECT_EQ(PinGeometry::percentText(c.value), QString::fromUtf8(c.text)) << c.value;
    EXPECT_EQ(PinGeometry::opacityText(0.85), QStringLiteral("透明度 85%"));
    EXPECT_EQ(PinGeometry::opacityText(0.15), QStringLiteral("透明度 15%"));
    EXPECT_EQ(PinGeometry::opacityText(1.0 - 0.1 - 0.1 - 0.1), QStringLiteral("透明度 70%"));
}
