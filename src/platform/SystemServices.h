#pragma once

#include <QString>
#include <memory>

namespace quillet {

// The desktop facts and actions the settings window needs: whether the screen may be read,
// whether the program starts at login, a settings pane for the permission, restarting itself.
class SystemServices {
public:
    virtual ~SystemServices() = default;

    // Whether captures can read the screen; a check that never asks the user anything.
    virtual bool capturePermitted() const = 0;
    // Why not, in a sentence the user can act on; empty while permitted.
    virtual QString captureDeniedReason() const = 0;
    // While permitted: how the screen is read, where the desktop offers more than one way.
    virtual QString captureRoute() const { return {}; }

    // Whether the program is set to start when the user logs in.
    virtual bool loginItemEnabled() const = 0;
    // False when the change could not be made; the caller reads loginItemEnabled() again.
    virtual bool setLoginItemEnabled(bool on) = 0;

    // Whether the desktop has a settings pane for the capture permission at all.
    virtual bool hasPrivacySettings() const = 0;
    virtual bool openPrivacySettings() = 0;

    // Starts a new instance of this program that takes over once this one has ended.
    // False when no process could be started.
    virtual bool startNewInstance() = 0;

    virtual void beep() = 0;
};

// The services of this session: the desktop's, unless a test put others in place.
SystemServices& systemServices();
void setSystemServices(std::unique_ptr<SystemServices> services);

// True under a Wayland session, where reading the root window through XWayland shows only the
// X clients, so a capture would show the wrong picture.
bool waylandSession();

// The environment variable a restarted instance finds its predecessor's process id in: it then
// waits for that instance to let go of the single-instance socket instead of handing over to it.
inline constexpr char handOverVariable[] = "QUILLET_HANDOVER";

} // namespace quillet
