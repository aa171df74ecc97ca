// Selecting part of a paper note's text with the mouse and the keyboard, and copying it, while
// the note stays a pin.
#include "Pixels.h"
#include "WaitUntil.h"
#include "output/PinView.h"
#include "output/PinWindow.h"
#include "output/TextSheet.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::waitUntil;

namespace {

const QString note = QStringLiteral("alpha beta\n墨钉贴图 gamma\n\nlast line");

// Global points, as the pointer is where it is whether or not the window has moved under it.
void sendMouse(QWidget* target, QEvent::Type type, QPointF global, Qt::MouseButtons buttons)
{
    QMouseEvent ev(
        type, target->mapFromGlobal(global), global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &ev);
}

class TextPinSelection : public ::testing::Test {
protected:
    void TearDown() override
    {
        PinWindow::destroyAll();
        QGuiApplication::clipboard()->clear();
    }

    PinWindow* pinNote(qreal scale = 1.0)
    {
        PinWindow* w = PinWindow::pinText(note, scale);
        EXPECT_TRUE(w && w->sheet());
        return w;
    }

    // The middle of the caret before a position, where the view shows it at the pin's zoom.
    static QPointF at(PinWindow* w, int position)
    {
        const QRectF caret = w->sheet()->caretRect(position);
        return caret.center() * w->zoom();
    }

    static void drag(PinWindow* w, QPointF localFrom, QPointF localTo)
    {
        const QPointF from = w->view()->mapToGlobal(localFrom);
        const QPointF to = w->view()->mapToGlobal(localTo);
        sendMouse(w->view(), QEvent::MouseButtonPress, from, Qt::LeftButton);
        sendMouse(w->view(), QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        sendMouse(w->view(), QEvent::MouseMove, to, Qt::LeftButton);
        sendMouse(w->view(), QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
};

} // namespace

TEST_F(TextPinSelection, DraggingOverTheTextSelectsAndCopyTakesOnlyThat)
{
    struct Case {
        const char* name;
        qreal zoom;
        int from, to; // positions of `note`
        QString expected;
    };
    const QList<Case> cases = {
        {"within a line", 1.0, 0, 5, "alpha"},
        {"backwards", 1.0, 10, 6, "beta"},
        {"across a line break", 1.0, 6, 13, "beta\n墨钉"},
        {"zoomed in", 2.0, 11, 15, "墨钉贴图"},
        {"zoomed out, into a blank line", 0.5, 16, 23, "gamma\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PinWindow* w = pinNote();
        w->setZoom(c.zoom);
        drag(w, at(w, c.from), at(w, c.to));
        EXPECT_EQ(w->view()->selectedText(), c.expected);
        QTest::keyClick(w->view(), Qt::Key_C, Qt::ControlModifier);
        const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
        ASSERT_TRUE(copied);
        EXPECT_EQ(copied->text(), c.expected);
        EXPECT_FALSE(copied->hasImage()) << "a selection is copied as text alone";
        PinWindow::destroyAll();
    }
}

TEST_F(TextPinSelection, KeysSelectAndEscapeDropsTheSelectionBeforeClosing)
{
    struct Case {
        const char* name;
        QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
        QString expected;
    };
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const QList<Case> cases = {
        {"select all", {{Qt::Key_A, Qt::ControlModifier}}, note},
        {"characters", {{Qt::Key_Right, shift}, {Qt::Key_Right, shift}}, "al"},
        {"to the line's end", {{Qt::Key_End, shift}}, "alpha beta"},
        {"a line down", {{Qt::Key_Down, shift}, {Qt::Key_Down, shift}},
            "alpha beta\n墨钉贴图 gamma\n"},
        {"a word, after moving",
            {{Qt::Key_Right, Qt::ControlModifier}, {Qt::Key_Right, Qt::ControlModifier},
                {Qt::Key_Right, Qt::ControlModifier | shift}},
            "beta"},
        {"moving without Shift selects nothing", {{Qt::Key_End, Qt::NoModifier}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PinWindow* w = pinNote();
        for (const auto& [key, mods] : c.keys)
            QTest::keyClick(w->view(), key, mods);
        EXPECT_EQ(w->view()->selectedText(), c.expected);
        QTest::keyClick(w->view(), Qt::Key_Escape);
        EXPECT_FALSE(w->isClosing());
        EXPECT_EQ(w->view()->selectedText(), "");
        QTest::keyClick(w->view(), Qt::Key_Escape);
        EXPECT_TRUE(w->isClosing());
        PinWindow::destroyAll();
    }
}

TEST_F(TextPinSelection, OffTheTextItIsStillAPin)
{
    PinWindow* w = pinNote();
    // The margin moves the pin and selects nothing; a copy then gives image and whole text.
    const QRectF before = w->globalFrame();
    drag(w, QPointF(4, 4), QPointF(44, 24));
    EXPECT_EQ(w->globalFrame().topLeft(), before.topLeft() + QPointF(40, -20));
    EXPECT_EQ(w->view()->selectedText(), "");
    w->copy();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied);
    EXPECT_TRUE(copied->hasImage());
    EXPECT_EQ(copied->text(), note);

    // A double click on a word selects it; on the margin it closes the pin.
    QTest::mouseDClick(w->view(), Qt::LeftButton, Qt::NoModifier, at(w, 18).toPoint());
    EXPECT_EQ(w->view()->selectedText(), "gamma");
    EXPECT_FALSE(w->isClosing());
    QTest::mouseDClick(w->view(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_TRUE(w->isClosing());

    // An image that is not the note of its text keeps only the text, with nothing to select.
    QImage other = test::filled(QSize(300, 200), Qt::red);
    PinWindow* plain = PinWindow::pin(other);
    plain->setText(note);
    EXPECT_EQ(plain->sheet(), nullptr);
    EXPECT_EQ(plain->text(), note);
}

TEST_F(TextPinSelection, HighlightShowsOnThePaperInAnyPalette)
{
    struct Case {
        const char* name;
        QColor highlight, highlighted;
    };
    const QList<Case> cases = {
        {"light", QColor(0x30, 0x8c, 0xc6), Qt::white},
        {"dark", QColor(0x2a, 0x82, 0xda), Qt::white},
        // Meant for dark backgrounds: pale, close to the paper itself.
        {"pale highlight", QColor(0xf4, 0xf0, 0xe4), Qt::black},
        {"unreadable text", QColor(0x30, 0x30, 0x30), QColor(0x38, 0x38, 0x38)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PinWindow* w = pinNote(2.0);
        QPalette palette = w->view()->palette();
        palette.setColor(QPalette::Highlight, c.highlight);
        palette.setColor(QPalette::HighlightedText, c.highlighted);
        w->view()->setPalette(palette);
        const QImage before = w->view()->grab().toImage();
        QTest::keyClick(w->view(), Qt::Key_A, Qt::ControlModifier);
        const QImage after = w->view()->grab().toImage();
        // Most of a selected character's cell, paper and strokes alike, looks clearly different
        // from before; the margin is untouched.
        const qreal dpr = after.devicePixelRatio();
        const QRectF caret = w->sheet()->caretRect(11);
        const QRect cell = QRectF(caret.x() * dpr, caret.y() * dpr,
            (w->sheet()->caretRect(12).x() - caret.x()) * dpr, caret.height() * dpr)
                               .toRect()
                               .adjusted(2, 2, -2, -2);
        int far = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor was = before.pixelColor(x, y), got = after.pixelColor(x, y);
                far += std::abs(got.red() - was.red()) + std::abs(got.green() - was.green())
                        + std::abs(got.blue() - was.blue())
                    > 150;
            }
        }
        EXPECT_GT(far, cell.width() * cell.height() * 3 / 5)
            << cell.width() << "x" << cell.height();
        EXPECT_EQ(after.pixel(2, 2), before.pixel(2, 2));
        PinWindow::destroyAll();
    }
}
