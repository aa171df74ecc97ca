#include "settings/HotKeyCenter.h"

#include "FakeHotKeys.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::waitUntil;

namespace {

using FakeBackend = test::FakeHotKeys;

// Runs the event loop until everything queued so far (presses included) has been delivered.
void drainQueue(QObject* context)
{
    bool reached = false;
    QMetaObject::invokeMethod(
        context, [&] { reached = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return reached; }));
}

class HotKeyCenterTest : public ::testing::Test {
protected:
    HotKeyCenterTest()
    {
        auto b = std::make_unique<FakeBackend>();
        backend = b.get();
        center = std::make_unique<HotKeyCenter>(std::move(b));
    }

    // The default bindings, in the order the application registers them.
    QList<bool> registerDefaults()
    {
        QList<bool> results;
        results << center->registerKey(122, 0, [this] { ++captures; });
        results << center->registerKey(0, 0x1200, [this] { ++captures; });
        results << center->registerKey(99, 0, [this] { ++pins; });
        results << center->registerKey(35, 0x1200, [this] { ++pins; });
        return results;
    }

    FakeBackend* backend = nullptr;
    std::unique_ptr<HotKeyCenter> center;
    int captures = 0;
    int pins = 0;
};

} // namespace

TEST_F(HotKeyCenterTest, IdentifiersAdvanceAcrossRounds)
{
    EXPECT_EQ(center->nextID(), 1u);
    EXPECT_EQ(registerDefaults(), (QList<bool> {true, true, true, true}));
    EXPECT_EQ(backend->attempts,
        (QList<test::Grab> {{1, 122, 0}, {2, 0, 0x1200}, {3, 99, 0}, {4, 35, 0x1200}}));

    center->unregisterAll();
    EXPECT_EQ(backend->ungrabbed, (QList<quint32> {1, 2, 3, 4}));
    EXPECT_EQ(center->nextID(), 5u);

    backend->attempts.clear();
    registerDefaults();
    EXPECT_EQ(backend->attempts,
        (QList<test::Grab> {{5, 122, 0}, {6, 0, 0x1200}, {7, 99, 0}, {8, 35, 0x1200}}));
}

TEST_F(HotKeyCenterTest, RefusedKeyUsesAnIdAndTheOthersStillWork)
{
    backend->refused = {122};
    EXPECT_EQ(registerDefaults(), (QList<bool> {false, true, true, true}));
    EXPECT_EQ(center->nextID(), 5u);

    // The refused key was never registered: pressing its id does nothing, the rest fire, from
    // the event loop rather than inside the window system's dispatch.
    backend->press(1);
    backend->press(2);
    backend->press(3);
    EXPECT_EQ(captures + pins, 0) << "handler ran inside the window system's dispatch";
    ASSERT_TRUE(waitUntil([&] { return captures == 1 && pins == 1; }));
    drainQueue(center.get());
    EXPECT_EQ(captures, 1);

    // Only the successful registrations are released.
    center->unregisterAll();
    EXPECT_EQ(backend->ungrabbed, (QList<quint32> {2, 3, 4}));
}

TEST_F(HotKeyCenterTest, PressesForUnknownIdsAreIgnored)
{
    registerDefaults();
    backend->press(99);
    backend->press(0);
    drainQueue(center.get());
    EXPECT_EQ(captures + pins, 0);

    // A press already queued when the keys are withdrawn finds nothing to run.
    backend->press(1);
    center->unregisterAll();
    drainQueue(center.get());
    EXPECT_EQ(captures, 0);

    // Nor do the old ids come back after registering again.
    registerDefaults();
    backend->press(1);
    backend->press(5);
    ASSERT_TRUE(waitUntil([&] { return captures == 1; }));
    drainQueue(center.get());
    EXPECT_EQ(captures, 1);
}

TEST_F(HotKeyCenterTest, HandlerMayReRegisterEverything)
{
    int rounds = 0;
    std::function<void()> reRegister;
    reRegister = [&] {
        ++rounds;
        center->unregisterAll();
        center->registerKey(122, 0, reRegister);
    };
    ASSERT_TRUE(center->registerKey(122, 0, reRegister));
    backend->press(1);
    ASSERT_TRUE(waitUntil([&] { return rounds == 1; }));
    backend->press(2);
    ASSERT_TRUE(waitUntil([&] { return rounds == 2; }));
    EXPECT_EQ(center->nextID(), 4u);
}

TEST_F(HotKeyCenterTest, StoredShortcutsOutOfRangeAreRefusedNotTruncated)
{
    // 2^32 would truncate to 0, the A key.
    EXPECT_FALSE(center->registerShortcut(Shortcut {0x100000000LL, 0x1200, "A"}, [] {}));
    EXPECT_FALSE(center->registerShortcut(Shortcut {-1, 0, "X"}, [] {}));
    EXPECT_FALSE(center->registerShortcut(Shortcut {0, 0x100000200LL, "A"}, [] {}));
    EXPECT_TRUE(backend->attempts.isEmpty());
    EXPECT_EQ(center->nextID(), 4u);
    EXPECT_TRUE(center->registerShortcut(Shortcut {35, 0x1200, "P"}, [] {}));
    EXPECT_EQ(backend->attempts, (QList<test::Grab> {{4, 35, 0x1200}}));
}

TEST(HotKeyCenterNullBackend, AcceptsEverythingWithoutAWindowSystem)
{
    HotKeyCenter center(nullptr);
    EXPECT_TRUE(center.registerKey(122, 0, [] {}));
    EXPECT_EQ(center.nextID(), 2u);
    center.unregisterAll();
}
