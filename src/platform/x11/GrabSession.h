#pragma once

#include "platform/x11/ShmPool.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Grabber.h"

#include <QByteArray>
#include <QList>
#include <memory>

namespace quillet {

// Reads screens over one connection to the X server, reconnecting when it breaks, with the
// shared-memory segments that connection has attached. Used from one thread at a time; only the
// images it hands out (and `pool()`'s statistics) cross threads.
class GrabSession {
public:
    explicit GrabSession(QByteArray display);
    ~GrabSession();
    GrabSession(const GrabSession&) = delete;
    GrabSession& operator=(const GrabSession&) = delete;

    GrabResult grab(const QList<X11Grabber::Target>& targets, X11Grabber::Method method);

    // Connects and makes the segments the targets need ready: attached, and written once so the
    // pages are already mapped on both sides when the user asks for a capture. Leaves alone what
    // is ready already; drops spare frames of sizes no longer wanted.
    void prepare(const QList<X11Grabber::Target>& targets, X11Grabber::Method method);

    // Detaches and unmaps free segments the current screens no longer need.
    void trim();

    const std::shared_ptr<ShmPool>& pool() const { return shmPool; }

private:
    std::optional<QString> connect();
    ShmSegment* lease(size_t bytes);
    bool attach(ShmSegment* s);
    bool fill(ShmSegment* s, const QRect& r);
    void drop(std::unique_ptr<ShmSegment> s);
    std::optional<QImage> readWithShm(const QRect& r);

    QByteArray display;
    X11Connection c;
    quint64 generation = 0; // which connection segments are attached on
    bool shm = false; // the server offers MIT-SHM and accepts our segments
    std::shared_ptr<ShmPool> shmPool;
};

} // namespace quillet
