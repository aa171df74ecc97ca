#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QVariantMap>

// What every call to the desktop portal (xdg-desktop-portal) shares: where it lives, where it
// answers, and how a program that is not sandboxed says who it is.
namespace quillet::portal {

inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
inline const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The object a call made with `token` answers on: the portal derives it from the caller's
// unique bus name. Listening there before calling means no answer comes too early to be heard.
QString requestPath(const QDBusConnection& bus, const QString& token);
// The same for a session made with `token`.
QString sessionPath(const QDBusConnection& bus, const QString& token);

// Whether the bus has a portal or can start one; `why` says what is missing when not. Asks the
// bus only, so it is quick: starting a portal can take seconds.
bool offered(const QDBusConnection& bus, QString* why = nullptr);

// Tells the portal the program's application ID, where it knows how to hear it (a portal of
// 1.19 or later), so that the desktop's dialogs and settings name the program. Once per bus,
// before any other call to the portal; an older portal answers with an error nobody waits for.
void registerApp(const QDBusConnection& bus);

} // namespace quillet::portal

namespace quillet {

// One entry of a shortcuts list on the wire, a(sa{sv}): an ID and what goes with it.
struct PortalShortcut {
    QString id;
    QVariantMap info;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s);
const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s);
// Registers the type with QtDBus; safe to call more than once.
void registerPortalShortcutType();

} // namespace quillet

Q_DECLARE_METATYPE(quillet::PortalShortcut)
