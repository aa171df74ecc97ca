#include "settings/window/SettingsModel.h"

#include "output/PinWindow.h"
#include "platform/SystemServices.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace quillet {

SettingsModel::SettingsModel(SystemServices* services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{
    m_permission = this->services().capturePermitted();
    m_permissionReason
        = m_permission ? this->services().captureRoute() : this->services().captureDeniedReason();
    m_loginEnabled = this->services().loginItemEnabled();
}

SettingsModel::~SettingsModel()
{
    // No hooks from here: the controller they reach may be gone already.
    if (m_monitoring && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

SettingsModel& SettingsModel::shared()
{
    // Kept for the life of the program, never destroyed: nothing in it needs tearing down, and
    // a static object would outlive the application it filters events for.
    static SettingsModel* model = new SettingsModel;
    return *model;
}

SystemServices& SettingsModel::services() const
{
    return m_services ? *m_services : systemServices();
}

void SettingsModel::setPage(std::optional<SettingsPage> page)
{
    if (page == m_page)
        return;
    m_page = page;
    Q_EMIT pageChanged();
    Q_EMIT changed();
}

bool SettingsModel::hasPrivacySettings() const
{
    return services().hasPrivacySettings();
}

void SettingsModel::refresh()
{
    const QStringList failed = apply ? apply() : QStringList();
    setFailed(failed, hotKeyLimit ? hotKeyLimit() : QString(),
        desktopKeyNote ? desktopKeyNote() : QString());
    ++m_revision;
    Q_EMIT revisionChanged();
    Q_EMIT changed();
    const bool permitted = services().capturePermitted();
    setPermission(
        permitted, permitted ? services().captureRoute() : services().captureDeniedReason());
    setLoginEnabled(services().loginItemEnabled());
    setPinCount(PinWindow::count());
}

void SettingsModel::refreshPinCount()
{
    setPinCount(PinWindow::count());
}

void SettingsModel::startRecording(const QString& id, Done done)
{
    stopRecording();
    m_recording = id;
    m_done = std::move(done);
    Q_EMIT recordingChanged();
    Q_EMIT changed();
    // Released while recording, so that a combination the program itself holds (F1, Ctrl+Shift+A)
    // reaches the window instead of starting a capture.
    if (pause)
        pause(true);
    // Installed last, so it sees key presses before the program's own key filters do.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        m_monitoring = true;
    }
}

void SettingsModel::stopRecording()
{
    if (m_monitoring) {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeEventFilter(this);
        m_monitoring = false;
    }
    m_done = {};
    if (!m_recording)
        return;
    m_recording.reset();
    Q_EMIT recordingChanged();
    Q_EMIT changed();
    if (pause)
        pause(false);
    refresh();
}

void SettingsModel::finishRecording(std::optional<std::optional<Shortcut>> result)
{
    const std::optional<QString> id = m_recording;
    // A copy: the callback may well start another recording, which replaces m_done.
    const Done done = m_done;
    if (result && done)
        done(*result);
    if (m_recording == id)
        stopRecording();
}

bool SettingsModel::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_monitoring || !m_recording)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Claimed, so that no in-program shortcut (Ctrl+Q, Ctrl+,) acts on it: the press then
        // arrives as an ordinary key press below.
        event->accept();
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);

    const auto* key = static_cast<QKeyEvent*>(event);
    // A held key repeats: one press is one answer.
    if (key->isAutoRepeat())
        return true;
    switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        finishRecording(std::optional<Shortcut>());
        return true;
    case Qt::Key_Escape:
        finishRecording(std::nullopt);
        return true;
    default:
        break;
    }
    // A modifier on its own is the start of a combination: wait for the key that completes it.
    if (Shortcut::isModifierKey(*key))
        return true;
    if (const std::optional<Shortcut> shortcut = Shortcut::from(*key)) {
        finishRecording(std::optional<Shortcut>(*shortcut));
        return true;
    }
    services().beep();
    return true;
}

void SettingsModel::setLogin(bool on)
{
    if (!services().setLoginItemEnabled(on))
        services().beep();
    m_loginEnabled = services().loginItemEnabled();
    // Always announced: a switch that moved on its own must move back when nothing changed.
    Q_EMIT loginEnabledChanged();
    Q_EMIT changed();
}

void SettingsModel::openPrivacy()
{
    if (!services().openPrivacySettings())
        services().beep();
}

void SettingsModel::relaunch()
{
    // Ending this instance without a successor would leave the user with no program at all.
    if (!services().startNewInstance()) {
        services().beep();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (terminate)
                terminate();
            else
                QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
}

void SettingsModel::setFailed(const QStringList& failed, const QString& reason, const QString& note)
{
    if (failed == m_failed && reason == m_hotKeyReason && note == m_hotKeyNote)
        return;
    m_failed = failed;
    m_hotKeyReason = reason;
    m_hotKeyNote = note;
    Q_EMIT failedChanged();
    Q_EMIT changed();
}

void SettingsModel::setPermission(bool permission, const QString& reason)
{
    if (permission == m_permission && reason == m_permissionReason)
        return;
    m_permission = permission;
    m_permissionReason = reason;
    Q_EMIT permissionChanged();
    Q_EMIT changed();
}

void SettingsModel::setLoginEnabled(bool on)
{
    if (on == m_loginEnabled)
        return;
    m_loginEnabled = on;
    Q_EMIT loginEnabledChanged();
    Q_EMIT changed();
}

void SettingsModel::setPinCount(int count)
{
    if (count == m_pinCount)
        return;
    m_pinCount = count;
    Q_EMIT pinCountChanged();
    Q_EMIT changed();
}

} // namespace quillet
