// Window detection on sway, from its window tree: a click on another program's window during a
// capture selects that window's rectangle as sway placed it, and Return copies exactly those
// pixels.
#include "WaylandRig.h"

namespace quillet::e2e {
namespace {

class WaylandClickSelectsWindow : public WaylandRig {
protected:
    void TearDown() override
    {
        if (m_window) {
            E2eEnv::stop(m_window);
            delete m_window;
        }
        WaylandRig::TearDown();
    }

    // Where sway shows the view of process `pid`, from its tree.
    QRect viewRect(qint64 pid)
    {
        QRect found;
        const std::function<void(const QJsonObject&)> walk = [&](const QJsonObject& n) {
            if (n.value(QLatin1String("pid")).toInteger() == pid) {
                const QJsonObject r = n.value(QLatin1String("rect")).toObject();
                found = QRect(r.value(QLatin1String("x")).toInt(),
                    r.value(QLatin1String("y")).toInt(), r.value(QLatin1String("width")).toInt(),
                    r.value(QLatin1String("height")).toInt());
            }
            for (const char* key : {"nodes", "floating_nodes"}) {
                for (const QJsonValue& c : n.value(QLatin1String(key)).toArray())
                    walk(c.toObject());
            }
        };
        walk(swayQuery("get_tree").object());
        return found;
    }

    QProcess* m_window = nullptr;
};

TEST_F(WaylandClickSelectsWindow, AClickedWindowIsCopiedAsSwayPlacedIt)
{
    const QImage background = noise({1280, 720}, 21);
    startCompositor({background});
    if (IsSkipped() || HasFatalFailure())
        return;
    startInput();
    ASSERT_FALSE(HasFatalFailure());
    m_window = new QProcess;
    m_window->setProcessEnvironment(m_env);
    m_window->start(QStringLiteral(WLWINDOW_BINARY), {"probe", "3366cc"});
    ASSERT_TRUE(E2eEnv::waitFor([&] {
        m_window->waitForReadyRead(50);
        return m_window->canReadLine() && m_window->readLine().startsWith("ready");
    })) << "the window never showed";
    // Floating, away from every edge, with a border of its own: its rectangle is then its own
    // and not the output's, and a title bar that comes or goes as the client settles how it is
    // decorated cannot move it.
    ASSERT_EQ(run(QStringLiteral("swaymsg"),
                  {"[title=\"probe\"] floating enable, border pixel 3, move absolute position "
                   "300 200"})
                  .exitCode,
        0);
    const QRect frame(300, 200, 426, 266);
    ASSERT_TRUE(E2eEnv::waitFor([&] { return viewRect(m_window->processId()) == frame; }));
    // The pointer waits in a corner while the screen is read: sway draws it into the picture.
    ASSERT_TRUE(pointer("move 1279 719"));
    const QPoint outside = frame.bottomRight() + QPoint(2, 2);
    QImage before;
    ASSERT_TRUE(E2eEnv::waitFor([&] {
        before = outputImage();
        return !before.isNull() && (before.pixel(frame.center()) & 0xffffff) == 0x3366cc
            && before.pixel(outside) == background.pixel(outside);
    })) << "the window is not drawn where the tree says";

    QProcessEnvironment route;
    route.insert(QStringLiteral("QUILLET_WAYLAND_GRAB"), QStringLiteral("screencopy"));
    startProgram(route);
    ASSERT_FALSE(HasFatalFailure());
    // The program's start leaves other programs' windows as they were: the rules it gives sway
    // for its own windows once made the focused window borderless and sticky.
    EXPECT_EQ(viewRect(m_window->processId()), frame);
    // Starting leaves other programs' windows as they were (their title bar and border).
    EXPECT_EQ(viewRect(m_window->processId()), frame);
    ASSERT_EQ(run(QStringLiteral(QUILLET_BINARY), {"capture"}).exitCode, 0);
    ASSERT_TRUE(E2eEnv::waitFor([&] {
        return status().contains(QLatin1String("session: open")) && visibleViews().fullScreen == 1;
    }));
    const QByteArray centre
        = QStringLiteral("move %1 %2").arg(frame.center().x()).arg(frame.center().y()).toLatin1();
    ASSERT_TRUE(pointer(centre) && pointer("press") && pointer("release"));
    ASSERT_TRUE(key({QStringLiteral("-k"), QStringLiteral("Return")}));
    ASSERT_TRUE(E2eEnv::waitFor([&] { return status().contains(QLatin1String("session: none")); }));

    QImage copied;
    ASSERT_TRUE(E2eEnv::waitFor([&] { return !(copied = clipboardPng()).isNull(); }));
    ASSERT_EQ(copied.size(), frame.size());
    EXPECT_EQ(differingPixels(copied, before.copy(frame)), 0);
}

} // namespace
} // namespace quillet::e2e
