#include "Residents.h"

namespace quillet::e2e {
namespace {

class SettingsWindowOpens : public E2eEnv {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.windowManager = true;
        return o;
    }

    // The visible settings windows, by the title users see.
    QStringList settingsWindows()
    {
        const ToolResult r
            = runTool("xdotool", {"search", "--onlyvisible", "--name", "^墨钉设置$"});
        return QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    }

    bool settingsShown(const QString& page)
    {
        return waitFor([&] {
            const auto status = quilletStatus();
            return status.value("settings-window") == "1" && status.value("settings-page") == page
                && settingsWindows().size() == 1;
        });
    }

    QString activeWindow()
    {
        return QString::fromUtf8(runTool("xdotool", {"getactivewindow"}).out).trimmed();
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
    // exits 0 without starting another resident.
    ASSERT_TRUE(closeSettings());
    EXPECT_EQ(quilletStatus().value("settings-window"), "0");
    const ToolResult second = quillet({});
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    ASSERT_TRUE(settingsShown("shortcuts"));
    const QString again = settingsWindows().first();
    EXPECT_TRUE(waitFor([&] { return activeWindow() == again; })) << "raised and activated";
    EXPECT_EQ(programsWith("XDG_RUNTIME_DIR=" + QFile::encodeName(runtimeDir())).size(), 1);
}

TEST_F(SettingsWindowOpens, TrayItemsAndControlCommaOpenSettingsAndAbout)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    startBackground("trayer",
        {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100", "--height",
            "24"});
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("tray") == "1"; }));
    EXPECT_EQ(quilletStatus().value("settings-window"), "0");

    // The entries after 截图, 贴图 and 关闭所有贴图: 设置… (the page as it was) and 关于墨钉.
    auto choose = [&](int downs, const QString& page) {
        return waitFor(
            [&] {
                mouseMove({1268, 12});
                click(1);
                for (int i = 0; i < downs; ++i)
                    key("Down");
                key("Return");
                return settingsShown(page);
            },
            10000);
    };
    ASSERT_TRUE(choose(5, "about"));
    ASSERT_TRUE(closeSettings());
    ASSERT_TRUE(choose(4, "about"));

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
