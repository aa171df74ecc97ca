#pragma once

#include "platform/x11/GrabSession.h"

#include <QByteArray>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quillet {

// The one thread that talks to the X server for grabs, for the program's whole life: its
// connection and attached segments stay warm between captures, and grabs run one after another
// in the order they were asked for. It also detaches frames that came back surplus.
class GrabWorker {
public:
    using Task = std::function<void(GrabSession&)>;

    explicit GrabWorker(QByteArray display);
    // Runs what is queued, then ends the thread and the connection.
    ~GrabWorker();
    GrabWorker(const GrabWorker&) = delete;
    GrabWorker& operator=(const GrabWorker&) = delete;

    void post(Task task); // any thread
    ShmPool::Stats stats() const; // any thread

private:
    void run();
    void requestTrim();

    std::mutex lock; // after the pool's lock, never before it
    std::condition_variable wake;
    std::deque<Task> tasks;
    bool trimDue = false;
    bool stopping = false;
    std::unique_ptr<GrabSession> session;
    std::thread thread;
};

} // namespace quillet
