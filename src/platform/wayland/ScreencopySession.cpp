#include "platform/wayland/ScreencopySession.h"

#include "platform/wayland/OutputTransform.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <QElapsedTimer>
#include <QImage>
#include <wayland-client.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace quillet {

namespace {

// wl_shm formats in the little-endian byte order the protocol uses.
constexpr uint32_t formatArgb8888 = WL_SHM_FORMAT_ARGB8888;
constexpr uint32_t formatXrgb8888 = WL_SHM_FORMAT_XRGB8888;
constexpr uint32_t formatAbgr8888 = WL_SHM_FORMAT_ABGR8888;
constexpr uint32_t formatXbgr8888 = WL_SHM_FORMAT_XBGR8888;

QImage::Format qtFormat(uint32_t format)
{
    switch (format) {
    case formatArgb8888:
    case formatXrgb8888:
        // A screen has no transparency: the fourth byte is padding whatever it is called.
        return QImage::Format_RGB32;
    case formatAbgr8888:
    case formatXbgr8888:
        return QImage::Format_RGBX8888;
    default:
        return QImage::Format_Invalid;
    }
}

struct Mapping {
    void* address;
    size_t bytes;
};

void unmapPixels(void* info)
{
    auto* m = static_cast<Mapping*>(info);
    munmap(m->address, m->bytes);
    delete m;
}

struct Output {
    uint32_t global = 0;
    wl_output* proxy = nullptr;
    uint32_t version = 0;
    QString name;
    QPoint position;
    int transform = 0;
};

struct Frame {
    ScreencopySession::Impl* session = nullptr;
    zwlr_screencopy_frame_v1* proxy = nullptr;
    uint32_t format = 0;
    QSize size;
    uint32_t stride = 0;
    bool shmOffered = false;
    bool copying = false;
    bool ready = false;
    bool failed = false;
    bool yInverted = false;
    QString error;
    uchar* pixels = nullptr;
    size_t bytes = 0;
    wl_buffer* buffer = nullptr;

    bool finished() const { return ready || failed; }
    void requestCopy(wl_shm* shm);
    void release();
};

} // namespace

struct ScreencopySession::Impl {
    QByteArray displayName;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    zwlr_screencopy_manager_v1* manager = nullptr;
    uint32_t managerVersion = 0;
    std::vector<std::unique_ptr<Output>> outputs;

    ~Impl() { disconnect(); }
    bool connect(QString* why);
    void disconnect();
    bool broken() const { return !display || wl_display_get_error(display) != 0; }
    bool dispatchUntil(const std::function<bool()>& done, const QElapsedTimer& clock, int limitMs);
    bool roundtrip(const QElapsedTimer& clock, int limitMs);
    Output* outputFor(const Target& t);
};

namespace {

void frameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width,
    uint32_t height, uint32_t stride)
{
    auto* f = static_cast<Frame*>(data);
    // Offered once per frame; keep the first format we can read.
    if (f->shmOffered || qtFormat(format) == QImage::Format_Invalid)
        return;
    f->shmOffered = true;
    f->format = format;
    f->size = QSize(int(width), int(height));
    f->stride = stride;
}

void frameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags)
{
    static_cast<Frame*>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
}

void frameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t)
{
    static_cast<Frame*>(data)->ready = true;
}

void frameFailed(void* data, zwlr_screencopy_frame_v1*)
{
    auto* f = static_cast<Frame*>(data);
    f->failed = true;
    f->error = QStringLiteral("合成器没能复制这块屏幕");
}

void frameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) { }
void frameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) { }

void frameBufferDone(void* data, zwlr_screencopy_frame_v1*);

const zwlr_screencopy_frame_v1_listener frameListener = {
    .buffer = frameBuffer,
    .flags = frameFlags,
    .ready = frameReady,
    .failed = frameFailed,
    .damage = frameDamage,
    .linux_dmabuf = frameDmabuf,
    .buffer_done = frameBufferDone,
};

void outputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
    const char*, const char*, int32_t transform)
{
    auto* o = static_cast<Output*>(data);
    o->position = QPoint(x, y);
    o->transform = transform;
}

void outputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) { }
void outputDone(void*, wl_output*) { }
void outputScale(void*, wl_output*, int32_t) { }

void outputName(void* data, wl_output*, const char* name)
{
    static_cast<Output*>(data)->name = QString::fromUtf8(name);
}

void outputDescription(void*, wl_output*, const char*) { }

const wl_output_listener outputListener = {
    .geometry = outputGeometry,
    .mode = outputMode,
    .done = outputDone,
    .scale = outputScale,
    .name = outputName,
    .description = outputDescription,
};

void registryGlobal(
    void* data, wl_registry* registry, uint32_t global, const char* interface, uint32_t version)
{
    auto* s = static_cast<ScreencopySession::Impl*>(data);
    const QByteArray name(interface);
    if (name == wl_shm_interface.name && !s->shm) {
        s->shm = static_cast<wl_shm*>(wl_registry_bind(registry, global, &wl_shm_interface, 1));
    } else if (name == zwlr_screencopy_manager_v1_interface.name && !s->manager) {
        s->managerVersion = std::min<uint32_t>(version, 3);
        s->manager = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
            registry, global, &zwlr_screencopy_manager_v1_interface, s->managerVersion));
    } else if (name == wl_output_interface.name) {
        auto o = std::make_unique<Output>();
        o->global = global;
        o->version = std::min<uint32_t>(version, 4);
        o->proxy = static_cast<wl_output*>(
            wl_registry_bind(registry, global, &wl_output_interface, o->version));
        wl_output_add_listener(o->proxy, &outputListener, o.get());
        s->outputs.push_back(std::move(o));
    }
}

void destroyOutput(Output& o)
{
    if (o.version >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(o.proxy);
    else
        wl_output_destroy(o.proxy);
}

void registryGlobalRemove(void* data, wl_registry*, uint32_t global)
{
    auto* s = static_cast<ScreencopySession::Impl*>(data);
    std::erase_if(s->outputs, [global](const std::unique_ptr<Output>& o) {
        if (o->global != global)
            return false;
        destroyOutput(*o);
        return true;
    });
}

const wl_registry_listener registryListener = {
    .global = registryGlobal,
    .global_remove = registryGlobalRemove,
};

void Frame::requestCopy(wl_shm* shm)
{
    if (copying || finished())
        return;
    copying = true;
    if (!shmOffered || size.isEmpty() || stride < uint32_t(size.width()) * 4) {
        failed = true;
        error = QStringLiteral("合成器没有提供可读的屏幕像素格式");
        return;
    }
    bytes = size_t(stride) * size_t(size.height());
    const int fd = memfd_create("quillet-screen", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(bytes)) != 0) {
        if (fd >= 0)
            close(fd);
        failed = true;
        error = QStringLiteral("没有足够的内存存放截图");
        return;
    }
    void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        failed = true;
        error = QStringLiteral("没有足够的内存存放截图");
        return;
    }
    pixels = static_cast<uchar*>(map);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(bytes));
    buffer
        = wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), int32_t(stride), format);
    wl_shm_pool_destroy(pool);
    close(fd); // the compositor holds its own reference once the request is sent
    zwlr_screencopy_frame_v1_copy(proxy, buffer);
}

void frameBufferDone(void* data, zwlr_screencopy_frame_v1*)
{
    auto* f = static_cast<Frame*>(data);
    f->requestCopy(f->session->shm);
}

void Frame::release()
{
    if (buffer)
        wl_buffer_destroy(buffer);
    if (proxy)
        zwlr_screencopy_frame_v1_destroy(proxy);
    if (pixels)
        munmap(pixels, bytes);
    buffer = nullptr;
    proxy = nullptr;
    pixels = nullptr;
}

} // namespace

bool ScreencopySession::Impl::connect(QString* why)
{
    if (display && !broken())
        return true;
    disconnect();
    display = wl_display_connect(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!display) {
        if (why)
            *why = QStringLiteral("连接不上 Wayland 合成器");
        return false;
    }
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, this);
    QElapsedTimer clock;
    clock.start();
    // The first round trip lists the globals, the second the outputs' names and places.
    if (!roundtrip(clock, 2000) || !roundtrip(clock, 2000)) {
        if (why)
            *why = QStringLiteral("Wayland 合成器没有回应");
        disconnect();
        return false;
    }
    return true;
}

void ScreencopySession::Impl::disconnect()
{
    if (!display)
        return;
    for (const auto& o : outputs)
        destroyOutput(*o);
    outputs.clear();
    if (manager)
        zwlr_screencopy_manager_v1_destroy(manager);
    if (shm)
        wl_shm_destroy(shm);
    if (registry)
        wl_registry_destroy(registry);
    wl_display_disconnect(display);
    display = nullptr;
    registry = nullptr;
    shm = nullptr;
    manager = nullptr;
}

bool ScreencopySession::Impl::dispatchUntil(
    const std::function<bool()>& done, const QElapsedTimer& clock, int limitMs)
{
    while (!done()) {
        if (broken())
            return false;
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                return false;
        }
        if (done()) {
            wl_display_cancel_read(display);
            return true;
        }
        wl_display_flush(display);
        const qint64 left = limitMs - clock.elapsed();
        pollfd pfd {wl_display_get_fd(display), POLLIN, 0};
        const int n = left > 0 ? poll(&pfd, 1, int(left)) : 0;
        if (n <= 0) {
            wl_display_cancel_read(display);
            if (n < 0 && errno == EINTR)
                continue;
            return false; // out of time, or the socket failed
        }
        if (wl_display_read_events(display) != 0 || wl_display_dispatch_pending(display) < 0)
            return false;
    }
    return true;
}

namespace {
void syncDone(void* data, wl_callback* callback, uint32_t)
{
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}
const wl_callback_listener syncListener = {.done = syncDone};
} // namespace

bool ScreencopySession::Impl::roundtrip(const QElapsedTimer& clock, int limitMs)
{
    // Heap-held: if the wait runs out, the callback may still fire during a later dispatch.
    auto* fired = new bool(false);
    wl_callback* cb = wl_display_sync(display);
    wl_callback_add_listener(cb, &syncListener, fired);
    const bool ok = dispatchUntil([fired] { return *fired; }, clock, limitMs);
    if (ok)
        delete fired;
    // else: leaked on purpose, a few bytes against a use after free; the connection is dropped
    // by the caller and with it the callback.
    return ok;
}

Output* ScreencopySession::Impl::outputFor(const Target& t)
{
    for (const auto& o : outputs) {
        if (!t.name.isEmpty() && o->name == t.name)
            return o.get();
    }
    for (const auto& o : outputs) {
        if (o->position == t.logicalTopLeft)
            return o.get();
    }
    return nullptr;
}

ScreencopySession::ScreencopySession(QByteArray display)
    : d(std::make_unique<Impl>())
{
    d->displayName = std::move(display);
}

ScreencopySession::~ScreencopySession() = default;

bool ScreencopySession::available(QString* why)
{
    if (!d->connect(why))
        return false;
    if (!d->manager) {
        if (why)
            *why = QStringLiteral("这个合成器不提供屏幕复制协议（wlr-screencopy）");
        return false;
    }
    if (!d->shm) {
        if (why)
            *why = QStringLiteral("这个合成器不提供共享内存缓冲区");
        return false;
    }
    return true;
}

GrabResult ScreencopySession::grab(const QList<Target>& targets, int timeoutMs)
{
    GrabResult result;
    QString why;
    if (!available(&why)) {
        result.error = why;
        return result;
    }
    QElapsedTimer clock;
    clock.start();
    // Outputs may have come or gone since the last grab.
    if (!d->roundtrip(clock, timeoutMs)) {
        d->disconnect();
        result.error = QStringLiteral("Wayland 合成器没有回应");
        return result;
    }

    std::vector<std::unique_ptr<Frame>> frames;
    frames.reserve(size_t(targets.size()));
    for (const Target& t : targets) {
        auto f = std::make_unique<Frame>();
        f->session = d.get();
        if (Output* o = d->outputFor(t)) {
            // Every output at once: the compositor copies them in the same frame.
            f->proxy = zwlr_screencopy_manager_v1_capture_output(d->manager, 0, o->proxy);
            zwlr_screencopy_frame_v1_add_listener(f->proxy, &frameListener, f.get());
        } else {
            f->failed = true;
        }
        frames.push_back(std::move(f));
    }
    const bool oldProtocol = d->managerVersion < 3; // no buffer_done: the buffer event is all
    const bool finished = d->dispatchUntil(
        [&] {
            bool all = true;
            for (const auto& f : frames) {
                if (oldProtocol && f->shmOffered)
                    f->requestCopy(d->shm);
                all = all && f->finished();
            }
            return all;
        },
        clock, timeoutMs);

    for (size_t i = 0; i < frames.size(); ++i) {
        Frame& f = *frames[i];
        QImage image;
        if (f.ready && f.pixels) {
            const Output* o = d->outputFor(targets[int(i)]);
            const int transform = o ? o->transform : 0;
            if (transform == 0 && !f.yInverted && qtFormat(f.format) == QImage::Format_RGB32) {
                // The usual case: the image keeps the mapping the compositor wrote into.
                image = QImage(f.pixels, f.size.width(), f.size.height(), int(f.stride),
                    QImage::Format_RGB32, &unmapPixels, new Mapping {f.pixels, f.bytes});
                f.pixels = nullptr;
            } else {
                const QImage view(
                    f.pixels, f.size.width(), f.size.height(), int(f.stride), qtFormat(f.format));
                image = uprightOutputImage(view, transform, f.yInverted)
                            .convertToFormat(QImage::Format_RGB32);
                if (image.constBits() == f.pixels)
                    image = image.copy(); // the mapping goes away below
            }
            const QSize want = targets[int(i)].imageSize;
            // Only a fractional scale Qt rounded differently gives another size.
            if (!want.isEmpty() && image.size() != want)
                image = image.scaled(want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        } else if (!f.error.isEmpty() && !result.error) {
            result.error = f.error;
        }
        f.release();
        result.images.append(image);
    }
    if (!finished) {
        d->disconnect(); // a frame may still answer; a fresh connection next time
        result.error = QStringLiteral("合成器复制屏幕超时");
    } else {
        bool any = false;
        for (const QImage& i : result.images)
            any = any || !i.isNull();
        if (any)
            result.error.reset(); // a screen that failed alone comes back null
        else if (!result.error)
            result.error = QStringLiteral("没有找到要截取的屏幕");
    }
    return result;
}

} // namespace quillet
