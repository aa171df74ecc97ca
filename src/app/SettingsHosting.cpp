// The controller's side of the settings window: the model's hooks, and making, showing and
// refreshing the one window.
#include "app/AppDelegate.h"

#include "settings/HotKeyCenter.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/SettingsWindow.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

namespace quillet {

void AppDelegate::installSettingsHooks()
{
    SettingsModel& model = SettingsModel::shared();
    QPointer<AppDelegate> self(this);
    model.apply = [self] { return self ? self->registerHotKeys() : QStringList(); };
    model.hotKeyLimit
        = [self] { return self ? self->hotKeys().backend().unavailableReason() : QString(); };
    model.desktopKeyNote = [self] { return self ? self->hotKeys().backend().note() : QString(); };
    model.pause = [self](bool paused) {
        if (!self)
            return;
        if (paused) {
            // Released at the server, so that the keys reach the window; the status says so.
            self->hotKeys().unregisterAll();
            self->m_hotKeysRegistered = 0;
        } else {
            self->registerHotKeys();
        }
    };
    model.terminate = [self] {
        if (self)
            self->quit();
    };
    // The permission or the login item may have changed while the user was elsewhere. Not
    // while a slot records: a refresh registers the hot keys again, and the combination the
    // user is about to press would go to the grab instead of the recorder.
    // A desktop that binds the keys itself answers whenever its user is done with its dialog:
    // an open window shows the answer then. Queued, after the keys are registered anew.
    connect(
        &hotKeys().backend(), &HotKeyBackend::noteChanged, this,
        [self] {
            SettingsModel& model = SettingsModel::shared();
            if (self && self->m_settingsWindow && self->m_settingsWindow->isVisible()
                && !model.recording())
                model.refresh();
        },
        Qt::QueuedConnection);
    connect(
        qApp, &QGuiApplication::applicationStateChanged, this, [self](Qt::ApplicationState state) {
            SettingsModel& model = SettingsModel::shared();
            if (self && state == Qt::ApplicationActive && self->m_settingsWindow
                && self->m_settingsWindow->isVisible() && !model.recording())
                model.refresh();
        });
}

void AppDelegate::openSettings(std::optional<SettingsPage> page)
{
    // A window over the frozen screen would take the keyboard from the capture, and Escape
    // would no longer end it: the window comes once the capture is over.
    if (m_session || m_busy) {
        if (!m_settingsAfterCapture || page)
            m_settingsAfterCapture = page;
        return;
    }
    m_settingsAfterCapture.reset();
    SettingsModel& model = SettingsModel::shared();
    if (page)
        model.setPage(*page);
    model.refresh();
    if (!m_settingsWindow)
        m_settingsWindow = new SettingsWindow(model);
    m_settingsWindow->present();
}

bool AppDelegate::settingsDeferred() const
{
    return m_settingsAfterCapture.has_value();
}

void AppDelegate::endBusy()
{
    m_busy = false;
    if (!m_session)
        openDeferredSettings();
}

void AppDelegate::openDeferredSettings()
{
    if (!m_settingsAfterCapture)
        return;
    // After the session has let go of the keyboard, as it does on its way out.
    QPointer<AppDelegate> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->m_settingsAfterCapture && !self->m_session && !self->m_busy)
            self->openSettings(*self->m_settingsAfterCapture);
    });
}

void AppDelegate::showSettings()
{
    openSettings(std::nullopt);
}

void AppDelegate::showAbout()
{
    openSettings(SettingsPage::about);
}

} // namespace quillet
