#include "PinJourney.h"

#include <QDir>
#include <QSettings>

namespace quillet::e2e {
namespace {

constexpr int square = 25;
constexpr QRgb red = 0xffff0000;

// Opaque red squares and fully transparent ones: where the pin's own image is transparent the
// edit session must show the screen beneath the pin, so a pin frozen into the grab would show.
bool opaqueAt(QPoint p)
{
    return ((p.x() / square) + (p.y() / square)) % 2 == 0;
}

class EditedPinNeverFrozenIntoTheCapture : public PinJourney,
                                           public ::testing::WithParamInterface<bool> {
protected:
    bool shadows() const { return GetParam(); }

    void SetUp() override
    {
        PinJourney::SetUp();
        if (HasFatalFailure())
            return;
        if (shadows()) {
            // A compositor that draws window shadows and honours window opacity.
            startBackground("xcompmgr", {"-c"});
            ASSERT_TRUE(waitFor([this] { return xprobe({"cm"}).exitCode == 0; }, 10000));
        }
        ASSERT_TRUE(screenPattern());
        // No dimming and no magnifier: the overlay then shows its frozen image as it is.
        writeSettings({{"dimAlpha", 0.0}, {"showMagnifier", false}, {"pinOpacity", 0.6}});
        ASSERT_TRUE(startQuilletReady());
    }
};

// The pin is edited: inside its place the overlay shows the red squares over the screen that
// lay beneath the pin, and around it the screen untouched (no border, no shadow, no
// translucent copy). Escape brings the pin back where it was, at its opacity.
TEST_P(EditedPinNeverFrozenIntoTheCapture, SelectionShowsWhatLiesBeneath)
{
    QImage img(200, 150, QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, opaqueAt(QPoint(x, y)) ? red : 0x00000000);
    }
    ASSERT_TRUE(mouseMove({640, 400}));
    ASSERT_EQ(quillet({"pin", savedImage(img, "chequer.png")}).exitCode, 0);
    bool met = false;
    const ShownPin pin
        = waitForPinWindow([](const QRect&) { return true; }, &met).value_or(ShownPin {});
    ASSERT_TRUE(met);
    const QRect area = pin.geometry;
    ASSERT_EQ(area.size(), QSize(200, 150));
    const double opacity = pinStates().value(0).opacity;
    ASSERT_TRUE(waitForActive(pin.id));

    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitFor([&] { return sessionIs("open"); }, 10000));

    const auto inside
        = [&](QPoint p) { return opaqueAt(p - area.topLeft()) ? red : patternColor(p.x(), p.y()); };
    const auto pattern = [](QPoint p) { return patternColor(p.x(), p.y()); };
    // The selection's frame and handles lie over its edge; the size label sits above it and the
    // toolbar below, so the bands beside it are what shows the screen around the pin.
    const QList<QRect> beside = {
        QRect(area.left() - 40, area.top() + 10, 30, area.height() - 20),
        QRect(area.right() + 11, area.top() + 10, 30, area.height() - 20),
    };
    PixelDiff in, out;
    const bool shown = waitFor(
        [&] {
            const QImage shot = screenShot();
            // Off by more than a rounding step in any channel: the overlay's colour handling may
            // move a channel by one, a frozen pin by far more.
            in = compare(shot, area.adjusted(12, 12, -12, -12), inside, 0, 2);
            out = PixelDiff {};
            for (const QRect& band : beside) {
                const PixelDiff d = compare(shot, band, pattern, 0, 2);
                if (!out.count)
                    out = d;
                else
                    out.count += d.count;
            }
            return in.count == 0 && out.count == 0 && shownPins().isEmpty();
        },
        8000);
    EXPECT_TRUE(shown) << "inside: " << in.describe() << "; beside: " << out.describe();

    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([&] { return !sessionIs("open"); }, 10000));
    ShownPin back;
    EXPECT_TRUE(waitForPinAt(area, &back));
    const QList<PinState> states = pinStates();
    ASSERT_EQ(states.size(), 1);
    EXPECT_DOUBLE_EQ(states[0].zoom, 1.0);
    EXPECT_DOUBLE_EQ(states[0].opacity, opacity);
    if (shadows()) {
        EXPECT_TRUE(waitFor([&] {
            const auto o = windowOpacity(back.id);
            return o && std::abs(*o - opacity) < 0.01;
        }));
    }
}

INSTANTIATE_TEST_SUITE_P(Compositor, EditedPinNeverFrozenIntoTheCapture, ::testing::Bool(),
    [](const ::testing::TestParamInfo<bool>& info) {
        return std::string(info.param ? "WithShadowingCompositor" : "WithoutCompositor");
    });

class PinEditEntries : public PinJourney { };

// Return, Space and keypad Enter on the focused pin, and its menu's "编辑标注", each open the
// edit; Escape then gives the pin back, ready for the next one.
TEST_F(PinEditEntries, KeysAndMenuItem)
{
    ASSERT_TRUE(screenPattern());
    ASSERT_TRUE(startQuilletReady());
    QImage img = gradientImage(QSize(180, 120));
    const QString file = savedImage(img, "g.png");
    ASSERT_TRUE(mouseMove(QPoint(500, 350)));
    ASSERT_EQ(quillet({"pin", file}).exitCode, 0);
    bool met = false;
    const auto first = waitForPinWindow([](const QRect&) { return true; }, &met);
    ASSERT_TRUE(met && first);
    const QRect area = first->geometry;

    int round = 0;
    for (const QString& entry : QStringList {"Return", "space", "KP_Enter", "menu"}) {
        SCOPED_TRACE(entry.toStdString());
        ShownPin pin;
        ASSERT_TRUE(waitForPinAt(area, &pin));
        // A new spot each time: two clicks on one spot in quick succession close a pin.
        ASSERT_TRUE(mouseMove(area.topLeft() + QPoint(30 + 30 * round++, 40)));
        if (entry == QLatin1String("menu")) {
            const QRect under(area.topLeft() + QPoint(5 + 30 * round, 45), QSize(60, 25));
            const QImage before = screenShot().copy(under);
            ASSERT_TRUE(click(3));
            // The menu opens at the pointer and takes the keyboard: its first item is "编辑标注".
            ASSERT_TRUE(waitFor([&] { return screenShot().copy(under) != before; }));
            ASSERT_TRUE(key("Down"));
            ASSERT_TRUE(key("Return"));
        } else {
            ASSERT_TRUE(click(1));
            ASSERT_TRUE(waitForActive(pin.id));
            ASSERT_TRUE(key(entry));
        }
        ASSERT_TRUE(waitFor([&] { return sessionIs("open"); }, 10000))
            << quillet({"status"}).out.toStdString() << activeWindow().toStdString() << " "
            << pin.id.toStdString();
        EXPECT_TRUE(waitFor([&] { return shownPins().isEmpty(); }));
        // At once, while the overlay still fades in (the later Escape is the first test's): the
        // pin is back in its place and has the keyboard again, without a click.
        ASSERT_TRUE(key("Escape"));
        ASSERT_TRUE(waitFor([&] { return sessionIs("none"); }, 10000));
        EXPECT_EQ(pins(), 1);
        ShownPin back;
        ASSERT_TRUE(waitForPinAt(area, &back));
        EXPECT_TRUE(waitForActive(back.id));
    }
}

class EditedPinPinnedAgain : public PinJourney { };

// A capture with a rectangle drawn on it is pinned, edited and pinned again unchanged: one pin,
// in the same place, showing the same pixels.
TEST_F(EditedPinPinnedAgain, LandsOnTheSamePixels)
{
    ASSERT_TRUE(screenPattern());
    ASSERT_TRUE(startQuilletReady());
    ASSERT_EQ(quillet({"capture"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return sessionIs("open"); }));
    const QRect region(QPoint(300, 200), QSize(320, 220));
    ASSERT_TRUE(dragRect(region));
    ASSERT_TRUE(key("1"));
    ASSERT_TRUE(drag(QPoint(340, 240), QPoint(480, 330)));
    ASSERT_TRUE(key("F3"));
    ShownPin first;
    ASSERT_TRUE(waitForPinAt(region, &first));
    ASSERT_TRUE(waitForActive(first.id));
    // The border changes with the keyboard focus; the picture inside it is what must not.
    const QRect inside = region.adjusted(2, 2, -2, -2);
    const QImage before = screenShot().copy(inside);

    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitFor([&] { return sessionIs("open"); }, 10000));
    ASSERT_TRUE(waitFor([&] { return shownPins().isEmpty(); }));
    ASSERT_TRUE(key("F3"));
    ASSERT_TRUE(waitFor([&] { return sessionIs("none"); }, 10000));
    ShownPin second;
    ASSERT_TRUE(waitForPinAt(region, &second));
    EXPECT_NE(second.id, first.id);
    EXPECT_TRUE(waitForPins(1));
    QImage after;
    EXPECT_TRUE(waitFor([&] {
        after = screenShot().copy(inside);
        return after == before;
    }));
    PixelDiff diff = compare(after, after.rect(), [&](QPoint p) { return before.pixel(p); });
    EXPECT_EQ(diff.count, 0) << diff.describe();
}

} // namespace
} // namespace quillet::e2e
