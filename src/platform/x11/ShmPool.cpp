#include "platform/x11/ShmPool.h"

#include "platform/HugePages.h"

#include <algorithm>
#include <cstdint>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace quillet {

namespace {

// What an image's clean-up function gets: the pool to return to, kept alive by the image.
struct Lease {
    std::shared_ptr<ShmPool> pool;
    ShmSegment* segment;
};

} // namespace

ShmSegment::~ShmSegment()
{
    if (!removed)
        shmctl(shmId, IPC_RMID, nullptr);
    if (addr)
        shmdt(addr);
}

std::unique_ptr<ShmSegment> ShmSegment::create(size_t bytes)
{
    // A whole number of 2 MiB pages, so that the frame's last rows are not the ones left small.
    const bool huge = sharedMemoryCanBeHuge() && bytes <= SIZE_MAX - hugePageBytes;
    const size_t mapped = huge ? (bytes + hugePageBytes - 1) & ~(hugePageBytes - 1) : bytes;
    const int id = shmget(IPC_PRIVATE, mapped, IPC_CREAT | 0600);
    if (id < 0)
        return nullptr;
    void* addr = shmat(id, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return nullptr;
    }
    if (huge)
        backWithHugePages(addr, mapped);
    auto s = std::make_unique<ShmSegment>();
    s->addr = addr;
    s->shmId = id;
    s->bytes = bytes;
    return s;
}

ShmPool::~ShmPool() = default;

ShmSegment* ShmPool::take(size_t bytes)
{
    const std::lock_guard<std::mutex> hold(lock);
    for (const auto& s : segments) {
        if (!s->leased && s->bytes == bytes) {
            s->leased = true;
            return s.get();
        }
    }
    return nullptr;
}

ShmSegment* ShmPool::add(std::unique_ptr<ShmSegment> s)
{
    const std::lock_guard<std::mutex> hold(lock);
    s->leased = true;
    segments.push_back(std::move(s));
    return segments.back().get();
}

void ShmPool::giveBack(ShmSegment* s)
{
    release(s);
}

std::unique_ptr<ShmSegment> ShmPool::remove(ShmSegment* s)
{
    const std::lock_guard<std::mutex> hold(lock);
    auto it = std::find_if(segments.begin(), segments.end(),
        [s](const std::unique_ptr<ShmSegment>& o) { return o.get() == s; });
    if (it == segments.end())
        return nullptr;
    std::unique_ptr<ShmSegment> out = std::move(*it);
    segments.erase(it);
    out->leased = false;
    return out;
}

QImage ShmPool::wrap(ShmSegment* s, QSize size)
{
    auto* lease = new Lease {shared_from_this(), s};
    QImage img(s->data(), size.width(), size.height(), size.width() * 4, QImage::Format_RGB32,
        &ShmPool::releaseImage, lease);
    if (img.isNull())
        releaseImage(lease);
    return img;
}

void ShmPool::releaseImage(void* p)
{
    std::unique_ptr<Lease> lease(static_cast<Lease*>(p));
    lease->pool->release(lease->segment);
    // The pool itself may go with this lease when the grabber is already gone.
}

void ShmPool::release(ShmSegment* s)
{
    std::unique_ptr<ShmSegment> unmap;
    {
        const std::lock_guard<std::mutex> hold(lock);
        s->leased = false;
        if (closed) {
            // The connection that had it attached is gone; nothing but our mapping is left.
            auto it = std::find_if(segments.begin(), segments.end(),
                [s](const std::unique_ptr<ShmSegment>& o) { return o.get() == s; });
            if (it != segments.end()) {
                unmap = std::move(*it);
                segments.erase(it);
            }
        } else if (onSurplus && hasSurplusLocked()) {
            onSurplus();
        }
    }
}

void ShmPool::setWanted(const QMap<size_t, int>& counts)
{
    const std::lock_guard<std::mutex> hold(lock);
    wanted = counts;
}

int ShmPool::countOf(size_t bytes) const
{
    const std::lock_guard<std::mutex> hold(lock);
    return int(std::count_if(segments.begin(), segments.end(),
        [bytes](const std::unique_ptr<ShmSegment>& s) { return s->bytes == bytes; }));
}

bool ShmPool::hasSurplusLocked() const
{
    QMap<size_t, int> room = wanted;
    for (const auto& s : segments) {
        if (s->leased)
            --room[s->bytes];
    }
    for (const auto& s : segments) {
        if (!s->leased && --room[s->bytes] < 0)
            return true;
    }
    return false;
}

std::vector<std::unique_ptr<ShmSegment>> ShmPool::takeSurplus()
{
    const std::lock_guard<std::mutex> hold(lock);
    // Leased segments count first: while a capture is held, its frame is the one kept for that
    // screen and a free one of the same size goes.
    QMap<size_t, int> room = wanted;
    for (const auto& s : segments) {
        if (s->leased)
            --room[s->bytes];
    }
    std::vector<std::unique_ptr<ShmSegment>> out;
    for (auto it = segments.begin(); it != segments.end();) {
        if (!(*it)->leased && --room[(*it)->bytes] < 0) {
            out.push_back(std::move(*it));
            it = segments.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}

std::vector<ShmSegment*> ShmPool::takeStale(quint64 generation)
{
    const std::lock_guard<std::mutex> hold(lock);
    std::vector<ShmSegment*> out;
    for (const auto& s : segments) {
        if (!s->leased && s->attachedTo != generation) {
            s->leased = true;
            out.push_back(s.get());
        }
    }
    return out;
}

void ShmPool::setSurplusHandler(std::function<void()> handler)
{
    const std::lock_guard<std::mutex> hold(lock);
    onSurplus = std::move(handler);
}

std::vector<std::unique_ptr<ShmSegment>> ShmPool::close()
{
    const std::lock_guard<std::mutex> hold(lock);
    closed = true;
    onSurplus = nullptr;
    std::vector<std::unique_ptr<ShmSegment>> out;
    for (auto it = segments.begin(); it != segments.end();) {
        if (!(*it)->leased) {
            out.push_back(std::move(*it));
            it = segments.erase(it);
        } else {
            (*it)->attachedTo = 0;
            ++it;
        }
    }
    return out;
}

ShmPool::Stats ShmPool::stats() const
{
    const std::lock_guard<std::mutex> hold(lock);
    Stats st;
    for (const auto& s : segments) {
        ++st.segments;
        st.leased += s->leased ? 1 : 0;
        st.bytes += qint64(s->bytes);
    }
    return st;
}

} // namespace quillet
