#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

// Monitors come, go and change size on a running program: while a capture is open and while
// it sits idle between captures. Xvfb cannot change its own resolution, so a monitor changing
// resolution is one RandR monitor replaced by another of a different size, which is what the
// program sees of a real mode change too.
class MonitorLayoutChanges : public CaptureJourney {
protected:
    EnvOptions options() const override { return {.size = {2304, 800}}; }

    bool xrandr(const QStringList& args)
    {
        return runTool(QStringLiteral("xrandr"), args).exitCode == 0;
    }

    // The program's own view of the layout, once it has caught up with the change and has its
    // buffers ready for it again.
    bool waitLayout(const QStringList& screens)
    {
        return waitFor(
            [&] {
                const ToolResult r = quillet({QStringLiteral("status")});
                QStringList seen;
                bool ready = false;
                for (const QString& line : QString::fromUtf8(r.out).split(QLatin1Char('\n'))) {
                    if (line.startsWith(QLatin1String("screen: ")))
                        seen << line.section(QLatin1Char(' '), 2);
                    ready = ready || line == QLatin1String("capture-ready: 1");
                }
                return ready && seen == screens;
            },
            10000);
    }

    int overlays() { return quilletStatus().value(QStringLiteral("overlays")).toInt(); }

    // A region copied from the capture has exactly the pattern's pixels.
    void copyRegionExactly(const QRect& r)
    {
        const QByteArray before = clipboardPng();
        ASSERT_TRUE(drag(r.topLeft(), r.topLeft() + QPoint(r.width(), r.height())));
        ASSERT_TRUE(key(QStringLiteral("Return")));
        ASSERT_TRUE(waitSessionGone()) << log().toStdString();
        const QImage image = waitClipboardImage(before);
        EXPECT_EQ(patternDiff(image, r), 0) << "region " << r.x() << "," << r.y();
    }
};

TEST_F(MonitorLayoutChanges, DuringACaptureAndWhileIdle)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(waitLayout({QStringLiteral("0 0 2304x800 1")}));

    // Split into two monitors under an open capture: it stays usable and ends normally.
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(xrandr({"--setmonitor", "LEFT", "1280/339x800/212+0+0", "screen"}));
    ASSERT_TRUE(xrandr({"--setmonitor", "RIGHT", "1024/271x768/203+1280+0", "none"}));
    ASSERT_TRUE(waitLayout({"0 0 1280x800 1", "1280 0 1024x768 1"})) << log().toStdString();
    EXPECT_TRUE(sessionIs("open"));
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitSessionGone()) << log().toStdString();

    // The next capture covers both monitors, each with its own overlay and exact pixels, and a
    // drag that ends past the first monitor's edge, on the other one, still copies.
    ASSERT_TRUE(openCapture());
    EXPECT_EQ(overlays(), 2);
    copyRegionExactly(QRect(1400, 100, 300, 200));
    ASSERT_TRUE(openCapture());
    copyRegionExactly(QRect(1100, 600, 180, 100));

    // While idle, the right monitor goes and the left one grows: one overlay, the new size.
    ASSERT_TRUE(xrandr({"--delmonitor", "RIGHT"}));
    ASSERT_TRUE(xrandr({"--delmonitor", "LEFT"}));
    ASSERT_TRUE(xrandr({"--setmonitor", "WIDE", "1800/476x800/212+0+0", "screen"}));
    ASSERT_TRUE(waitLayout({"0 0 1800x800 1"})) << log().toStdString();
    ASSERT_TRUE(openCapture());
    EXPECT_EQ(overlays(), 1);
    copyRegionExactly(QRect(1300, 500, 400, 250));

    // A capture open while its monitor is taken away entirely ends or stays without harm, and
    // the program still answers and captures the layout that follows.
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(xrandr({"--delmonitor", "WIDE"}));
    ASSERT_TRUE(waitLayout({"0 0 2304x800 1"})) << log().toStdString();
    if (sessionIs("open")) {
        ASSERT_TRUE(key(QStringLiteral("Escape")));
        ASSERT_TRUE(waitSessionGone()) << log().toStdString();
    }
    ASSERT_TRUE(openCapture());
    copyRegionExactly(QRect(1900, 300, 300, 300));
}

} // namespace
} // namespace quillet::e2e
