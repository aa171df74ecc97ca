#include "settings/ShortcutStore.h"
#include "settings/Prefs.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quillet;

namespace {

const Shortcut f1 {122, 0, "F1"};
const Shortcut ctrlShiftA {0, 0x1200, "A"};
const Shortcut f3 {99, 0, "F3"};
const Shortcut ctrlShiftP {35, 0x1200, "P"};

// Each test works on a settings file of its own.
class ShortcutStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", old); }

    // What the settings file holds under a key, read as a later launch would.
    QVariant raw(HotKeyAction a, int slot)
    {
        return QSettings(Prefs::filePath(), QSettings::IniFormat)
            .value(ShortcutStore::key(a, slot));
    }
    void writeRaw(HotKeyAction a, int slot, const QVariant& v)
    {
        QSettings s(Prefs::filePath(), QSettings::IniFormat);
        s.setValue(ShortcutStore::key(a, slot), v);
    }

    QTemporaryDir home;
    QByteArray old;
};

} // namespace

TEST_F(ShortcutStoreTest, DefaultsWithoutWritingThenSlotsReadBackAsSetAndTheDisplayJoinsThem)
{
    EXPECT_EQ(ShortcutStore::all(HotKeyAction::capture), (QList<Shortcut> {f1, ctrlShiftA}));
    EXPECT_EQ(ShortcutStore::display(HotKeyAction::capture), "F1 / Ctrl+Shift+A");
    EXPECT_FALSE(QFile::exists(Prefs::filePath())) << "reading must not write";
    // What the settings page and the status menu show for an action, slot by slot.
    const Shortcut custom {49, 0x1800, "空格"};
    struct Case {
        const char* name;
        QList<std::pair<int, std::optional<Shortcut>>> set; // on the pin action
        QList<Shortcut> all;
        const char* display;
    };
    const Case cases[] = {
        {"defaults", {}, {f3, ctrlShiftP}, "F3 / Ctrl+Shift+P"},
        {"first cleared", {{0, std::nullopt}}, {ctrlShiftP}, "Ctrl+Shift+P"},
        {"both cleared", {{0, std::nullopt}, {1, std::nullopt}}, {}, "未设置"},
        {"duplicates kept", {{1, f3}}, {f3, f3}, "F3 / F3"},
        {"bound", {{1, custom}}, {f3, custom}, "F3 / Ctrl+Alt+空格"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShortcutStore::reset();
        for (const auto& [slot, key] : c.set)
            ShortcutStore::set(HotKeyAction::pin, slot, key);
        for (const auto& [slot, key] : c.set)
            EXPECT_EQ(ShortcutStore::get(HotKeyAction::pin, slot), key);
        EXPECT_EQ(ShortcutStore::all(HotKeyAction::pin), c.all);
        EXPECT_EQ(ShortcutStore::display(HotKeyAction::pin), QString::fromUtf8(c.display));
        // The other action is untouched.
        EXPECT_EQ(ShortcutStore::all(HotKeyAction::capture), (QList<Shortcut> {f1, ctrlShiftA}));
    }
}

// A cleared slot is stored as null until reset; a bound one as compact JSON.
TEST_F(ShortcutStoreTest, SlotsAreStoredAsNullOrCompactJson)
{
    ShortcutStore::set(HotKeyAction::capture, 0, std::nullopt);
    EXPECT_EQ(raw(HotKeyAction::capture, 0).toByteArray(), "null");
    ShortcutStore::reset();
    EXPECT_FALSE(raw(HotKeyAction::capture, 0).isValid());
    EXPECT_EQ(ShortcutStore::all(HotKeyAction::capture), (QList<Shortcut> {f1, ctrlShiftA}));

    ShortcutStore::set(HotKeyAction::pin, 1, Shortcut {49, 0x1800, "空格"});
    const QVariant stored = raw(HotKeyAction::pin, 1);
    EXPECT_EQ(stored.typeId(), QMetaType::QByteArray);
    EXPECT_EQ(stored.toByteArray(), R"({"keyCode":49,"label":"空格","mods":6144})");
}

TEST_F(ShortcutStoreTest, ResetRemovesAllFourKeysAndNothingElse)
{
    for (const HotKeyAction a : allHotKeyActions) {
        for (int slot = 0; slot < ShortcutStore::slots; ++slot)
            ShortcutStore::set(a, slot, std::nullopt);
    }
    Prefs::setFontSize(30);
    ShortcutStore::reset();
    QSettings s(Prefs::filePath(), QSettings::IniFormat);
    for (const QString& k : s.allKeys())
        EXPECT_FALSE(k.startsWith("hotkey.")) << k.toStdString();
    EXPECT_EQ(Prefs::fontSize(), 30.0);
    EXPECT_EQ(ShortcutStore::display(HotKeyAction::pin), "F3 / Ctrl+Shift+P");
}

TEST_F(ShortcutStoreTest, UnreadableValuesFallBackToTheDefault)
{
    const QVariant bad[] = {
        QByteArray("not json"),
        QByteArray(""),
        QByteArray("[]"),
        QByteArray("3"),
        QByteArray(R"({"keyCode":35,"mods":4608})"),
        QByteArray(R"({"keyCode":35,"label":"X"})"),
        QByteArray(R"({"mods":4608,"label":"X"})"),
        QByteArray(R"({"keyCode":"35","mods":4608,"label":"X"})"),
        QByteArray(R"({"keyCode":35,"mods":4608,"label":7})"),
        QByteArray(R"({"keyCode":35.5,"mods":4608,"label":"X"})"),
        QByteArray(R"({"keyCode":35,"mods":null,"label":"X"})"),
        QByteArray(R"({"keyCode":35,"mods":4608,"label":"X")"),
        QVariant(42),
    };
    for (const QVariant& v : bad) {
        writeRaw(HotKeyAction::pin, 1, v);
        EXPECT_EQ(ShortcutStore::get(HotKeyAction::pin, 1), ctrlShiftP)
            << v.toString().toStdString();
        EXPECT_EQ(ShortcutStore::display(HotKeyAction::pin), "F3 / Ctrl+Shift+P");
        // The bad value is not repaired behind the user's back.
        EXPECT_EQ(raw(HotKeyAction::pin, 1), v);
    }
}

TEST_F(ShortcutStoreTest, ReadersAcceptAnyMemberOrderExtraMembersAndText)
{
    const std::pair<QVariant, std::optional<Shortcut>> cases[] = {
        {QByteArray(R"({"label":"K","mods":256,"keyCode":40})"), Shortcut {40, 256, "K"}},
        {QByteArray(R"( {"keyCode":40,"mods":256,"label":"K","note":1} )"),
            Shortcut {40, 256, "K"}},
        {QByteArray(" null\n"), std::nullopt},
        {QString(R"({"keyCode":40,"mods":256,"label":"K"})"), Shortcut {40, 256, "K"}},
    };
    for (const auto& [value, expected] : cases) {
        writeRaw(HotKeyAction::capture, 0, value);
        EXPECT_EQ(ShortcutStore::get(HotKeyAction::capture, 0), expected)
            << value.toString().toStdString();
    }
    // As a person would type it into the file: a quoted string.
    QFile f(Prefs::filePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[General]\n"
            "hotkey.pin.0=\"{\\\"keyCode\\\":3,\\\"mods\\\":4096,\\\"label\\\":\\\"F\\\"}\"\n"
            "hotkey.pin.1=null\n");
    f.close();
    EXPECT_EQ(ShortcutStore::get(HotKeyAction::pin, 0), (Shortcut {3, 4096, "F"}));
    EXPECT_EQ(ShortcutStore::get(HotKeyAction::pin, 1), std::nullopt);
}
