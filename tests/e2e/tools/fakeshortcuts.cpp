// A stand-in for a desktop's GlobalShortcuts portal, for the tests: no portal backend in the
// distribution implements it. It takes the portal's bus name on the session bus it is started
// on and answers as a desktop would whose user accepts every key as asked (or, with --refuse,
// turns every binding down; with --grant=NAME,… it answers yes but binds only those, as KDE's
// portal does for an unsandboxed program with --grant=). It reports on stdout and takes orders on
// stdin:
//   out: "ready", "bind SESSION NAME=TRIGGER|…", "closed SESSION"
//   in:  "activate NAME" (then "ok" or "no session")
#include "platform/wayland/PortalBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <unistd.h>

using quillet::PortalShortcut;

namespace {

void say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString senderElement(const QDBusMessage& msg)
{
    QString s = msg.service().mid(1);
    s.replace(QLatin1Char('.'), QLatin1Char('_'));
    return s;
}

void respond(const QString& requestPath, uint code, const QVariantMap& results)
{
    // After the method's own reply, as a real portal does.
    QTimer::singleShot(0, [requestPath, code, results] {
        QDBusMessage signal = QDBusMessage::createSignal(requestPath,
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << code << results;
        QDBusConnection::sessionBus().send(signal);
    });
}

class Session final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")
public:
    explicit Session(QString path, QObject* parent)
        : QObject(parent)
        , m_path(std::move(path))
    { }
    const QString& path() const { return m_path; }

public Q_SLOTS:
    void Close()
    {
        QDBusConnection::sessionBus().unregisterObject(m_path);
        say(QStringLiteral("closed ") + m_path);
        deleteLater();
    }

private:
    QString m_path;
};

class Shortcuts final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)
public:
    Shortcuts(bool refuse, std::optional<QStringList> only)
        : m_refuse(refuse)
        , m_only(std::move(only))
    { }
    uint version() const { return 1; }

    // The newest session still open, for "activate".
    Session* latest() const
    {
        const QList<Session*> open = findChildren<Session*>();
        return open.isEmpty() ? nullptr : open.last();
    }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& msg)
    {
        const QString sender = senderElement(msg);
        const QString request
            = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                  .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        const QString path
            = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                  .arg(sender, options.value(QStringLiteral("session_handle_token")).toString());
        auto* session = new Session(path, this);
        QDBusConnection::sessionBus().registerObject(
            path, session, QDBusConnection::ExportAllSlots);
        QVariantMap results;
        results.insert(QStringLiteral("session_handle"), path);
        respond(request, 0, results);
        return QDBusObjectPath(request);
    }

    QDBusObjectPath BindShortcuts(const QDBusObjectPath& session,
        const QList<quillet::PortalShortcut>& shortcuts, const QString& parent,
        const QVariantMap& options, const QDBusMessage& msg)
    {
        Q_UNUSED(parent);
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(senderElement(msg),
                                        options.value(QStringLiteral("handle_token")).toString());
        QStringList asked;
        QList<PortalShortcut> granted;
        for (const PortalShortcut& s : shortcuts) {
            const QString trigger = s.info.value(QStringLiteral("preferred_trigger")).toString();
            asked.append(s.id + QLatin1Char('=') + trigger);
            if (m_only && !m_only->contains(s.id))
                continue;
            PortalShortcut g;
            g.id = s.id;
            g.info.insert(
                QStringLiteral("description"), s.info.value(QStringLiteral("description")));
            g.info.insert(QStringLiteral("trigger_description"), trigger);
            granted.append(g);
        }
        say(QStringLiteral("bind %1 %2").arg(session.path(), asked.join(QLatin1Char('|'))));
        QVariantMap results;
        if (!m_refuse)
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(granted));
        respond(request, m_refuse ? 1 : 0, results);
        return QDBusObjectPath(request);
    }

private:
    bool m_refuse;
    std::optional<QStringList> m_only;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    quillet::registerPortalShortcutType();
    const bool refuse = app.arguments().contains(QStringLiteral("--refuse"));
    std::optional<QStringList> only;
    for (const QString& arg : app.arguments()) {
        if (arg.startsWith(QLatin1String("--grant=")))
            only = arg.mid(8).split(QLatin1Char(','), Qt::SkipEmptyParts);
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    Shortcuts portal(refuse, only);
    Shortcuts* shortcuts = &portal;
    if (!bus.registerObject(quillet::portal::path, shortcuts,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties)
        || !bus.registerService(quillet::portal::service)) {
        std::fprintf(stderr, "fakeshortcuts: %s\n", bus.lastError().message().toUtf8().constData());
        return 1;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[256];
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        for (const QByteArray& order : QByteArray(line, int(n)).split('\n')) {
            if (!order.startsWith("activate "))
                continue;
            Session* session = shortcuts->latest();
            if (!session) {
                say(QStringLiteral("no session"));
                continue;
            }
            for (const char* name : {"Activated", "Deactivated"}) {
                QDBusMessage signal = QDBusMessage::createSignal(quillet::portal::path,
                    QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QLatin1String(name));
                signal << QVariant::fromValue(QDBusObjectPath(session->path()))
                       << QString::fromUtf8(order.mid(9).trimmed()) << qulonglong(0)
                       << QVariantMap();
                bus.send(signal);
            }
            say(QStringLiteral("ok"));
        }
    });
    say(QStringLiteral("ready"));
    return app.exec();
}

#include "fakeshortcuts.moc"
