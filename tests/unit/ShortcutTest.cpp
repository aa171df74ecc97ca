#include "settings/Shortcut.h"
#include "platform/KeyCodes.h"
#include "settings/DesktopBindings.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

using namespace quillet;

namespace {

constexpr qint64 cmd = modCommand;
constexpr qint64 shift = modShift;
constexpr qint64 opt = modOption;
constexpr qint64 ctrl = modControl;

struct RuleCase {
    const char* name;
    qint64 keyCode;
    qint64 mods;
    QString plainText;
    std::optional<QString> display; // nothing: the press is refused
};

// Presses as the settings window would record them, with what the layout types for the key.
const RuleCase ruleCases[] = {
    {"A alone", 0, 0, "a", std::nullopt},
    {"Shift-A", 0, shift, "a", std::nullopt},
    {"Command-Shift-A", 0, cmd | shift, "a", "Shift+Super+A"},
    {"Control-Shift-A", 0, ctrl | shift, "a", "Ctrl+Shift+A"},
    {"Option-A", 0, opt, "a", "Alt+A"},
    {"all four", 0, ctrl | opt | shift | cmd, "a", "Ctrl+Alt+Shift+Super+A"},
    {"F5 alone", 96, 0, "", "F5"},
    {"Shift-F1", 122, shift, "", "Shift+F1"},
    {"F20 alone", 90, 0, "", "F20"},
    {"Space alone", 49, 0, " ", std::nullopt},
    {"Control-Space", 49, ctrl, " ", "Ctrl+空格"},
    {"Command-Return", 36, cmd, "\r", "Super+Return"},
    {"Control-Tab", 48, ctrl, "\t", "Ctrl+Tab"},
    {"Control-Left", 123, ctrl, "", "Ctrl+←"},
    {"Option-PageDown", 121, opt, "", "Alt+PgDn"},
    {"Command-Escape", 53, cmd, "\x1b", std::nullopt},
    {"Control-Backspace", 51, ctrl, "\x08", std::nullopt},
    {"Control-forward-Delete", 117, ctrl, "\x7f", std::nullopt},
    {"format character", 0, ctrl, QString(QChar(0x200b)).prepend(QChar(0x200d)), std::nullopt},
    {"key that types nothing", 114, ctrl, "", std::nullopt},
    {"layout letter upper-cased", 12, ctrl, "é", "Ctrl+É"},
    {"Cyrillic layout", 0, ctrl, "ф", "Ctrl+Ф"},
    {"digit", 18, cmd, "1", "Super+1"},
};

class ShortcutRules : public ::testing::TestWithParam<RuleCase> { };

} // namespace

TEST_P(ShortcutRules, AcceptsOnlyUsableShortcuts)
{
    const RuleCase& c = GetParam();
    const std::optional<Shortcut> s = Shortcut::from(c.keyCode, c.mods, c.plainText);
    ASSERT_EQ(s.has_value(), c.display.has_value());
    if (s) {
        EXPECT_EQ(s->display(), *c.display);
        EXPECT_EQ(s->keyCode, c.keyCode);
        EXPECT_EQ(s->mods, c.mods);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ShortcutTest, ShortcutRules, ::testing::ValuesIn(ruleCases), [](const auto& info) {
        std::string n;
        for (const char ch : std::string(info.param.name))
            n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return n;
    });

// Keys are shown as Linux desktops write them, whatever the stored label and mask look like:
// the caps one piece each, the text joined by "+", no symbol of another system's keyboard.
TEST(ShortcutTest, ShownInLinuxNotation)
{
    struct Case {
        Shortcut key;
        QList<QString> caps;
        const char* text;
    };
    const Case cases[] = {
        {{0, ctrl | shift, "A"}, {"Ctrl", "Shift", "A"}, "Ctrl+Shift+A"},
        {{40, cmd | shift | opt | ctrl, "K"}, {"Ctrl", "Alt", "Shift", "Super", "K"},
            "Ctrl+Alt+Shift+Super+K"},
        {{40, cmd | ctrl, "K"}, {"Ctrl", "Super", "K"}, "Ctrl+Super+K"},
        {{122, 0, "F1"}, {"F1"}, "F1"},
        {{36, opt, "↩"}, {"Alt", "Return"}, "Alt+Return"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.key.keyCaps(), c.caps);
        EXPECT_EQ(c.key.display(), QString::fromUtf8(c.text));
    }
}

// Raw names are what the settings file and the desktop's portal remember the keys by.
TEST(ShortcutTest, ActionsRoundTripTheirRawNamesAndDefaultsAreRecordable)
{
    for (const HotKeyAction a : allHotKeyActions) {
        EXPECT_EQ(hotKeyActionFromRaw(rawValue(a)), a);
        for (const auto& d : defaults(a)) {
            ASSERT_TRUE(d);
            EXPECT_EQ(Shortcut::from(d->keyCode, d->mods, d->label.toLower()), d);
        }
    }
    EXPECT_FALSE(hotKeyActionFromRaw("Capture").has_value());
    EXPECT_FALSE(hotKeyActionFromRaw("").has_value());
}

// Key events as the offscreen platform delivers them: no native scan code, so the Qt key
// stands in for the position and the layout.
TEST(ShortcutTest, KeyEventsWithoutScanCode)
{
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        QString text;
        std::optional<Shortcut> expected;
    };
    const Case cases[] = {
        {Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, "\x01", Shortcut {0, 0x1200, "A"}},
        {Qt::Key_P, Qt::MetaModifier, "p", Shortcut {35, 0x100, "P"}},
        {Qt::Key_A, Qt::ShiftModifier, "A", std::nullopt},
        {Qt::Key_A, Qt::NoModifier, "a", std::nullopt},
        {Qt::Key_F5, Qt::NoModifier, "", Shortcut {96, 0, "F5"}},
        {Qt::Key_Space, Qt::ControlModifier, " ", Shortcut {49, 0x1000, "空格"}},
        {Qt::Key_Space, Qt::NoModifier, " ", std::nullopt},
        {Qt::Key_Escape, Qt::MetaModifier, "\x1b", std::nullopt},
        {Qt::Key_Backspace, Qt::ControlModifier, "", std::nullopt},
        {Qt::Key_Return, Qt::AltModifier, "\r", Shortcut {36, 0x800, "↩"}},
        // Option-E on a layout where it is a dead key types nothing, yet the key is "E".
        {Qt::Key_E, Qt::AltModifier, "", Shortcut {14, 0x800, "E"}},
        // The keypad flag is not a modifier of the shortcut.
        {Qt::Key_1, Qt::ControlModifier | Qt::KeypadModifier, "1", Shortcut {83, 0x1000, "1"}},
        {Qt::Key_VolumeUp, Qt::ControlModifier, "", std::nullopt},
    };
    for (const Case& c : cases) {
        const QKeyEvent e(QEvent::KeyPress, c.key, c.mods, c.text);
        EXPECT_EQ(Shortcut::from(e), c.expected) << std::hex << c.key;
    }
}

// Under X11 the scan code names the key and the layout names its character, whatever the Qt
// key says (on a French layout the key in A's place types "q").
TEST(ShortcutTest, KeyEventsUseScanCodeAndLayout)
{
    KeyCodes::setPlainTextProvider([](quint32 x) -> std::optional<QString> {
        switch (x) {
        case 38:
            return QString("q");
        case 26:
            return QString("e");
        case 34:
            return QString("´"); // a dead key, named by its accent
        default:
            return QString();
        }
    });
    auto press = [](int key, Qt::KeyboardModifiers mods, quint32 scan, const QString& text) {
        return Shortcut::from(QKeyEvent(QEvent::KeyPress, key, mods, scan, 0, 0, text));
    };
    EXPECT_EQ(press(Qt::Key_Q, Qt::ControlModifier, 38, "\x11"), (Shortcut {0, 0x1000, "Q"}));
    EXPECT_EQ(press(Qt::Key_Dead_Acute, Qt::AltModifier, 26, ""), (Shortcut {14, 0x800, "E"}));
    EXPECT_EQ(press(Qt::Key_Dead_Acute, Qt::ControlModifier, 34, ""), (Shortcut {33, 0x1000, "´"}));
    EXPECT_EQ(press(Qt::Key_F1, Qt::NoModifier, 67, ""), (Shortcut {122, 0, "F1"}));
    // The layout types nothing for this key: refused.
    EXPECT_EQ(press(Qt::Key_Insert, Qt::ControlModifier, 118, ""), std::nullopt);
    KeyCodes::setPlainTextProvider({});
}

TEST(ShortcutTest, ModifierPressesAreRecognised)
{
    for (const int key : {Qt::Key_Control, Qt::Key_Shift, Qt::Key_Alt, Qt::Key_Meta,
             Qt::Key_Super_L, Qt::Key_CapsLock}) {
        const QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        EXPECT_TRUE(Shortcut::isModifierKey(e)) << std::hex << key;
        EXPECT_FALSE(Shortcut::from(e).has_value());
    }
    EXPECT_FALSE(
        Shortcut::isModifierKey(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier)));
}

// The lines a user copies into sway's or Hyprland's configuration where the desktop takes no
// global keys, the trigger the shortcuts portal is offered and the binding GNOME's custom
// shortcuts get: modifiers in each notation's
// own names and order, keysym names for the key (symbols and named keys by their keysym).
TEST(DesktopBindings, LinesForSwayAndHyprlandPortalTriggersAndGnome)
{
    struct Case {
        Shortcut key;
        HotKeyAction action;
        const char* sway;
        const char* hyprland;
        const char* trigger;
        const char* gnome;
    };
    const Case cases[] = {
        {{122, 0, "F1"}, HotKeyAction::capture, "bindsym F1 exec quillet capture",
            "bind = , F1, exec, quillet capture", "F1", "F1"},
        {{0, modControl | modShift, "A"}, HotKeyAction::capture,
            "bindsym Ctrl+Shift+a exec quillet capture",
            "bind = CTRL SHIFT, A, exec, quillet capture", "CTRL+SHIFT+a", "<Control><Shift>a"},
        {{35, modCommand | modOption | modControl | modShift, "P"}, HotKeyAction::pin,
            "bindsym Mod4+Ctrl+Mod1+Shift+p exec quillet pin",
            "bind = SUPER CTRL ALT SHIFT, P, exec, quillet pin", "LOGO+CTRL+ALT+SHIFT+p",
            "<Super><Control><Alt><Shift>p"},
        {{43, modControl, ","}, HotKeyAction::pin, "bindsym Ctrl+comma exec quillet pin",
            "bind = CTRL, comma, exec, quillet pin", "CTRL+comma", "<Control>comma"},
        {{49, modOption, "空格"}, HotKeyAction::capture, "bindsym Mod1+space exec quillet capture",
            "bind = ALT, space, exec, quillet capture", "ALT+space", "<Alt>space"},
        {{126, modControl, "↑"}, HotKeyAction::capture, "bindsym Ctrl+Up exec quillet capture",
            "bind = CTRL, Up, exec, quillet capture", "CTRL+Up", "<Control>Up"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sway);
        EXPECT_EQ(DesktopBindings::swayLine(c.key, c.action), QString::fromUtf8(c.sway));
        EXPECT_EQ(DesktopBindings::trigger(c.key), QString::fromUtf8(c.trigger));
        EXPECT_EQ(DesktopBindings::hyprlandLine(c.key, c.action), QString::fromUtf8(c.hyprland));
        EXPECT_EQ(DesktopBindings::gnomeBinding(c.key), QString::fromUtf8(c.gnome));
    }
}
