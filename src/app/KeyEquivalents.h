#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;
class QWidget;

namespace quillet {

// The program's editing keys, valid in every window: Ctrl+Z, Y (and Ctrl+Shift+Z), X, C, V, A and
// S go to the focused widget, or the nearest parent that answers undo(), redo(), cut(), copy(),
// paste(), selectAll() or saveImage(); Ctrl+W closes the window in front; Ctrl+Q quits; Ctrl+,
// opens the settings (the key the tray's 设置… item shows).
//
// One application event filter rather than QShortcut: Qt only matches shortcuts while a
// window is active, and capture overlays take the keyboard by grabbing it without ever
// becoming the active window. A widget that wants the key itself (a text field) says so by
// accepting ShortcutOverride, and then keeps it.
class KeyEquivalents final : public QObject {
    Q_OBJECT
public:
    explicit KeyEquivalents(std::function<void()> quit, QObject* parent = nullptr);

    // The method a key stands for ("copy" for Ctrl+C), or nullptr when the key is none of them.
    static const char* methodFor(int key);

    // Delivers `method` to `widget` or its nearest parent that has it; false when none has.
    static bool invoke(QWidget* widget, const char* method);

    // The handling of one key press that reached `target`; true when it was consumed.
    bool handle(QWidget* target, QKeyEvent* event);

    // What Ctrl+, does; nothing when unset.
    std::function<void()> openSettings;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_quit;
};

} // namespace quillet
