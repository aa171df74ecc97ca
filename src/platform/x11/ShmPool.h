#pragma once

#include <QImage>
#include <QMap>
#include <QSize>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>
#include <xcb/shm.h>

namespace quillet {

// One SysV shared-memory block the X server writes a screen into. Its id is marked for removal
// as soon as the server first attached it, so the memory goes with the last mapping even if the
// program dies; Linux still lets a server attach such a block again after a reconnection.
struct ShmSegment {
    ~ShmSegment();
    // A mapped block of `bytes`, not yet known to any server.
    static std::unique_ptr<ShmSegment> create(size_t bytes);

    uchar* data() const { return static_cast<uchar*>(addr); }

    void* addr = nullptr;
    int shmId = -1;
    size_t bytes = 0;
    xcb_shm_seg_t xid = 0;
    quint64 attachedTo = 0; // the connection generation that has it attached; 0 for none
    bool leased = false; // an image or a grab in progress owns the memory
    bool removed = false; // the id is marked for removal
};

// The segments of one grabbing connection, kept attached between captures so a grab writes into
// memory that both the server and this process have already touched: faulting in a fresh 4K frame
// costs several times more than the transfer itself. A segment is leased to exactly one image at
// a time and comes back when the image's last copy goes, on whatever thread that happens; it is
// never written while leased.
//
// What stays while idle is what the current screens need: one frame per screen. That is the
// memory a capture needs anyway, and keeping it is what makes the next capture fast; anything
// beyond it (frames of screens no longer connected, a second frame while a capture was held) is
// handed back to the grabbing thread to be detached and unmapped.
//
// The pool is shared with every image it leased, so it outlives the grabber when images are
// freed late (during exit, say).
class ShmPool : public std::enable_shared_from_this<ShmPool> {
public:
    ~ShmPool();

    // Grabbing thread only, except `stats` and the release path of the images.

    // A free segment of exactly `bytes`, now leased; null when there is none.
    ShmSegment* take(size_t bytes);
    // Takes ownership of a new segment and leases it.
    ShmSegment* add(std::unique_ptr<ShmSegment> s);
    // Ends a lease that no image took.
    void giveBack(ShmSegment* s);
    // Forgets a leased segment the server refused or failed to write; the caller detaches it.
    std::unique_ptr<ShmSegment> remove(ShmSegment* s);
    // An RGB32 image over the leased segment's memory, without copying. The lease ends when the
    // image's last copy goes. Null (and the lease ended) if QImage refuses the size.
    QImage wrap(ShmSegment* s, QSize size);

    // How many segments of each byte size the current screens need.
    void setWanted(const QMap<size_t, int>& counts);
    int countOf(size_t bytes) const; // leased and free
    // The free segments beyond what is wanted, now owned by the caller to detach and unmap.
    std::vector<std::unique_ptr<ShmSegment>> takeSurplus();
    // The free segments not attached on connection `generation`, leased to the caller.
    std::vector<ShmSegment*> takeStale(quint64 generation);

    // Called, with the pool's lock held, when a returned segment makes a surplus.
    void setSurplusHandler(std::function<void()> handler);
    // The grabbing connection goes away: free segments are handed over for unmapping, leased
    // ones are unmapped by their images' release from now on.
    std::vector<std::unique_ptr<ShmSegment>> close();

    struct Stats {
        int segments = 0;
        int leased = 0;
        qint64 bytes = 0;
    };
    Stats stats() const;

private:
    void release(ShmSegment* s); // any thread
    bool hasSurplusLocked() const;
    static void releaseImage(void* lease);

    mutable std::mutex lock;
    std::vector<std::unique_ptr<ShmSegment>> segments;
    QMap<size_t, int> wanted;
    std::function<void()> onSurplus;
    bool closed = false;
};

} // namespace quillet
