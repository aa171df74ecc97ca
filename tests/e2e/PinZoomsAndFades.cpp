#include "PinJourney.h"

#include <cmath>

namespace quillet::e2e {
namespace {

// No window manager here: openbox's stock bindings take Alt+wheel over any window to switch
// desktops, so the pin would never see it.
class PinZoomsAndFades : public PinJourney {
protected:
    EnvOptions options() const override { return {}; }

    bool wheel(int button, int notches = 1)
    {
        return xdotool({"click", "--repeat", QString::number(notches), "--delay", "8",
            QString::number(button)});
    }

    // Waits for the one pin window to settle where `wanted` holds; where it is then.
    QRect settled(const std::function<bool(const QRect&)>& wanted, PinState* state = nullptr,
        int timeoutMs = 8000)
    {
        bool met = false;
        const std::optional<ShownPin> last = waitForPinWindow(wanted, &met, timeoutMs, state);
        EXPECT_TRUE(met) << "still " << describe(last ? last->geometry : QRect());
        return last ? last->geometry : QRect();
    }
    QRect settledAfter(const QRect& before)
    {
        return settled([&](const QRect& g) { return g != before; }, nullptr, 5000);
    }
    QRect settledAt(QSize size, PinState* state = nullptr, int timeoutMs = 8000)
    {
        return settled([&](const QRect& g) { return g.size() == size; }, state, timeoutMs);
    }

    // The program running and a pin of `img` opened under the pointer, at `where`.
    void pinAt(const QImage& img, const QString& name, const QRect& where, ShownPin* pin = nullptr)
    {
        ASSERT_TRUE(startQuilletReady());
        ASSERT_TRUE(mouseMove({640, 400}));
        ASSERT_EQ(quillet({"pin", savedImage(img, name)}).exitCode, 0);
        ASSERT_TRUE(waitForPinAt(where, pin));
    }

    bool doubleClick() { return xdotool({"click", "--repeat", "2", "--delay", "60", "1"}); }

    // Drags a pin and wheels once over it: the zoom starts from where the pin is now, with the
    // image point under the pointer kept there.
    void moveThenZoom()
    {
        const QRect start(540, 340, 200, 120);
        pinAt(gradientImage({200, 120}), "move.png", start);
        ASSERT_FALSE(HasFatalFailure());

        ASSERT_TRUE(drag({600, 370}, {730, 450}, 10));
        const QRect moved = settledAfter(start);
        // However the move went, the program knows where the window is: the pin is settled
        // only when its window and its frame agree.
        EXPECT_EQ(moved.size(), start.size());
        EXPECT_NEAR(moved.x() - start.x(), 130, 14);
        EXPECT_NEAR(moved.y() - start.y(), 80, 14);

        const QPoint pointer(730, 450);
        ASSERT_TRUE(mouseMove(pointer));
        ASSERT_TRUE(wheel(4));
        const QRect zoomed = settledAfter(moved);
        EXPECT_NEAR(zoomed.width(), 200 * std::exp(0.04), 1.0);
        const QPointF a = anchor(moved, pointer);
        EXPECT_NEAR(pointer.x() - zoomed.x(), a.x() * zoomed.width(), 1.0);
        EXPECT_NEAR(pointer.y() - zoomed.y(), a.y() * zoomed.height(), 1.0);
    }

    // The pointer's place in the frame as a fraction of its size.
    static QPointF anchor(const QRect& g, QPoint pointer)
    {
        return QPointF(
            qreal(pointer.x() - g.x()) / g.width(), qreal(pointer.y() - g.y()) / g.height());
    }
};

TEST_F(PinZoomsAndFades, WheelZoomsAboutThePointerAltWheelFadesControlZeroResets)
{
    const QImage img = gradientImage({200, 120});
    ShownPin pin;
    const QRect start(540, 340, 200, 120);
    pinAt(img, "zoom.png", start, &pin);
    ASSERT_FALSE(HasFatalFailure());

    // Off-centre, over image pixel (64, 34).
    const QPoint pointer(604, 374);
    ASSERT_TRUE(mouseMove(pointer));
    const QPointF a0 = anchor(start, pointer);

    // One notch up: about 4 % larger, the same image point under the pointer.
    ASSERT_TRUE(wheel(4));
    const QRect one = settledAfter(start);
    EXPECT_NEAR(one.width(), 200 * std::exp(0.04), 1.0);
    EXPECT_NEAR(one.height(), 120 * std::exp(0.04), 1.0);
    EXPECT_NEAR(pointer.x() - one.x(), a0.x() * one.width(), 1.0);
    EXPECT_NEAR(pointer.y() - one.y(), a0.y() * one.height(), 1.0);

    // Many notches stop at 800 %, still anchored at the pointer.
    ASSERT_TRUE(wheel(4, 60));
    PinState state;
    const QRect top = settledAt(QSize(1600, 960), &state);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(state.zoom, 8.0);
    EXPECT_NEAR(pointer.x() - top.x(), a0.x() * 1600, 1.0);
    EXPECT_NEAR(pointer.y() - top.y(), a0.y() * 960, 1.0);
    // Drawn with hard pixels: eight screen pixels to an image pixel, and the pixel that was
    // under the pointer still is.
    PixelDiff diff;
    EXPECT_TRUE(waitFor([&] {
        const QRect block(pointer - QPoint(12, 12), QSize(24, 24));
        diff = compare(screenShot(), block, [&](QPoint p) {
            const QPoint q = p - top.topLeft();
            return img.pixel(q.x() / 8, q.y() / 8);
        });
        return diff.count == 0;
    })) << diff.describe();
    ASSERT_TRUE(wheel(4));
    EXPECT_FALSE(waitFor([&] { return shownPins().value(0).geometry != top; }, 400));

    // Alt+wheel: opacity only, in tenths.
    ASSERT_EQ(windowOpacity(pin.id).value_or(-1), 1.0);
    ASSERT_TRUE(keyDown("alt"));
    ASSERT_TRUE(wheel(5, 2));
    ASSERT_TRUE(keyUp("alt"));
    EXPECT_TRUE(waitFor([&] { return std::abs(windowOpacity(pin.id).value_or(-1) - 0.8) < 0.005; }))
        << windowOpacity(pin.id).value_or(-1);
    EXPECT_EQ(shownPins().value(0).geometry, top);
    EXPECT_NEAR(pinStates().value(0).opacity, 0.8, 1e-9);
    EXPECT_EQ(pinStates().value(0).zoom, 8.0);

    // Ctrl+0: back to 100 %, about the pointer again.
    ASSERT_TRUE(waitForActive(pin.id)) << activeWindow().toStdString();
    ASSERT_TRUE(key("ctrl+0"));
    const QRect reset = settledAfter(top);
    EXPECT_EQ(reset.size(), img.size());
    EXPECT_NEAR(pointer.x() - reset.x(), a0.x() * 200, 1.0);
    EXPECT_NEAR(pointer.y() - reset.y(), a0.y() * 120, 1.0);

    // A double click closes it.
    ASSERT_TRUE(doubleClick());
    EXPECT_TRUE(waitForPins(0));
    EXPECT_TRUE(waitForNoPinWindow());
}

class PinZoomsAndFadesUnderAWindowManager : public PinZoomsAndFades {
protected:
    EnvOptions options() const override { return {.windowManager = true}; }
};

// Without a window manager the pin follows the pointer itself.
TEST_F(PinZoomsAndFades, AMovedPinZoomsWhereItNowIs)
{
    moveThenZoom();
}

// The window manager moves the pin here; the program has to learn where it went.
TEST_F(PinZoomsAndFadesUnderAWindowManager, AMovedPinZoomsWhereItNowIs)
{
    moveThenZoom();
}

} // namespace
} // namespace quillet::e2e
