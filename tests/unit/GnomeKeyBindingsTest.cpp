// The program's keys as GNOME custom shortcuts, through the real gsettings tool on its keyfile
// backend in the run's own settings home: written beside the user's own shortcuts, rewritten
// without duplicates, removed without touching the user's; and the shortcuts page's buttons.
#include "platform/GnomeKeyBindings.h"
#include "settings/DesktopBindings.h"
#include "settings/Prefs.h"
#include "settings/ShortcutStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/pages/Pages.h"

#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "FakeSystemServices.h"

using namespace quillet;

namespace {

const QString list = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString entry
    = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:"
                     "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");

QString gsettings(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("gsettings"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class GnomeKeyBindingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CURRENT_DESKTOP", "GSETTINGS_BACKEND"})
            saved.append({name, qgetenv(name)});
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        qputenv("GSETTINGS_BACKEND", "keyfile");
        Prefs::registerDefaults();
        ShortcutStore::reset();
        if (gsettings({"list-schemas"}).split('\n').contains(list) == false)
            GTEST_SKIP() << "GNOME's media-keys schema is not installed";
        // One shortcut of the user's own.
        gsettings({"set", entry + "custom0/", "name", "'终端'"});
        gsettings({"set", list, "custom-keybindings",
            "['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/']"});
    }
    void TearDown() override
    {
        for (const auto& [name, value] : saved)
            qputenv(name, value);
    }
    QStringList paths()
    {
        QStringList out;
        for (QString p : gsettings({"get", list, "custom-keybindings"}).split(QLatin1Char(','))) {
            p = p.remove(QLatin1Char('['))
                    .remove(QLatin1Char(']'))
                    .remove(QLatin1Char('\''))
                    .trimmed();
            if (!p.isEmpty() && p != QLatin1String("@as"))
                out.append(p.section(QLatin1Char('/'), -2, -2));
        }
        return out;
    }

    QTemporaryDir home;
    QList<std::pair<const char*, QByteArray>> saved;
};

TEST_F(GnomeKeyBindingsTest, WrittenBesideTheUsersOwnRewrittenAndRemovedAlone)
{
    ASSERT_TRUE(GnomeKeyBindings::available());
    EXPECT_FALSE(GnomeKeyBindings::installed());
    QString why;
    ASSERT_TRUE(GnomeKeyBindings::install(DesktopBindings::gnomeEntries(), &why))
        << why.toStdString();
    EXPECT_TRUE(GnomeKeyBindings::installed());
    EXPECT_EQ(paths(),
        (QStringList {
            "custom0", "quillet-capture", "quillet-capture-2", "quillet-pin", "quillet-pin-2"}));
    EXPECT_EQ(gsettings({"get", entry + "quillet-capture-2/", "binding"}), "'<Control><Shift>a'");
    EXPECT_EQ(gsettings({"get", entry + "quillet-capture/", "name"}), "'墨钉：截图'");
    EXPECT_TRUE(gsettings({"get", entry + "quillet-pin/", "command"}).endsWith(" pin'"));

    // New keys: the same entries, rewritten; a key cleared takes its entry along.
    ShortcutStore::set(HotKeyAction::capture, 0, Shortcut {35, modCommand | modOption, "P"});
    ShortcutStore::set(HotKeyAction::pin, 1, std::nullopt);
    ASSERT_TRUE(GnomeKeyBindings::install(DesktopBindings::gnomeEntries(), &why));
    EXPECT_EQ(
        paths(), (QStringList {"custom0", "quillet-capture", "quillet-capture-2", "quillet-pin"}));
    EXPECT_EQ(gsettings({"get", entry + "quillet-capture/", "binding"}), "'<Super><Alt>p'");
    EXPECT_EQ(gsettings({"get", entry + "quillet-pin-2/", "binding"}), "''");

    ASSERT_TRUE(GnomeKeyBindings::uninstall(&why));
    EXPECT_EQ(paths(), QStringList {"custom0"});
    EXPECT_EQ(gsettings({"get", entry + "custom0/", "name"}), "'终端'");
    EXPECT_FALSE(GnomeKeyBindings::installed());

    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    EXPECT_FALSE(GnomeKeyBindings::available());
}

TEST_F(GnomeKeyBindingsTest, TheShortcutsPageAddsAndRemovesWithTheUsersConsent)
{
    test::FakeSystemServices services;
    SettingsModel model(&services);
    model.hotKeyLimit = [] { return QStringLiteral("Wayland 桌面不让程序自己注册全局快捷键"); };
    model.refresh();
    QWidget parent;
    makePage(SettingsPage::shortcuts, model, &parent);
    auto button = [&](const QString& name) {
        for (QPushButton* b : parent.findChildren<QPushButton*>()) {
            if (b->accessibleName() == name)
                return b;
        }
        return static_cast<QPushButton*>(nullptr);
    };
    // Nothing is written before the user asks.
    EXPECT_FALSE(GnomeKeyBindings::installed());
    ASSERT_NE(button("添加到 GNOME 快捷键"), nullptr);
    button("添加到 GNOME 快捷键")->click();
    EXPECT_TRUE(GnomeKeyBindings::installed());
    ASSERT_NE(button("从 GNOME 快捷键移除"), nullptr);
    EXPECT_NE(button("更新 GNOME 快捷键"), nullptr);
    button("从 GNOME 快捷键移除")->click();
    EXPECT_FALSE(GnomeKeyBindings::installed());
    EXPECT_EQ(paths(), QStringList {"custom0"});
}

} // namespace
