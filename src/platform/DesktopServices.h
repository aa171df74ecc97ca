#pragma once

#include "platform/SystemServices.h"
#include "platform/XdgAutostart.h"

namespace quillet {

// The services of a Linux desktop: the screen is readable except under Wayland, the login item
// is an XDG autostart entry, there is no permission pane, and restarting starts the same
// executable again.
class DesktopServices final : public SystemServices {
public:
    DesktopServices();
    explicit DesktopServices(XdgAutostart autostart);

    bool capturePermitted() const override;
    QString captureDeniedReason() const override;
    bool loginItemEnabled() const override;
    bool setLoginItemEnabled(bool on) override;
    QString captureRoute() const override;
    bool hasPrivacySettings() const override { return false; }
    bool openPrivacySettings() override { return false; }
    bool startNewInstance() override;
    void beep() override;

private:
    XdgAutostart m_autostart;
};

} // namespace quillet
