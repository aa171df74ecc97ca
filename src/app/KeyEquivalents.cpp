#include "app/KeyEquivalents.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QPointer>
#include <QWidget>

namespace quillet {

namespace {

struct Equivalent {
    int key;
    const char* method;
};

constexpr Equivalent equivalents[] = {
    {Qt::Key_Z, "undo"},
    {Qt::Key_Y, "redo"},
    {Qt::Key_X, "cut"},
    {Qt::Key_C, "copy"},
    {Qt::Key_V, "paste"},
    {Qt::Key_A, "selectAll"},
    {Qt::Key_S, "saveImage"},
};

// Ctrl alone; the keypad bit says where the key sits, not what the user meant.
bool plainControl(const QKeyEvent* e)
{
    return (e->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

// A widget that takes the key for itself answers ShortcutOverride by accepting it.
bool wantsKey(QWidget* widget, const QKeyEvent* press)
{
    QKeyEvent ask(QEvent::ShortcutOverride, press->key(), press->modifiers(),
        press->nativeScanCode(), press->nativeVirtualKey(), press->nativeModifiers(), press->text(),
        press->isAutoRepeat(), press->count());
    ask.ignore();
    QCoreApplication::sendEvent(widget, &ask);
    return ask.isAccepted();
}

} // namespace

KeyEquivalents::KeyEquivalents(std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , m_quit(std::move(quit))
{ }

const char* KeyEquivalents::methodFor(int key)
{
    for (const Equivalent& e : equivalents) {
        if (e.key == key)
            return e.method;
    }
    return nullptr;
}

bool KeyEquivalents::invoke(QWidget* widget, const char* method)
{
    const QByteArray signature = QByteArray(method) + "()";
    for (QObject* o = widget; o; o = o->parent()) {
        const QMetaObject* meta = o->metaObject();
        const int index = meta->indexOfMethod(signature.constData());
        if (index < 0)
            continue;
        const QMetaMethod m = meta->method(index);
        if (m.access() == QMetaMethod::Private)
            continue;
        // Queued: the method may close or delete the very widget whose key press this is.
        return m.invoke(o, Qt::QueuedConnection);
    }
    return false;
}

bool KeyEquivalents::handle(QWidget* target, QKeyEvent* event)
{
    // Ctrl+Shift+Z is redo as well, as in most editors.
    if ((event->modifiers() & ~Qt::KeypadModifier) == (Qt::ControlModifier | Qt::ShiftModifier)
        && event->key() == Qt::Key_Z)
        return !wantsKey(target, event) && invoke(target, "redo");
    if (!plainControl(event))
        return false;
    const int key = event->key();
    if (key == Qt::Key_Q) {
        if (m_quit)
            m_quit();
        return true;
    }
    if (key == Qt::Key_Comma && openSettings) {
        // Queued: the window it opens takes the focus from the one this press is for.
        QMetaObject::invokeMethod(
            this, [this] { openSettings(); }, Qt::QueuedConnection);
        return true;
    }
    if (key == Qt::Key_W) {
        if (wantsKey(target, event))
            return false;
        QPointer<QWidget> window = target->window();
        // Closed from the event loop, through the window's own close path (pins and overlays
        // animate out from their close handling).
        QMetaObject::invokeMethod(
            window,
            [window] {
                if (window)
                    window->close();
            },
            Qt::QueuedConnection);
        return true;
    }
    const char* method = methodFor(key);
    if (!method || wantsKey(target, event))
        return false;
    return invoke(target, method);
}

bool KeyEquivalents::eventFilter(QObject* watched, QEvent* event)
{
    // Key presses reach the window object first, then its focus widget; only the widget
    // delivery is handled, so each press is looked at once.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    return handle(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event));
}

} // namespace quillet
