#pragma once

#include <QObject>

class QScreen;

namespace quillet {

// Keeps what a capture needs ready before the key is pressed: a window with its pixel buffer for
// every screen, the fonts and cached pictures the overlay paints with, and the grabber's memory.
// Without it the first capture after launch (and, for the buffers, every capture) spends most of
// its time having the kernel hand out fresh memory.
class CaptureReadiness final : public QObject {
    Q_OBJECT
public:
    explicit CaptureReadiness(QObject* parent = nullptr);
    ~CaptureReadiness() override;

    // Prepares for the screens as they are now, once the event loop runs, and again whenever
    // screens come, go or change.
    void start();
    // Does the work at once (tests and benchmarks).
    static void prepareNow();
    // Everything is prepared for the screens as they are.
    bool isReady() const { return m_ready; }

private:
    void schedule(int delayMs);
    void prepareInSteps();
    void watch(QScreen* screen);

    bool m_pending = false;
    bool m_ready = false;
};

} // namespace quillet
