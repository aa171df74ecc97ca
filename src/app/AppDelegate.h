#pragma once

#include "app/InstanceProtocol.h"
#include "settings/window/SettingsWindow.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QSystemTrayIcon;

namespace quillet {

struct ClipboardRead;
class CaptureKeys;
class CaptureReadiness;
class CaptureSession;
class HotKeyCenter;
class KeyEquivalents;
class PinWindow;
class StatusMenu;

// The application controller: builds the tray entry and its menu, holds the global hot keys,
// and turns commands (menu, hot keys, command line) into captures and pins. One per process.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    // What the pin command did; the command line reports it and tests observe it. `failed`:
    // there was something to pin but no pin window could be made of it.
    enum class PinOutcome { selection, image, text, nothing, failed };

    AppDelegate();
    ~AppDelegate() override;

    // The launch sequence; run once, before the event loop starts.
    void applicationDidFinishLaunching();

    // Replaces every hot key by those of the shortcut store; returns the display strings of
    // the shortcuts the window system refused.
    QStringList registerHotKeys();

    // Answers one command-line request, at once or (the clipboard) once it is read; never
    // blocks.
    void handleRequest(const Request& request, std::function<void(const Reply&)> respond);

    // Sends a pin back into an annotation session (PinEditing.cpp). Refused silently while a
    // capture is open or grabbing, or where the screen cannot be read.
    void edit(PinWindow* pin);

    // The pin command: the selection while a capture is open, else the clipboard, read without
    // waiting on its owner; `done` hears what came of it (never once this controller is gone).
    void pinClipboardThen(std::function<void(PinOutcome)> done);
    // Pins an image file at its pixel size, centred on the pointer. False when it could not.
    bool pinFile(const QString& path, QString* error = nullptr);

    bool busy() const { return m_busy; }
    CaptureSession* session() const { return m_session.get(); }
    const QStringList& launchFailures() const { return m_launchFailures; }
    const QStringList& hotKeyFailures() const { return m_hotKeyFailures; }
    int hotKeysRegistered() const { return m_hotKeysRegistered; }
    StatusMenu* statusMenu() const { return m_statusMenu.get(); }
    // None until the settings window is first opened; kept after it closes.
    SettingsWindow* settingsWindow() const { return m_settingsWindow; }

    // Shows the settings window, on `page` when one is given, else on the page last shown.
    // While a capture is open it waits for the capture to end (settingsDeferred() says so).
    void openSettings(std::optional<SettingsPage> page);
    bool settingsDeferred() const;
    HotKeyCenter& hotKeys() { return *m_hotKeys; }

    // Makes a pin of an image; true when a pin window is on screen. Tests replace it.
    std::function<bool(const QImage&)> pinImage;
    // Makes a paper-note pin of text at a scale, which keeps the text for copying. Tests
    // replace it.
    std::function<bool(const QString& text, qreal scale)> pinText;

    // A second button on an alert, for what can be done about it there and then.
    struct AlertAction {
        QString label;
        std::function<void()> run;
    };
    // Shows an alert without a nested event loop and calls `done` once it is dismissed.
    // Tests replace it.
    std::function<void(const QString& message, const QString& detail, std::function<void()> done)>
        alert;

public Q_SLOTS:
    void startCapture();
    void pinClipboard();
    void closeAllPins();
    void showSettings();
    void showAbout();
    void quit();

private:
    void createStatusItem();
    void makeStatusItem();
    void showShortcutsIfNothingElseShows();
    // The grab is over; when no session came of it, what waited for the capture may come.
    void endBusy();
    // The settings window asked for while a capture held the screen and the keyboard.
    void openDeferredSettings();
    void showAlert(const QString& message, const QString& detail, std::function<void()> done,
        AlertAction action = {});
    void reportHotKeyFailures(const QStringList& failures);
    void installSettingsHooks();
    QString statusText() const;
    PinOutcome pinFrom(const ClipboardRead& read);
    // Every request but the clipboard pin, which waits for the clipboard.
    Reply answer(const Request& request);
    // The settings snapshot mode (Snapshot.cpp): page `index` and every page after it, then
    // the capture overlay and the end of the run.
    void snapshotSettings(const QString& folder, int index);
    void finishSnapshot(const QString& folder);

    std::unique_ptr<HotKeyCenter> m_hotKeys;
    std::shared_ptr<CaptureSession> m_session;
    bool m_busy = false;
    int m_captures = 0; // captures started, to tell a late timer which one it was for
    QPointer<QSystemTrayIcon> m_statusItem;
    bool m_trayReported = false;
    bool m_keysSettled = false; // the keys are registered and the screen can be read
    std::unique_ptr<StatusMenu> m_statusMenu;
    QPointer<SettingsWindow> m_settingsWindow;
    KeyEquivalents* m_keyEquivalents = nullptr;
    CaptureKeys* m_captureKeys = nullptr;
    CaptureReadiness* m_readiness = nullptr;
    QStringList m_launchFailures;
    QStringList m_hotKeyFailures;
    QStringList m_reportedFailures;
    int m_hotKeysRegistered = 0;
    QString m_pinFailure; // why the last clipboard pin failed, when known
    bool m_launched = false;
    // Asked for during a capture; shown once it is over. The page, when one was named.
    std::optional<std::optional<SettingsPage>> m_settingsAfterCapture;
    QStringList m_snapshotFailures; // one line per snapshot file not written
};

} // namespace quillet
