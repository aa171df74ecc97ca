#include "E2eEnv.h"

#include <QProcess>

namespace quillet::e2e {
namespace {

class HotKeysHeldOnRoot : public E2eEnv { };

TEST_F(HotKeysHeldOnRoot, EveryDefaultKeyIsHeldWhateverTheLockKeys)
{
    for (const XKey& k : defaultHotKeys)
        ASSERT_EQ(grabStatus(k.keycode, k.mods), 0) << k.display << " taken before the start";

    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const auto status = quilletStatus();
    EXPECT_EQ(status.value("hotkeys-registered"), "4");
    EXPECT_EQ(status.value("hotkeys-failed"), "");

    for (const XKey& k : defaultHotKeys) {
        for (int lock : lockMasks)
            EXPECT_EQ(grabStatus(k.keycode, k.mods | lock), 3)
                << k.display << " with lock bits " << lock << " is not held";
    }
    // Only the shortcuts are taken: the same keys with other modifiers stay free.
    EXPECT_EQ(grabStatus(67, 4), 0);
    EXPECT_EQ(grabStatus(38, 4), 0);
}

TEST_F(HotKeysHeldOnRoot, AKeyHeldElsewhereIsNamedAndTheOthersAreHeld)
{
    // Another program holds F1 before Quillet starts.
    ASSERT_FALSE(startUntilSaid(XPROBE_BINARY, {"hold", "67", "0"}, "held").isEmpty());

    QProcess* program = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const auto status = quilletStatus();
    EXPECT_EQ(status.value("hotkeys-failed"), "F1");
    EXPECT_EQ(status.value("hotkeys-registered"), "3");
    EXPECT_EQ(program->state(), QProcess::Running);

    for (const XKey& k : defaultHotKeys) {
        if (k.keycode == 67)
            continue;
        for (int lock : lockMasks)
            EXPECT_EQ(grabStatus(k.keycode, k.mods | lock), 3) << k.display << " lock " << lock;
    }

    // One line on stderr names the refused key.
    EXPECT_TRUE(waitFor([&] { return quilletStderr().contains("F1"); }))
        << quilletStderr().toStdString();
    const QStringList lines = quilletStderr().split('\n', Qt::SkipEmptyParts).filter("F1");
    EXPECT_EQ(lines.size(), 1) << quilletStderr().toStdString();
    EXPECT_FALSE(lines.value(0).contains("Ctrl+Shift+A"));
}

} // namespace
} // namespace quillet::e2e
