#include "platform/wayland/PortalHotKeys.h"

#include "platform/wayland/PortalBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <algorithm>

namespace quillet {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// The call itself, not the user's answer: that comes on the request object, whenever the user
// is done with the desktop's dialog.
constexpr int callMs = 25000;
// A portal still starting can let a call time out; it is asked again a few times.
constexpr int retryMs = 5000;
constexpr int retries = 3;

bool meansNoInterface(const QString& error)
{
    return error != QLatin1String("org.freedesktop.DBus.Error.NoReply")
        && error != QLatin1String("org.freedesktop.DBus.Error.Timeout")
        && error != QLatin1String("org.freedesktop.DBus.Error.TimedOut");
}

} // namespace

PortalHotKeys::PortalHotKeys(const QDBusConnection& bus)
    : m_bus(bus)
{
    registerPortalShortcutType();
    portal::registerApp(m_bus);
    m_sync.setSingleShot(true);
    m_sync.setInterval(0);
    connect(&m_sync, &QTimer::timeout, this, &PortalHotKeys::sync);
    m_bus.connect(portal::service, portal::path, shortcutsInterface, QStringLiteral("Activated"),
        this, SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalHotKeys::~PortalHotKeys()
{
    stopListening();
    closeSession();
    m_bus.disconnect(portal::service, portal::path, shortcutsInterface, QStringLiteral("Activated"),
        this, SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

void PortalHotKeys::describe(quint32 id, const HotKeyPurpose& purpose)
{
    m_purposes.insert(id, purpose);
}

bool PortalHotKeys::grab(quint32 id, int keyCode, int mods)
{
    Q_UNUSED(keyCode);
    Q_UNUSED(mods);
    const HotKeyPurpose purpose = m_purposes.take(id);
    if (!m_missing.isEmpty())
        return false;
    Wish w;
    w.name = purpose.name.isEmpty() ? QStringLiteral("key-%1").arg(id) : purpose.name;
    w.description = purpose.description.isEmpty() ? w.name : purpose.description;
    w.trigger = purpose.trigger;
    // Asking again for what the user just turned down would put the same dialog up again.
    if (m_refused.contains(signature(w)))
        return false;
    m_wanted.insert(id, w);
    m_idByName.insert(w.name, id);
    scheduleSync();
    return true;
}

void PortalHotKeys::ungrab(quint32 id)
{
    const auto it = m_wanted.constFind(id);
    if (it == m_wanted.constEnd())
        return;
    if (m_idByName.value(it->name) == id)
        m_idByName.remove(it->name);
    m_wanted.erase(it);
    scheduleSync();
}

QString PortalHotKeys::unavailableReason() const
{
    return m_missing.isEmpty() ? m_refusal : m_missing;
}

QString PortalHotKeys::note() const
{
    if (!unavailableReason().isEmpty())
        return {};
    QString text = QStringLiteral(
        "这些快捷键交给桌面管理：桌面可能会先问一次，也可以在它自己的设置里改用别的按键。");
    QStringList bound;
    for (const Wish& w : m_bound) {
        const QString trigger = m_triggers.value(w.name);
        if (!trigger.isEmpty())
            bound.append(QStringLiteral("%1 %2").arg(w.description, trigger));
    }
    if (!bound.isEmpty())
        text += QStringLiteral("桌面现在的绑定：") + bound.join(QStringLiteral("、"))
            + QStringLiteral("。");
    return text;
}

QString PortalHotKeys::signature(const Wish& w)
{
    return w.name + QLatin1Char('\n') + w.trigger;
}

QList<PortalHotKeys::Wish> PortalHotKeys::wishes() const
{
    QList<Wish> out = m_wanted.values();
    std::sort(out.begin(), out.end(), [](const Wish& a, const Wish& b) { return a.name < b.name; });
    return out;
}

// A registration pass ungrabs every key and grabs them again one by one: the desktop hears of
// the outcome once, after the pass.
void PortalHotKeys::scheduleSync()
{
    m_sync.start();
}

void PortalHotKeys::sync()
{
    if (m_busy) {
        m_dirty = true;
        return;
    }
    m_dirty = false;
    const QList<Wish> want = wishes();
    // The same keys again (the settings window re-applies them whenever it opens): keep the
    // binding, so that the desktop does not ask the user a second time.
    if (!m_session.isEmpty() && want == m_bound)
        return;
    closeSession();
    if (want.isEmpty())
        return;
    m_binding = want;
    m_busy = true;
    QVariantMap options;
    options.insert(
        QStringLiteral("session_handle_token"), QStringLiteral("quilletkeys%1").arg(++m_sessions));
    ask(QStringLiteral("CreateSession"), {}, options, SLOT(sessionResponse(uint, QVariantMap)),
        [this](const QDBusError& error) {
            finishRequest();
            if (meansNoInterface(error.name())) {
                becomeMissing(QStringLiteral("这个桌面的门户不提供全局快捷键"));
            } else if (++m_retries <= retries) {
                QTimer::singleShot(retryMs, this, &PortalHotKeys::scheduleSync);
            } else {
                becomeMissing(QStringLiteral("桌面的快捷键门户一直没有回应"));
            }
        });
}

void PortalHotKeys::ask(const QString& method, QVariantList args, QVariantMap options,
    const char* answer, const std::function<void(const QDBusError&)>& refused)
{
    const QString token = QStringLiteral("quilletkeys%1").arg(++m_serial);
    listen(portal::requestPath(m_bus, token), answer);
    options.insert(QStringLiteral("handle_token"), token);
    args.append(options);
    QDBusMessage call
        = QDBusMessage::createMethodCall(portal::service, portal::path, shortcutsInterface, method);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, callMs), this);
    const int serial = m_serial;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, serial, refused](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *w;
            // Answered on the request object, or overtaken by a newer request.
            if (!reply.isError() || serial != m_serial || !m_busy)
                return;
            stopListening();
            refused(reply.error());
        });
}

void PortalHotKeys::sessionResponse(uint code, const QVariantMap& results)
{
    stopListening();
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                     : handle.toString();
    if (code != 0 || m_session.isEmpty()) {
        m_session.clear();
        finishRequest();
        becomeMissing(QStringLiteral("桌面的门户没能建立快捷键会话"));
        return;
    }
    bind();
}

void PortalHotKeys::bind()
{
    QList<PortalShortcut> shortcuts;
    for (const Wish& w : m_binding) {
        PortalShortcut s;
        s.id = w.name;
        s.info.insert(QStringLiteral("description"), w.description);
        if (!w.trigger.isEmpty())
            s.info.insert(QStringLiteral("preferred_trigger"), w.trigger);
        shortcuts.append(s);
    }
    ask(QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
            QString()},
        {}, SLOT(bindResponse(uint, QVariantMap)), [this](const QDBusError& error) {
            closeSession();
            finishRequest();
            becomeMissing(QStringLiteral("桌面的门户拒绝了快捷键：%1").arg(error.message()));
        });
}

void PortalHotKeys::bindResponse(uint code, const QVariantMap& results)
{
    stopListening();
    if (code != 0) {
        // Turned down (1) or failed (2): the keys asked for stay unbound until the user records
        // others. Registering again now makes the refused ones fail, with the reason.
        for (const Wish& w : std::as_const(m_binding))
            m_refused.insert(signature(w));
        m_refusal = QStringLiteral("桌面没有同意墨钉的全局快捷键");
        closeSession();
        finishRequest();
        Q_EMIT answered(false);
        Q_EMIT mappingChanged();
        Q_EMIT noteChanged();
        return;
    }
    m_retries = 0;
    m_refusal.clear();
    m_triggers.clear();
    QList<PortalShortcut> granted;
    const QVariant list = results.value(QStringLiteral("shortcuts"));
    if (list.canConvert<QDBusArgument>())
        list.value<QDBusArgument>() >> granted;
    QSet<QString> listed;
    for (const PortalShortcut& s : std::as_const(granted)) {
        listed.insert(s.id);
        m_triggers.insert(s.id, s.info.value(QStringLiteral("trigger_description")).toString());
    }
    // A yes that lists none of the keys binds none of them (KDE's portal answers so for a
    // program it does not know): only what the answer names fires.
    m_bound.clear();
    for (const Wish& w : std::as_const(m_binding)) {
        if (listed.contains(w.name))
            m_bound.append(w);
        else
            m_refused.insert(signature(w));
    }
    const bool all = m_bound.size() == m_binding.size();
    if (!all)
        m_refusal = QStringLiteral("桌面的门户没有绑定墨钉的全局快捷键");
    if (m_bound.isEmpty())
        closeSession(); // a session that holds nothing
    finishRequest();
    Q_EMIT answered(all);
    if (!all)
        Q_EMIT mappingChanged();
    Q_EMIT noteChanged();
}

void PortalHotKeys::finishRequest()
{
    m_busy = false;
    m_binding.clear();
    if (m_dirty)
        scheduleSync();
}

void PortalHotKeys::closeSession()
{
    if (m_session.isEmpty())
        return;
    QDBusMessage close = QDBusMessage::createMethodCall(
        portal::service, m_session, portal::sessionInterface, QStringLiteral("Close"));
    m_bus.call(close, QDBus::NoBlock);
    m_session.clear();
    m_bound.clear();
    m_triggers.clear();
}

void PortalHotKeys::listen(const QString& requestPath, const char* slot)
{
    stopListening();
    m_listening = requestPath;
    m_bus.connect(portal::service, requestPath, portal::requestInterface,
        QStringLiteral("Response"), this, slot);
}

void PortalHotKeys::stopListening()
{
    if (m_listening.isEmpty())
        return;
    for (const char* slot :
        {SLOT(sessionResponse(uint, QVariantMap)), SLOT(bindResponse(uint, QVariantMap))})
        m_bus.disconnect(portal::service, m_listening, portal::requestInterface,
            QStringLiteral("Response"), this, slot);
    m_listening.clear();
}

void PortalHotKeys::becomeMissing(const QString& why)
{
    m_missing = why;
    m_wanted.clear();
    m_idByName.clear();
    closeSession();
    Q_EMIT mappingChanged();
}

void PortalHotKeys::activated(
    const QDBusObjectPath& session, const QString& name, qulonglong, const QVariantMap&)
{
    if (m_session.isEmpty() || session.path() != m_session)
        return;
    const quint32 id = m_idByName.value(name);
    if (id != 0 && m_wanted.contains(id))
        Q_EMIT pressed(id);
}

} // namespace quillet
