#pragma once

#include "settings/Shortcut.h"
#include "settings/window/SettingsPage.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace quillet {

class SystemServices;

// The one observable object behind the settings window: the window state that is not a stored
// preference (page, the slot being recorded, the hot keys that failed, the capture permission,
// the login item, the number of pins), shortcut recording, and the hooks through which the
// controller re-registers or pauses the global hot keys. Every change emits its own signal and
// then `changed()`.
class SettingsModel final : public QObject {
    Q_OBJECT
public:
    // What a recording ends with: the new shortcut, or nothing when the user cleared the slot.
    using Done = std::function<void(std::optional<Shortcut>)>;

    // `services` must outlive the model; none means the session's (systemServices()), looked
    // up at each use so that a replacement takes effect.
    explicit SettingsModel(SystemServices* services = nullptr, QObject* parent = nullptr);
    ~SettingsModel() override;

    // The program's instance, made on first use with the desktop's services and kept.
    static SettingsModel& shared();

    // None means nothing is selected in the sidebar; the window then shows the general page.
    std::optional<SettingsPage> page() const { return m_page; }
    void setPage(std::optional<SettingsPage> page);
    SettingsPage shownPage() const { return m_page.value_or(SettingsPage::general); }

    // The identifier of the slot being recorded.
    const std::optional<QString>& recording() const { return m_recording; }
    bool isRecording(const QString& id) const { return m_recording == id; }
    // Display strings of the shortcuts the window system refused at the last refresh().
    const QStringList& failed() const { return m_failed; }
    // Why no global key can be registered on this desktop at all; empty where they can.
    const QString& hotKeyReason() const { return m_hotKeyReason; }
    // Where the desktop manages the keys it was given: what it says of them; empty elsewhere.
    const QString& hotKeyNote() const { return m_hotKeyNote; }
    bool permission() const { return m_permission; }
    // Why captures cannot read the screen; while permitted, how it is read where the desktop
    // offers more than one way (empty otherwise).
    const QString& permissionReason() const { return m_permissionReason; }
    bool loginEnabled() const { return m_loginEnabled; }
    int pinCount() const { return m_pinCount; }
    // Incremented by every refresh(); views showing derived data redraw on it.
    int revision() const { return m_revision; }
    // Whether openPrivacy() has anywhere to go on this desktop.
    bool hasPrivacySettings() const;

    // Installed by the controller: registers every global hot key from the shortcut store again
    // and returns the display strings of those that failed.
    std::function<QStringList()> apply = [] { return QStringList(); };
    // Installed by the controller: why the desktop takes no global keys, or nothing.
    std::function<QString()> hotKeyLimit = [] { return QString(); };
    // Installed by the controller: what the desktop that manages the keys says of them.
    std::function<QString()> desktopKeyNote = [] { return QString(); };
    // Installed by the controller: true releases every global hot key, false takes them again.
    std::function<void(bool)> pause = [](bool) {};
    // Ends the program; relaunch() calls it once the new instance is on its way.
    std::function<void()> terminate;

    // Reads everything the window shows that is not a preference, re-applying the hot keys.
    void refresh();
    // Reads only the pin count (the pin page polls it).
    void refreshPinCount();

    // Records the next key combination for slot `id`; `done` gets the result.
    void startRecording(const QString& id, Done done);
    // Ends recording without a result.
    void stopRecording();

    // Turns the login item on or off; beeps when that fails. loginEnabled() is the real state
    // afterwards either way.
    void setLogin(bool on);
    void openPrivacy();
    // Starts a new instance and ends this one; beeps and stays when none could be started.
    void relaunch();

Q_SIGNALS:
    void pageChanged();
    void recordingChanged();
    void failedChanged();
    void permissionChanged();
    void loginEnabledChanged();
    void pinCountChanged();
    void revisionChanged();
    // After any of the above.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setFailed(const QStringList& failed, const QString& reason, const QString& note);
    void setPermission(bool permission, const QString& reason);
    void setLoginEnabled(bool on);
    void setPinCount(int count);
    // `result` none: cancelled, the slot is left alone; holding nothing: the slot is cleared.
    void finishRecording(std::optional<std::optional<Shortcut>> result);

    SystemServices& services() const;

    SystemServices* m_services = nullptr;
    std::optional<SettingsPage> m_page = SettingsPage::general;
    std::optional<QString> m_recording;
    QStringList m_failed;
    QString m_hotKeyReason;
    QString m_hotKeyNote;
    bool m_permission = true;
    QString m_permissionReason;
    bool m_loginEnabled = false;
    int m_pinCount = 0;
    int m_revision = 0;
    Done m_done;
    bool m_monitoring = false;
};

} // namespace quillet
