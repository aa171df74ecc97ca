#include "CaptureFixtures.h"

#include "capture/OverlayWindow.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

// A capture started while the last one's overlays fade out must not freeze them: the grab
// takes them off the screen first.
TEST(OverlayWindow, FadingOverlaysAreDismissedAtOnce)
{
    auto f = makeSession({fakeScreen(QStringLiteral("L"), QRectF(0, 0, 800, 600)),
        fakeScreen(QStringLiteral("R"), QRectF(800, 0, 640, 480))});
    f.session->show(false);
    QPointer<OverlayWindow> w0 = f.session->windows()[0];
    QPointer<OverlayWindow> w1 = f.session->windows()[1];
    f.session->finish(true);
    ASSERT_TRUE(w0 && w1);
    EXPECT_TRUE(w0->isVisible()) << "still fading out";
    OverlayWindow::dismissLeaving();
    EXPECT_FALSE(w0 && w0->isVisible());
    EXPECT_FALSE(w1 && w1->isVisible());
    // Dismissing again (nothing left) is harmless.
    OverlayWindow::dismissLeaving();
}

TEST(OverlayWindow, WindowsEndedWithoutFadeAreNotTouched)
{
    auto f = oneScreen(1.0);
    f.session->show(false);
    QPointer<OverlayWindow> w = f.session->windows()[0];
    f.session->finish(false);
    OverlayWindow::dismissLeaving();
    EXPECT_TRUE(!w || !w->isVisible());
}
