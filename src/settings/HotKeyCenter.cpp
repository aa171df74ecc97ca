#include "settings/HotKeyCenter.h"

#include <QMetaObject>
#include <limits>
#include <utility>

namespace quillet {

HotKeyCenter::HotKeyCenter(std::unique_ptr<HotKeyBackend> backend)
    : m_backend(backend ? std::move(backend) : makeNullHotKeyBackend())
{
    connect(m_backend.get(), &HotKeyBackend::pressed, this, [this](quint32 id) {
        // The backend reports from inside the window system's event dispatch; the handler
        // (which may open windows or grab the keyboard) runs only after that has returned.
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                const auto it = m_handlers.constFind(id);
                if (it == m_handlers.constEnd())
                    return;
                // A copy: the handler may re-register every key, which replaces the map.
                const std::function<void()> handler = *it;
                if (handler)
                    handler();
            },
            Qt::QueuedConnection);
    });
    connect(m_backend.get(), &HotKeyBackend::mappingChanged, this, &HotKeyCenter::mappingChanged);
}

// Registrations stay with the window system until the backend goes; the backend releases its
// own grabs when it is destroyed with the center.
HotKeyCenter::~HotKeyCenter() = default;

bool HotKeyCenter::registerKey(
    int keyCode, int mods, std::function<void()> handler, const HotKeyPurpose& purpose)
{
    const quint32 id = m_nextID;
    // Identifiers are spent on refused keys as well, so an id is never handed out twice.
    ++m_nextID;
    if (!purpose.name.isEmpty())
        m_backend->describe(id, purpose);
    if (!m_backend->grab(id, keyCode, mods))
        return false;
    m_handlers.insert(id, std::move(handler));
    m_refs.append(id);
    return true;
}

bool HotKeyCenter::registerShortcut(
    const Shortcut& shortcut, std::function<void()> handler, const HotKeyPurpose& purpose)
{
    const auto fits = [](qint64 v) { return v >= 0 && v <= std::numeric_limits<int>::max(); };
    if (!fits(shortcut.keyCode) || !fits(shortcut.mods)) {
        ++m_nextID;
        return false;
    }
    return registerKey(int(shortcut.keyCode), int(shortcut.mods), std::move(handler), purpose);
}

void HotKeyCenter::unregisterAll()
{
    const QList<quint32> refs = std::exchange(m_refs, {});
    for (const quint32 id : refs)
        m_backend->ungrab(id);
    m_handlers.clear();
}

} // namespace quillet
