#include "app/AppDelegate.h"

#include "app/CaptureKeys.h"
#include "app/KeyEquivalents.h"
#include "app/PinEditing.h"
#include "app/Snapshot.h"
#include "app/StatusMenu.h"
#include "capture/CaptureReadiness.h"
#include "capture/CaptureSession.h"
#include "output/PinWindow.h"
#include "platform/ScreenGrabber.h"
#include "platform/SystemServices.h"
#include "platform/TrayHost.h"
#include "settings/DesktopBindings.h"
#include "settings/HotKeyCenter.h"
#include "settings/Prefs.h"
#include "settings/ShortcutStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/SettingsWindow.h"
#include "ui/AppIcons.h"
#include "ui/Icons.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <cstdio>

namespace quillet {

namespace {

void say(const QString& line)
{
    std::fprintf(stderr, "墨钉: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

AppDelegate::AppDelegate()
    : pinImage([](const QImage& image) { return PinWindow::pin(image) != nullptr; })
    , pinText([](const QString& text, qreal scale) {
        return PinWindow::pinText(text, scale) != nullptr;
    })
    , m_hotKeys(std::make_unique<HotKeyCenter>())
{
    // A new keyboard layout can move keys: grab them again where they are now.
    // Queued, so that a press that came in together with the change (the first synthetic key
    // press switches the server's keyboard device and announces a new keyboard) is looked up
    // under its identifier before registering again replaces every identifier.
    connect(
        m_hotKeys.get(), &HotKeyCenter::mappingChanged, this,
        [this] {
            reportHotKeyFailures(registerHotKeys());
            showShortcutsIfNothingElseShows();
        },
        Qt::QueuedConnection);
}

AppDelegate::~AppDelegate()
{
    delete m_settingsWindow;
    if (m_keyEquivalents)
        qApp->removeEventFilter(m_keyEquivalents);
    if (m_captureKeys)
        qApp->removeEventFilter(m_captureKeys);
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched)
        return;
    m_launched = true;

    // 1. The preference defaults.
    Prefs::registerDefaults();

    // 9. The settings snapshot mode, taken out of turn: a snapshot run is a process of its own
    // beside any resident instance, so it opens no tray entry and holds no global keys that
    // the resident one holds. It reads the settings but changes none.
    if (const std::optional<QString> folder = snapshotFolder()) {
        snapshotSettings(*folder, 0);
        return;
    }

    // 2. The in-program key equivalents (the main menu's keys on other systems).
    m_keyEquivalents = new KeyEquivalents([this] { quit(); }, this);
    m_keyEquivalents->openSettings = [this] { showSettings(); };
    qApp->installEventFilter(m_keyEquivalents);
    // The global shortcuts again while a capture holds the keyboard.
    m_captureKeys = new CaptureKeys([this] { return m_session != nullptr; },
        [this](HotKeyAction a) {
            if (a == HotKeyAction::capture)
                startCapture();
            else
                pinClipboard();
        },
        this);
    qApp->installEventFilter(m_captureKeys);

    // 3. and 4. The tray entry and its menu.
    m_statusMenu = std::make_unique<StatusMenu>(this);
    createStatusItem();

    // 5. Pins go back into a capture through the controller.
    PinWindow::onEdit = PinEditing::callbackFor(this);
    // 6. and 7. The settings window re-registers and pauses the hot keys through these. They
    // hold the controller weakly: the model outlives it.
    installSettingsHooks();

    // 8. The global hot keys.
    m_launchFailures = registerHotKeys();
    reportHotKeyFailures(m_launchFailures);

    // 10. The screen-reading permission (always granted on X11). Whatever needs the user's
    // attention opens the settings window where it can be put right.
    if (!screenGrabber().canRecordScreen()) {
        const QString reason = screenGrabber().unavailableReason();
        say(reason.isEmpty() ? QStringLiteral("无法读取屏幕内容，截图不可用") : reason);
        openSettings(SettingsPage::general);
    } else {
        // A key another program holds is worth the user's attention at once. A desktop that
        // takes no global keys at all (Wayland) would otherwise open the window at every login;
        // the shortcuts page shows what to bind whenever the user opens it.
        if (!m_launchFailures.isEmpty() && m_hotKeys->backend().unavailableReason().isEmpty())
            openSettings(SettingsPage::shortcuts);
        m_keysSettled = true;
        showShortcutsIfNothingElseShows();
        // Everything the first capture would otherwise wait for, made while nothing happens.
        m_readiness = new CaptureReadiness(this);
        m_readiness->start();
    }
}

void AppDelegate::createStatusItem()
{
    auto update = [this] {
        const TrayHost& tray = trayHost();
        if (!m_statusItem && tray.entryWorks())
            makeStatusItem();
        if (tray.known() && !m_trayReported) {
            m_trayReported = true;
            if (!tray.present())
                say(QStringLiteral(
                    "没有找到系统托盘；可用快捷键或命令行（quillet --help）使用墨钉"));
            showShortcutsIfNothingElseShows();
        }
    };
    connect(&trayHost(), &TrayHost::changed, this, update);
    update();
}

// With neither a tray entry nor a global key, nothing shows that the program runs (stock GNOME
// on Wayland): the shortcuts page says how to bind the keys, once, at the first such start.
void AppDelegate::showShortcutsIfNothingElseShows()
{
    if (!m_keysSettled || Prefs::shortcutsShown() || !trayHost().known() || trayHost().present()
        || m_hotKeysRegistered > 0 || m_hotKeys->backend().unavailableReason().isEmpty())
        return;
    Prefs::setShortcutsShown();
    openSettings(SettingsPage::shortcuts);
}

void AppDelegate::makeStatusItem()
{
    m_statusItem = new QSystemTrayIcon(trayIcon(), this);
    m_statusItem->setToolTip(QStringLiteral("墨钉"));
    m_statusItem->setContextMenu(m_statusMenu.get());
    // A left click opens the menu too, as the only thing the tray entry offers is its menu.
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger && m_statusMenu && !m_statusMenu->isVisible())
                m_statusMenu->popup(QCursor::pos());
        });
    // Shown even without a tray manager on X11: Qt puts the entry in place when one starts.
    m_statusItem->show();
}

QStringList AppDelegate::registerHotKeys()
{
    m_hotKeys->unregisterAll();
    QStringList failures;
    int registered = 0;
    QPointer<AppDelegate> self(this);
    for (HotKeyAction action : allHotKeyActions) {
        std::function<void()> handler;
        if (action == HotKeyAction::capture) {
            handler = [self] {
                if (self)
                    self->startCapture();
            };
        } else {
            handler = [self] {
                if (self)
                    self->pinClipboard();
            };
        }
        for (int slot = 0; slot < ShortcutStore::slots; ++slot) {
            const std::optional<Shortcut> s = ShortcutStore::get(action, slot);
            if (!s)
                continue;
            if (m_hotKeys->registerShortcut(
                    *s, handler, DesktopBindings::purpose(*s, action, slot)))
                ++registered;
            else
                failures.append(s->display());
        }
    }
    if (m_statusMenu) {
        StatusMenu::setTitle(m_statusMenu->captureItem(), title(HotKeyAction::capture),
            ShortcutStore::display(HotKeyAction::capture));
        StatusMenu::setTitle(m_statusMenu->pinItem(), title(HotKeyAction::pin),
            ShortcutStore::display(HotKeyAction::pin));
    }
    m_hotKeysRegistered = registered;
    m_hotKeyFailures = failures;
    return failures;
}

void AppDelegate::reportHotKeyFailures(const QStringList& failures)
{
    // The settings window lists these too; the line is for whoever started the program from a
    // terminal or reads the session log.
    if (failures == m_reportedFailures)
        return;
    m_reportedFailures = failures;
    if (failures.isEmpty())
        return;
    // Refused because the desktop takes no global keys at all, not because a key is taken.
    const QString limit = m_hotKeys->backend().unavailableReason();
    if (!limit.isEmpty())
        say(limit
            + QStringLiteral("；请在桌面的键盘设置里把按键绑定到“quillet capture”和“quillet pin”"));
    else
        say(QStringLiteral("无法注册快捷键 %1（可能被其他程序占用）")
                .arg(failures.join(QStringLiteral("、"))));
}

void AppDelegate::closeAllPins()
{
    PinWindow::closeAll();
}

void AppDelegate::quit()
{
    // exit(), not quit(): quit() first asks every window to close and gives up when one
    // declines, which pins do while they fade out. Nothing needs saving at exit.
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void AppDelegate::showAlert(
    const QString& message, const QString& detail, std::function<void()> done, AlertAction action)
{
    if (alert) {
        alert(message, detail, std::move(done));
        return;
    }
    // Not exec(): a nested event loop would stall every command-line client until the alert
    // is dismissed.
    auto* box = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::Ok);
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    if (!action.label.isEmpty()) {
        QPushButton* button = box->addButton(action.label, QMessageBox::ActionRole);
        button->setAccessibleName(action.label);
        connect(button, &QPushButton::clicked, this, [run = std::move(action.run)] {
            if (run)
                run();
        });
    }
    connect(box, &QMessageBox::finished, this, [done = std::move(done)] {
        if (done)
            done();
    });
    box->open();
    box->raise();
    box->activateWindow();
}

} // namespace quillet
