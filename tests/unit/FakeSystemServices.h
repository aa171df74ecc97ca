#pragma once

#include "platform/SystemServices.h"

#include <QString>

namespace quillet::test {

// The desktop facts a settings window needs, set by the test.
class FakeSystemServices final : public SystemServices {
public:
    bool permitted = true;
    QString reason;
    QString route;
    bool login = false;
    bool loginWritable = true;
    bool privacyPane = false;
    int beeps = 0;

    bool capturePermitted() const override { return permitted; }
    QString captureDeniedReason() const override { return permitted ? QString() : reason; }
    QString captureRoute() const override { return permitted ? route : QString(); }
    bool loginItemEnabled() const override { return login; }
    bool setLoginItemEnabled(bool on) override
    {
        if (!loginWritable)
            return false;
        login = on;
        return true;
    }
    bool hasPrivacySettings() const override { return privacyPane; }
    bool openPrivacySettings() override { return privacyPane; }
    bool startNewInstance() override { return false; }
    void beep() override { ++beeps; }
};

} // namespace quillet::test
