#pragma once

#include "platform/HotKeyBackend.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QTimer>
#include <QVariantMap>
#include <functional>

namespace quillet {

// Global keys through the desktop portal's GlobalShortcuts interface (KDE Plasma 6, GNOME 48
// and later): the program names its actions and the keys it would like, and the desktop binds
// them, perhaps after asking the user, perhaps to other keys. A grab is therefore a wish: it is
// accepted at once unless the portal has no such interface or the user already turned that
// very key down in this run, and the grabs of one registration pass go to the desktop together.
class PortalHotKeys final : public HotKeyBackend {
    Q_OBJECT
public:
    explicit PortalHotKeys(const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~PortalHotKeys() override;

    bool grab(quint32 id, int keyCode, int mods) override;
    void ungrab(quint32 id) override;
    void describe(quint32 id, const HotKeyPurpose& purpose) override;
    QString unavailableReason() const override;
    QString note() const override;

    // What the desktop said each bound action's trigger is, in its own words, by action name.
    const QHash<QString, QString>& triggers() const { return m_triggers; }

Q_SIGNALS:
    // The desktop answered a binding: `accepted` false when the user turned it down.
    void answered(bool accepted);

private Q_SLOTS:
    void activated(const QDBusObjectPath& session, const QString& name, qulonglong timestamp,
        const QVariantMap& options);
    void sessionResponse(uint code, const QVariantMap& results);
    void bindResponse(uint code, const QVariantMap& results);

private:
    struct Wish {
        QString name;
        QString description;
        QString trigger;
        bool operator==(const Wish&) const = default;
    };

    void scheduleSync();
    void sync();
    void closeSession();
    void bind();
    // One call whose answer comes on a request object: `args`, then `options` with the
    // request's token. A call the portal refuses outright goes to `refused`.
    void ask(const QString& method, QVariantList args, QVariantMap options, const char* answer,
        const std::function<void(const QDBusError&)>& refused);
    void finishRequest();
    void listen(const QString& requestPath, const char* slot);
    void stopListening();
    void becomeMissing(const QString& why);
    QList<Wish> wishes() const;
    static QString signature(const Wish& w);

    QDBusConnection m_bus;
    QTimer m_sync;
    QMap<quint32, Wish> m_wanted;
    QHash<quint32, HotKeyPurpose> m_purposes;
    QHash<QString, quint32> m_idByName;
    QList<Wish> m_bound; // what the open session holds
    QList<Wish> m_binding; // what the request in flight asks for
    QString m_session; // the open session's object path
    QString m_listening; // the request path whose answer is awaited
    QSet<QString> m_refused; // signatures the user turned down
    QString m_refusal; // why, while the last answer was a refusal
    QString m_missing; // why the portal can bind no keys at all
    QHash<QString, QString> m_triggers;
    int m_serial = 0;
    int m_retries = 0;
    int m_sessions = 0;
    bool m_busy = false;
    bool m_dirty = false;
};

} // namespace quillet
