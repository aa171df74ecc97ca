#include "FakeAnnotationHost.h"
#include "capture/annotation/AnnotationDrawing.h"
#include "settings/Prefs.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::FakeAnnotationHost;

namespace {

class AnnotatorEditing : public test::AnnotatorFixture { };

} // namespace

TEST_F(AnnotatorEditing, TinyShapesAreDroppedButAFreehandClickLeavesADot)
{
    struct Case {
        double dx;
        bool kept;
    };
    for (const Case c : {Case {0, false}, Case {3.0, false}, Case {3.1, true}, Case {20, true}}) {
        host = std::make_unique<FakeAnnotationHost>();
        an().selectTool(Tool::rect);
        host->dragLine(QPointF(200, 200), QPointF(200 + c.dx, 200));
        EXPECT_EQ(an().annotations.size(), c.kept ? 1 : 0) << c.dx;
        EXPECT_FALSE(an().current);
        EXPECT_EQ(an().activeShape.has_value(), c.kept);
    }
    for (Tool t : {Tool::pen, Tool::highlighter}) {
        host = std::make_unique<FakeAnnotationHost>();
        an().selectTool(t);
        host->click(QPointF(150, 150));
        ASSERT_EQ(an().annotations.size(), 1);
        EXPECT_EQ(an().annotations[0].points,
            QList<QPointF>({QPointF(150, 150), QPointF(150, 150), QPointF(150, 150)}));
    }
}

TEST_F(AnnotatorEditing, ShapesStopAtTheSelectionEdge)
{
    an().selectTool(Tool::arrow);
    host->press(QPointF(200, 200));
    host->dragTo(QPointF(700, 50)); // selection is (100, 100, 400, 300)
    host->release();
    ASSERT_EQ(an().annotations.size(), 1);
    EXPECT_EQ(an().annotations[0].points[1], QPointF(500, 100));
    EXPECT_EQ(an().annotations[0].width, 4);
    // A press outside it draws nothing.
    an().selectTool(Tool::number);
    host->click(QPointF(50, 50));
    EXPECT_EQ(an().annotations.size(), 1);
}

TEST_F(AnnotatorEditing, StampsCountOnAfterUndo)
{
    an().selectTool(Tool::number);
    for (int i = 0; i < 3; ++i)
        host->click(QPointF(150 + 30 * i, 150));
    ASSERT_EQ(an().annotations.size(), 3);
    EXPECT_EQ(an().annotations[2].text, "3");
    EXPECT_EQ(an().activeShape, 2);
    an().undo();
    EXPECT_FALSE(an().activeShape);
    host->click(QPointF(300, 300));
    EXPECT_EQ(an().annotations.last().text, "3");
}

// Every kind of change, one after another; undo walks back through exactly the lists each left,
// redo forward again, and neither does anything past its end.
TEST_F(AnnotatorEditing, UndoAndRedoWalkEveryChangeExactly)
{
    const auto textFrameOf = [this] { return textFrame(an().annotations.last()); };
    const auto type = [this](const QString& words) {
        ASSERT_TRUE(an().textField());
        an().textField()->setText(words);
        an().commitText();
    };
    struct Step {
        const char* name;
        std::function<void()> change;
    };
    const QList<Step> steps = {
        {"rectangle drawn",
            [&] {
                an().selectTool(Tool::rect);
                host->dragLine(QPointF(150, 150), QPointF(250, 220));
            }},
        {"its colour", [&] { an().chooseColor(2); }},
        {"its width", [&] { an().chooseWidth(12); }},
        {"pen stroke",
            [&] {
                an().selectTool(Tool::pen);
                host->dragLine(QPointF(300, 150), QPointF(340, 190));
            }},
        {"text typed",
            [&] {
                an().selectTool(Tool::text);
                host->click(QPointF(300, 300));
                type(QStringLiteral("原来"));
            }},
        {"text moved",
            [&] {
                an().selectTool(std::nullopt);
                const QRectF f = textFrameOf();
                host->press(QPointF(minX(f) - 2, midY(f)));
                host->dragTo(QPointF(minX(f) + 18, midY(f) - 10));
                host->release();
            }},
        {"text resized",
            [&] {
                const QRectF f = textFrameOf();
                host->press(QPointF(minX(f), minY(f)));
                host->dragTo(QPointF(minX(f) - 40, minY(f) - 20));
                host->release();
            }},
        {"text style", [&] { an().chooseTextStyle(2); }},
        {"text edited again",
            [&] {
                host->click(textFrameOf().center());
                type(QStringLiteral("改过"));
            }},
        {"stamp",
            [&] {
                an().selectTool(Tool::number);
                host->click(QPointF(450, 350));
            }},
        {"text deleted",
            [&] {
                an().selectTool(std::nullopt);
                an().activeText = 2;
                ASSERT_TRUE(an().deleteActiveText());
            }},
    };
    QList<QList<Annotation>> states = {{}};
    for (const Step& s : steps) {
        s.change();
        ASSERT_NE(an().annotations, states.last()) << s.name;
        states.append(an().annotations);
    }
    for (qsizetype i = states.size() - 2; i >= 0; --i) {
        an().undo();
        ASSERT_EQ(an().annotations, states[i]) << "undo to " << i;
    }
    an().undo();
    EXPECT_TRUE(an().annotations.isEmpty());
    for (qsizetype i = 1; i < states.size(); ++i) {
        an().redo();
        ASSERT_EQ(an().annotations, states[i]) << "redo to " << i;
    }
    an().redo();
    EXPECT_EQ(an().annotations, states.last());

    // The kept states move with the selection; a new change drops the way forward.
    an().shiftAnnotations(10, -5);
    an().undo();
    QList<Annotation> moved = states[states.size() - 2];
    for (Annotation& a : moved)
        for (QPointF& p : a.points)
            p += QPointF(10, -5);
    EXPECT_EQ(an().annotations, moved);
    an().chooseColor(4);
    an().selectTool(Tool::rect);
    host->dragLine(QPointF(120, 120), QPointF(160, 160));
    const QList<Annotation> now = an().annotations;
    an().redo();
    EXPECT_EQ(an().annotations, now);
    EXPECT_TRUE(an().history.redo.isEmpty());
}

TEST_F(AnnotatorEditing, DebugSelectForcesTheTool)
{
    // Clicking the tool in use turns it off (the toolbar's test); the debug hook forces it.
    an().debugSelect(Tool::arrow);
    an().debugSelect(Tool::arrow); // forced, not toggled
    EXPECT_EQ(an().tool, Tool::arrow);
}

TEST_F(AnnotatorEditing, WheelStepsWidthOrFontSizeWithThresholdsAndBounds)
{
    an().selectTool(Tool::rect);
    an().scroll(5, true);
    EXPECT_EQ(an().lineWidth, 4);
    an().scroll(1, true); // 6 points of trackpad travel
    EXPECT_EQ(an().lineWidth, 5);
    an().scroll(-0.5, false); // one wheel notch
    EXPECT_EQ(an().lineWidth, 4);
    for (int i = 0; i < 30; ++i)
        an().scroll(1, false);
    EXPECT_EQ(an().lineWidth, 20);
    for (int i = 0; i < 30; ++i)
        an().scroll(-1, false);
    EXPECT_EQ(an().lineWidth, 1);
    EXPECT_EQ(an().fontSize, 48);
    // Nothing is remembered for next time.
    EXPECT_EQ(Prefs::defaultWidth(), 4);
    // Without a selection the wheel does nothing.
    host->selected = false;
    an().scroll(3, false);
    EXPECT_EQ(an().lineWidth, 1);
    // The text tool's wheel steps the font size, halves rounded away from zero.
    host = std::make_unique<FakeAnnotationHost>();
    an().selectTool(Tool::text);
    an().scroll(1, false);
    EXPECT_EQ(an().fontSize, 50);
    EXPECT_EQ(an().lineWidth, 4);
    an().fontSize = 14.5;
    an().scroll(-1, false);
    EXPECT_EQ(an().fontSize, 13); // 12.5 rounds away from zero
    for (int i = 0; i < 10; ++i)
        an().scroll(-1, false);
    EXPECT_EQ(an().fontSize, 10);
    for (int i = 0; i < 80; ++i)
        an().scroll(1, false);
    EXPECT_EQ(an().fontSize, 120);
    EXPECT_EQ(Prefs::fontSize(), 48);
}

TEST_F(AnnotatorEditing, StyleBarChoicesAreRememberedAndReachTheShapeJustMadeButNotAMosaic)
{
    an().chooseColor(3);
    an().chooseWidth(7);
    an().chooseTextStyle(2);
    an().chooseFontSize(24);
    an().chooseMosaicSize(2);
    EXPECT_EQ(Prefs::mosaicSize(), 2);
    EXPECT_EQ(Prefs::defaultColor(), 3);
    EXPECT_EQ(Prefs::defaultWidth(), 7);
    EXPECT_EQ(Prefs::textStyle(), 2);
    EXPECT_EQ(Prefs::fontSize(), 24);
    EXPECT_EQ(an().color, palette()[3]);
    EXPECT_EQ(an().lineWidth, 7);
    an().chooseFontSize(500);
    EXPECT_EQ(an().fontSize, 120);
    an().selectTool(Tool::rect);
    host->dragLine(QPointF(150, 150), QPointF(250, 250));
    an().chooseColor(2);
    an().setLineWidth(9);
    EXPECT_EQ(an().annotations[0].color, palette()[2]);
    EXPECT_EQ(an().annotations[0].width, 9);
    // A mosaic keeps its look.
    an().selectTool(Tool::mosaic);
    host->dragLine(QPointF(150, 150), QPointF(250, 250));
    ASSERT_EQ(an().activeShape, 1);
    const Annotation before = an().annotations[1];
    an().chooseColor(4);
    an().setLineWidth(12);
    EXPECT_EQ(an().annotations[1], before);
    EXPECT_EQ(an().color, palette()[4]);
}

TEST_F(AnnotatorEditing, ResetForgetsEverything)
{
    an().selectTool(Tool::rect);
    host->dragLine(QPointF(150, 150), QPointF(250, 250));
    an().showToolbar();
    an().reset();
    EXPECT_TRUE(an().annotations.isEmpty());
    EXPECT_FALSE(an().tool);
    EXPECT_FALSE(an().activeShape);
    EXPECT_EQ(an().toolbarFrame(), QRectF());
    EXPECT_FALSE(an().toolbar());
    // A new selection right away gets a toolbar that stays.
    an().showToolbar();
    QWidget* bar = an().toolbar();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(an().toolbar(), bar);
    ASSERT_TRUE(bar);
    EXPECT_FALSE(bar->isHidden());
}

struct ResizeCase {
    double factor; // distance from the anchor, in diagonals of the frame at the press
    double size; // font size afterwards
};

class TextResize : public AnnotatorEditing, public ::testing::WithParamInterface<ResizeCase> { };

TEST_P(TextResize, CornerDragScalesAroundTheOppositeCorner)
{
    const ResizeCase c = GetParam();
    an().setAnnotations({Annotation {Tool::text, palette()[0], 18, {QPointF(200, 200)}, "Hi", 0}});
    an().activeText = 0;
    const QRectF f = textFrame(an().annotations[0]);
    const QPointF corner(f.left(), f.top()); // bottom-left in y-up terms
    const QPointF anchor(f.right(), f.bottom());
    host->press(corner);
    ASSERT_EQ(host->mode.kind, DragMode::textResize);
    EXPECT_EQ(host->mode.point, anchor);
    host->dragTo(anchor + (corner - anchor) * c.factor);
    EXPECT_NEAR(textFontSize(an().annotations[0]), c.size, 1e-9);
    const QRectF after = textFrame(an().annotations[0]);
    EXPECT_NEAR(after.right(), anchor.x(), 1e-9);
    EXPECT_NEAR(after.bottom(), anchor.y(), 1e-9);
    host->release();
    EXPECT_NEAR(an().fontSize, c.size, 1e-9);
    EXPECT_EQ(Prefs::fontSize(), 48); // resizing is not a preference
}

INSTANTIATE_TEST_SUITE_P(Ratios, TextResize,
    ::testing::Values(ResizeCase {2, 96}, ResizeCase {0.25, 12}, ResizeCase {0.1, 9.6},
        ResizeCase {0, 9.6}, ResizeCase {10, 160}, ResizeCase {1, 48}));

TEST_F(AnnotatorEditing, TinyResizeHoldsTheFloorOfEightPoints)
{
    an().setAnnotations({Annotation {Tool::text, palette()[0], -1, {QPointF(200, 200)}, "Hi", 0}});
    an().activeText = 0;
    const QRectF f = textFrame(an().annotations[0]);
    host->press(QPointF(f.right(), f.top()));
    ASSERT_EQ(host->mode.kind, DragMode::textResize);
    host->dragTo(host->mode.point); // ratio 0.2 of 10 points: 2, held at 8
    EXPECT_EQ(an().annotations[0].width, -2);
}
