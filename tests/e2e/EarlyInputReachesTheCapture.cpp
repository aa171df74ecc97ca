#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

// Input in the moment between the hot key and the overlays, with grabs slowed to 300 ms so that
// the moment is long enough to act in, as on a slow machine or a 4K screen; with and without a
// compositor, which fades the overlays in. Under openbox, which decorates windows and takes
// clicks on the root window for its own menus.
class EarlyInputReachesTheCapture : public CaptureJourney,
                                    public ::testing::WithParamInterface<bool> {
protected:
    EnvOptions options() const override
    {
        return {.windowManager = true, .compositor = GetParam()};
    }

    // The window's outer frame as the window manager placed it, once it stays put.
    QRect settledFrame(const QString& id)
    {
        QRect last, frame;
        waitFor([&] {
            const ToolResult r = runTool(QStringLiteral(XWIN_BINARY), {"frame", id});
            const QStringList f = QString::fromLatin1(r.out).split(' ', Qt::SkipEmptyParts);
            if (r.exitCode != 0 || f.size() != 4)
                return false;
            frame = QRect(f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toInt());
            const bool same = frame == last;
            last = frame;
            return same;
        });
        return frame;
    }

    void SetUp() override
    {
        CaptureJourney::SetUp();
        ASSERT_TRUE(screenPattern());
    }

    void startSlowed()
    {
        startTraced({"QUILLET_TEST_GRAB_MS=300"}, QStringLiteral(QUILLET_SLOW_GRAB_BINARY));
        ASSERT_TRUE(waitForQuilletReady());
    }

    int traced(const char* what) const
    {
        return int(log().count(QString("quillet-trace %1 ").arg(QLatin1String(what))));
    }

    // Presses the capture hot key and returns once the program holds the pointer and keyboard,
    // remembering how far the capture had got.
    bool askForCapture()
    {
        m_painted = paintedOverlays();
        m_delivered = traced("delivered");
        const int caught = traced("prelude-catching");
        return key("F1") && waitFor([&] { return traced("prelude-catching") > caught; }, 5000);
    }
    // Whether the screens have still not come back: what was done so far came before the overlays.
    bool stillGrabbing() const
    {
        return traced("delivered") == m_delivered && paintedOverlays() == m_painted;
    }
    bool overlaysUp()
    {
        return waitFor([&] { return paintedOverlays() > m_painted; }, 10000) && sessionIs("open");
    }

    // Copies the selection and checks it holds exactly the screen pattern of `expected`.
    void expectCopied(const QRect& expected)
    {
        ASSERT_TRUE(key("Return"));
        ASSERT_TRUE(waitSessionGone());
        const QImage image = waitClipboardImage();
        EXPECT_EQ(image.size(), expected.size());
        EXPECT_EQ(patternDiff(image, expected), 0);
    }

private:
    int m_painted = 0;
    int m_delivered = 0;
};

TEST_P(EarlyInputReachesTheCapture, DragDoneBeforeTheOverlaysIsTheSelection)
{
    startSlowed();
    ASSERT_TRUE(mouseMove({90, 80}));
    ASSERT_TRUE(askForCapture());
    // Several pointer actions in one xdotool run, so that they fit in the moment.
    ASSERT_TRUE(xdotool({"mousemove", "120", "100", "mousedown", "1", "mousemove", "200", "160",
        "mousemove", "340", "250", "mouseup", "1"}));
    ASSERT_TRUE(stillGrabbing()) << "the overlays came before the drag was done";
    ASSERT_TRUE(overlaysUp());
    expectCopied(QRect(QPoint(120, 100), QPoint(340, 250)).adjusted(0, 0, -1, -1));
}

TEST_P(EarlyInputReachesTheCapture, PressBeforeReleaseAfterTheOverlays)
{
    startSlowed();
    ASSERT_TRUE(mouseMove({300, 200}));
    ASSERT_TRUE(askForCapture());
    ASSERT_TRUE(xdotool({"mousedown", "1", "mousemove", "360", "260"}));
    ASSERT_TRUE(stillGrabbing()) << "the overlays came before the press";
    ASSERT_TRUE(overlaysUp());
    ASSERT_TRUE(xdotool({"mousemove", "420", "300", "mousemove", "500", "380", "mouseup", "1"}));
    expectCopied(QRect(300, 200, 200, 180));
}

// The click selects the window's frame exactly as the window manager placed it, title bar and
// border included, and Return copies those pixels.
TEST_P(EarlyInputReachesTheCapture, EarlyClickSelectsTheWindowUnderIt)
{
    const QRect asked(400, 250, 360, 220);
    const QString id = mapWindow(asked, "3366cc");
    ASSERT_FALSE(id.isEmpty());
    const QRect frame = settledFrame(id);
    ASSERT_TRUE(frame.contains(asked.center())) << frame.x() << "," << frame.y();
    EXPECT_GT(frame.height(), asked.height()) << "not decorated";
    QImage before;
    ASSERT_TRUE(waitFor([&] {
        before = screenShot();
        return !before.isNull() && (before.pixel(frame.center()) & 0xFFFFFF) == 0x3366cc;
    }));
    startSlowed();
    ASSERT_TRUE(mouseMove({100, 100}));
    ASSERT_TRUE(askForCapture());
    ASSERT_TRUE(xdotool({"mousemove", QString::number(frame.center().x()),
        QString::number(frame.center().y()), "click", "1"}));
    ASSERT_TRUE(stillGrabbing()) << "the overlays came before the click";
    ASSERT_TRUE(overlaysUp());
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitSessionGone());
    const QImage image = waitClipboardImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), frame.size());
    EXPECT_EQ(differingPixels(image, before.copy(frame)), 0);
}

TEST_P(EarlyInputReachesTheCapture, EscapeBeforeTheOverlaysCancelsAndTheNextCaptureWorks)
{
    startSlowed();
    ASSERT_TRUE(askForCapture());
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(stillGrabbing()) << "the overlays came before Escape";
    // The grab still comes back; no overlay follows it, and the program is idle again.
    ASSERT_TRUE(waitFor([&] { return traced("delivered") > 0; }, 10000));
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("busy") == "0"; }));
    EXPECT_TRUE(sessionIs("none"));
    EXPECT_EQ(paintedOverlays(), 0);
    // Nothing is left held: other clients can take the pointer and the keyboard.
    EXPECT_EQ(xprobe({"input"}).exitCode, 0);

    ASSERT_TRUE(openCapture("F1"));
    ASSERT_TRUE(drag({400, 300}, {480, 360}));
    expectCopied(QRect(400, 300, 80, 60));
}

// Another client holds the pointer: the capture opens all the same, only without early input.
TEST_P(EarlyInputReachesTheCapture, CaptureOpensWhenThePointerIsHeldElsewhere)
{
    startSlowed();
    ASSERT_FALSE(startUntilSaid(QStringLiteral(XPROBE_BINARY), {"holdpointer"}, "held").isEmpty());
    const int painted = paintedOverlays();
    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(waitFor([&] { return paintedOverlays() > painted; }, 10000));
    EXPECT_EQ(traced("prelude-refused"), 1);
    EXPECT_EQ(traced("prelude-catching"), 0);
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitSessionGone());
}

INSTANTIATE_TEST_SUITE_P(Compositor, EarlyInputReachesTheCapture, ::testing::Bool(),
    [](const ::testing::TestParamInfo<bool>& info) {
        return std::string(info.param ? "WithCompositor" : "WithoutCompositor");
    });

} // namespace
} // namespace quillet::e2e
