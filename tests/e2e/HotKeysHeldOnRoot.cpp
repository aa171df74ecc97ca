#include "E2eEnv.h"

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

TEST_F(HotKeysHeldOnRoot, KeysAreLetGoWhenTheProgramEnds)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_EQ(grabStatus(67, 0), 3);
    EXPECT_EQ(quillet({"quit"}).exitCode, 0);
    for (const XKey& k : defaultHotKeys)
        EXPECT_EQ(grabStatus(k.keycode, k.mods), 0) << k.display;
}

} // namespace
} // namespace quillet::e2e
