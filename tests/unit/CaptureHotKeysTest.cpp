#include "CaptureFixtures.h"

#include "output/PinWindow.h"
#include "settings/ShortcutStore.h"

#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

// While an overlay holds the keyboard the global hot keys arrive as its own key presses.
TEST(CaptureHotKeys, StoredCaptureAndPinKeysAreRecognised)
{
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers mods;
        bool hotKey;
    };
    const QList<Case> cases = {
        {"F1 (capture)", Qt::Key_F1, Qt::NoModifier, true},
        {"F3 (pin)", Qt::Key_F3, Qt::NoModifier, true},
        {"Ctrl+Shift+A (capture)", Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, true},
        {"Ctrl+Shift+P (pin)", Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier, true},
        {"F2", Qt::Key_F2, Qt::NoModifier, false},
        {"Shift+F1", Qt::Key_F1, Qt::ShiftModifier, false},
        {"Ctrl+A", Qt::Key_A, Qt::ControlModifier, false},
        {"plain A", Qt::Key_A, Qt::NoModifier, false},
        {"Return", Qt::Key_Return, Qt::NoModifier, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QKeyEvent e(QEvent::KeyPress, c.key, c.mods);
        EXPECT_EQ(CaptureView::isHotKeyPress(e), c.hotKey);
    }
}

TEST(CaptureHotKeys, ARemovedBindingNoLongerCounts)
{
    ShortcutStore::set(HotKeyAction::capture, 0, std::nullopt);
    const QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    EXPECT_FALSE(CaptureView::isHotKeyPress(f1));
    ShortcutStore::reset();
    EXPECT_TRUE(CaptureView::isHotKeyPress(f1));
}

TEST(CaptureHotKeys, HotKeyPinsTheSelectionAndIsIgnoredWithoutOne)
{
    auto f = oneScreen(1.0);
    CaptureView& v = f.view();
    f.session->show(false);
    const int pinsBefore = PinWindow::count();
    QTest::keyClick(&v, Qt::Key_F1);
    EXPECT_TRUE(f.session->isEditing()) << "nothing selected: the capture stays";
    EXPECT_EQ(PinWindow::count(), pinsBefore);

    dragSelect(v, {100, 100}, {300, 250});
    QTest::keyClick(&v, Qt::Key_F1);
    EXPECT_FALSE(f.session->isEditing());
    EXPECT_EQ(PinWindow::count(), pinsBefore + 1);
    PinWindow::closeAll();
}

TEST(CaptureHotKeys, KeysStayWithTheScreenThatHoldsTheSelection)
{
    auto f = makeSession({fakeScreen(QStringLiteral("L"), QRectF(0, 0, 800, 600)),
        fakeScreen(QStringLiteral("R"), QRectF(800, 0, 640, 480))});
    f.session->show(false);
    f.view(0).mouseEnteredView();
    dragSelect(f.view(0), {600, 100}, {800, 300});
    ASSERT_TRUE(f.view(0).selected());
    // The drag ended past the edge: the pointer is on the right screen now.
    f.view(1).mouseEnteredView();
    EXPECT_EQ(f.session->keyView(), &f.view(0));
    f.session->finish(false);
}
