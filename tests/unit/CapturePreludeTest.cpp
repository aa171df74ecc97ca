// The prelude's record and replay with a real session, its grab stood in for by a fake that the
// test feeds with pointer input.
#include "capture/CapturePrelude.h"
#include "CaptureFixtures.h"
#include "WaitUntil.h"
#include "platform/Geometry.h"
#include "platform/Screen.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::oneScreen;
using test::waitUntil;
using Input = PreludeGrab::Input;

// What the window system would tell: positions are given in global points, as the test thinks.
struct FakeWorld {
    bool refuse = false;
    bool pointerHeld = false;
    bool keyboardHeld = false;
    bool keyboardLetGo = false; // an ungrab went to the window system
    bool stopped = false;
    PointerState pointer;
    PreludeGrab::Sink sink;

    void moveTo(QPointF global, bool leftHeld)
    {
        pointer = {qtFromGlobal(global, primaryQtGeometry()), leftHeld};
    }
    void send(Input input, QPointF global)
    {
        if (sink)
            sink(input, qtFromGlobal(global, primaryQtGeometry()));
    }
};

class FakeGrab final : public PreludeGrab {
public:
    explicit FakeGrab(std::shared_ptr<FakeWorld> w)
        : world(std::move(w))
    { }
    bool start(Sink sink, PointerState& now) override
    {
        now = world->pointer;
        if (world->refuse)
            return false;
        world->sink = std::move(sink);
        world->pointerHeld = world->keyboardHeld = true;
        return true;
    }
    void releasePointer() override { world->pointerHeld = false; }
    void releaseKeyboard() override
    {
        world->keyboardLetGo = world->keyboardLetGo || world->keyboardHeld;
        world->keyboardHeld = false;
    }
    void keyboardTaken() override { world->keyboardHeld = false; }
    void stop() override
    {
        releaseKeyboard();
        world->pointerHeld = false;
        world->sink = nullptr;
        world->stopped = true;
    }
    PointerState pointer() override { return world->pointer; }

    std::shared_ptr<FakeWorld> world;
};

constexpr CapturePrelude::Timing quick {100, 30, 400, 8};

std::shared_ptr<CapturePrelude> preludeIn(const std::shared_ptr<FakeWorld>& world)
{
    auto prelude = CapturePrelude::make(std::make_unique<FakeGrab>(world), quick);
    prelude->start();
    return prelude;
}

const QRectF window(100, 200, 300, 150);

TEST(CapturePrelude, ReplaysEarlyInputIntoTheSession)
{
    struct Case {
        const char* name;
        bool refused; // the grab was refused (a press began elsewhere before the capture)
        QPointF hover; // where the pointer was when the prelude began
        std::function<void(FakeWorld&)> before; // until the overlays are up
        std::function<void(FakeWorld&, CaptureView&)> after; // once they are
        QRectF expected; // empty: the window the click selects, as a direct click selects it
    };
    const QList<Case> cases = {
        {"press, drag and release before the overlays", false, {50, 50},
            [](FakeWorld& w) {
                w.send(Input::down, {120, 110});
                w.send(Input::dragged, {200, 160});
                w.send(Input::dragged, {320, 260});
                w.send(Input::up, {320, 260});
            },
            {}, QRectF(120, 110, 200, 150)},
        {"press before, further drags and the release after", false, {50, 50},
            [](FakeWorld& w) {
                w.send(Input::down, {120, 110});
                w.send(Input::dragged, {200, 160});
                w.moveTo({200, 160}, true);
            },
            [](FakeWorld& w, CaptureView&) {
                w.send(Input::dragged, {300, 250});
                w.send(Input::up, {310, 270});
                w.moveTo({310, 270}, false);
            },
            QRectF(120, 110, 180, 140)},
        {"press begun before the prelude, followed until released", true, {60, 70},
            [](FakeWorld& w) {
                w.moveTo({60, 70}, true);
            },
            [](FakeWorld& w, CaptureView& v) {
                w.moveTo({250, 230}, true);
                EXPECT_TRUE(waitUntil([&] { return v.selection() == QRectF(60, 70, 190, 160); }));
                w.moveTo({260, 240}, false);
            },
            QRectF(60, 70, 190, 160)},
        {"a lone click selects the window under it", false, {50, 50},
            [](FakeWorld& w) {
                w.send(Input::moved, {150, 250});
                w.send(Input::down, {150, 250});
                w.send(Input::up, {150, 250});
            },
            {}, QRectF()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto world = std::make_shared<FakeWorld>();
        world->refuse = c.refused;
        world->moveTo(c.hover, false);
        if (c.before && c.refused)
            c.before(*world); // the press is already held when the capture is asked for
        auto prelude = preludeIn(world);
        EXPECT_EQ(prelude->catching(), !c.refused);
        if (c.before && !c.refused)
            c.before(*world);

        auto f = oneScreen(1.0, {window});
        prelude->overlaysShown(f.session->show(false));
        EXPECT_FALSE(world->keyboardHeld);
        prelude->handOff(f.session);
        CaptureView& v = f.view();
        if (c.after)
            c.after(*world, v);
        ASSERT_TRUE(waitUntil([&] { return v.dragMode().kind == DragMode::none; }));
        EXPECT_TRUE(v.selected());
        if (c.expected.isEmpty()) {
            auto direct = oneScreen(1.0, {window});
            direct.view().mouseMovedAt({150, 250});
            direct.view().mouseDownAt({150, 250});
            direct.view().mouseUpAt({150, 250});
            EXPECT_EQ(v.selection(), direct.view().selection());
            direct.session->finish(false);
        } else {
            EXPECT_EQ(v.selection(), c.expected);
        }
        // Once the press is over the overlays have the pointer, and the prelude goes soon after.
        EXPECT_FALSE(world->pointerHeld);
        EXPECT_TRUE(waitUntil([&] { return prelude->closed(); }, 1000));
        EXPECT_FALSE(prelude->cancelled());
        f.session->finish(false);
    }
}

// A hot key's release, or a key typed while the overlays appear, must not slip out between the
// prelude's grab and the overlay's: a grab the overlay took over is never let go of here.
TEST(CapturePrelude, KeyboardPassesToTheOverlayWithoutAnUngrab)
{
    for (const bool taken : {true, false}) {
        SCOPED_TRACE(taken ? "the overlay took the keyboard" : "the overlay was refused");
        auto world = std::make_shared<FakeWorld>();
        auto prelude = preludeIn(world);
        auto f = oneScreen();
        prelude->overlaysShown(taken);
        prelude->handOff(f.session);
        prelude->close();
        EXPECT_FALSE(world->keyboardHeld);
        EXPECT_EQ(world->keyboardLetGo, !taken);
        f.session->finish(false);
    }
}

TEST(CapturePrelude, EscapeCancelsAndLetsGoAtOnce)
{
    auto world = std::make_shared<FakeWorld>();
    auto prelude = preludeIn(world);
    world->send(Input::down, {100, 100});
    world->send(Input::escape, {100, 100});
    EXPECT_TRUE(prelude->cancelled());
    EXPECT_TRUE(prelude->closed());
    EXPECT_TRUE(world->stopped);
    EXPECT_FALSE(world->pointerHeld || world->keyboardHeld);
    // The controller closes it again when the grab comes back; nothing is replayed anywhere.
    prelude->close();
    auto f = oneScreen();
    prelude->handOff(f.session);
    EXPECT_EQ(f.view().dragMode().kind, DragMode::none);
    EXPECT_FALSE(f.view().selected());
    f.session->finish(false);
}

// A press held past the deadline is left to the overlays: the prelude closes, lets go of the
// pointer, and a later release no longer reaches the session through it.
TEST(CapturePrelude, HeldPressIsFollowedOnlyUntilTheDeadline)
{
    auto world = std::make_shared<FakeWorld>();
    auto prelude = preludeIn(world);
    world->send(Input::down, {100, 100});
    world->send(Input::dragged, {200, 200});
    world->moveTo({200, 200}, true);
    auto f = oneScreen();
    f.session->show(false);
    QElapsedTimer clock;
    clock.start();
    prelude->handOff(f.session);
    EXPECT_TRUE(world->pointerHeld);
    ASSERT_TRUE(waitUntil([&] { return prelude->closed(); }, 3000));
    EXPECT_GE(clock.elapsed(), quick.deadlineMs);
    EXPECT_FALSE(world->pointerHeld);
    world->send(Input::up, {250, 250});
    EXPECT_EQ(f.view().dragMode().kind, DragMode::create);
    f.session->finish(false);
}

// The controller owns the session: one that ends while the prelude still follows a held press
// is freed at once, frozen screens and all, and the prelude lets go of the pointer then rather
// than at its deadline.
TEST(CapturePrelude, EndedSessionIsNotKeptForTheFollowUp)
{
    auto world = std::make_shared<FakeWorld>();
    auto prelude = CapturePrelude::make(std::make_unique<FakeGrab>(world), {100, 30, 10000, 8});
    prelude->start();
    world->send(Input::down, {100, 100});
    world->moveTo({150, 150}, true);
    std::weak_ptr<CaptureSession> weak;
    {
        auto f = oneScreen();
        f.session->show(false);
        prelude->handOff(f.session);
        weak = f.session;
        f.session->finish(false);
    }
    // Gone once its fade-out has ended, long before the prelude lets go of the press.
    EXPECT_TRUE(waitUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return weak.expired();
        },
        3000));
    EXPECT_TRUE(waitUntil([&] { return prelude->closed(); }, 1000));
    EXPECT_TRUE(world->stopped);
    EXPECT_FALSE(world->pointerHeld);
}

} // namespace
} // namespace quillet
