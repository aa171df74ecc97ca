#include "settings/window/SettingsModel.h"
#include "FakeSystemServices.h"
#include "platform/XdgAutostart.h"
#include "settings/window/SettingsPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace quillet {
namespace {

using FakeServices = test::FakeSystemServices;

class SettingsModelTest : public ::testing::Test {
protected:
    SettingsModelTest()
        : model(&services)
    {
        model.apply = [this] {
            ++applied;
            return failures;
        };
        model.pause = [this](bool paused) { pauses << paused; };
    }

    // A key press as the recorder's window would receive it.
    void press(int key, Qt::KeyboardModifiers mods, quint32 scan, bool repeat = false)
    {
        QKeyEvent e(QEvent::KeyPress, key, mods, scan, 0, 0, QString(), repeat);
        QCoreApplication::sendEvent(&target, &e);
    }

    FakeServices services;
    SettingsModel model;
    QWidget target;
    int applied = 0;
    QStringList failures;
    QList<bool> pauses;
};

TEST_F(SettingsModelTest, StartsOnTheGeneralPageAndRefreshReadsEveryFact)
{
    EXPECT_EQ(model.page(), SettingsPage::general);
    model.setPage(std::nullopt);
    EXPECT_EQ(model.shownPage(), SettingsPage::general);

    failures = {"F1"};
    services.permitted = false;
    services.reason = "no screen";
    services.login = true;
    model.refresh();
    model.refresh();
    EXPECT_EQ(applied, 2);
    EXPECT_EQ(model.revision(), 2);
    EXPECT_EQ(model.failed(), QStringList {"F1"});
    EXPECT_FALSE(model.permission());
    EXPECT_EQ(model.permissionReason(), "no screen");
    EXPECT_TRUE(model.loginEnabled());
    // Permitted again, the card says which of the desktop's ways reads the screen.
    services.permitted = true;
    services.route = "through the portal";
    model.refresh();
    EXPECT_TRUE(model.permission());
    EXPECT_EQ(model.permissionReason(), "through the portal");
}

TEST_F(SettingsModelTest, EachWayOutOfARecording)
{
    struct Case {
        const char* what;
        int key;
        Qt::KeyboardModifiers mods;
        quint32 scan;
        bool ends;
        bool calledBack;
        std::optional<Shortcut> result; // when called back
        int beeps;
    };
    const Case cases[] = {
        {"Escape keeps the binding", Qt::Key_Escape, Qt::NoModifier, 9, true, false, {}, 0},
        {"Delete clears the slot", Qt::Key_Delete, Qt::NoModifier, 119, true, true, {}, 0},
        {"Backspace clears the slot", Qt::Key_Backspace, Qt::NoModifier, 22, true, true, {}, 0},
        {"a plain letter beeps", Qt::Key_A, Qt::NoModifier, 38, false, false, {}, 1},
        {"a lone modifier waits", Qt::Key_Control, Qt::ControlModifier, 37, false, false, {}, 0},
        {"F1 is taken", Qt::Key_F1, Qt::NoModifier, 67, true, true, Shortcut {122, 0, "F1"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pauses.clear();
        services.beeps = 0;
        const int appliedBefore = applied;
        bool calledBack = false;
        std::optional<Shortcut> result;
        model.startRecording("capture.0", [&](std::optional<Shortcut> s) {
            calledBack = true;
            result = s;
        });
        EXPECT_EQ(pauses, QList<bool> {true});
        press(c.key, c.mods, c.scan);
        EXPECT_EQ(model.recording().has_value(), !c.ends);
        EXPECT_EQ(calledBack, c.calledBack);
        if (c.calledBack) {
            EXPECT_EQ(result, c.result);
        }
        EXPECT_EQ(services.beeps, c.beeps);
        if (c.ends) {
            // Back to idle: the hot keys are taken again and the failures read at once.
            EXPECT_EQ(pauses, (QList<bool> {true, false}));
            EXPECT_EQ(applied, appliedBefore + 1);
        }
        model.stopRecording();
        EXPECT_FALSE(model.recording().has_value());
    }
}

TEST_F(SettingsModelTest, RecordingAnotherSlotEndsTheFirstWithoutAResult)
{
    int firstCalls = 0;
    model.startRecording("capture.0", [&](std::optional<Shortcut>) { ++firstCalls; });
    model.startRecording("pin.1", [](std::optional<Shortcut>) {});
    EXPECT_TRUE(model.isRecording("pin.1"));
    EXPECT_EQ(firstCalls, 0);
    EXPECT_EQ(pauses, (QList<bool> {true, false, true}));
    // A held key repeats: it is swallowed, never recorded twice.
    press(Qt::Key_A, Qt::NoModifier, 38, true);
    EXPECT_EQ(services.beeps, 0);
    model.stopRecording();
    // Stopping when idle does nothing more.
    model.stopRecording();
    EXPECT_EQ(pauses, (QList<bool> {true, false, true, false}));
    // Idle, keys pass by untouched.
    press(Qt::Key_A, Qt::NoModifier, 38);
    EXPECT_EQ(services.beeps, 0);
}

TEST_F(SettingsModelTest, LoginSwitchShowsTheRealStateAndBeepsOnFailure)
{
    model.setLogin(true);
    EXPECT_TRUE(model.loginEnabled());
    services.loginWritable = false;
    model.setLogin(false);
    EXPECT_EQ(services.beeps, 1);
    EXPECT_TRUE(model.loginEnabled());
}

TEST(XdgAutostartTest, EntryIsWrittenWholeReadBackAndRemoved)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("autostart"); // made on first use
    const XdgAutostart entry(folder, "/opt/my apps/quillet");
    EXPECT_FALSE(entry.enabled());
    EXPECT_TRUE(entry.setEnabled(false)) << "nothing there is off already";
    ASSERT_TRUE(entry.setEnabled(true));
    EXPECT_TRUE(entry.enabled());
    QFile f(entry.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    f.close();
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/my apps/quillet\"\n"));
    EXPECT_TRUE(text.contains("\nX-GNOME-Autostart-enabled=true\n"));
    // Nothing but the entry is left in the folder.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {"quillet.desktop"});

    ASSERT_TRUE(entry.setEnabled(false));
    EXPECT_FALSE(QFileInfo::exists(entry.filePath()));
    EXPECT_FALSE(entry.enabled());

    // A file where the folder should be: nothing can be made inside it, and nothing changes.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const XdgAutostart blocked(blocker.fileName(), "/usr/bin/quillet");
    EXPECT_FALSE(blocked.setEnabled(true));
    EXPECT_FALSE(blocked.enabled());
}

// The switch shows what the desktop will do: an entry turned off in place counts as off.
TEST(XdgAutostartTest, EntriesTurnedOffInPlaceCountAsOff)
{
    QTemporaryDir dir;
    const XdgAutostart entry(dir.path(), "/usr/bin/quillet");
    struct Case {
        const char* text;
        bool enabled;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=quillet\n", true},
        {"[Desktop Entry]\nType=Application\nHidden=true\nExec=quillet\n", false},
        {"[Desktop Entry]\nHidden = true\n", false}, // spaces around "=" are allowed
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n", true},
        // Only the entry's own group counts, not an action's.
        {"[Desktop Action x]\nHidden=true\n[Desktop Entry]\nType=Application\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QFile f(entry.filePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.text);
        f.close();
        EXPECT_EQ(entry.enabled(), c.enabled);
    }
}

// A path with shell or field-code characters still starts this executable and nothing else.
TEST(XdgAutostartTest, ExecQuotesWhatTheShellOrFieldCodesWouldTake)
{
    struct Case {
        const char* path;
        const char* exec; // the line as it stands in the file, after value escaping
    };
    const Case cases[] = {
        {"/usr/bin/quillet", "\nExec=\"/usr/bin/quillet\"\n"},
        {"/a b/q", "\nExec=\"/a b/q\"\n"},
        {"/a\"b$c`d/q", "\nExec=\"/a\\\\\"b\\\\$c\\\\`d/q\"\n"},
        {"/a\\b/q", "\nExec=\"/a\\\\\\\\b/q\"\n"},
        {"/100%/q", "\nExec=\"/100%%/q\"\n"},
        {"/opt/墨钉/q", "\nExec=\"/opt/墨钉/q\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const QByteArray text = XdgAutostart::entryText(QString::fromUtf8(c.path));
        EXPECT_TRUE(text.contains(c.exec)) << text.constData();
    }
}

} // namespace
} // namespace quillet
