// The settings window used as a screen-reader user would: controls found by their accessible
// names on the AT-SPI bus, pressed there, and the effect checked on the X server and on disk.
#include "E2eEnv.h"

#include <QFileInfo>

namespace quillet::e2e {
namespace {

struct Control {
    QString role;
    QString name;
    QString state;
    QString value;
    QString description;
    bool operator==(const Control&) const = default;
};

class SettingsWindowControls : public E2eEnv {
protected:
    EnvOptions options() const override { return {.windowManager = true, .accessibility = true}; }

    // Starts the program with the window open on `page`, and waits until the bus shows it.
    void open(const QString& page)
    {
        if (!m_pid) {
            startQuillet();
            ASSERT_TRUE(waitForQuilletReady());
            m_pid = quilletStatus().value("pid").toLongLong();
        }
        ASSERT_EQ(quillet({"settings", page}).exitCode, 0);
        ASSERT_TRUE(waitFor([&] { return quilletStatus().value("settings-page") == page; }));
        ASSERT_TRUE(waitFor([&] { return !control(title(page)).name.isEmpty(); }, 10000))
            << a11y(m_pid, {"tree"}).err.toStdString();
    }

    static QString title(const QString& page)
    {
        return page == "shortcuts" ? "快捷键" : page == "pin" ? "贴图" : "通用";
    }

    QList<Control> tree()
    {
        QList<Control> all;
        const ToolResult r = a11y(m_pid, {"tree"});
        for (const QString& line : QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.split('\t');
            if (f.size() == 5)
                all << Control {f[0], f[1], f[2], f[3], f[4]};
        }
        return all;
    }

    // The first showing control called `name`, or an empty one. A row's title label has the
    // name of the control it describes (and so may the filler around it): those count only
    // when nothing else has the name.
    Control control(const QString& name)
    {
        Control label;
        for (const Control& c : tree()) {
            if (c.name != name)
                continue;
            if (c.role != "label" && c.role != "filler")
                return c;
            if (label.name.isEmpty())
                label = c;
        }
        return label;
    }

    bool press(const QString& name) { return a11y(m_pid, {"do", name}).exitCode == 0; }

    qint64 m_pid = 0;
};

TEST_F(SettingsWindowControls, ShortcutsPageRecordsThroughTheBusWithTheKeysLetGo)
{
    open("shortcuts");
    // Every control of the page by its row title, with its role and what it shows.
    const struct {
        const char* role;
        const char* name;
        const char* description;
    } expected[] = {
        {"push button", "恢复默认", ""},
        {"push button", "截图 快捷键 1", "F1"},
        {"push button", "截图 快捷键 2", "Ctrl+Shift+A"},
        {"push button", "贴图 快捷键 1", "F3"},
        {"push button", "贴图 快捷键 2", "Ctrl+Shift+P"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const Control c = control(e.name);
        EXPECT_EQ(c.role, e.role);
        EXPECT_EQ(c.description, QString::fromUtf8(e.description));
    }
    // The page list: one check box per page, the shown one checked.
    for (const char* page : {"通用", "快捷键", "截图", "保存", "贴图", "关于墨钉"}) {
        const Control c = control(page);
        EXPECT_EQ(c.role, "check box") << page;
        EXPECT_EQ(c.state, QString(page) == "快捷键" ? "checked" : "unchecked") << page;
    }

    // Recording lets go of every key at the server: another client may take F1 meanwhile.
    ASSERT_EQ(grabStatus(67, 0), 3);
    ASSERT_TRUE(press("截图 快捷键 1"));
    ASSERT_TRUE(waitFor([&] { return control("截图 快捷键 1").description == "按下快捷键…"; }));
    EXPECT_EQ(quilletStatus().value("hotkeys-registered"), "0");
    EXPECT_TRUE(waitFor([&] { return grabStatus(67, 0) == 0; })) << "F1 is free while recording";

    // Esc keeps the old binding, and F1 is held again.
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([&] { return control("截图 快捷键 1").description == "F1"; }));
    EXPECT_TRUE(waitFor([&] { return grabStatus(67, 0) == 3; })) << "F1 bound again after Esc";
    EXPECT_EQ(quilletStatus().value("hotkeys-registered"), "4");

    // Ctrl+Shift+K binds it; F1 is let go for good, and the new key starts a capture.
    ASSERT_TRUE(press("截图 快捷键 1"));
    ASSERT_TRUE(waitFor([&] { return control("截图 快捷键 1").description == "按下快捷键…"; }));
    ASSERT_TRUE(key("ctrl+shift+k"));
    EXPECT_TRUE(waitFor([&] { return control("截图 快捷键 1").description == "Ctrl+Shift+K"; }));
    EXPECT_TRUE(waitFor([&] { return grabStatus(45, 5) == 3; })) << "Ctrl+Shift+K held";
    EXPECT_EQ(grabStatus(67, 0), 0) << "F1 no longer bound";
    ASSERT_TRUE(key("ctrl+shift+k"));
    EXPECT_TRUE(waitFor([&] { return quilletStatus().value("session") == "open"; }));
    key("Escape");
    EXPECT_TRUE(waitFor([&] { return quilletStatus().value("session") == "none"; }));
}

TEST_F(SettingsWindowControls, LoginSwitchWritesAndRemovesTheAutostartEntry)
{
    open("general");
    const QString entry = configHome() + "/autostart/quillet.desktop";
    Control login = control("开机时自动启动");
    EXPECT_EQ(login.role, "check box");
    EXPECT_EQ(login.state, "unchecked");
    EXPECT_EQ(login.description, "登录后墨钉自动待在托盘");
    ASSERT_FALSE(QFileInfo::exists(entry));

    ASSERT_TRUE(press("开机时自动启动"));
    EXPECT_TRUE(waitFor([&] { return QFileInfo::exists(entry); }));
    EXPECT_TRUE(waitFor([&] { return control("开机时自动启动").state == "checked"; }));
    ASSERT_TRUE(press("开机时自动启动"));
    EXPECT_TRUE(waitFor([&] { return !QFileInfo::exists(entry); }));
    EXPECT_TRUE(waitFor([&] { return control("开机时自动启动").state == "unchecked"; }));

    // The page list is used the same way.
    ASSERT_TRUE(press("快捷键"));
    EXPECT_TRUE(waitFor([&] { return quilletStatus().value("settings-page") == "shortcuts"; }));
    EXPECT_TRUE(waitFor([&] { return control("快捷键").state == "checked"; }));
}

TEST_F(SettingsWindowControls, CloseAllClosesThePinsOnScreen)
{
    open("pin");
    EXPECT_EQ(control("关闭全部").state, "disabled") << "nothing to close";
    EXPECT_EQ(control("默认不透明度").role, "slider");
    EXPECT_EQ(control("窗口阴影").role, "check box");
    for (const char* text : {"first note", "second note"}) {
        ASSERT_TRUE(putClipboardText(text));
        ASSERT_EQ(quillet({"pin"}).exitCode, 0);
    }
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("pins") == "2"; }));
    // The page follows pins made elsewhere.
    ASSERT_TRUE(waitFor([&] { return control("2 张贴图").role == "label"; }, 8000));
    EXPECT_EQ(control("关闭全部").state, "");
    ASSERT_TRUE(press("关闭全部"));
    EXPECT_TRUE(waitFor([&] { return quilletStatus().value("pins") == "0"; }));
    EXPECT_TRUE(waitFor([&] { return control("关闭全部").state == "disabled"; }));
}

} // namespace
} // namespace quillet::e2e
