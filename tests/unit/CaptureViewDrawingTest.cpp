#include "CaptureFixtures.h"
#include "Pixels.h"

#include "platform/Geometry.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

namespace {

void paintRegion(CaptureView& v, QImage& target, const QRegion& region)
{
    QPainter p(&target);
    v.paint(p, region);
}

// The whole view painted afresh at its scale, as a full repaint would leave the screen.
QImage paintFresh(CaptureView& v, QSize points, qreal scale)
{
    QImage out(points * scale, QImage::Format_RGB32);
    out.setDevicePixelRatio(scale);
    paintRegion(v, out, QRegion(QRect(QPoint(0, 0), points)));
    return out;
}

QImage paintAll(CaptureView& v)
{
    return paintFresh(v, v.bounds().size().toSize(), 1);
}

void waitForDimming(CaptureView& v)
{
    v.startDimming();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.dimmedReady(); }, 5000));
}

QRgb dimmed(QRgb c, double alpha)
{
    auto d = [alpha](int v) { return v * (1 - alpha); };
    return qRgb(int(d(qRed(c)) + 0.5), int(d(qGreen(c)) + 0.5), int(d(qBlue(c)) + 0.5));
}

} // namespace

// The label counts device pixels; it sits above the region's top-left corner, inside the region
// where the top has no room, and is pushed left at the right edge.
TEST(CaptureViewDrawing, SizeLabelCountsDevicePixelsAndStaysOnScreen)
{
    auto g = oneScreen(2.0);
    g.view().mouseMovedAt({10, 10});
    g.view().mouseDownAt({10, 10});
    g.view().mouseDraggedAt({110.5, 50});
    ASSERT_EQ(g.view().selection(), QRectF(10, 10, 100.5, 40));
    EXPECT_EQ(g.view().sizeLabelText(), QStringLiteral("201  ×  80"));

    auto f = oneScreen();
    CaptureView& v = f.view();
    v.beginEditing(QRectF(100, 100, 200, 100), {});
    auto box = *v.sizeLabelRect();
    EXPECT_EQ(box.topLeft(), QPointF(100, 208));
    v.beginEditing(QRectF(100, 500, 200, 100), {});
    box = *v.sizeLabelRect();
    EXPECT_EQ(box.x(), 108);
    EXPECT_DOUBLE_EQ(maxY(box), 600 - 8);
    v.beginEditing(QRectF(760, 100, 40, 100), {});
    box = *v.sizeLabelRect();
    EXPECT_DOUBLE_EQ(maxX(box), 800 - 4);
    EXPECT_DOUBLE_EQ(box.y(), 208);
}

TEST(CaptureViewDrawing, MagnifierOpensWhereThereIsRoomAndShowsOnlyTheImagesCells)
{
    struct Case {
        const char* name;
        QPointF m;
        QPointF panelOrigin; // bottom-left corner, y up
    };
    const QList<Case> cases = {
        {"room below right", {300, 300}, {322, 300 - 22 - 170}},
        {"10 from the right edge", {790, 300}, {790 - 22 - 120, 300 - 22 - 170}},
        {"10 from the bottom", {300, 10}, {322, 32}},
        {"bottom-right corner", {795, 5}, {795 - 142, 27}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = oneScreen();
        f.view().mouseMovedAt(c.m);
        const auto panel = f.view().magnifierRect();
        ASSERT_TRUE(panel);
        EXPECT_EQ(panel->topLeft(), c.panelOrigin);
        EXPECT_EQ(panel->size(), QSizeF(120, 170));
        // It leaves once a region is chosen.
        f.view().beginEditing(QRectF(10, 10, 50, 50), {});
        f.view().mouseMovedAt(c.m);
        EXPECT_FALSE(f.view().magnifierRect());
    }
    auto f = oneScreen();
    CaptureView& v = f.view();
    v.mouseMovedAt({0.5, 599.5}); // image pixel (0, 0)
    const QImage shot = paintAll(v);
    const QRectF panel = widgetFromView(*v.magnifierRect(), 600);
    const QPointF zoom = panel.topLeft();
    auto cellCentre
        = [&](int col, int row) { return (zoom + QPointF(col * 8 + 4, row * 8 + 4)).toPoint(); };
    // Cell (7 + i, 7 + j) shows image pixel (i, j); away from the crosshair bands they are exact.
    for (int i : {2, 4, 7}) {
        for (int j : {2, 5, 7}) {
            EXPECT_EQ(shot.pixel(cellCentre(7 + i, 7 + j)), v.image().pixel(i, j)) << i << "," << j;
        }
    }
    // Above and left of the image the cells keep the panel's colour.
    const QRgb panelColour = qRgb(26, 26, 26);
    EXPECT_TRUE(near(shot.pixel(cellCentre(2, 2)), panelColour, 2));
    EXPECT_TRUE(near(shot.pixel(cellCentre(3, 12)), panelColour, 2));
}

TEST(CaptureViewDrawing, PixelColourAtTheImageEdges)
{
    auto f = oneScreen(2.0);
    CaptureView& v = f.view();
    const QImage& img = v.image();
    struct Case {
        QPointF p;
        std::optional<QPoint> pixel;
    };
    const QList<Case> cases = {
        {{0, 600}, QPoint(0, 0)},
        {{0, 0.4}, QPoint(0, 1199)},
        {{799.9, 300}, QPoint(1599, 600)},
        {{800, 300}, std::nullopt},
        {{-0.6, 300}, std::nullopt},
        {{100, 600.6}, std::nullopt},
        {{100, 0}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1,%2").arg(c.p.x()).arg(c.p.y()).toStdString());
        const auto colour = v.pixelColor(c.p);
        ASSERT_EQ(colour.has_value(), c.pixel.has_value());
        if (c.pixel) {
            EXPECT_EQ(colour->rgb(), img.pixel(*c.pixel));
        }
    }
}

TEST(CaptureViewDrawing, OnlyTheActiveScreenShowsItsFrame)
{
    auto f = makeSession({fakeScreen(QStringLiteral("L"), QRectF(0, 0, 400, 300)),
        fakeScreen(QStringLiteral("R"), QRectF(400, 0, 400, 300))});
    f.view(0).mouseMovedAt({100, 100});
    f.view(1).mouseMovedAt({100, 100});
    f.view(0).mouseDownAt({100, 100});
    CaptureView& other = f.view(1);
    waitForDimming(other);
    const QImage shot = paintAll(other);
    const double alpha = 0.42;
    for (QPoint p : {QPoint(0, 0), QPoint(100, 200), QPoint(210, 80), QPoint(399, 299)})
        EXPECT_TRUE(near(shot.pixel(p), dimmed(other.image().pixel(p), alpha)))
            << p.x() << "," << p.y();
}

TEST(CaptureViewDrawing, HoleIsUndimmedAndFramed)
{
    auto f = oneScreen(1.0, {QRectF(100, 100, 200, 100)});
    CaptureView& v = f.view();
    v.mouseMovedAt({150, 150});
    waitForDimming(v);
    const QImage shot = paintAll(v);
    // Inside the hole (away from the frame and the magnifier): the frozen pixels.
    EXPECT_EQ(shot.pixel(120, 440), v.image().pixel(120, 440));
    // Outside: dimmed.
    EXPECT_TRUE(near(shot.pixel(50, 50), dimmed(v.image().pixel(50, 50), 0.42)));
    // The frame line just outside the hole's left edge, about half way up.
    const QRgb frame = shot.pixel(99, 450);
    EXPECT_GT(qBlue(frame), 200);
    EXPECT_LT(qRed(frame), 120);
}

TEST(CaptureViewDrawing, HandlesShowWhileResizingButNotWhileMoving)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    dragSelect(v, {100, 100}, {300, 200});
    const QPoint corner = widgetFromView(QPointF(100, 100), 600).toPoint();
    EXPECT_EQ(paintAll(v).pixel(corner), qRgb(255, 255, 255)) << "selected: handles shown";

    v.mouseDownAt({200, 150});
    v.mouseDraggedAt({200, 150});
    ASSERT_EQ(v.dragMode().kind, DragMode::move);
    EXPECT_NE(paintAll(v).pixel(corner), qRgb(255, 255, 255)) << "moving: no handles";
    v.mouseUpAt({200, 150});

    v.mouseDownAt({300, 150});
    v.mouseDraggedAt({300, 150});
    ASSERT_EQ(v.dragMode().kind, DragMode::resize);
    EXPECT_EQ(paintAll(v).pixel(corner), qRgb(255, 255, 255)) << "resizing: handles shown";
}

// The overlay repaints only what changed; the picture must be the one a full repaint gives.
TEST(CaptureViewDrawing, PartialRepaintsMatchAFullRepaint)
{
    for (qreal scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        auto f = oneScreen(
            scale, {QRectF(100, 100, 200, 150), QRectF(350.5, 300.25, 300, 200)}, QSizeF(800, 600));
        CaptureView& v = f.view();
        v.mouseMovedAt({150, 150});
        waitForDimming(v);
        QImage screen = paintFresh(v, QSize(800, 600), scale);
        v.takeDamage();
        const QList<QPointF> path = {{160, 170}, {400, 350}, {420, 360}, {790, 10}, {5, 595}};
        for (const QPointF& m : path) {
            v.mouseMovedAt(m);
            for (int i = 0; i < 3; ++i)
                v.animateHover(); // part of the way: the frame is between windows
            paintRegion(v, screen, v.takeDamage());
            const QImage full = paintFresh(v, QSize(800, 600), scale);
            ASSERT_EQ(screen, full)
                << "after moving to " << m.x() << "," << m.y() << ": " << difference(screen, full);
        }
        // Dragging out a region repaints in parts as well.
        v.mouseDownAt({200, 200});
        for (const QPointF& m : {QPointF(260, 240), QPointF(420.5, 300.5), QPointF(100, 100)}) {
            v.mouseDraggedAt(m);
            paintRegion(v, screen, v.takeDamage());
            const QImage full = paintFresh(v, QSize(800, 600), scale);
            ASSERT_EQ(screen, full) << "while dragging to " << m.x() << "," << m.y() << ": "
                                    << difference(screen, full);
        }
    }
}

TEST(CaptureViewDrawing, PointerOverAChosenRegionRepaintsOnlyTheBrushRing)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    v.beginEditing(QRectF(100, 100, 400, 300), {});
    v.mouseMovedAt({200, 200});
    v.takeDamage();
    v.mouseMovedAt({210, 205});
    EXPECT_TRUE(v.takeDamage().isEmpty()) << "no tool: nothing on screen follows the pointer";

    v.annotator().tool = Tool::rect;
    v.annotator().lineWidth = 4;
    v.mouseMovedAt({300, 300});
    const QRect damage = v.takeDamage().boundingRect();
    EXPECT_TRUE(damage.contains(widgetFromView(QPointF(210, 205), 600).toPoint()));
    EXPECT_TRUE(damage.contains(widgetFromView(QPointF(300, 300), 600).toPoint()));
    EXPECT_LT(damage.width() * damage.height(), 200 * 200);
}

// The first paints dim straight into the target while the dimmed copy is being made; later
// paints copy from it. Both must put the same pixels on screen, or the overlay would flicker
// where a repaint meets an older part.
TEST(CaptureViewDrawing, DimmingOnTheFlyMatchesTheDimmedCopy)
{
    for (qreal scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        auto f = oneScreen(scale, {QRectF(100, 100, 200, 150)}, QSizeF(640, 480));
        CaptureView& v = f.view();
        v.mouseMovedAt({150, 150});
        ASSERT_FALSE(v.dimmedReady());
        const QImage before = paintFresh(v, QSize(640, 480), scale);
        waitForDimming(v);
        const QImage after = paintFresh(v, QSize(640, 480), scale);
        ASSERT_EQ(before, after) << difference(before, after);
    }
}

// Inside one window only the magnifier follows the pointer: the frame, its glow and the size
// label stay as they are and are not painted again.
TEST(CaptureViewDrawing, PointerInsideTheHoveredWindowRepaintsOnlyTheMagnifier)
{
    auto f = oneScreen(1.0, {QRectF(100, 100, 400, 300)});
    CaptureView& v = f.view();
    v.mouseMovedAt({300, 250});
    while (v.isEasing())
        v.animateHover();
    v.takeDamage();
    v.mouseMovedAt({310, 240});
    const QRegion damage = v.takeDamage();
    ASSERT_FALSE(damage.isEmpty());
    const QRectF frame = widgetFromView(QRectF(100, 100, 400, 300), 600);
    for (const QPointF& onFrame : {frame.topLeft(), frame.bottomRight(),
             QPointF(frame.left(), frame.center().y()), QPointF(frame.center().x(), frame.top())})
        EXPECT_FALSE(damage.contains(onFrame.toPoint())) << onFrame.x() << "," << onFrame.y();
    EXPECT_LT(damage.boundingRect().width(), 300);
}
