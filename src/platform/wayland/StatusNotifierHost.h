#pragma once

#include "platform/TrayHost.h"

#include <QDBusConnection>

class QDBusServiceWatcher;

namespace quillet {

// The tray of a desktop without X11: a StatusNotifier host, known through the watcher service on
// the session bus. Asked without waiting at start and again whenever a watcher or a host comes,
// so that a tray started after the program still gets its entry.
class StatusNotifierHost final : public TrayHost {
    Q_OBJECT
public:
    explicit StatusNotifierHost(const QDBusConnection& bus = QDBusConnection::sessionBus());

    bool entryWorks() const override { return m_present; }
    bool present() const override { return m_present; }
    bool known() const override { return m_asked; }

private Q_SLOTS:
    void ask();

private:
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_present = false;
    bool m_asked = false;
    int m_serial = 0;
};

} // namespace quillet
