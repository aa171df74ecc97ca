#pragma once

#include "settings/window/SettingsPage.h"

#include <QWidget>

namespace quillet {

class SettingsModel;
class SettingsView;
class WarningLabel;

// The one settings window: made when opened and deleted when closed; the next opening shows the
// page last seen, where the window was. Shortcut recording never outlives its focus.
class SettingsWindow final : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(SettingsModel& model, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    SettingsView* view() const { return m_view; }
    // What the warning line says of a change that could not be saved; empty while hidden.
    QString saveProblem() const;

    // Shows the window in front, centred on the screen under the pointer the first time.
    void present();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    SettingsModel& m_model;
    // Before the view: building it sends this window events that read them.
    bool m_placed = false;
    bool m_tracePaint = false;
    SettingsView* m_view;
    WarningLabel* m_saveProblem = nullptr;
};

} // namespace quillet
