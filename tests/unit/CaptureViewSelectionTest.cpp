#include "CaptureFixtures.h"

#include "platform/Geometry.h"

#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

namespace {

const QRectF window(100.3, 200.6, 300, 150);
const QRectF offEdge(-50.5, 100.2, 300, 200);

} // namespace

TEST(CaptureViewSelection, ClickSelectsTheWindowUnderThePointer)
{
    struct Case {
        const char* name;
        QPointF click;
        QRectF expected;
    };
    const QList<Case> cases = {
        {"window inside the screen", {150, 250}, QRectF(100, 200, 301, 151)},
        {"window clipped by the left edge", {20, 150}, QRectF(0, 100, 250, 201)},
        {"no window: the whole screen", {700, 550}, QRectF(0, 0, 800, 600)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = oneScreen(1.0, {window, offEdge});
        CaptureView& v = f.view();
        v.mouseMovedAt(c.click);
        v.mouseDownAt(c.click);
        v.mouseUpAt(c.click);
        EXPECT_TRUE(v.selected());
        EXPECT_EQ(v.selection(), c.expected);
        EXPECT_EQ(f.session->active(), &v);
    }
}

TEST(CaptureViewSelection, TinyDragsFallBackWhileSmallOnesAreKept)
{
    struct Case {
        const char* name;
        QList<QRectF> windows;
        QPointF from, to;
        QRectF expected;
    };
    const QList<Case> cases = {
        {"3 x 50 over a window", {window}, {150, 250}, {153, 300}, QRectF(100, 200, 301, 151)},
        {"3 x 50 over nothing", {}, {150, 250}, {153, 300}, QRectF(0, 0, 800, 600)},
        {"50 x 3 over nothing", {}, {150, 250}, {200, 253}, QRectF(0, 0, 800, 600)},
        {"4 x 4 is kept", {window}, {150, 250}, {154, 254}, QRectF(150, 250, 4, 4)},
        {"dragged backwards", {}, {300, 300}, {100.5, 150.5}, QRectF(100, 150, 200, 150)},
        {"dragged past the screen", {}, {700, 500}, {900, 700}, QRectF(700, 500, 100, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = oneScreen(1.0, c.windows);
        dragSelect(f.view(), c.from, c.to);
        EXPECT_TRUE(f.view().selected());
        EXPECT_EQ(f.view().selection(), c.expected);
    }
}

TEST(CaptureViewSelection, MovingStopsFlushAtTheEdgeResizingFlipsPressingOutsideDoesNothing)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    dragSelect(v, {100, 100}, {300, 200});
    ASSERT_EQ(v.selection(), QRectF(100, 100, 200, 100));
    v.mouseDownAt({150, 150});
    EXPECT_EQ(v.dragMode().kind, DragMode::move);
    v.mouseDraggedAt({850, 120});
    EXPECT_EQ(v.selection(), QRectF(600, 70, 200, 100)) << "flush with the right edge";
    v.mouseDraggedAt({-400, -400});
    EXPECT_EQ(v.selection(), QRectF(0, 0, 200, 100)) << "flush with the bottom-left corner";
    v.mouseUpAt({-400, -400});
    EXPECT_EQ(v.dragMode().kind, DragMode::none);
    EXPECT_EQ(v.selection(), QRectF(0, 0, 200, 100));
    // The annotations follow through Annotator::shiftAnnotations with the same distance the
    // selection moved; the annotation side's own tests check the shifted points.

    // A press outside the selection does nothing.
    v.mouseDownAt({400, 400});
    EXPECT_EQ(v.dragMode().kind, DragMode::none);
    v.mouseDraggedAt({500, 500});
    v.mouseUpAt({500, 500});
    EXPECT_EQ(v.selection(), QRectF(0, 0, 200, 100));

    // Resizing past the opposite edge flips.
    v.mouseDownAt({0, 50}); // on the left edge
    ASSERT_EQ(v.dragMode().kind, DragMode::resize);
    EXPECT_EQ(v.dragMode().edges, int(edgeMinX));
    v.mouseDraggedAt({250, 50});
    EXPECT_EQ(v.selection(), QRectF(200, 0, 50, 100));
    v.mouseUpAt({250, 50});
    EXPECT_EQ(v.selection(), QRectF(200, 0, 50, 100));
}

TEST(CaptureViewSelection, HandleZones)
{
    const QRectF s(100, 100, 200, 100);
    struct Case {
        const char* name;
        QPointF p;
        int edges;
    };
    const QList<Case> cases = {
        {"6 left and below the bottom-left corner", {94, 94}, edgeMinX | edgeMinY},
        {"6.5 away", {93.5, 93.5}, 0},
        {"exactly 6 beyond the top-right corner (max edges excluded)", {306, 206}, 0},
        {"just inside that", {305.9, 205.9}, edgeMaxX | edgeMaxY},
        {"on the top edge", {200, 203}, edgeMaxY},
        {"inside, far from edges", {200, 150}, 0},
        {"6 inside the left edge", {106, 150}, edgeMinX},
        {"6.5 inside the left edge", {106.5, 150}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CaptureView::handleEdges(s, c.p), c.edges);
    }
    // A sliver narrower than 12 points sets both side edges.
    EXPECT_EQ(CaptureView::handleEdges(QRectF(100, 100, 10, 100), {105, 150}), edgeMinX | edgeMaxX);
}

TEST(CaptureViewSelection, ArrowKeysNudgeTheSelectionUnlessTheEdgeIsInTheWayElseThePointer)
{
    struct Case {
        const char* name;
        QRectF start;
        int key;
        Qt::KeyboardModifiers mods;
        QRectF expected;
    };
    const QList<Case> cases = {
        {"right", {100, 100, 50, 50}, Qt::Key_Right, Qt::NoModifier, {101, 100, 50, 50}},
        {"shift up", {100, 100, 50, 50}, Qt::Key_Up, Qt::ShiftModifier, {100, 110, 50, 50}},
        {"down", {100, 100, 50, 50}, Qt::Key_Down, Qt::NoModifier, {100, 99, 50, 50}},
        {"shift left near the edge is refused", {5, 100, 50, 50}, Qt::Key_Left, Qt::ShiftModifier,
            {5, 100, 50, 50}},
        {"left at the edge is refused", {0, 100, 50, 50}, Qt::Key_Left, Qt::NoModifier,
            {0, 100, 50, 50}},
        {"up to the top edge exactly", {100, 549, 50, 50}, Qt::Key_Up, Qt::NoModifier,
            {100, 550, 50, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = oneScreen();
        f.view().beginEditing(c.start, {});
        EXPECT_TRUE(f.view().keyDown(c.key, c.mods));
        EXPECT_EQ(f.view().selection(), c.expected);
    }
    for (qreal scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        auto f = oneScreen(scale);
        CaptureView& v = f.view();
        v.keyDown(Qt::Key_Left, Qt::NoModifier);
        EXPECT_FALSE(v.mouse()) << "no pointer position known yet: nothing happens";
        v.mouseMovedAt({100, 100});
        v.keyDown(Qt::Key_Right, Qt::NoModifier);
        v.keyDown(Qt::Key_Up, Qt::NoModifier);
        EXPECT_EQ(v.mouse(), QPointF(100 + 1 / scale, 100 + 1 / scale));
    }
}

TEST(CaptureViewSelection, DigitKeysPickToolsOnlyWithASelection)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    EXPECT_FALSE(v.keyDown(Qt::Key_3, Qt::NoModifier)) << "nothing selected: passed on";
    v.beginEditing(QRectF(10, 10, 100, 100), {});
    EXPECT_TRUE(v.keyDown(Qt::Key_3, Qt::NoModifier));
    EXPECT_TRUE(v.keyDown(Qt::Key_8, Qt::NoModifier));
    EXPECT_FALSE(v.keyDown(Qt::Key_9, Qt::NoModifier));
    EXPECT_FALSE(v.keyDown(Qt::Key_1, Qt::ControlModifier));
}

TEST(CaptureViewSelection, HoverEasesToTheNewWindowAndStops)
{
    auto f = oneScreen(1.0, {window});
    CaptureView& v = f.view();
    v.mouseMovedAt({700, 500});
    EXPECT_EQ(v.shownHover(), QRectF(0, 0, 800, 600)) << "the first frame appears at once";
    EXPECT_FALSE(v.isEasing());
    v.mouseMovedAt({150, 250});
    EXPECT_EQ(v.hoverRect(), QRectF(100.3, 200.6, 300, 150));
    EXPECT_TRUE(v.isEasing());
    int steps = 0;
    while (v.isEasing() && steps < 100) {
        v.animateHover();
        ++steps;
    }
    EXPECT_LT(steps, 40);
    EXPECT_FALSE(v.isEasing());
    EXPECT_EQ(v.shownHover(), v.hoverRect()) << "snaps onto the target at the end";
    // Left alone, the timer eases back on its own.
    v.mouseMovedAt({700, 500});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !v.isEasing(); }, 2000));
    EXPECT_EQ(v.shownHover(), QRectF(0, 0, 800, 600));
}

TEST(CaptureViewSelection, RightClickWithASelectionGoesBackToChoosing)
{
    auto f = oneScreen(1.0, {window});
    CaptureView& v = f.view();
    dragSelect(v, {10, 10}, {50, 60});
    ASSERT_TRUE(v.selected());
    v.rightMouseDownAt({150, 250});
    EXPECT_FALSE(v.selected());
    EXPECT_TRUE(f.session->isEditing());
    EXPECT_EQ(*f.ends, 0);
    EXPECT_EQ(v.hoverRect(), window);
    EXPECT_TRUE(v.isEasing()) << "the frame eases from the old selection to the window";
    EXPECT_EQ(v.selection(), QRectF(10, 10, 40, 50)) << "kept until the next press";
}

// Off the image (or with no pointer known) C keeps the capture and the clipboard; on it, C
// copies the pixel's hex and ends.
TEST(CaptureViewSelection, CopyColourKeyPutsTheHexOnTheClipboardAndEnds)
{
    auto f = oneScreen(2.0);
    CaptureView& v = f.view();
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    v.keyDown(Qt::Key_C, Qt::NoModifier); // no pointer known
    v.mouseMovedAt({-3, 100});
    v.keyDown(Qt::Key_C, Qt::NoModifier);
    EXPECT_TRUE(f.session->isEditing());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_FALSE(v.keyDown(Qt::Key_C, Qt::ControlModifier));

    v.mouseMovedAt({10.25, 599.75}); // pixel (20, 0)
    const QColor c = *v.pixelColor(*v.mouse());
    EXPECT_EQ(c, QColor(v.image().pixel(20, 0)));
    EXPECT_TRUE(v.keyDown(Qt::Key_C, Qt::NoModifier));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), c.name(QColor::HexRgb).toUpper());
    EXPECT_EQ(QGuiApplication::clipboard()->text().size(), 7);
    EXPECT_FALSE(f.session->isEditing());
}

TEST(CaptureViewSelection, CursorFollowsWhatAPressWouldDo)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    v.mouseMovedAt({400, 400});
    EXPECT_EQ(v.cursor().shape(), Qt::CrossCursor) << "choosing a region";
    v.beginEditing(QRectF(100, 100, 200, 100), {});
    struct Case {
        const char* name;
        QPointF p;
        Qt::CursorShape shape;
    };
    const QList<Case> cases = {
        {"bottom edge", {200, 98}, Qt::SizeVerCursor},
        {"top edge", {200, 203}, Qt::SizeVerCursor},
        {"left edge", {97, 150}, Qt::SizeHorCursor},
        {"top-left corner", {99, 201}, Qt::SizeFDiagCursor},
        {"bottom-right corner", {301, 99}, Qt::SizeFDiagCursor},
        {"top-right corner", {301, 201}, Qt::SizeBDiagCursor},
        {"bottom-left corner", {99, 99}, Qt::SizeBDiagCursor},
        {"inside", {200, 150}, Qt::OpenHandCursor},
        {"outside", {500, 500}, Qt::ArrowCursor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        v.mouseMovedAt(c.p);
        EXPECT_EQ(v.cursor().shape(), c.shape);
    }
    v.mouseDownAt({200, 150});
    EXPECT_EQ(v.cursor().shape(), Qt::ClosedHandCursor) << "moving the region";
}
