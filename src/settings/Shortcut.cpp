#include "settings/Shortcut.h"

#include "platform/KeyCodes.h"

#include <QHash>
#include <QKeyEvent>

namespace quillet {

namespace {

const QHash<qint64, QString>& fKeys()
{
    static const QHash<qint64, QString> table = {
        {122, QStringLiteral("F1")},
        {120, QStringLiteral("F2")},
        {99, QStringLiteral("F3")},
        {118, QStringLiteral("F4")},
        {96, QStringLiteral("F5")},
        {97, QStringLiteral("F6")},
        {98, QStringLiteral("F7")},
        {100, QStringLiteral("F8")},
        {101, QStringLiteral("F9")},
        {109, QStringLiteral("F10")},
        {103, QStringLiteral("F11")},
        {111, QStringLiteral("F12")},
        {105, QStringLiteral("F13")},
        {107, QStringLiteral("F14")},
        {113, QStringLiteral("F15")},
        {106, QStringLiteral("F16")},
        {64, QStringLiteral("F17")},
        {79, QStringLiteral("F18")},
        {80, QStringLiteral("F19")},
        {90, QStringLiteral("F20")},
    };
    return table;
}

// Keys whose typed character is blank or invisible get a name of their own.
const QHash<qint64, QString>& special()
{
    static const QHash<qint64, QString> table = {
        {49, QStringLiteral("空格")},
        {36, QStringLiteral("↩")},
        {48, QStringLiteral("⇥")},
        {123, QStringLiteral("←")},
        {124, QStringLiteral("→")},
        {125, QStringLiteral("↓")},
        {126, QStringLiteral("↑")},
        {115, QStringLiteral("Home")},
        {119, QStringLiteral("End")},
        {116, QStringLiteral("PgUp")},
        {121, QStringLiteral("PgDn")},
    };
    return table;
}

struct ModName {
    qint64 bit;
    const char* name;
};

// Linux desktops (and Qt's own key sequences) name the modifiers in this order.
constexpr ModName modNames[] = {
    {modControl, "Ctrl"},
    {modOption, "Alt"},
    {modShift, "Shift"},
    {modCommand, "Super"},
};

// Stored labels are kept as recorded; the two that are pictures on other systems read as words
// here, as the desktop's own shortcut settings write them.
QString shownLabel(const QString& label)
{
    if (label == QStringView(u"↩"))
        return QStringLiteral("Return");
    if (label == QStringView(u"⇥"))
        return QStringLiteral("Tab");
    return label;
}

bool hasControlCharacter(const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category cat = QChar::category(c);
        if (cat == QChar::Other_Control || cat == QChar::Other_Format)
            return true;
    }
    return false;
}

// What a key types without modifiers when the layout cannot be asked: Qt names printable keys
// by their (upper-case) Latin-1 character; the keys that type control characters get those, so
// the acceptance rules treat them as on any other platform.
QString fallbackText(const QKeyEvent& event)
{
    const int key = event.key();
    switch (key) {
    case Qt::Key_Escape:
        return QStringLiteral("\x1b");
    case Qt::Key_Backspace:
        return QStringLiteral("\x08");
    case Qt::Key_Delete:
        return QStringLiteral("\x7f");
    case Qt::Key_Return:
        return QStringLiteral("\r");
    case Qt::Key_Enter:
        return QStringLiteral("\x03");
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return QStringLiteral("\t");
    default:
        break;
    }
    if (key > 0x20 && key <= 0xff && key != 0x7f)
        return QString(QChar(key));
    return event.text();
}

} // namespace

QString Shortcut::display() const
{
    return keyCaps().join(QLatin1Char('+'));
}

QList<QString> Shortcut::keyCaps() const
{
    QList<QString> out;
    for (const ModName& m : modNames) {
        if (mods & m.bit)
            out.append(QString::fromLatin1(m.name));
    }
    out.append(shownLabel(label));
    return out;
}

std::optional<QString> Shortcut::fKeyLabel(qint64 keyCode)
{
    const auto it = fKeys().constFind(keyCode);
    if (it == fKeys().constEnd())
        return std::nullopt;
    return *it;
}

std::optional<Shortcut> Shortcut::from(qint64 keyCode, qint64 mods, const QString& plainText)
{
    const std::optional<QString> fKey = fKeyLabel(keyCode);
    QString label;
    if (fKey)
        label = *fKey;
    else if (const auto it = special().constFind(keyCode); it != special().constEnd())
        label = *it;
    else
        label = plainText.toUpper();

    if (label.isEmpty() || hasControlCharacter(label))
        return std::nullopt;
    if (!fKey && !(mods & (modCommand | modOption | modControl)))
        return std::nullopt;
    return Shortcut {keyCode, mods, label};
}

std::optional<Shortcut> Shortcut::from(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers flags = event.modifiers();
    qint64 mods = 0;
    if (flags & Qt::MetaModifier)
        mods |= modCommand;
    if (flags & Qt::AltModifier)
        mods |= modOption;
    if (flags & Qt::ControlModifier)
        mods |= modControl;
    if (flags & Qt::ShiftModifier)
        mods |= modShift;

    // The native scan code names the physical key (an X keycode under xcb); events without one
    // (offscreen, synthesised) fall back to the Qt key, which names the character instead.
    const quint32 scanCode = event.nativeScanCode();
    std::optional<qint64> keyCode;
    if (scanCode != 0)
        keyCode = KeyCodes::fromX(scanCode);
    if (!keyCode)
        keyCode = KeyCodes::fromQtKey(event.key(), flags & Qt::KeypadModifier);
    if (!keyCode)
        return std::nullopt;

    // Ask the layout with no modifier held, so Option-E on a dead-key layout is still "E".
    std::optional<QString> text;
    if (scanCode != 0)
        text = KeyCodes::plainText(scanCode);
    if (!text)
        text = fallbackText(event);
    return from(*keyCode, mods, *text);
}

bool Shortcut::isModifierKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

QString rawValue(HotKeyAction a)
{
    switch (a) {
    case HotKeyAction::capture:
        return QStringLiteral("capture");
    case HotKeyAction::pin:
        return QStringLiteral("pin");
    }
    return {};
}

std::optional<HotKeyAction> hotKeyActionFromRaw(const QString& raw)
{
    for (const HotKeyAction a : allHotKeyActions) {
        if (rawValue(a) == raw)
            return a;
    }
    return std::nullopt;
}

QString title(HotKeyAction a)
{
    switch (a) {
    case HotKeyAction::capture:
        return QStringLiteral("截图");
    case HotKeyAction::pin:
        return QStringLiteral("贴图");
    }
    return {};
}

std::array<std::optional<Shortcut>, 2> defaults(HotKeyAction a)
{
    const qint64 ctrlShift = modControl | modShift;
    switch (a) {
    case HotKeyAction::capture:
        return {
            Shortcut {122, 0, QStringLiteral("F1")}, Shortcut {0, ctrlShift, QStringLiteral("A")}};
    case HotKeyAction::pin:
        return {
            Shortcut {99, 0, QStringLiteral("F3")}, Shortcut {35, ctrlShift, QStringLiteral("P")}};
    }
    return {};
}

} // namespace quillet
