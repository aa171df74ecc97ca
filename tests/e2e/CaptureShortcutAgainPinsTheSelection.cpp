#include "E2eEnv.h"

namespace quillet::e2e {
namespace {

class CaptureShortcutAgainPinsTheSelection : public E2eEnv { };

TEST_F(CaptureShortcutAgainPinsTheSelection, SecondPressPinsAndTheNextCaptureWorks)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("session") == "open"; }));
    // Nothing selected yet: the shortcut again does nothing.
    ASSERT_TRUE(key("ctrl+shift+a"));
    EXPECT_FALSE(waitFor([&] { return quilletStatus().value("pins") == "1"; }, 300));
    EXPECT_EQ(quilletStatus().value("session"), "open");

    ASSERT_TRUE(drag({200, 150}, {420, 330}));
    ASSERT_TRUE(key("F1"));
    EXPECT_TRUE(waitFor([&] {
        const auto s = quilletStatus();
        return s.value("pins") == "1" && s.value("session") == "none";
    }));

    // The pin shortcut inside a capture pins the selection too.
    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("session") == "open"; }));
    ASSERT_TRUE(drag({500, 400}, {600, 480}));
    ASSERT_TRUE(key("F3"));
    EXPECT_TRUE(waitFor([&] {
        const auto s = quilletStatus();
        return s.value("pins") == "2" && s.value("session") == "none";
    }));
}

} // namespace
} // namespace quillet::e2e
