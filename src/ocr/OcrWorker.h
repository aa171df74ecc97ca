#pragma once

#include "ocr/OcrEngine.h"

#include <QImage>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

namespace quillet {

// Runs one recognition at a time on a thread of its own and reports on the thread that made
// the worker. The engine's models stay loaded for a while after a job, so a second request
// soon after is quick, and are let go when the program has been idle for a minute.
class OcrWorker final : public QObject {
    Q_OBJECT
public:
    explicit OcrWorker(QObject* parent = nullptr);
    // Cancels a running job and waits for its thread.
    ~OcrWorker() override;

    // False, and nothing happens, while a job runs.
    bool start(const QImage& image);
    // The running job ends soon with the `cancelled` status; nothing when idle.
    void cancel();
    bool busy() const { return m_busy; }
    // For tests: whether the models are loaded now.
    bool holdsEngine() const { return m_engine != nullptr; }
    void setIdleRelease(int ms) { m_idle.setInterval(ms); }

Q_SIGNALS:
    void finished(const quillet::OcrResult& result);

private:
    void done(const OcrResult& result);

    std::shared_ptr<OcrEngine> m_engine;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::thread m_thread;
    bool m_busy = false;
    QTimer m_idle;
};

} // namespace quillet
