#include "platform/wayland/StatusNotifierHost.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace quillet {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
constexpr int askMs = 3000;

} // namespace

StatusNotifierHost::StatusNotifierHost(const QDBusConnection& bus)
    : m_bus(bus)
{
    m_watcher = new QDBusServiceWatcher(
        watcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &StatusNotifierHost::ask);
    m_bus.connect(watcherService, watcherPath, watcherService,
        QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(ask()));
    m_bus.connect(watcherService, watcherPath, watcherService,
        QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(ask()));
    ask();
}

void StatusNotifierHost::ask()
{
    if (!m_bus.isConnected()) {
        // No session bus: no tray, and nothing will say otherwise.
        if (!m_asked) {
            m_asked = true;
            Q_EMIT changed();
        }
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(watcherService, watcherPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(get, askMs), this);
    const int serial = ++m_serial;
    connect(
        call, &QDBusPendingCallWatcher::finished, this, [this, serial](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (serial != m_serial)
                return; // a newer question is on its way
            const QDBusPendingReply<QDBusVariant> reply = *w;
            const bool present = !reply.isError() && reply.value().variant().toBool();
            if (m_asked && present == m_present)
                return;
            m_asked = true;
            m_present = present;
            Q_EMIT changed();
        });
}

} // namespace quillet
