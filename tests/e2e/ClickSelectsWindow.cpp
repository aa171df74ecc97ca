#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class ClickSelectsWindow : public CaptureJourney {
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
};

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

    // The screen as the user sees it, the window painted.
    QImage before;
    ASSERT_TRUE(waitFor([&] {
        before = screenShot();
        return !before.isNull() && (before.pixel(asked.center()) & 0xFFFFFF) == 0x3366cc;
    }));

    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(mouseMove(frame.center() + QPoint(10, 10)));
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(mouseMove(frame.center()));
    ASSERT_TRUE(click());
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

} // namespace
} // namespace quillet::e2e
