#include "platform/wayland/PortalBus.h"

#include "platform/AppIdentity.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QMutex>
#include <QSet>

namespace quillet::portal {

namespace {

QString senderElement(const QDBusConnection& bus)
{
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return sender;
}

} // namespace

QString requestPath(const QDBusConnection& bus, const QString& token)
{
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
        .arg(senderElement(bus), token);
}

QString sessionPath(const QDBusConnection& bus, const QString& token)
{
    return QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
        .arg(senderElement(bus), token);
}

bool offered(const QDBusConnection& bus, QString* why)
{
    QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    if (!names) {
        if (why)
            *why = QStringLiteral("没有会话总线（D-Bus），也就没有桌面门户");
        return false;
    }
    if (names->isServiceRegistered(service).value()
        || names->activatableServiceNames().value().contains(service))
        return true;
    if (why)
        *why = QStringLiteral("桌面没有提供门户（xdg-desktop-portal）");
    return false;
}

void registerApp(const QDBusConnection& bus)
{
    static QMutex lock;
    static QSet<QString> done;
    const QMutexLocker locked(&lock);
    if (!bus.isConnected() || done.contains(bus.name()))
        return;
    done.insert(bus.name());
    QDBusMessage call = QDBusMessage::createMethodCall(service, path,
        QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    call << QString::fromLatin1(appId) << QVariantMap();
    bus.call(call, QDBus::NoBlock);
}

} // namespace quillet::portal

namespace quillet {

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s)
{
    out.beginStructure();
    out << s.id << s.info;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s)
{
    in.beginStructure();
    in >> s.id >> s.info;
    in.endStructure();
    return in;
}

void registerPortalShortcutType()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

} // namespace quillet
