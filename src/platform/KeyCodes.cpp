#include "platform/KeyCodes.h"

#include <QHash>
#include <utility>

namespace quillet::KeyCodes {

namespace {

struct KeyPair {
    qint64 positional;
    int evdev; // Linux input event code; the X keycode is this + 8
};

// Apple virtual key code ↔ Linux evdev code, one row per physical key.
constexpr KeyPair keyPairs[] = {
    // Letters
    {0, 30},
    {1, 31},
    {2, 32},
    {3, 33},
    {4, 35},
    {5, 34},
    {6, 44},
    {7, 45},
    {8, 46},
    {9, 47},
    {11, 48},
    {12, 16},
    {13, 17},
    {14, 18},
    {15, 19},
    {16, 21},
    {17, 20},
    {31, 24},
    {32, 22},
    {34, 23},
    {35, 25},
    {37, 38},
    {38, 36},
    {40, 37},
    {45, 49},
    {46, 50},
    // Digit row
    {18, 2},
    {19, 3},
    {20, 4},
    {21, 5},
    {22, 7},
    {23, 6},
    {25, 10},
    {26, 8},
    {28, 9},
    {29, 11},
    // Punctuation: = - ] [ ' ; \ , / . `
    {24, 13},
    {27, 12},
    {30, 27},
    {33, 26},
    {39, 40},
    {41, 39},
    {42, 43},
    {43, 51},
    {44, 53},
    {47, 52},
    {50, 41},
    // The extra key of ISO keyboards beside the left Shift, and the two JIS character keys
    {10, 86},
    {93, 124},
    {94, 89},
    // Return, Tab, Space, Backspace, Escape
    {36, 28},
    {48, 15},
    {49, 57},
    {51, 14},
    {53, 1},
    // Modifiers: right Command, left Command, Shift, Caps Lock, Option, Control, right Shift,
    // right Option, right Control
    {54, 126},
    {55, 125},
    {56, 42},
    {57, 58},
    {58, 56},
    {59, 29},
    {60, 54},
    {61, 100},
    {62, 97},
    // Numeric pad: . * + Clear(Num Lock) / Enter - = 0…9
    {65, 83},
    {67, 55},
    {69, 78},
    {71, 69},
    {75, 98},
    {76, 96},
    {78, 74},
    {81, 117},
    {82, 82},
    {83, 79},
    {84, 80},
    {85, 81},
    {86, 75},
    {87, 76},
    {88, 77},
    {89, 71},
    {91, 72},
    {92, 73},
    // F1…F20
    {122, 59},
    {120, 60},
    {99, 61},
    {118, 62},
    {96, 63},
    {97, 64},
    {98, 65},
    {100, 66},
    {101, 67},
    {109, 68},
    {103, 87},
    {111, 88},
    {105, 183},
    {107, 184},
    {113, 185},
    {106, 186},
    {64, 187},
    {79, 188},
    {80, 189},
    {90, 190},
    // Insert (Help), Home, Page Up, forward Delete, End, Page Down, arrows
    {114, 110},
    {115, 102},
    {116, 104},
    {117, 111},
    {119, 107},
    {121, 109},
    {123, 105},
    {124, 106},
    {125, 108},
    {126, 103},
};

constexpr int xOffset = 8;

struct Tables {
    QHash<qint64, quint8> toX;
    QHash<quint32, qint64> fromX;
    QHash<int, qint64> fromQt;
    QHash<int, qint64> fromQtKeypad;
};

const Tables& tables()
{
    static const Tables t = [] {
        Tables r;
        for (const KeyPair& p : keyPairs) {
            r.toX.insert(p.positional, static_cast<quint8>(p.evdev + xOffset));
            r.fromX.insert(static_cast<quint32>(p.evdev + xOffset), p.positional);
        }
        // Qt keys name the character typed (US layout) rather than the key, so both the plain
        // and the shifted symbol of a key lead to it.
        const std::pair<int, qint64> qtKeys[] = {
            {Qt::Key_A, 0},
            {Qt::Key_S, 1},
            {Qt::Key_D, 2},
            {Qt::Key_F, 3},
            {Qt::Key_H, 4},
            {Qt::Key_G, 5},
            {Qt::Key_Z, 6},
            {Qt::Key_X, 7},
            {Qt::Key_C, 8},
            {Qt::Key_V, 9},
            {Qt::Key_B, 11},
            {Qt::Key_Q, 12},
            {Qt::Key_W, 13},
            {Qt::Key_E, 14},
            {Qt::Key_R, 15},
            {Qt::Key_Y, 16},
            {Qt::Key_T, 17},
            {Qt::Key_O, 31},
            {Qt::Key_U, 32},
            {Qt::Key_I, 34},
            {Qt::Key_P, 35},
            {Qt::Key_L, 37},
            {Qt::Key_J, 38},
            {Qt::Key_K, 40},
            {Qt::Key_N, 45},
            {Qt::Key_M, 46},
            {Qt::Key_1, 18},
            {Qt::Key_Exclam, 18},
            {Qt::Key_2, 19},
            {Qt::Key_At, 19},
            {Qt::Key_3, 20},
            {Qt::Key_NumberSign, 20},
            {Qt::Key_4, 21},
            {Qt::Key_Dollar, 21},
            {Qt::Key_6, 22},
            {Qt::Key_AsciiCircum, 22},
            {Qt::Key_5, 23},
            {Qt::Key_Percent, 23},
            {Qt::Key_9, 25},
            {Qt::Key_ParenLeft, 25},
            {Qt::Key_7, 26},
            {Qt::Key_Ampersand, 26},
            {Qt::Key_8, 28},
            {Qt::Key_Asterisk, 28},
            {Qt::Key_0, 29},
            {Qt::Key_ParenRight, 29},
            {Qt::Key_Equal, 24},
            {Qt::Key_Plus, 24},
            {Qt::Key_Minus, 27},
            {Qt::Key_Underscore, 27},
            {Qt::Key_BracketRight, 30},
            {Qt::Key_BraceRight, 30},
            {Qt::Key_BracketLeft, 33},
            {Qt::Key_BraceLeft, 33},
            {Qt::Key_Apostrophe, 39},
            {Qt::Key_QuoteDbl, 39},
            {Qt::Key_Semicolon, 41},
            {Qt::Key_Colon, 41},
            {Qt::Key_Backslash, 42},
            {Qt::Key_Bar, 42},
            {Qt::Key_Comma, 43},
            {Qt::Key_Less, 43},
            {Qt::Key_Slash, 44},
            {Qt::Key_Question, 44},
            {Qt::Key_Period, 47},
            {Qt::Key_Greater, 47},
            {Qt::Key_QuoteLeft, 50},
            {Qt::Key_AsciiTilde, 50},
            {Qt::Key_Return, 36},
            {Qt::Key_Enter, 36},
            {Qt::Key_Tab, 48},
            {Qt::Key_Backtab, 48},
            {Qt::Key_Space, 49},
            {Qt::Key_Backspace, 51},
            {Qt::Key_Escape, 53},
            {Qt::Key_Insert, 114},
            {Qt::Key_Help, 114},
            {Qt::Key_Home, 115},
            {Qt::Key_PageUp, 116},
            {Qt::Key_Delete, 117},
            {Qt::Key_End, 119},
            {Qt::Key_PageDown, 121},
            {Qt::Key_Left, 123},
            {Qt::Key_Right, 124},
            {Qt::Key_Down, 125},
            {Qt::Key_Up, 126},
            {Qt::Key_F1, 122},
            {Qt::Key_F2, 120},
            {Qt::Key_F3, 99},
            {Qt::Key_F4, 118},
            {Qt::Key_F5, 96},
            {Qt::Key_F6, 97},
            {Qt::Key_F7, 98},
            {Qt::Key_F8, 100},
            {Qt::Key_F9, 101},
            {Qt::Key_F10, 109},
            {Qt::Key_F11, 103},
            {Qt::Key_F12, 111},
            {Qt::Key_F13, 105},
            {Qt::Key_F14, 107},
            {Qt::Key_F15, 113},
            {Qt::Key_F16, 106},
            {Qt::Key_F17, 64},
            {Qt::Key_F18, 79},
            {Qt::Key_F19, 80},
            {Qt::Key_F20, 90},
            {Qt::Key_Control, 59},
            {Qt::Key_Shift, 56},
            {Qt::Key_Alt, 58},
            {Qt::Key_Meta, 55},
            {Qt::Key_Super_L, 55},
            {Qt::Key_Super_R, 54},
            {Qt::Key_CapsLock, 57},
        };
        for (const auto& [key, code] : qtKeys)
            r.fromQt.insert(key, code);
        const std::pair<int, qint64> keypadKeys[] = {
            {Qt::Key_0, 82},
            {Qt::Key_1, 83},
            {Qt::Key_2, 84},
            {Qt::Key_3, 85},
            {Qt::Key_4, 86},
            {Qt::Key_5, 87},
            {Qt::Key_6, 88},
            {Qt::Key_7, 89},
            {Qt::Key_8, 91},
            {Qt::Key_9, 92},
            {Qt::Key_Period, 65},
            {Qt::Key_Comma, 65},
            {Qt::Key_Asterisk, 67},
            {Qt::Key_Plus, 69},
            {Qt::Key_Clear, 71},
            {Qt::Key_NumLock, 71},
            {Qt::Key_Slash, 75},
            {Qt::Key_Enter, 76},
            {Qt::Key_Minus, 78},
            {Qt::Key_Equal, 81},
            // With Num Lock off the pad's digits arrive as navigation keys.
            {Qt::Key_Insert, 82},
            {Qt::Key_End, 83},
            {Qt::Key_Down, 84},
            {Qt::Key_PageDown, 85},
            {Qt::Key_Left, 86},
            {Qt::Key_Right, 88},
            {Qt::Key_Home, 89},
            {Qt::Key_Up, 91},
            {Qt::Key_PageUp, 92},
            {Qt::Key_Delete, 65},
        };
        for (const auto& [key, code] : keypadKeys)
            r.fromQtKeypad.insert(key, code);
        return r;
    }();
    return t;
}

PlainTextProvider& provider()
{
    static PlainTextProvider p;
    return p;
}

} // namespace

std::optional<quint8> toX(qint64 keyCode)
{
    const auto& t = tables().toX;
    const auto it = t.constFind(keyCode);
    if (it == t.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<qint64> fromX(quint32 xKeycode)
{
    const auto& t = tables().fromX;
    const auto it = t.constFind(xKeycode);
    if (it == t.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<quint16> modsToX(qint64 mods)
{
    constexpr qint64 known = 0x100 | 0x200 | 0x800 | 0x1000;
    if (mods & ~known)
        return std::nullopt;
    quint16 state = 0;
    if (mods & 0x1000)
        state |= xControl;
    if (mods & 0x800)
        state |= xMod1;
    if (mods & 0x200)
        state |= xShift;
    if (mods & 0x100)
        state |= xMod4;
    return state;
}

qint64 modsFromX(quint16 state)
{
    qint64 mods = 0;
    if (state & xControl)
        mods |= 0x1000;
    if (state & xMod1)
        mods |= 0x800;
    if (state & xShift)
        mods |= 0x200;
    if (state & xMod4)
        mods |= 0x100;
    return mods;
}

std::optional<qint64> fromQtKey(int qtKey, bool keypad)
{
    const Tables& t = tables();
    if (keypad) {
        const auto it = t.fromQtKeypad.constFind(qtKey);
        if (it != t.fromQtKeypad.constEnd())
            return *it;
    }
    const auto it = t.fromQt.constFind(qtKey);
    if (it == t.fromQt.constEnd())
        return std::nullopt;
    return *it;
}

void setPlainTextProvider(PlainTextProvider p)
{
    provider() = std::move(p);
}

std::optional<QString> plainText(quint32 xKeycode)
{
    if (!provider())
        return std::nullopt;
    return provider()(xKeycode);
}

} // namespace quillet::KeyCodes
