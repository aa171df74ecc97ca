#include "CaptureFixtures.h"

#include "capture/CaptureReadiness.h"
#include "capture/OverlayWindow.h"

#include <QPointer>
#include <QPropertyAnimation>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

// A capture started while the last one's overlays fade out must not freeze them: the grab
// takes them off the screen first. Windows ended without a fade are already gone.
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
    EXPECT_TRUE(OverlayWindow::dismissLeaving()) << "something was taken off the screen";
    EXPECT_FALSE(w0 && w0->isVisible());
    EXPECT_FALSE(w1 && w1->isVisible());
    // Dismissing again (nothing left) is harmless, and says so.
    EXPECT_FALSE(OverlayWindow::dismissLeaving());

    auto g = oneScreen(1.0);
    g.session->show(false);
    QPointer<OverlayWindow> w = g.session->windows()[0];
    g.session->finish(false);
    EXPECT_TRUE(!w || !w->isVisible());
    EXPECT_FALSE(OverlayWindow::dismissLeaving());
}

// The next capture on the same screens gets the same windows back, ready for input again, and
// the last capture's views (and with them its images and session) are gone.
TEST(OverlayWindow, WindowsAreKeptForTheNextCapture)
{
    const QList<Screen> screens = {fakeScreen(QStringLiteral("L"), QRectF(0, 0, 800, 600)),
        fakeScreen(QStringLiteral("R"), QRectF(800, 0, 640, 480))};
    OverlayWindow::prepare(screens);
    QList<QPointer<OverlayWindow>> first;
    std::weak_ptr<CaptureSession> firstSession;
    {
        auto f = makeSession(screens);
        f.session->show(true);
        for (OverlayWindow* w : f.session->windows())
            first.append(w);
        firstSession = f.session;
        f.session->finish(true); // still fading when the next capture takes the windows
        OverlayWindow::dismissLeaving();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return firstSession.expired(); }, 3000));

    auto g = makeSession(screens);
    ASSERT_EQ(g.session->windows().size(), 2);
    EXPECT_EQ(g.session->windows()[0], first[0].data());
    EXPECT_EQ(g.session->windows()[1], first[1].data());
    g.session->show(false);
    for (OverlayWindow* w : g.session->windows()) {
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(w->testAttribute(Qt::WA_TransparentForMouseEvents));
        EXPECT_EQ(w->windowOpacity(), 1.0);
        EXPECT_FALSE(w->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
        const QList<CaptureView*> views = w->findChildren<CaptureView*>();
        EXPECT_EQ(views, QList<CaptureView*> {w->view()}) << "only this capture's view";
    }
    // The last capture's fade-out, cut short, must not end on this capture's windows.
    for (OverlayWindow* w : g.session->windows()) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return w->findChildren<QPropertyAnimation*>().isEmpty(); }, 3000));
        EXPECT_TRUE(w->isVisible());
        EXPECT_NE(w->view(), nullptr);
    }
    g.session->finish(false);
}

// A changed layout: windows of screens that went away are let go, new screens get theirs.
TEST(OverlayWindow, PrepareFollowsTheScreens)
{
    const Screen a = fakeScreen(QStringLiteral("A"), QRectF(0, 0, 300, 200));
    const Screen b = fakeScreen(QStringLiteral("B"), QRectF(300, 0, 200, 100));
    const Screen moved = fakeScreen(QStringLiteral("B"), QRectF(300, 0, 400, 100));
    OverlayWindow::prepare({a, b});
    OverlayWindow* forA = OverlayWindow::acquire(a);
    OverlayWindow* forB = OverlayWindow::acquire(b);
    QPointer<OverlayWindow> oldB = forB;
    forA->retire();
    forB->retire();
    OverlayWindow::prepare({a, moved});
    EXPECT_TRUE(QTest::qWaitFor([&] { return oldB.isNull(); }, 3000));
    EXPECT_EQ(OverlayWindow::acquire(a), forA);
    OverlayWindow* forMoved = OverlayWindow::acquire(moved);
    EXPECT_EQ(forMoved->screen().frame, moved.frame);
    forA->retire();
    forMoved->retire();
    EXPECT_EQ(OverlayWindow::spareCount(), 2);
    OverlayWindow::prepare({});
    EXPECT_EQ(OverlayWindow::spareCount(), 0);
}

// Getting ready makes one window per screen, once; the capture that follows uses exactly those.
TEST(OverlayWindow, PreparedWindowsAreTheOnesTheCaptureUses)
{
    OverlayWindow::dropSpares();
    const QList<Screen> screens = currentScreens();
    ASSERT_FALSE(screens.isEmpty());
    CaptureReadiness::prepareNow();
    CaptureReadiness::prepareNow();
    EXPECT_EQ(OverlayWindow::spareCount(), screens.size());

    QList<ScreenShot> shots;
    for (const Screen& s : screens)
        shots.append(shotOf(s));
    auto session = std::make_shared<CaptureSession>(shots, QList<QRectF> {}, [] {});
    EXPECT_EQ(OverlayWindow::spareCount(), 0) << "every prepared window taken";
    session->finish(false);
    EXPECT_EQ(OverlayWindow::spareCount(), screens.size()) << "and given back";
    OverlayWindow::dropSpares();
    EXPECT_EQ(OverlayWindow::spareCount(), 0);
}
