#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillet {

// How the resident program ends when it is not asked through its own menu or command line.
//
// SIGTERM, SIGINT and SIGHUP end the event loop from the loop itself (the handler only writes
// to a pipe the loop watches), so the program never stops in the middle of writing a file and
// its windows and grabs are given back in order. A second signal ends it at once.
//
// When the display server goes away, Qt ends the program; this says so in the program's own
// words on stderr instead of the toolkit's.
class Termination final : public QObject {
    Q_OBJECT
public:
    explicit Termination(QObject* parent = nullptr);
    ~Termination() override;

    // The signal that asked the program to end, or 0.
    int received() const { return m_received; }

private:
    void onSignal();

    QSocketNotifier* m_notifier = nullptr;
    int m_received = 0;
};

} // namespace quillet
