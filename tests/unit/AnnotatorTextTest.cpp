#include "FakeAnnotationHost.h"
#include "capture/annotation/AnnotationDrawing.h"
#include "settings/Prefs.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::FakeAnnotationHost;

namespace {

class AnnotatorText : public test::AnnotatorFixture {
protected:
    // Text committed by an input method, as a Chinese IME delivers it.
    void commitByInputMethod(const QString& text)
    {
        QInputMethodEvent e;
        e.setCommitString(text);
        QApplication::sendEvent(an().textField(), &e);
    }
    void key(int k)
    {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(an().textField(), &press);
    }
    // Starts a new text with the text tool at p.
    void newText(QPointF p)
    {
        an().selectTool(Tool::text);
        host->click(p);
        ASSERT_TRUE(an().textField());
    }
};

Annotation text(QPointF at, QString words, int style = 0)
{
    return Annotation {Tool::text, palette()[0], 18, {at}, words, style};
}

} // namespace

TEST_F(AnnotatorText, NewTextIsCentredOnTheClickAndFieldLiesOverIt)
{
    newText(QPointF(200, 300));
    ASSERT_EQ(an().annotations.size(), 1);
    const Annotation& a = an().annotations[0];
    const qreal lh = lineHeight(textFontOfSize(48));
    EXPECT_EQ(a.points[0], QPointF(200, 300 - lh / 2));
    EXPECT_EQ(a.width, 18);
    EXPECT_EQ(a.style, 1);
    EXPECT_EQ(an().editingIndex, 0);
    EXPECT_EQ(an().activeText, 0);

    QLineEdit* f = an().textField();
    EXPECT_FALSE(f->hasFrame());
    EXPECT_EQ(f->font(), textFont(a));
    // View frame (x - 2, y, width + 6, line height), y up; the widget is y down.
    const qreal top = host->height() - (a.points[0].y() + lh);
    EXPECT_EQ(f->geometry(), QRect(198, qRound(top), int(textWidth(a)) + 6, int(lh)));
    // Words on a red label are white.
    EXPECT_EQ(f->palette().color(QPalette::Text), QColor(Qt::white));
}

TEST_F(AnnotatorText, InputMethodTextReachesTheAnnotationAndTheFieldGrows)
{
    newText(QPointF(200, 300));
    const int before = an().textField()->width();
    commitByInputMethod(QStringLiteral("你好世界"));
    EXPECT_EQ(an().annotations[0].text, QStringLiteral("你好世界"));
    EXPECT_GT(an().textField()->width(), before); // the field grows with the words
    EXPECT_EQ(an().textField()->width(), int(textWidth(an().annotations[0])) + 6);

    // It makes room for text still being composed, which is not words yet.
    host = std::make_unique<FakeAnnotationHost>();
    newText(QPointF(200, 300));
    commitByInputMethod(QStringLiteral("你"));
    const int committed = an().textField()->width();
    QInputMethodEvent composing(QStringLiteral("hao"), {});
    QApplication::sendEvent(an().textField(), &composing);
    EXPECT_EQ(an().annotations[0].text, QStringLiteral("你")); // not words yet
    EXPECT_GT(an().textField()->width(), committed);
    commitByInputMethod(QStringLiteral("好"));
    EXPECT_EQ(an().annotations[0].text, QStringLiteral("你好"));
    EXPECT_EQ(an().textField()->width(), int(textWidth(an().annotations[0])) + 6);
}

// Escape and Return end the typing and keep the words, and neither goes on to the overlay, where
// Escape would cancel the capture and Return copy and finish it.
TEST_F(AnnotatorText, EscapeOrReturnKeepsTypedTextAndLeavesNothingUntyped)
{
    for (const int k : {Qt::Key_Escape, Qt::Key_Return}) {
        SCOPED_TRACE(k);
        host = std::make_unique<FakeAnnotationHost>();
        newText(QPointF(200, 300));
        commitByInputMethod(QStringLiteral("标注"));
        key(k);
        EXPECT_FALSE(an().textField());
        EXPECT_FALSE(an().editingIndex);
        ASSERT_EQ(an().annotations.size(), 1);
        EXPECT_EQ(an().annotations[0].text, QStringLiteral("标注"));
        EXPECT_EQ(an().activeText, 0);
        EXPECT_EQ(host->keyboardTaken, 1);
        EXPECT_EQ(host->viewKeys, 0);
    }
    // Without typing it leaves nothing.
    host = std::make_unique<FakeAnnotationHost>();
    newText(QPointF(200, 300));
    key(Qt::Key_Escape);
    EXPECT_TRUE(an().annotations.isEmpty());
    EXPECT_FALSE(an().activeText);
}

TEST_F(AnnotatorText, HitZonesTheLaterTextWinsAndHoverOnlyWithNoToolOrTheTextTool)
{
    an().setAnnotations({text(QPointF(200, 200), "Hello")});
    const QRectF f = textFrame(an().annotations[0]);
    auto kind = [&](QPointF p) { return an().textHit(p); };
    ASSERT_TRUE(kind(f.center()));
    EXPECT_EQ(kind(f.center())->kind, TextHit::body);
    EXPECT_EQ(kind(QPointF(f.left() + 2, f.center().y()))->kind, TextHit::edge);
    EXPECT_EQ(kind(QPointF(f.left() - 4, f.center().y()))->kind, TextHit::edge);
    EXPECT_FALSE(kind(QPointF(f.left() - 6, f.center().y())));
    // Not active: the corners are just edge.
    EXPECT_EQ(kind(QPointF(f.right(), f.bottom()))->kind, TextHit::edge);
    an().activeText = 0;
    EXPECT_EQ(kind(QPointF(f.right() - 3, f.bottom() + 3))->kind, TextHit::remove);
    const auto corner = kind(QPointF(f.left(), f.bottom()));
    EXPECT_EQ(corner->kind, TextHit::corner);
    EXPECT_EQ(corner->anchor, QPointF(f.right(), f.top()));
    // Where texts overlap the later one wins.
    an().setAnnotations({text(QPointF(200, 200), "under"), text(QPointF(210, 205), "over")});
    EXPECT_EQ(an().textHit(QPointF(230, 220))->index, 1);
    an().setAnnotations({text(QPointF(200, 200), "Hello")});
    const QPointF c = textFrame(an().annotations[0]).center();
    an().updateHoverText(c);
    EXPECT_EQ(an().hoverText, 0);
    an().selectTool(Tool::rect);
    an().updateHoverText(c);
    EXPECT_FALSE(an().hoverText);
}

TEST_F(AnnotatorText, BodyClickEditsWithCursorAtTheEnd)
{
    Annotation green = text(QPointF(200, 200), "Hello", 2);
    green.color = palette()[2];
    an().setAnnotations({green});
    an().chooseFontSize(20);
    host->click(textFrame(an().annotations[0]).center());
    ASSERT_TRUE(an().textField());
    EXPECT_EQ(an().textField()->cursorPosition(), 5);
    // The clicked text's look is adopted, but not remembered as a preference.
    EXPECT_EQ(an().fontSize, 48);
    EXPECT_EQ(an().textStyle, 2);
    EXPECT_EQ(an().color, palette()[2]);
    EXPECT_EQ(Prefs::fontSize(), 20);
    EXPECT_EQ(Prefs::textStyle(), 1);
    EXPECT_EQ(Prefs::defaultColor(), 0);
}

TEST_F(AnnotatorText, EdgeDragMovesWithoutOpeningTheField)
{
    an().setAnnotations({text(QPointF(200, 200), "Hello")});
    const QRectF f = textFrame(an().annotations[0]);
    const QPointF grab(f.left() - 2, f.center().y());
    host->press(grab);
    EXPECT_EQ(host->mode.kind, DragMode::textMove);
    EXPECT_FALSE(an().textField());
    host->dragTo(grab + QPointF(30, -10));
    EXPECT_EQ(an().annotations[0].points[0], QPointF(230, 190));
    host->release();
    EXPECT_EQ(an().activeText, 0);
}

TEST_F(AnnotatorText, DeleteCornerWhileEditingRemovesTheText)
{
    an().setAnnotations({text(QPointF(100, 100), "keep"), text(QPointF(200, 200), "gone")});
    an().editText(1);
    const QRectF f = textFrame(an().annotations[1]);
    host->press(QPointF(f.right(), f.bottom()));
    EXPECT_FALSE(an().textField());
    ASSERT_EQ(an().annotations.size(), 1);
    EXPECT_EQ(an().annotations[0].text, "keep");
}

TEST_F(AnnotatorText, DeletingATextKeepsTheActiveShapePointingAtIt)
{
    an().setAnnotations({text(QPointF(100, 100), "x"),
        Annotation {Tool::rect, Qt::red, 4, {QPointF(150, 150), QPointF(250, 250)}, {}, 0}});
    an().activeShape = 1;
    an().activeText = 0;
    EXPECT_TRUE(an().deleteActiveText());
    EXPECT_EQ(an().activeShape, 0);
    an().setLineWidth(9);
    EXPECT_EQ(an().annotations[0].width, 9);
    EXPECT_FALSE(an().deleteActiveText());
}

TEST_F(AnnotatorText, WheelWhileEditingResizesTheFieldAndKeepsItsOrigin)
{
    newText(QPointF(200, 300));
    commitByInputMethod("abc");
    const QPointF origin = an().annotations[0].points[0];
    const int height = an().textField()->height();
    an().scroll(1, false);
    EXPECT_EQ(an().annotations[0].width, 19);
    EXPECT_EQ(an().annotations[0].points[0], origin);
    EXPECT_GT(an().textField()->height(), height);
    EXPECT_EQ(an().textField()->font().pixelSize(), 50);
}

TEST_F(AnnotatorText, EditedLabelShowsBehindTheFieldButNotItsWords)
{
    host->selection = QRectF(0, 0, 800, 600);
    an().setAnnotations({text(QPointF(100, 100), "WWWW", 1)});
    auto render = [&] {
        QImage img(host->size(), QImage::Format_ARGB32_Premultiplied);
        QPainter p(&img);
        host->paintOverlay(p);
        return img;
    };
    const QImage committed = render();
    an().editText(0);
    const QImage editing = render();
    const qreal lh = lineHeight(textFont(an().annotations[0]));
    const QRect words(
        100, int(host->height() - 100 - lh), int(textWidth(an().annotations[0])), int(lh));
    int whiteBefore = 0, whiteNow = 0, labelNow = 0;
    for (int y = words.top(); y < words.bottom(); ++y)
        for (int x = words.left(); x < words.right(); ++x) {
            whiteBefore += committed.pixelColor(x, y) == Qt::white;
            whiteNow += editing.pixelColor(x, y) == Qt::white;
            labelNow += editing.pixelColor(x, y).rgb() == palette()[0].rgb();
        }
    EXPECT_GT(whiteBefore, 50);
    EXPECT_EQ(whiteNow, 0);
    EXPECT_GT(labelNow, words.width() * words.height() / 2);
}

TEST_F(AnnotatorText, WordsDoNotJumpWhenTheFieldCloses)
{
    // The field's words must lie where the committed annotation draws them.
    host->selection = QRectF(0, 0, 800, 600);
    host->show();
    an().setAnnotations({Annotation {
        Tool::text, palette()[0], 14, {QPointF(100, 300)}, QStringLiteral("Hg 字样"), 0}});
    auto inkBox = [&](const QImage& img) {
        QRect box;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 120 && c.blue() < 120)
                    box |= QRect(x, y, 1, 1);
            }
        return box;
    };
    const QImage committed = host->grab().toImage();
    an().editText(0);
    const QImage editing = host->grab().toImage();
    const QRect a = inkBox(committed), b = inkBox(editing);
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    EXPECT_NEAR(a.left(), b.left(), 1);
    EXPECT_NEAR(a.top(), b.top(), 1);
    EXPECT_NEAR(a.bottom(), b.bottom(), 1);
    EXPECT_NEAR(a.right(), b.right(), 2);
}
