// The controller's side of the settings window: the model's hooks, and making, showing and
// refreshing the one window.
#include "app/AppDelegate.h"

#include "settings/HotKeyCenter.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/SettingsWindow.h"

#include <QGuiApplication>
#include <QPointer>

namespace quillet {

void AppDelegate::installSettingsHooks()
{
    SettingsModel& model = SettingsModel::shared();
    QPointer<AppDelegate> self(this);
    model.apply = [self] { return self ? self->registerHotKeys() : QStringList(); };
    model.pause = [self](bool paused) {
        if (!self)
            return;
        if (paused)
            self->hotKeys().unregisterAll();
        else
            self->registerHotKeys();
    };
    model.terminate = [self] {
        if (self)
            self->quit();
    };
    // The permission may have changed while the user was elsewhere.
    connect(
        qApp, &QGuiApplication::applicationStateChanged, this, [self](Qt::ApplicationState state) {
            if (self && state == Qt::ApplicationActive && self->m_settingsWindow
                && self->m_settingsWindow->isVisible())
                SettingsModel::shared().refresh();
        });
}

void AppDelegate::openSettings(std::optional<SettingsPage> page)
{
    SettingsModel& model = SettingsModel::shared();
    if (page)
        model.setPage(*page);
    model.refresh();
    if (!m_settingsWindow)
        m_settingsWindow = new SettingsWindow(model);
    m_settingsWindow->present();
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
