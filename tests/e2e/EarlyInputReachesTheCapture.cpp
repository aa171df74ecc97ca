#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

// Journeys under openbox, which decorates windows and takes clicks on the root window for its
// own menus.
class UnderAWindowManager : public CaptureJourney {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.windowManager = true;
        return o;
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

    // The screen as the user sees it once the window of `colour` is painted at `inside`; null if
    // it never is.
    QImage screenShowing(QPoint inside, QRgb colour)
    {
        QImage shot;
        const bool shown = waitFor([&] {
            shot = screenShot();
            return !shot.isNull() && (shot.pixel(inside) & 0xFFFFFF) == colour;
        });
        return shown ? shot : QImage();
    }

    // Copies the selection and checks it is exactly `frame` of the screen `before`.
    void expectCopiedFrom(const QImage& before, const QRect& frame)
    {
        ASSERT_TRUE(key("Return"));
        ASSERT_TRUE(waitSessionGone());
        const QImage image = waitClipboardImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), frame.size());
        const QImage expected = before.copy(frame);
        qint64 differ = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                differ += (image.pixel(x, y) & 0xFFFFFF) != (expected.pixel(x, y) & 0xFFFFFF);
        }
        EXPECT_EQ(differ, 0);
    }
};

class ClickSelectsWindow : public UnderAWindowManager { };

// A click inside a window during a capture selects the window's frame, exactly as the window
// manager placed it (title bar and border included), and Return copies those pixels.
TEST_F(ClickSelectsWindow, ClickedFrameIsCopied)
{
    ASSERT_TRUE(screenPattern());
    const QRect asked(300, 200, 420, 260);
    const QString id = mapWindow(asked, "3366cc");
    ASSERT_FALSE(id.isEmpty());
    const QRect frame = settledFrame(id);
    ASSERT_TRUE(frame.contains(asked.center())) << frame.x() << "," << frame.y();
    // Decorated: the frame is larger than the client.
    EXPECT_GT(frame.height(), asked.height());
    const QImage before = screenShowing(asked.center(), 0x3366cc);
    ASSERT_FALSE(before.isNull());

    ASSERT_TRUE(startTraced() && waitForQuilletReady());
    ASSERT_TRUE(mouseMove(frame.center() + QPoint(10, 10)));
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(mouseMove(frame.center()));
    ASSERT_TRUE(click());
    expectCopiedFrom(before, frame);
}

// Input in the moment between the hot key and the overlays, with grabs slowed to 300 ms so that
// the moment is long enough to act in, as on a slow machine or a 4K screen; with and without a
// compositor, which fades the overlays in.
class EarlyInputReachesTheCapture : public UnderAWindowManager,
                                    public ::testing::WithParamInterface<bool> {
protected:
    EnvOptions options() const override
    {
        EnvOptions o = UnderAWindowManager::options();
        o.compositor = GetParam();
        return o;
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

TEST_P(EarlyInputReachesTheCapture, EarlyClickSelectsTheWindowUnderIt)
{
    const QString id = mapWindow(QRect(400, 250, 360, 220), "3366cc");
    ASSERT_FALSE(id.isEmpty());
    const QRect frame = settledFrame(id);
    const QImage before = screenShowing(frame.center(), 0x3366cc);
    ASSERT_FALSE(before.isNull());
    startSlowed();
    ASSERT_TRUE(mouseMove({100, 100}));
    ASSERT_TRUE(askForCapture());
    ASSERT_TRUE(xdotool({"mousemove", QString::number(frame.center().x()),
        QString::number(frame.center().y()), "click", "1"}));
    ASSERT_TRUE(stillGrabbing()) << "the overlays came before the click";
    ASSERT_TRUE(overlaysUp());
    expectCopiedFrom(before, frame);
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
    QProcess* holder = startBackground(QStringLiteral(XPROBE_BINARY), {"holdpointer"});
    QByteArray out;
    ASSERT_TRUE(waitFor([&] {
        out += holder->readAllStandardOutput();
        return out.contains("held");
    }));
    const int painted = paintedOverlays();
    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(waitFor([&] { return paintedOverlays() > painted; }, 10000));
    EXPECT_EQ(traced("prelude-refused"), 1);
    EXPECT_EQ(traced("prelude-catching"), 0);
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitSessionGone());
    stop(holder);
}

INSTANTIATE_TEST_SUITE_P(Compositor, EarlyInputReachesTheCapture, ::testing::Bool(),
    [](const ::testing::TestParamInfo<bool>& info) {
        return std::string(info.param ? "WithCompositor" : "WithoutCompositor");
    });

} // namespace
} // namespace quillet::e2e
