#include "platform/x11/GrabWorker.h"

#include <pthread.h>

namespace quillet {

GrabWorker::GrabWorker(QByteArray display)
    : session(std::make_unique<GrabSession>(std::move(display)))
{
    // Images come back on any thread; detaching what they leave surplus needs the connection,
    // which only this thread touches.
    session->pool()->setSurplusHandler([this] { requestTrim(); });
    thread = std::thread([this] { run(); });
}

GrabWorker::~GrabWorker()
{
    {
        const std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    wake.notify_one();
    thread.join();
    session.reset();
}

void GrabWorker::post(Task task)
{
    {
        const std::lock_guard<std::mutex> hold(lock);
        tasks.push_back(std::move(task));
    }
    wake.notify_one();
}

ShmPool::Stats GrabWorker::stats() const
{
    return session->pool()->stats();
}

void GrabWorker::requestTrim()
{
    {
        const std::lock_guard<std::mutex> hold(lock);
        trimDue = true;
    }
    wake.notify_one();
}

void GrabWorker::run()
{
    pthread_setname_np(pthread_self(), "quillet-grab");
    for (;;) {
        Task task;
        bool trimNow = false;
        {
            std::unique_lock<std::mutex> hold(lock);
            wake.wait(hold, [this] { return stopping || trimDue || !tasks.empty(); });
            if (!tasks.empty()) {
                task = std::move(tasks.front());
                tasks.pop_front();
            } else if (trimDue) {
                trimDue = false;
                trimNow = true;
            } else {
                return;
            }
        }
        if (task)
            task(*session);
        else if (trimNow)
            session->trim();
    }
}

} // namespace quillet
