#include "Residents.h"

#include <QElapsedTimer>

namespace quillet::e2e {
namespace {

class SettingsWindowOpens : public E2eEnv {
protected:
    EnvOptions options() const override { return {.windowManager = true}; }

    // The visible settings windows, by the title users see.
    QStringList settingsWindows() { return visibleWindows({"--name", "^墨钉设置$"}); }

    bool settingsOn(const QString& page)
    {
        const auto status = quilletStatus();
        return status.value("settings-window") == "1" && status.value("settings-page") == page
            && settingsWindows().size() == 1;
    }
    bool settingsShown(const QString& page)
    {
        return waitFor([&] { return settingsOn(page); });
    }

    // Ctrl+W, as the user closes the window in front.
    bool closeSettings()
    {
        const QStringList ids = settingsWindows();
        if (ids.size() != 1)
            return false;
        return waitFor(
            [&] {
                if (activeWindow() != ids.first())
                    return false;
                key("ctrl+w");
                return waitFor([&] { return settingsWindows().isEmpty(); }, 1000);
            },
            5000);
    }
};

TEST_F(SettingsWindowOpens, SettingsCommandAndASecondStartShowTheOneWindow)
{
    // Nothing runs: the command starts the program, which opens the window on that page.
    const ToolResult r = quillet({"settings", "shortcuts"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_TRUE(settingsShown("shortcuts"));
    const QString id = settingsWindows().first();
    const QString geometry = QString::fromUtf8(runTool("xdotool", {"getwindowgeometry", id}).out);
    EXPECT_TRUE(geometry.contains("Geometry: 860x620")) << geometry.toStdString();
    EXPECT_TRUE(waitFor([&] { return activeWindow() == id; })) << "raised and activated";

    // Closed, it goes; a second `quillet` brings it back, raised, on the page last shown, and
    // exits 0 at once, with a line instead of silence, without starting another resident or
    // disturbing this one's keys.
    ASSERT_TRUE(closeSettings());
    EXPECT_EQ(quilletStatus().value("settings-window"), "0");
    const QString pid = quilletStatus().value("pid");
    QElapsedTimer clock;
    clock.start();
    const ToolResult second = quillet({}, 5000);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(second.out.trimmed().isEmpty());
    ASSERT_TRUE(settingsShown("shortcuts"));
    EXPECT_EQ(quilletStatus().value("pid"), pid);
    EXPECT_EQ(grabStatus(67, 0), 3);
    const QString again = settingsWindows().first();
    EXPECT_TRUE(waitFor([&] { return activeWindow() == again; })) << "raised and activated";
    EXPECT_EQ(programsWith("XDG_RUNTIME_DIR=" + QFile::encodeName(runtimeDir())).size(), 1);
}

TEST_F(SettingsWindowOpens, TrayItemsAndControlCommaOpenSettingsAndAbout)
{
    ASSERT_TRUE(startQuilletReady());
    ASSERT_TRUE(startTray());
    EXPECT_EQ(quilletStatus().value("settings-window"), "0");

    // The entries after 截图, 贴图 and 关闭所有贴图: 设置… (the page as it was) and 关于墨钉.
    ASSERT_TRUE(chooseFromTray(5, [&] { return settingsOn("about"); }));
    ASSERT_TRUE(closeSettings());
    ASSERT_TRUE(chooseFromTray(4, [&] { return settingsOn("about"); }));

    // Ctrl+, in one of the program's windows brings the settings back after they closed.
    ASSERT_TRUE(quillet({"settings", "pin"}).exitCode == 0);
    ASSERT_TRUE(settingsShown("pin"));
    ASSERT_TRUE(closeSettings());
    ASSERT_TRUE(putClipboardText("a note to focus"));
    mouseMove({640, 400}); // the note opens centred on the pointer
    ASSERT_EQ(quillet({"pin"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("pins") == "1"; }));
    EXPECT_TRUE(waitFor(
        [&] {
            mouseMove({640, 400});
            click(1);
            key("ctrl+comma");
            return settingsShown("pin");
        },
        8000));
}

} // namespace
} // namespace quillet::e2e
