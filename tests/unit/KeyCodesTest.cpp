#include "platform/KeyCodes.h"
#include "settings/Shortcut.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace quillet;

TEST(KeyCodesTest, FixedPairsMatchTheXServerAndTheTableIsOneToOne)
{
    struct Pair {
        qint64 positional;
        int x;
        const char* key;
    };
    const Pair pairs[] = {
        {0, 38, "A"},
        {35, 33, "P"},
        {122, 67, "F1"},
        {99, 69, "F3"},
        {90, 198, "F20"},
        {36, 36, "Return"},
        {53, 9, "Escape"},
        {123, 113, "Left"},
        {76, 104, "KP_Enter"},
        {50, 49, "grave"},
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.key);
        EXPECT_EQ(KeyCodes::toX(p.positional), std::optional<quint8>(p.x));
        EXPECT_EQ(KeyCodes::fromX(p.x), std::optional<qint64>(p.positional));
    }
    QSet<quint8> seen;
    int mapped = 0;
    for (qint64 code = -1; code < 256; ++code) {
        const auto x = KeyCodes::toX(code);
        if (!x)
            continue;
        ++mapped;
        EXPECT_FALSE(seen.contains(*x)) << "X keycode " << int(*x) << " used twice";
        seen.insert(*x);
        EXPECT_EQ(KeyCodes::fromX(*x), std::optional<qint64>(code));
    }
    EXPECT_GE(mapped, 100);
    for (quint32 x = 0; x < 300; ++x) {
        if (const auto code = KeyCodes::fromX(x)) {
            EXPECT_EQ(KeyCodes::toX(*code), std::optional<quint8>(quint8(x)));
        }
    }
}

TEST(KeyCodesTest, EveryFunctionKeyCanBeGrabbed)
{
    // X keycodes of F1…F20 in order: the function-key row is not contiguous in evdev.
    const int xFKeys[]
        = {67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 95, 96, 191, 192, 193, 194, 195, 196, 197, 198};
    for (int i = 0; i < 20; ++i) {
        const auto code = KeyCodes::fromX(xFKeys[i]);
        ASSERT_TRUE(code.has_value()) << "F" << i + 1;
        EXPECT_EQ(Shortcut::fKeyLabel(*code), std::optional<QString>(QString("F%1").arg(i + 1)));
    }
}

TEST(KeyCodesTest, ModifierMasksTranslateBothWays)
{
    struct Case {
        qint64 mods;
        quint16 x;
    };
    const Case cases[] = {
        {0, 0},
        {0x1000, 0x04},
        {0x800, 0x08},
        {0x200, 0x01},
        {0x100, 0x40},
        {0x1200, 0x05},
        {0x1b00, 0x4d},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeyCodes::modsToX(c.mods), std::optional<quint16>(c.x)) << c.mods;
        EXPECT_EQ(KeyCodes::modsFromX(c.x), c.mods) << c.x;
    }
    // Bits with no X counterpart make the shortcut unusable rather than silently different.
    EXPECT_FALSE(KeyCodes::modsToX(0x400).has_value());
    EXPECT_FALSE(KeyCodes::modsToX(0x1000 | 0x10000).has_value());
    EXPECT_FALSE(KeyCodes::modsToX(-1).has_value());
    // Caps Lock, Num Lock (Mod2) and AltGr (Mod5) are not part of a shortcut.
    EXPECT_EQ(KeyCodes::modsFromX(0x04 | 0x02 | 0x10 | 0x80), 0x1000);
}

TEST(KeyCodesTest, QtKeysFallBackToTheirPosition)
{
    struct Case {
        int key;
        bool keypad;
        std::optional<qint64> code;
    };
    const Case cases[] = {
        {Qt::Key_A, false, 0},
        {Qt::Key_P, false, 35},
        {Qt::Key_1, false, 18},
        {Qt::Key_Exclam, false, 18}, // Shift-1
        {Qt::Key_BraceLeft, false, 33}, // Shift-[
        {Qt::Key_1, true, 83},
        {Qt::Key_Enter, true, 76},
        {Qt::Key_Return, false, 36},
        {Qt::Key_A, true, 0}, // keypad flag on a key the pad does not have
        {Qt::Key_F20, false, 90},
        {Qt::Key_Space, false, 49},
        {Qt::Key_Escape, false, 53},
        {Qt::Key_VolumeUp, false, std::nullopt},
        {Qt::Key_unknown, false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeyCodes::fromQtKey(c.key, c.keypad), c.code) << std::hex << c.key;
}
