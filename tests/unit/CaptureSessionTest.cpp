#include "CaptureFixtures.h"

#include "capture/OverlayWindow.h"
#include "platform/Geometry.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

namespace {

const QRectF leftFrame(0, 0, 800, 600);
const QRectF rightFrame(800, 0, 640, 480);

SessionFixture twoScreens(const QList<QRectF>& rects = {})
{
    return makeSession(
        {fakeScreen(QStringLiteral("L"), leftFrame), fakeScreen(QStringLiteral("R"), rightFrame)},
        rects);
}

} // namespace

TEST(CaptureSession, EveryScreenGetsItsOwnWindowViewAndTheWindowsItTouches)
{
    const QRectF onLeft(100, 100, 200, 150);
    const QRectF onRight(900, 50, 100, 100);
    const QRectF straddling(700, 200, 300, 100);
    auto f = twoScreens({onLeft, onRight, straddling});
    ASSERT_EQ(f.session->windows().size(), 2);
    ASSERT_EQ(f.session->views().size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(f.session->windows()[i]->view(), f.session->views()[i]);
        EXPECT_EQ(f.view(i).bounds().size(), (i == 0 ? leftFrame : rightFrame).size());
    }
    EXPECT_TRUE(f.session->isEditing());
    EXPECT_EQ(f.session->active(), nullptr);
    EXPECT_EQ(f.view(0).windowRects(), (QList<QRectF> {onLeft, straddling}));
    // The right screen sees them in its own points; the straddler sticks out to the left.
    EXPECT_EQ(f.view(1).windowRects(),
        (QList<QRectF> {QRectF(100, 50, 100, 100), QRectF(-100, 200, 300, 100)}));
}

// Keys go to the screen under the pointer when shown, and follow it from screen to screen.
TEST(CaptureSession, KeysFollowThePointerUntilAScreenHoldsTheSelection)
{
    auto f = twoScreens();
    // The pointer on the right screen, in Qt's y-down desktop coordinates.
    const QPointF onRight = qtFromGlobal(QPointF(1000, 300), primaryQtGeometry());
    QCursor::setPos(onRight.toPoint());
    f.session->show(false);
    EXPECT_EQ(f.session->keyView(), &f.view(1));
    f.view(0).mouseEnteredView();
    EXPECT_EQ(f.session->keyView(), &f.view(0));
    f.view(1).mouseEnteredView();
    EXPECT_EQ(f.session->keyView(), &f.view(1));
    // Once a selection is made its screen keeps them: here the drag ended past the edge, on the
    // right screen.
    f.view(0).mouseEnteredView();
    dragSelect(f.view(0), {600, 100}, {800, 300});
    ASSERT_TRUE(f.view(0).selected());
    f.view(1).mouseEnteredView();
    EXPECT_EQ(f.session->keyView(), &f.view(0));
    f.session->finish(false);
}

TEST(CaptureSession, FinishEndsAtOnceEvenWhileFading)
{
    auto f = twoScreens();
    f.session->show(true);
    QPointer<OverlayWindow> w0 = f.session->windows()[0];
    QPointer<OverlayWindow> w1 = f.session->windows()[1];
    f.session->finish(true);
    EXPECT_FALSE(f.session->isEditing());
    EXPECT_EQ(*f.ends, 1);
    EXPECT_TRUE(f.session->views().isEmpty());
    // The windows leave the screen after the fade, with or without a compositor to show it, and
    // are kept, empty, for the next capture.
    auto retired = [](const QPointer<OverlayWindow>& w) {
        return w.isNull() || (!w->isVisible() && !w->view());
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return retired(w0) && retired(w1); }, 3000));
}

TEST(CaptureSession, ViewsKeepTheSessionAliveUntilTheirWindowsGo)
{
    parkPointer();
    // The owner lets go of the session in onEnd, as the controller does.
    auto owner = std::make_shared<std::shared_ptr<CaptureSession>>();
    *owner = std::make_shared<CaptureSession>(
        QList<ScreenShot> {shotOf(fakeScreen(QStringLiteral("A"), leftFrame))}, QList<QRectF> {},
        [owner] { owner->reset(); });
    std::weak_ptr<CaptureSession> weak = *owner;
    (*owner)->show(true);
    CaptureView* view = (*owner)->views().first();
    view->keyDown(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_EQ(*owner, nullptr);
    EXPECT_FALSE(weak.expired()) << "the fading windows still hold it";
    EXPECT_TRUE(QTest::qWaitFor([&] { return weak.expired(); }, 3000));
}

// Each cancelling input ends the session once: input after the end is ignored.
TEST(CaptureSession, EndsOnEveryCancellingInputOnce)
{
    struct Case {
        const char* name;
        std::function<void(CaptureView&)> act;
    };
    const QList<Case> cases = {
        {"escape", [](CaptureView& v) { v.keyDown(Qt::Key_Escape, Qt::NoModifier); }},
        {"right click with nothing selected",
            [](CaptureView& v) {
                v.rightMouseDownAt({50, 50});
            }},
        {"escape with a selection",
            [](CaptureView& v) {
                dragSelect(v, {10, 10}, {200, 200});
                v.keyDown(Qt::Key_Escape, Qt::NoModifier);
            }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = oneScreen();
        CaptureView& v = f.view();
        c.act(v);
        EXPECT_FALSE(f.session->isEditing());
        v.keyDown(Qt::Key_Escape, Qt::NoModifier);
        v.rightMouseDownAt({10, 10});
        EXPECT_EQ(*f.ends, 1);
    }
}

TEST(CaptureSession, FirstPressMakesItsScreenTheOnlyActiveOne)
{
    auto f = twoScreens();
    f.view(1).mouseMovedAt({100, 100});
    f.view(0).mouseMovedAt({100, 100});
    f.view(0).mouseDownAt({100, 100});
    EXPECT_EQ(f.session->active(), &f.view(0));
    const auto before = f.view(1).mouse();
    f.view(1).mouseMovedAt({300, 300});
    EXPECT_EQ(f.view(1).mouse(), before) << "moves on another screen are ignored";
    EXPECT_FALSE(f.view(1).regionOfInterest()) << "the other screen shows only the dimmed image";
    f.view(0).mouseUpAt({100, 100});
    EXPECT_TRUE(f.view(0).selected());

    // A right click steps back to choosing: every screen tracks the pointer again.
    f.view(0).rightMouseDownAt({100, 100});
    EXPECT_FALSE(f.view(0).selected());
    EXPECT_EQ(f.session->active(), nullptr);
    EXPECT_TRUE(f.session->isEditing());
    f.view(1).mouseMovedAt({300, 300});
    EXPECT_EQ(f.view(1).mouse(), QPointF(300, 300));
}

TEST(CaptureSession, ForwardReplaysOnTheRightScreen)
{
    auto f = twoScreens();
    // Exactly on the shared border: the first window whose grown frame holds it wins.
    f.session->forward(CaptureSession::MouseEventType::down, {800, 100});
    EXPECT_EQ(f.session->active(), &f.view(0));
    EXPECT_EQ(f.view(0).dragMode().kind, DragMode::create);

    auto g = twoScreens();
    g.session->forward(CaptureSession::MouseEventType::down, {900, 100});
    g.session->forward(CaptureSession::MouseEventType::dragged, {1100, 300});
    g.session->forward(CaptureSession::MouseEventType::up, {1100, 300});
    EXPECT_EQ(g.session->active(), &g.view(1));
    EXPECT_TRUE(g.view(1).selected());
    EXPECT_EQ(g.view(1).selection(), QRectF(100, 100, 200, 200));
}

TEST(CaptureSession, BeginEditPicksTheViewOfThatScreen)
{
    auto f = twoScreens();
    f.session->beginEdit(
        fakeScreen(QStringLiteral("R"), rightFrame), QRectF(10.5, 20, 100, 50), {});
    EXPECT_EQ(f.session->active(), &f.view(1));
    EXPECT_TRUE(f.view(1).selected());
    EXPECT_EQ(f.view(1).selection(), QRectF(10, 20, 101, 50));
    EXPECT_FALSE(f.view(0).selected());
}

// Where the compositor decides which window has the keyboard (Wayland), keys may arrive at an
// overlay the user is not working in; they act on the one that holds the keys.
TEST(CaptureSession, KeysReachingAnotherOverlayActOnTheKeyOne)
{
    auto f = twoScreens();
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
