#pragma once

// The window system's global keys for the tests: records what it is asked for and refuses the
// key codes it is told to.

#include "platform/HotKeyBackend.h"

#include <QList>
#include <QSet>

namespace quillet::test {

struct Grab {
    quint32 id;
    int keyCode;
    int mods;
    bool operator==(const Grab&) const = default;
};

class FakeHotKeys final : public HotKeyBackend {
public:
    // Grabs go to `log` where the test needs them beyond the backend's life, else to `attempts`.
    explicit FakeHotKeys(QList<Grab>* log = nullptr, QSet<int> refused = {})
        : log(log ? log : &attempts)
        , refused(std::move(refused))
    { }
    bool grab(quint32 id, int keyCode, int mods) override
    {
        log->append({id, keyCode, mods});
        return !refused.contains(keyCode);
    }
    void ungrab(quint32 id) override { ungrabbed.append(id); }
    QString note() const override { return noteText; }
    void press(quint32 id) { Q_EMIT pressed(id); }

    QList<Grab> attempts;
    QList<Grab>* log;
    QSet<int> refused;
    QList<quint32> ungrabbed;
    QString noteText;
};

} // namespace quillet::test
