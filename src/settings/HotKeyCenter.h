#pragma once

#include "platform/HotKeyBackend.h"
#include "settings/Shortcut.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <memory>

namespace quillet {

// Holds the global hot keys. Identifiers are never reused during the life of the process; a
// press is queued onto the main loop before its handler runs.
class HotKeyCenter final : public QObject {
    Q_OBJECT
public:
    explicit HotKeyCenter(std::unique_ptr<HotKeyBackend> backend = makeHotKeyBackend());
    ~HotKeyCenter() override;

    // True when the window system accepted the key.
    bool registerKey(
        int keyCode, int mods, std::function<void()> handler, const HotKeyPurpose& purpose = {});
    // registerKey for a stored shortcut. A key code or mask that does not fit the window
    // system's integers counts as refused (and still uses an identifier) rather than being
    // truncated into some other key.
    bool registerShortcut(
        const Shortcut& shortcut, std::function<void()> handler, const HotKeyPurpose& purpose = {});
    void unregisterAll();

    quint32 nextID() const { return m_nextID; }
    HotKeyBackend& backend() { return *m_backend; }

Q_SIGNALS:
    // The keyboard mapping changed. Keys are held by position and the backend keeps its grabs
    // valid by itself, so nothing needs registering again; registering anew at this moment
    // would drop a press that arrives while the keys are being replaced.
    void mappingChanged();

private:
    std::unique_ptr<HotKeyBackend> m_backend;
    QHash<quint32, std::function<void()>> m_handlers;
    QList<quint32> m_refs;
    quint32 m_nextID = 1;
};

} // namespace quillet
