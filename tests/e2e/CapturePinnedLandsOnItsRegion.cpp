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

    void SetUp() override
    {
        PinJourney::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(screenPattern());
        startQuillet();
        ASSERT_TRUE(waitForQuilletReady());
        const ToolResult r = quillet({"capture"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        ASSERT_TRUE(waitFor([&] { return quilletStatus().value("session") == "open"; }));
        ASSERT_TRUE(
            drag(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height())));
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
            diff = compare(grabScreen(), pin.geometry, &patternAt, 2);
            return diff.count == 0;
        })) << diff.describe();
        // Outside the pin the screen is the pattern again: the overlay has really gone.
        const QImage shot = grabScreen();
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

TEST_F(CapturePinnedLandsOnItsRegion, CaptureShortcutAgain)
{
    ASSERT_TRUE(key("F1"));
    expectPinnedOnTheRegion();
}

TEST_F(CapturePinnedLandsOnItsRegion, PinShortcut)
{
    ASSERT_TRUE(key("F3"));
    expectPinnedOnTheRegion();
}

TEST_F(CapturePinnedLandsOnItsRegion, ToolbarPinButton)
{
    // The toolbar hangs below the selection, right-aligned with it; the pin button sits just
    // left of the accent-filled OK button (the frame and handles reach a few pixels below).
    QRect ok;
    ASSERT_TRUE(waitFor([&] {
        const QImage shot = grabScreen();
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
    const QPoint pinButton(ok.left() - 22, ok.center().y());
    ASSERT_TRUE(mouseMove(pinButton));
    ASSERT_TRUE(click(1));
    expectPinnedOnTheRegion();
}

} // namespace
} // namespace quillet::e2e
