#include "PinJourney.h"

namespace quillet::e2e {
namespace {

class ClipboardImagePinsCentredAtItsSize : public PinJourney { };

TEST_F(ClipboardImagePinsCentredAtItsSize, ShowsCopiesBackAndClosesWithEscape)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

    // Odd on purpose in one direction: half a pixel either way is still "centred".
    const QImage img = gradientImage({180, 121});
    ASSERT_TRUE(putClipboardFile(savedImage(img, "copied.png"), "image/png"));
    const QPoint pointer(700, 420);
    ASSERT_TRUE(mouseMove(pointer));

    const ToolResult r = quillet({"pin"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(pins(), 1);

    // Exactly the image's size, its centre on the pointer.
    bool placed = false;
    const std::optional<ShownPin> pin = waitForPinWindow(
        [&](const QRect& g) {
            const QPointF centre = QRectF(g).center();
            return g.size() == img.size() && std::abs(centre.x() - pointer.x()) <= 0.5
                && std::abs(centre.y() - pointer.y()) <= 0.5;
        },
        &placed);
    ASSERT_TRUE(placed) << describe(pin ? pin->geometry : QRect());
    const QRect g = pin->geometry;

    // The image on screen, pixel for pixel, inside the 2-pixel border the pin draws.
    PixelDiff diff;
    EXPECT_TRUE(waitFor([&] {
        diff = compare(
            grabScreen(), g, [&](QPoint p) { return img.pixel(p - g.topLeft()); }, 2);
        return diff.count == 0;
    })) << diff.describe();

    // It floats above ordinary windows on every workspace, and no task bar lists it.
    EXPECT_TRUE(waitFor([&] {
        const ToolResult state
            = runTool("xprop", {"-id", pin->id, "_NET_WM_STATE", "_NET_WM_DESKTOP"});
        return state.out.contains("_NET_WM_STATE_ABOVE")
            && state.out.contains("_NET_WM_STATE_SKIP_TASKBAR")
            && state.out.contains("_NET_WM_DESKTOP(CARDINAL) = 4294967295");
    })) << runTool("xprop", {"-id", pin->id, "_NET_WM_STATE", "_NET_WM_DESKTOP"}).out.toStdString();

    // The new pin has the keyboard without being clicked: its keys work at once.
    ASSERT_TRUE(waitForActive(pin->id)) << "active " << activeWindow().toStdString();
    ASSERT_TRUE(key("ctrl+c"));
    QImage copied;
    ASSERT_TRUE(waitFor([&] {
        return clipboardTargets().contains("image/png")
            && copied.loadFromData(clipboardPng(), "PNG") && copied.size() == img.size();
    })) << copied.width()
        << "x" << copied.height();
    const QImage copiedRgb = copied.convertToFormat(QImage::Format_RGB32);
    const PixelDiff back
        = compare(copiedRgb, copiedRgb.rect(), [&](QPoint p) { return img.pixel(p); });
    EXPECT_EQ(back.count, 0) << back.describe();

    // Copying leaves the pin where it was; Escape closes it.
    EXPECT_EQ(pins(), 1);
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitForPins(0));
    EXPECT_TRUE(waitForNoPinWindow());
    EXPECT_TRUE(quilletStatus().contains("pid"));
}

TEST_F(ClipboardImagePinsCentredAtItsSize, ALargerImageShrinksToTheScreenAndCopiesWhole)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const QImage img = gradientImage({1400, 900});
    ASSERT_TRUE(putClipboardFile(savedImage(img, "large.png"), "image/png"));
    ASSERT_TRUE(mouseMove({640, 400}));
    ASSERT_EQ(quillet({"pin"}).exitCode, 0);

    // 90 % of the 1280 × 800 screen bounds it: a factor of min(1152 / 1400, 720 / 900) = 0.8.
    ShownPin pin;
    ASSERT_TRUE(waitForPinAt(QRect(80, 40, 1120, 720), &pin));
    EXPECT_DOUBLE_EQ(pinStates().value(0).zoom, 0.8);

    // What is copied is the image, not the shrunken picture of it.
    ASSERT_TRUE(waitForActive(pin.id));
    ASSERT_TRUE(key("ctrl+c"));
    QImage copied;
    ASSERT_TRUE(waitFor([&] {
        return copied.loadFromData(clipboardPng(), "PNG") && copied.size() == img.size();
    })) << copied.width()
        << "x" << copied.height();
    const QImage copiedRgb = copied.convertToFormat(QImage::Format_RGB32);
    const PixelDiff back
        = compare(copiedRgb, copiedRgb.rect(), [&](QPoint p) { return img.pixel(p); });
    EXPECT_EQ(back.count, 0) << back.describe();
}

class ClipboardImagePinsCentredAtItsSizeOnTwoMonitors : public PinJourney {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.twoMonitors = true;
        o.size = {2304, 800};
        return o;
    }
};

TEST_F(ClipboardImagePinsCentredAtItsSizeOnTwoMonitors, ShrinksToTheMonitorUnderThePointer)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const QImage img = gradientImage({1000, 700});
    ASSERT_TRUE(putClipboardFile(savedImage(img, "wide.png"), "image/png"));
    // The middle of the right-hand 1024 × 768 monitor.
    ASSERT_TRUE(mouseMove({1792, 384}));
    ASSERT_EQ(quillet({"pin"}).exitCode, 0);

    // 90 % of that monitor, not of the larger first one: min(921.6 / 1000, 691.2 / 700).
    EXPECT_TRUE(waitForPinAt(QRect(1331, 61, 922, 646)));
    EXPECT_DOUBLE_EQ(pinStates().value(0).zoom, 0.9216);
}

} // namespace
} // namespace quillet::e2e
