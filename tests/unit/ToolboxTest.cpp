#include "CaptureFixtures.h"
#include "capture/annotation/ToolButton.h"

#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

// The eight tools as the overlay offers them: digit key, button, style bar, and what a drag or a
// click inside the selection leaves in the list.
TEST(Toolbox, EveryToolHasItsKeyButtonStyleBarAndMark)
{
    enum Bar { widths, text, sizes };
    struct Case {
        Tool tool;
        const char* tip;
        const char* symbol;
        Bar bar;
        bool click;
        int points; // of the mark made; 0: at least three (a stroke)
    };
    const QList<Case> cases = {
        {Tool::rect, "矩形  1", "rectangle", widths, false, 2},
        {Tool::ellipse, "椭圆  2", "circle", widths, false, 2},
        {Tool::arrow, "箭头  3", "arrow.up.right", widths, false, 2},
        {Tool::pen, "画笔  4", "scribble", widths, false, 0},
        {Tool::highlighter, "荧光笔  5", "highlighter", widths, false, 0},
        {Tool::text, "文本  6", "T", text, true, 1},
        {Tool::number, "序号  7", "1.circle", widths, true, 1},
        {Tool::mosaic, "马赛克  8", "checkerboard.rectangle", sizes, false, 2},
    };
    ASSERT_EQ(cases.size(), qsizetype(allTools.size()));
    for (int i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.tip);
        auto f = oneScreen();
        CaptureView& v = f.view();
        v.beginEditing(QRectF(100, 100, 500, 350), {});
        Annotator& a = v.annotator();
        ASSERT_EQ(a.toolButtons().size(), qsizetype(allTools.size()));
        ToolButton* button = a.toolButtons()[i];
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(c.tip));
        EXPECT_EQ(button->symbol(), QString::fromLatin1(c.symbol));

        EXPECT_TRUE(v.keyDown(Qt::Key_1 + i, Qt::NoModifier));
        EXPECT_EQ(a.tool, c.tool);
        EXPECT_TRUE(button->isOn());
        EXPECT_EQ(a.subbarKind(), c.tool);
        EXPECT_EQ(a.widthButtons().size(), c.bar == widths ? 4 : 0);
        EXPECT_EQ(a.styleButtons().size(), c.bar == text ? 3 : 0);
        EXPECT_EQ(a.mosaicButtons().size(), c.bar == sizes ? 3 : 0);
        EXPECT_EQ(a.colorButtons().size(), c.bar == sizes ? 0 : 7);

        const QPointF from(200, 200), to(320, 290);
        v.mouseMovedAt(from);
        v.mouseDownAt(from);
        if (!c.click) {
            v.mouseDraggedAt((from + to) / 2);
            v.mouseDraggedAt(to);
        }
        v.mouseUpAt(c.click ? from : to);
        ASSERT_EQ(a.annotations.size(), 1);
        const Annotation& made = a.annotations[0];
        EXPECT_EQ(made.tool, c.tool);
        if (c.points) {
            EXPECT_EQ(made.points.size(), c.points);
        } else {
            EXPECT_GE(made.points.size(), 3);
        }
        // A text's line is centred on the click.
        EXPECT_EQ(made.points.first().x(), from.x());
        if (c.tool != Tool::text) {
            EXPECT_EQ(made.points.first(), from);
        }
        if (!c.click) {
            EXPECT_EQ(made.points.last(), to);
        }
        EXPECT_EQ(a.isEditingText(), c.tool == Tool::text);
    }
}

// A stroke keeps only points half a device pixel or more from the last one kept, and the path
// through those never strays more than half a pixel from any point the pointer passed.
TEST(Toolbox, StrokesDropPointsTheEyeCannotSee)
{
    for (const qreal scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        auto f = oneScreen(scale);
        CaptureView& v = f.view();
        v.beginEditing(QRectF(50, 50, 700, 500), {});
        Annotator& a = v.annotator();
        a.selectTool(Tool::pen);
        QList<QPointF> passed;
        for (int i = 0; i < 4000; ++i) {
            // Slow wobbly movement: steps from a hundredth of a pixel to a few pixels.
            const double t = i / 4000.0;
            passed.append(QPointF(100 + 500 * t + 3 * std::sin(i * 0.05),
                300 + 80 * std::sin(t * 9) + 0.3 * std::sin(i * 1.7)));
        }
        v.mouseMovedAt(passed.first());
        v.mouseDownAt(passed.first());
        for (const QPointF& p : passed)
            v.mouseDraggedAt(p);
        v.mouseUpAt(passed.last());
        ASSERT_EQ(a.annotations.size(), 1);
        const QList<QPointF>& kept = a.annotations[0].points;
        EXPECT_LT(kept.size(), passed.size() * 3 / 4);
        const qreal half = 0.5 / scale + 1e-9;
        for (qsizetype k = 2; k < kept.size(); ++k) {
            const QPointF d = kept[k] - kept[k - 1];
            ASSERT_GE(std::hypot(d.x(), d.y()), half) << k;
        }
        // Distance of each passed point to the polyline of kept points.
        const auto toSegment = [](QPointF p, QPointF s0, QPointF s1) {
            const QPointF d = s1 - s0;
            const qreal len2 = d.x() * d.x() + d.y() * d.y();
            const qreal t = len2 > 0
                ? std::clamp(((p - s0).x() * d.x() + (p - s0).y() * d.y()) / len2, 0.0, 1.0)
                : 0.0;
            const QPointF q = s0 + t * d - p;
            return std::hypot(q.x(), q.y());
        };
        for (const QPointF& p : passed) {
            qreal best = 1e9;
            for (qsizetype k = 1; k < kept.size(); ++k)
                best = std::min(best, toSegment(p, kept[k - 1], kept[k]));
            ASSERT_LE(best, half) << p.x() << "," << p.y();
        }
    }
}
