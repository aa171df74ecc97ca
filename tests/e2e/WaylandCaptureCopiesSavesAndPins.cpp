// Captures on a headless sway with two outputs of different sizes, read through the compositor's
// screen copy and through the desktop portal: a drag selects exactly, Return puts the region's
// exact pixels on the clipboard as image/png for other clients, Ctrl+S saves them, and the
// capture key again pins the region. On an output at scale 2 the pixels stay the device's.
#include "WaylandRig.h"

#include <QFile>
#include <QPainter>

namespace quillet::e2e {
namespace {

class WaylandCaptureCopiesSavesAndPins : public WaylandRig,
                                         public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        m_left = noise({1280, 720}, 11);
        m_right = noise({800, 600}, 12);
        startCompositor({m_left, m_right});
        if (IsSkipped() || HasFatalFailure())
            return;
        writeSettings({{"quickSave", true}, {"saveDir", saved()}});
        QDir().mkpath(saved());
        const bool portal = QByteArray(GetParam()) == "portal";
        if (portal) {
            startPortal();
            ASSERT_FALSE(HasFatalFailure());
        }
        startInput();
        ASSERT_FALSE(HasFatalFailure());
        QProcessEnvironment route;
        route.insert(QStringLiteral("QUILLET_WAYLAND_GRAB"), QString::fromLatin1(GetParam()));
        startProgram(route);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(status().contains(QStringLiteral("capture-route: ") + GetParam()))
            << status().toStdString() << (m_bus ? m_bus->readAllStandardError().toStdString() : "");
    }

    QString saved() const { return m_dir.filePath(QStringLiteral("saved")); }

    // Opens a capture and waits until both overlays are up. The pointer waits in a corner: a
    // compositor that draws it in software (as headless sway does) copies it with the screen.
    bool openCapture() { return pointer("move 1279 719") && WaylandRig::openCapture(2); }

    // The overlay shows the selection: undimmed in its middle, away from the frame, its handles,
    // the size label and the tool bar, which may sit inside a selection near the screen's edge.
    bool selectionShown(const QString& output, const QImage& picture, const QRect& r)
    {
        const QRect inside
            = r.adjusted(r.width() / 4, r.height() / 4, -r.width() / 4, -r.height() / 4);
        return waitFor([&] { return outputImage(output).copy(inside) == picture.copy(inside); });
    }

    QImage m_left;
    QImage m_right;
};

TEST_P(WaylandCaptureCopiesSavesAndPins, OnBothOutputs)
{
    if (IsSkipped())
        return;
    ASSERT_FALSE(HasFatalFailure());
    const QString started = status();
    // A desktop without global keys does not open the settings window at every start.
    EXPECT_TRUE(started.contains(QLatin1String("settings-window: 0"))) << started.toStdString();

    // Left output: drag, Return copies; the clipboard outlives the overlay.
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({100, 50}, {400, 250}));
    ASSERT_TRUE(selectionShown(QStringLiteral("HEADLESS-1"), m_left, QRect(100, 50, 300, 200)));
    ASSERT_TRUE(key({"-k", "Return"}));
    EXPECT_EQ(differingPixels(copiedAfterEnd(), m_left.copy(100, 50, 300, 200)), 0);
    // The wlroots portal answers with a picture of the whole desktop in /tmp; once read it goes.
    if (QByteArray(GetParam()) == "portal") {
        EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/out.png")));
    }

    // Right output: Ctrl+S saves the region under a new name.
    ASSERT_TRUE(openCapture());
    // The press follows once the overlay there has the pointer.
    ASSERT_TRUE(pointer("move 1320 30"));
    ASSERT_TRUE(waitStatus("key-screen: HEADLESS-2"));
    ASSERT_TRUE(drag({1280 + 40, 30}, {1280 + 760, 570}));
    ASSERT_TRUE(selectionShown(QStringLiteral("HEADLESS-2"), m_right, QRect(40, 30, 720, 540)));
    ASSERT_TRUE(key({"-M", "ctrl", "-k", "s", "-m", "ctrl"}));
    QStringList files;
    EXPECT_TRUE(waitFor([&] {
        files = QDir(saved()).entryList({QStringLiteral("*.png")}, QDir::Files);
        return files.size() == 1;
    })) << files.join(' ').toStdString();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(differingPixels(
                  QImage(QDir(saved()).filePath(files.first())), m_right.copy(40, 30, 720, 540)),
        0);
    ASSERT_TRUE(waitStatus("session: none"));

    // The capture command during a capture pins the region; the pin shows its pixels.
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({600, 300}, {760, 420}));
    ASSERT_TRUE(selectionShown(QStringLiteral("HEADLESS-1"), m_left, QRect(600, 300, 160, 120)));
    EXPECT_EQ(quillet({"capture"}).exitCode, 0);
    ASSERT_TRUE(waitStatus("session: none"));
    EXPECT_TRUE(waitStatus("pins: 1"));
    // sway takes requests to place windows: the pin floats exactly on its region.
    const QRect region(600, 300, 160, 120);
    EXPECT_TRUE(waitFor([&] { return visibleViews().floating == QList<QRect> {region}; }))
        << visibleViews().floating.size() << " floating windows";
    // Its pixels are the region's, inside the edge it draws while it has the pointer.
    const QRect inside = region.adjusted(3, 3, -3, -3);
    EXPECT_TRUE(waitFor([&] {
        return differingPixels(
                   outputImage(QStringLiteral("HEADLESS-1")).copy(inside), m_left.copy(inside))
            == 0;
    }));
}

INSTANTIATE_TEST_SUITE_P(Routes, WaylandCaptureCopiesSavesAndPins,
    ::testing::Values("screencopy", "portal"),
    [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// An output at scale 2: the selection is dragged in the output's points and comes back at its
// device pixels, exact, as on a scaled X11 screen.
class WaylandScaledOutputKeepsDevicePixels : public WaylandRig { };

TEST_F(WaylandScaledOutputKeepsDevicePixels, DragInPointsCopiesDevicePixels)
{
    const QImage picture = noise({1280, 720}, 21);
    startCompositor({picture}, {2});
    if (IsSkipped() || HasFatalFailure())
        return;
    startInput();
    ASSERT_FALSE(HasFatalFailure());
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    // 1280×720 pixels at scale 2: 640×360 points.
    EXPECT_TRUE(status().contains(QLatin1String("screen: HEADLESS-1 0 0 1280x720 2")))
        << status().toStdString();

    ASSERT_TRUE(pointer("move 639 359"));
    ASSERT_TRUE(openCapture(1));
    ASSERT_TRUE(drag({50, 100}, {200, 250}));
    const QRect pixels(100, 200, 300, 300);
    // Away from the frame's glow and from the tool bar with its shadow, which finds no room
    // outside on a screen this small and sits along the selection's bottom edge.
    const QRect inside(150, 235, 220, 120);
    ASSERT_TRUE(waitFor([&] { return outputImage().copy(inside) == picture.copy(inside); }));
    ASSERT_TRUE(key({"-k", "Return"}));
    EXPECT_EQ(differingPixels(copiedAfterEnd(), picture.copy(pixels)), 0);
}

// A scale-1 and a scale-2 output side by side. Every overlay shows the frozen screen from its
// first frame at its output's scale, dimmed unless the pointer is on it: on the first capture
// the window for the scale-2 output exists before the compositor has said where it is, and on
// a later one the pointer may have left for another output while no window of ours saw it.
TEST_F(WaylandScaledOutputKeepsDevicePixels, EveryOverlayShowsItsScreenDimmedFromItsFirstFrame)
{
    const QImage left = noise({1280, 720}, 22), right = noise({1280, 720}, 23);
    startCompositor({left, right}, {1, 2});
    if (IsSkipped() || HasFatalFailure())
        return;
    writeSettings({{"dimAlpha", 0.5}});
    startInput();
    ASSERT_FALSE(HasFatalFailure());
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    auto dimmed = [](const QImage& picture) {
        QImage out = picture.convertToFormat(QImage::Format_RGB32);
        QPainter(&out).fillRect(out.rect(), QColor(0, 0, 0, 128));
        return out;
    };
    // Where the pointer is, its screen is the region: undimmed, its size label in the top left
    // corner, the magnifier by the pointer in the bottom right one.
    auto undimmed = [&](const QString& output, const QImage& picture) {
        const QRect away(
            picture.width() / 8, picture.height() / 4, picture.width() / 3, picture.height() / 2);
        return waitFor([&] { return outputImage(output).copy(away) == picture.copy(away); });
    };
    // The first picture of an output that is not its desktop any more: sway may report the
    // overlay as shown a moment before it draws it.
    auto firstFrame = [&](const QString& output, const QImage& desktop) {
        QImage shown;
        waitFor([&] { return (shown = outputImage(output)) != desktop; }, 3000);
        return shown;
    };
    const QString one = QStringLiteral("HEADLESS-1"), two = QStringLiteral("HEADLESS-2");

    // First the first capture after start, the pointer in a corner of the scale-1 output (the
    // software cursor is drawn into pictures of its output). Then the pointer goes to the other
    // output while nothing of ours is on screen to see it: that capture must not place it where
    // it was last seen.
    struct Round {
        const char* at;
        const char* nudge;
        const QString& pointed;
        const QImage& pointedDesktop;
        const QString& other;
        const QImage& otherDesktop;
        const char* keyScreen;
    };
    for (const Round& r :
        {Round {"move 1279 719", "move 1275 715", one, left, two, right, "key-screen: HEADLESS-1"},
            Round {"move 1919 359", "move 1915 355", two, right, one, left,
                "key-screen: HEADLESS-2"}}) {
        SCOPED_TRACE(r.keyScreen);
        ASSERT_TRUE(pointer(r.at));
        ASSERT_TRUE(openCapture(2));
        EXPECT_EQ(differingPixels(firstFrame(r.other, r.otherDesktop), dimmed(r.otherDesktop)), 0);
        ASSERT_TRUE(pointer(r.nudge));
        EXPECT_TRUE(waitStatus(r.keyScreen));
        EXPECT_TRUE(undimmed(r.pointed, r.pointedDesktop));
        EXPECT_EQ(differingPixels(outputImage(r.other), dimmed(r.otherDesktop)), 0);
        ASSERT_TRUE(key({"-k", "Escape"}));
        ASSERT_TRUE(waitStatus("session: none"));
    }
}

} // namespace
} // namespace quillet::e2e
