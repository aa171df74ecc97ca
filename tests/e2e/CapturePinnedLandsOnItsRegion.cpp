#include "PinJourney.h"

namespace quillet::e2e {
namespace {

// The accent colour, sRGB (0.13, 0.55, 1.00): the OK button's fill.
bool isAccent(QRgb c)
{
    return std::abs(qRed(c) - 0x21) <= 3 && std::abs(qGreen(c) - 0x8c) <= 3
        && std::abs(qBlue(c) - 0xff) <= 3;
}

class CapturePinnedLandsOnItsRegion : public PinJourney {
protected:
    const QRect region {QPoint(230, 170), QSize(260, 190)};

    static QRgb patternAt(QPoint p) { return patternColor(p.x(), p.y()); }

    void openAndSelect()
    {
        ASSERT_TRUE(key("F1"));
        ASSERT_TRUE(waitFor([&] { return sessionIs("open"); }));
        ASSERT_TRUE(dragRect(region));
    }

    // Clicks the toolbar's pin button. The toolbar hangs below the selection, right-aligned
    // with it; the pin button sits just left of the accent-filled OK button (the frame and
    // handles reach a few pixels below).
    void clickPinButton()
    {
        QRect ok;
        ASSERT_TRUE(waitFor([&] {
            const QImage shot = screenShot();
            ok = QRect();
            const QRect below(region.right() - 300, region.bottom() + 8, 320, 70);
            for (int y = below.top(); y <= below.bottom(); ++y) {
                for (int x = below.left(); x <= below.right(); ++x) {
                    if (shot.rect().contains(x, y) && isAccent(shot.pixel(x, y)))
                        ok |= QRect(x, y, 1, 1);
                }
            }
            // Settled: the bar has slid into place and the button has its full size.
            return ok.width() >= 40 && ok.height() >= 24 && ok.right() <= region.right() + 1;
        })) << describe(ok);
        ASSERT_TRUE(mouseMove({ok.left() - 22, ok.center().y()}));
        ASSERT_TRUE(click(1));
    }

    // The overlay has gone and one pin covers the region, showing the screen that was there.
    void expectPinnedOnTheRegion()
    {
        EXPECT_TRUE(waitFor([&] {
            const auto s = quilletStatus();
            return s.value("session") == "none" && s.value("pins") == "1";
        }));
        ShownPin pin;
        ASSERT_TRUE(waitForPinAt(region, &pin));
        // At zoom 1 over the same place the pin is invisible but for its border (up to two
        // pixels wide, drawn over the image's edge), which is left out here.
        PixelDiff diff;
        EXPECT_TRUE(waitFor([&] {
            diff = compare(screenShot(), pin.geometry, &patternAt, 2);
            return diff.count == 0;
        })) << diff.describe();
        // Outside the pin the screen is the pattern again: the overlay has really gone.
        const QImage shot = screenShot();
        const QRect around = region.adjusted(-40, -40, 40, 40);
        PixelDiff outside;
        for (const QRect& band : {QRect(around.left(), around.top(), around.width(), 30),
                 QRect(around.left(), region.bottom() + 11, around.width(), 30)})
            outside.count += compare(shot, band, &patternAt).count;
        EXPECT_EQ(outside.count, 0);

        // The pin has the keyboard as soon as the overlay has let it go: Escape dismisses it.
        ASSERT_TRUE(waitForActive(pin.id)) << "focus on " << activeWindow().toStdString();
        ASSERT_TRUE(key("Escape"));
        EXPECT_TRUE(waitForPins(0));
        EXPECT_TRUE(waitForNoPinWindow());
    }
};

// The overlay holds the keyboard, so a capture hot key pressed during a capture reaches it: with
// nothing selected it does nothing; with a region it pins the region where it was and ends the
// capture. Pinned is pinned: the same key then starts a new capture. The pin shortcut and the
// toolbar's pin button pin the region too.
TEST_F(CapturePinnedLandsOnItsRegion, ByShortcutAgainPinShortcutAndToolbarButton)
{
    ASSERT_TRUE(screenPattern());
    ASSERT_TRUE(startQuilletReady());
    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(waitFor([&] { return sessionIs("open"); }));
    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(key("ctrl+shift+a"));
    EXPECT_FALSE(waitFor([&] { return pins() == 1; }, 300));
    EXPECT_TRUE(sessionIs("open"));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([&] { return sessionIs("none"); }));

    struct Way {
        const char* name;
        std::function<void()> pin;
    };
    const Way ways[] = {
        {"capture shortcut again", [&] { ASSERT_TRUE(key("F1")); }},
        {"pin shortcut", [&] { ASSERT_TRUE(key("F3")); }},
        {"toolbar pin button", [&] { clickPinButton(); }},
    };
    for (const Way& w : ways) {
        SCOPED_TRACE(w.name);
        ASSERT_NO_FATAL_FAILURE(openAndSelect());
        ASSERT_NO_FATAL_FAILURE(w.pin());
        ASSERT_NO_FATAL_FAILURE(expectPinnedOnTheRegion());
    }
}

} // namespace
} // namespace quillet::e2e
