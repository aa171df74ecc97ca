#include "app/CaptureKeys.h"

#include "platform/KeyCodes.h"
#include "settings/ShortcutStore.h"

#include <QKeyEvent>
#include <QWidget>

namespace quillet {

namespace {

// The program's modifier mask from Qt's modifiers (used when the event has no X state).
qint64 modsFromQt(Qt::KeyboardModifiers m)
{
    qint64 mods = 0;
    if (m & Qt::ControlModifier)
        mods |= modControl;
    if (m & Qt::AltModifier)
        mods |= modOption;
    if (m & Qt::ShiftModifier)
        mods |= modShift;
    if (m & Qt::MetaModifier)
        mods |= modCommand;
    return mods;
}

} // namespace

CaptureKeys::CaptureKeys(
    std::function<bool()> active, std::function<void(HotKeyAction)> run, QObject* parent)
    : QObject(parent)
    , m_active(std::move(active))
    , m_run(std::move(run))
{ }

std::optional<HotKeyAction> CaptureKeys::match(const QKeyEvent& event)
{
    // Under xcb the scan code is the X keycode and the native modifiers the X state: both
    // positional, like the stored shortcuts. Synthesised events carry neither.
    std::optional<qint64> keyCode;
    qint64 mods = 0;
    if (event.nativeScanCode() != 0) {
        keyCode = KeyCodes::fromX(event.nativeScanCode());
        mods = KeyCodes::modsFromX(static_cast<quint16>(event.nativeModifiers()));
    } else {
        keyCode = KeyCodes::fromQtKey(event.key(), event.modifiers() & Qt::KeypadModifier);
        mods = modsFromQt(event.modifiers());
    }
    if (!keyCode)
        return std::nullopt;
    for (HotKeyAction action : allHotKeyActions) {
        for (const Shortcut& s : ShortcutStore::all(action)) {
            if (s.keyCode == *keyCode && s.mods == mods)
                return action;
        }
    }
    return std::nullopt;
}

bool CaptureKeys::eventFilter(QObject* watched, QEvent* event)
{
    // Widgets only: each press reaches the window object first and then its widget.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || !m_active || !m_active())
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->isAutoRepeat())
        return false;
    const std::optional<HotKeyAction> action = match(*key);
    if (!action)
        return false;
    // Run from the event loop, as hot keys are: the command may end the capture whose view
    // is handling this press.
    QMetaObject::invokeMethod(
        this, [this, a = *action] { m_run(a); }, Qt::QueuedConnection);
    return true;
}

} // namespace quillet
