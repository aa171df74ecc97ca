#include "CaptureFixtures.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

// The global hot keys during a capture are recognised by the application (see AppDelegateTest);
// here: which overlay the keys go to.
TEST(CaptureKeyRouting, KeysStayWithTheScreenThatHoldsTheSelection)
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

// Where the compositor decides which window has the keyboard (Wayland), keys may arrive at an
// overlay the user is not working in; they act on the one that holds the keys.
TEST(CaptureKeyRouting, KeysReachingAnotherOverlayActOnTheKeyOne)
{
    auto f = makeSession({fakeScreen(QStringLiteral("L"), QRectF(0, 0, 800, 600)),
        fakeScreen(QStringLiteral("R"), QRectF(800, 0, 640, 480))});
    f.session->show(false);
    f.view(1).mouseEnteredView();
    dragSelect(f.view(1), {100, 100}, {300, 250});
    ASSERT_TRUE(f.view(1).selected());
    ASSERT_EQ(f.session->keyView(), &f.view(1));
    // Return pressed while the left overlay, without a selection, has the keyboard copies the
    // right one's selection and ends the capture.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&f.view(0), &enter);
    EXPECT_FALSE(f.session->isEditing());
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(200, 150));
}
