#pragma once

#include <QObject>
#include <memory>

namespace quillet {

// Whether the desktop shows the program's tray entry. On X11 Qt follows the tray manager itself
// and puts an entry made early in place once a tray starts. Elsewhere Qt's one tray is the
// StatusNotifier host on the session bus, which it looks for once and for good, when the first
// entry is made or the tray is asked about; an entry made without a host falls back to X11
// code that cannot work there. There the entry is made only once a host is known to be there.
class TrayHost : public QObject {
    Q_OBJECT
public:
    // Whether an entry made now shows, at once or by itself when a tray starts.
    virtual bool entryWorks() const;
    // Whether a tray shows an entry now.
    virtual bool present() const;
    // Whether present() is known yet: a tray asked without waiting answers a moment later.
    virtual bool known() const { return true; }

Q_SIGNALS:
    // Any of the above has changed.
    void changed();
};

// The tray of this session: Qt's own unless the platform put another in place.
TrayHost& trayHost();
void setTrayHost(std::unique_ptr<TrayHost> host);

} // namespace quillet
