#pragma once

#include "settings/Shortcut.h"

#include <QObject>
#include <functional>
#include <optional>

class QKeyEvent;

namespace quillet {

// The global shortcuts while a capture holds the keyboard. The overlay grabs the keyboard, and
// then the window system hands presses of the hot keys to the overlay like any other key
// instead of reporting them as hot keys; this filter recognises them there and runs the same
// commands, so pressing the capture or pin shortcut again pins the selection.
class CaptureKeys final : public QObject {
    Q_OBJECT
public:
    // `active`: whether a capture is on screen. `run`: the command of the matched action.
    CaptureKeys(std::function<bool()> active, std::function<void(HotKeyAction)> run,
        QObject* parent = nullptr);

    // The stored action whose shortcut this press is, if any.
    static std::optional<HotKeyAction> match(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> m_active;
    std::function<void(HotKeyAction)> m_run;
};

} // namespace quillet
