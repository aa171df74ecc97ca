// What a screen-sized buffer costs to have back once its memory was given back while idle, set
// beside keeping it warm: the figures behind keeping the grab and overlay buffers resident.
// Run: build/bench/quillet_bench --benchmark_filter='BufferRefault|BufferTransfer'
//
// Each case times one frame of 1920×1080 or 3840×2160 at 4 bytes a pixel, as the program uses:
//   - shm_warm: writing every page of a shared-memory segment that was kept (the program now);
//   - shm_refault: the same right after its pages were given back (MADV_REMOVE): what the next
//     grab pays in page faults, on the X server's side, before any pixel moves;
//   - shm_populate: giving back, then MADV_POPULATE_WRITE, as a grab thread could at the key;
//   - shm_populate_write: the same, then writing every page as a paint does. On a virtual
//     machine that keeps its own page tables the first touch of each page after it came back
//     costs nearly as much as a fault, populated or not;
//   - anon_huge_refault: private memory in 2 MiB pages given back and written again; shared
//     memory has no such pages unless the kernel's shmem_enabled allows them;
//   - shm_grab: a whole-screen grab into a warm attached segment (what a capture pays now);
//   - socket_grab_huge: the grab through the X socket in bands, into 2 MiB-page memory that was
//     given back: the only route to a grab whose memory can come back cheaply;
//   - socket_put: the frame put on a window through the socket with a round trip, as a
//     backing store without shared memory paints a whole overlay.
// Each reports shmem_huge = 1 when shared memory could get 2 MiB pages on this kernel.
//
// BufferAfterIdle writes the frame again after the idle wait (60 s, or QUILLET_BENCH_IDLE_S):
// kept_4k_ms / kept_2m_ms for a frame kept in 4 KiB or 2 MiB pages, given_back_4k_ms /
// given_back_2m_ms for one whose pages were given back before the wait; the 2 MiB cases only
// where shmem_huge = 1. page_reporting_order is the order of free blocks a virtual machine hands
// to its host, which then charges for having them back (-1: none).
#include "BenchDesk.h"
#include "platform/HugePages.h"

#include <QFile>
#include <QThread>
#include <benchmark/benchmark.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <vector>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

using namespace quillet::bench;
using quillet::backWithHugePages;
using quillet::sharedMemoryCanBeHuge;

constexpr std::size_t hugePage = quillet::hugePageBytes;

double msSince(qint64 fromNs)
{
    return double(monotonicNs() - fromNs) / 1e6;
}

void writePages(char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; i += 4096)
        p[i] = char(i);
    benchmark::ClobberMemory();
}

// The order of free blocks a virtual machine hands back to its host (page_reporting), or -1.
int pageReportingOrder()
{
    QFile f(QStringLiteral("/sys/module/page_reporting/parameters/page_reporting_order"));
    bool ok = false;
    const int order = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt(&ok) : -1;
    return ok ? order : -1;
}

// A SysV segment attached here, by id for the X server to attach too; removed with this object.
// `huge` asks for 2 MiB pages as the program's kept frames do.
struct Segment {
    explicit Segment(std::size_t size, bool huge = false)
    {
        const std::size_t mapped = huge ? (size + hugePage - 1) & ~(hugePage - 1) : size;
        id = shmget(IPC_PRIVATE, mapped, IPC_CREAT | 0600);
        if (id < 0)
            return;
        void* at = shmat(id, nullptr, 0);
        data = at == reinterpret_cast<void*>(-1) ? nullptr : static_cast<char*>(at);
        if (data && huge)
            backWithHugePages(data, mapped);
    }
    ~Segment()
    {
        if (data)
            shmdt(data);
        if (id >= 0)
            shmctl(id, IPC_RMID, nullptr);
    }
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    int id = -1;
    char* data = nullptr;
};

// Private memory aligned to 2 MiB and asking for 2 MiB pages.
struct HugeBuffer {
    explicit HugeBuffer(std::size_t size)
        : mapped(size + hugePage)
    {
        void* m = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED)
            return;
        base = static_cast<char*>(m);
        data = reinterpret_cast<char*>(
            (reinterpret_cast<std::uintptr_t>(base) + hugePage - 1) & ~(hugePage - 1));
        madvise(data, size, MADV_HUGEPAGE);
    }
    ~HugeBuffer()
    {
        if (base)
            munmap(base, mapped);
    }
    HugeBuffer(const HugeBuffer&) = delete;
    HugeBuffer& operator=(const HugeBuffer&) = delete;

    std::size_t mapped;
    char* base = nullptr;
    char* data = nullptr;
};

// One frame of each kind, every page written once, as a program that kept them has them.
struct Frames {
    explicit Frames(std::size_t size)
        : segment(size)
        , huge(size)
    {
        if (segment.data && huge.data) {
            writePages(segment.data, size);
            writePages(huge.data, size);
        }
    }
    bool ready(benchmark::State& state) const
    {
        if (!segment.data || !huge.data)
            state.SkipWithError("no memory");
        return segment.data && huge.data;
    }

    Segment segment;
    HugeBuffer huge;
};

enum class Route { shmWarm, shmRefault, shmPopulate, shmPopulateWrite, anonHugeRefault };

void BufferRefault(benchmark::State& state, Route route)
{
    const std::size_t size = std::size_t(state.range(0)) * std::size_t(state.range(1)) * 4;
    state.counters["shmem_huge"] = sharedMemoryCanBeHuge() ? 1 : 0;
    Frames frames(size);
    if (!frames.ready(state))
        return;
    Segment& segment = frames.segment;
    HugeBuffer& huge = frames.huge;
    for (auto _ : state) {
        if (route == Route::shmRefault || route == Route::shmPopulate
            || route == Route::shmPopulateWrite)
            madvise(segment.data, size, MADV_REMOVE);
        if (route == Route::anonHugeRefault)
            madvise(huge.data, size, MADV_DONTNEED);
        const qint64 t = monotonicNs();
        switch (route) {
        case Route::shmPopulate:
            madvise(segment.data, size, MADV_POPULATE_WRITE);
            break;
        case Route::shmPopulateWrite:
            madvise(segment.data, size, MADV_POPULATE_WRITE);
            writePages(segment.data, size);
            break;
        case Route::anonHugeRefault:
            writePages(huge.data, size);
            break;
        default:
            writePages(segment.data, size);
        }
        state.SetIterationTime(msSince(t) / 1000);
    }
}

// A connection to a private server of the case's size.
struct Server {
    Server(int w, int h)
        : env(cleanEnvironment())
        , server(w, h, env)
    {
        if (server.display().empty())
            return;
        c = xcb_connect(server.display().c_str(), nullptr);
        if (xcb_connection_has_error(c))
            return;
        screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    }
    ~Server()
    {
        if (c)
            xcb_disconnect(c);
    }
    void roundTrip() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    std::vector<std::string> env;
    PrivateServer server;
    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
};

enum class Transfer { shmGrab, socketGrabHuge, socketPut };

void BufferTransfer(benchmark::State& state, Transfer transfer)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::size_t stride = std::size_t(w) * 4, size = stride * std::size_t(h);
    state.counters["shmem_huge"] = sharedMemoryCanBeHuge() ? 1 : 0;
    Server x(w, h);
    if (!x.screen) {
        state.SkipWithError("no X server");
        return;
    }
    Frames frames(size);
    if (!frames.ready(state))
        return;
    Segment& segment = frames.segment;
    HugeBuffer& huge = frames.huge;
    const xcb_shm_seg_t seg = xcb_generate_id(x.c);
    xcb_shm_attach(x.c, seg, quint32(segment.id), 0);
    const xcb_window_t window = xcb_generate_id(x.c);
    xcb_create_window(x.c, XCB_COPY_FROM_PARENT, window, x.screen->root, 0, 0, quint16(w),
        quint16(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, x.screen->root_visual, 0, nullptr);
    xcb_map_window(x.c, window);
    const xcb_gcontext_t gc = xcb_generate_id(x.c);
    xcb_create_gc(x.c, gc, window, 0, nullptr);
    x.roundTrip();
    // Bands keep each reply small enough to come from the heap, warm, rather than a fresh
    // mapping of its own.
    const int band = std::max(1, int((std::size_t(1) << 20) / stride));
    const int rowsPerPut
        = std::max(1, int((std::size_t(xcb_get_maximum_request_length(x.c)) * 4 - 64) / stride));
    for (auto _ : state) {
        if (transfer == Transfer::socketGrabHuge)
            madvise(huge.data, size, MADV_DONTNEED);
        const qint64 t = monotonicNs();
        switch (transfer) {
        case Transfer::shmGrab:
            std::free(xcb_shm_get_image_reply(x.c,
                xcb_shm_get_image(x.c, x.screen->root, 0, 0, quint16(w), quint16(h), ~0u,
                    XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
                nullptr));
            break;
        case Transfer::socketGrabHuge: {
            std::vector<xcb_get_image_cookie_t> cookies;
            for (int y = 0; y < h; y += band)
                cookies.push_back(xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.screen->root, 0,
                    qint16(y), quint16(w), quint16(std::min(band, h - y)), ~0u));
            for (std::size_t i = 0; i < cookies.size(); ++i) {
                xcb_get_image_reply_t* r = xcb_get_image_reply(x.c, cookies[i], nullptr);
                if (r) {
                    std::memcpy(huge.data + i * std::size_t(band) * stride, xcb_get_image_data(r),
                        std::size_t(xcb_get_image_data_length(r)));
                    std::free(r);
                }
            }
            break;
        }
        case Transfer::socketPut:
            for (int y = 0; y < h; y += rowsPerPut) {
                const int rows = std::min(rowsPerPut, h - y);
                xcb_put_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, quint16(w), quint16(rows),
                    0, qint16(y), 0, x.screen->root_depth, quint32(stride * std::size_t(rows)),
                    reinterpret_cast<const quint8*>(huge.data + std::size_t(y) * stride));
            }
            x.roundTrip();
            break;
        }
        state.SetIterationTime(msSince(t) / 1000);
    }
    xcb_shm_detach(x.c, seg);
    x.roundTrip();
}

// Frames kept or given back, in small or large pages, written again once the idle wait is over.
void BufferAfterIdle(benchmark::State& state)
{
    const std::size_t size = std::size_t(state.range(0)) * std::size_t(state.range(1)) * 4;
    const bool huge = sharedMemoryCanBeHuge();
    struct Kind {
        const char* name;
        bool huge, givenBack;
    };
    const Kind kinds[] = {{"kept_4k_ms", false, false}, {"given_back_4k_ms", false, true},
        {"kept_2m_ms", true, false}, {"given_back_2m_ms", true, true}};
    std::vector<std::unique_ptr<Segment>> segments;
    for (const Kind& k : kinds) {
        segments.push_back(k.huge && !huge ? nullptr : std::make_unique<Segment>(size, k.huge));
        if (segments.back() && !segments.back()->data) {
            state.SkipWithError("no memory");
            return;
        }
    }
    for (auto _ : state) {
        for (std::size_t i = 0; i < segments.size(); ++i) {
            if (!segments[i])
                continue;
            writePages(segments[i]->data, size);
            if (kinds[i].givenBack)
                madvise(segments[i]->data, size, MADV_REMOVE);
        }
        QThread::msleep(unsigned(idleSeconds()) * 1000);
        double total = 0;
        for (std::size_t i = 0; i < segments.size(); ++i) {
            if (!segments[i])
                continue;
            const qint64 t = monotonicNs();
            writePages(segments[i]->data, size);
            const double ms = msSince(t);
            state.counters[kinds[i].name] = ms;
            total += ms;
        }
        state.SetIterationTime(total / 1000);
    }
    state.counters["shmem_huge"] = huge ? 1 : 0;
    state.counters["page_reporting_order"] = pageReportingOrder();
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080})->Args({3840, 2160})->UseManualTime()->Unit(benchmark::kMillisecond);
    b->Iterations(12);
}

} // namespace

BENCHMARK_CAPTURE(BufferRefault, shm_warm, Route::shmWarm)->Apply(sizes);
BENCHMARK_CAPTURE(BufferRefault, shm_refault, Route::shmRefault)->Apply(sizes);
BENCHMARK_CAPTURE(BufferRefault, shm_populate, Route::shmPopulate)->Apply(sizes);
BENCHMARK_CAPTURE(BufferRefault, shm_populate_write, Route::shmPopulateWrite)->Apply(sizes);
BENCHMARK_CAPTURE(BufferRefault, anon_huge_refault, Route::anonHugeRefault)->Apply(sizes);
BENCHMARK_CAPTURE(BufferTransfer, shm_grab, Transfer::shmGrab)->Apply(sizes);
BENCHMARK_CAPTURE(BufferTransfer, socket_grab_huge, Transfer::socketGrabHuge)->Apply(sizes);
BENCHMARK_CAPTURE(BufferTransfer, socket_put, Transfer::socketPut)->Apply(sizes);
BENCHMARK(BufferAfterIdle)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
