#include "platform/x11/X11Grabber.h"

#include "platform/Geometry.h"
#include "platform/x11/X11WindowList.h"
#include "platform/x11/XcbHandles.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThreadPool>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

namespace quillet {

namespace {

// A SysV segment the server writes one screen into. The id is removed as soon as the server has
// attached (or refused), so the memory goes with the last detach even if the program dies. Once
// written, the server lets go of it and it becomes the image's own pixel buffer: copying tens of
// megabytes into fresh memory would double the time the user waits for the overlay.
class ShmSegment {
public:
    static std::unique_ptr<ShmSegment> create(xcb_connection_t* c, size_t bytes)
    {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0)
            return nullptr;
        void* addr = shmat(id, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return nullptr;
        }
        std::unique_ptr<ShmSegment> s(new ShmSegment(addr));
        s->seg = xcb_generate_id(c);
        XcbReply<xcb_generic_error_t> err(
            xcb_request_check(c, xcb_shm_attach_checked(c, s->seg, id, 0)));
        shmctl(id, IPC_RMID, nullptr);
        if (err)
            return nullptr; // a remote server cannot see our memory
        s->conn = c;
        return s;
    }

    ~ShmSegment()
    {
        releaseFromServer();
        shmdt(addr);
    }

    void releaseFromServer()
    {
        if (conn)
            xcb_shm_detach(conn, seg);
        conn = nullptr;
    }

    uchar* data() const { return static_cast<uchar*>(addr); }
    xcb_shm_seg_t id() const { return seg; }

    // The image owns the mapping from here on and unmaps it when its last copy goes.
    static QImage adopt(std::unique_ptr<ShmSegment> s, QSize size)
    {
        s->releaseFromServer();
        ShmSegment* raw = s.release();
        QImage img(
            raw->data(), size.width(), size.height(), size.width() * 4, QImage::Format_RGB32,
            [](void* p) { delete static_cast<ShmSegment*>(p); }, raw);
        if (img.isNull())
            delete raw;
        return img;
    }

private:
    explicit ShmSegment(void* a)
        : addr(a)
    { }
    xcb_connection_t* conn = nullptr; // set while the server has the segment attached
    void* addr;
    xcb_shm_seg_t seg = 0;
};

bool hasShm(xcb_connection_t* c)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present)
        return false;
    XcbReply<xcb_shm_query_version_reply_t> v(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return v != nullptr;
}

QString xError(const xcb_generic_error_t* e)
{
    return QStringLiteral("读取屏幕图像失败（X 错误 %1）/ Could not read the screen (X error %1)")
        .arg(e ? e->error_code : 0);
}

// Copies rows of 32-bit pixels from the server's layout into the image, B,G,R,X in memory order.
void copyRows(QImage& img, int dstX, int dstY, const uchar* src, int width, int rows,
    size_t srcStride, bool swapBytes)
{
    for (int row = 0; row < rows; ++row) {
        auto* dst = reinterpret_cast<quint32*>(img.scanLine(dstY + row)) + dstX;
        const uchar* s = src + srcStride * size_t(row);
        if (!swapBytes) {
            std::memcpy(dst, s, size_t(width) * 4);
            continue;
        }
        for (int x = 0; x < width; ++x)
            dst[x] = qFromBigEndian<quint32>(s + 4 * x);
    }
}

struct Connection {
    XcbConnection conn;
    xcb_screen_t* screen = nullptr;
    bool swapBytes = false;
};

std::optional<QString> openConnection(const QByteArray& display, Connection& out)
{
    int screenNumber = 0;
    out.conn.reset(xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber));
    if (!out.conn || xcb_connection_has_error(out.conn.get()))
        return QStringLiteral("无法连接到 X 服务器（DISPLAY=%1）/ Cannot connect to the X server")
            .arg(QString::fromLocal8Bit(display));
    const xcb_setup_t* setup = xcb_get_setup(out.conn.get());
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return QStringLiteral("X 服务器没有可用的屏幕 / The X server reports no screen");
    out.screen = it.data;

    int bpp = 0;
    const xcb_format_t* f = xcb_setup_pixmap_formats(setup);
    for (int i = 0; i < xcb_setup_pixmap_formats_length(setup); ++i) {
        if (f[i].depth == out.screen->root_depth)
            bpp = f[i].bits_per_pixel;
    }
    // Depth 24 (and 32) are stored as 32-bit words B,G,R,X; 16-bit and 30-bit desktops are not.
    if (bpp != 32 || (out.screen->root_depth != 24 && out.screen->root_depth != 32))
        return QStringLiteral("不支持的屏幕色深 %1 位 / Unsupported screen depth %1")
            .arg(out.screen->root_depth);
    out.swapBytes = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    return std::nullopt;
}

// Plain GetImage, in bands of rows so no request exceeds what the server accepts; all bands are
// asked for before the first is read, so the round trips overlap.
std::optional<QString> readWithGetImage(const Connection& c, const QRect& r, QImage& img, QPoint at)
{
    const size_t stride = size_t(r.width()) * 4;
    const size_t maxBytes = std::min<size_t>(
        size_t(xcb_get_maximum_request_length(c.conn.get())) * 4, size_t(16) << 20);
    const int bandRows = std::clamp(int(maxBytes / stride), 1, r.height());
    QList<xcb_get_image_cookie_t> cookies;
    for (int y = 0; y < r.height(); y += bandRows) {
        const int rows = std::min(bandRows, r.height() - y);
        cookies.append(xcb_get_image(c.conn.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, c.screen->root,
            int16_t(r.x()), int16_t(r.y() + y), uint16_t(r.width()), uint16_t(rows), ~0u));
    }
    std::optional<QString> failure;
    int y = 0;
    for (const xcb_get_image_cookie_t& cookie : cookies) {
        const int rows = std::min(bandRows, r.height() - y);
        xcb_generic_error_t* rawErr = nullptr;
        XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c.conn.get(), cookie, &rawErr));
        XcbReply<xcb_generic_error_t> err(rawErr);
        // Every reply is read even after a failure, so none is left queued on the connection.
        if (!failure && !reply)
            failure = xError(err.get());
        else if (!failure && size_t(xcb_get_image_data_length(reply.get())) < stride * size_t(rows))
            failure = xError(nullptr);
        else if (!failure)
            copyRows(img, at.x(), at.y() + y, xcb_get_image_data(reply.get()), r.width(), rows,
                stride, c.swapBytes);
        y += rows;
    }
    return failure;
}

std::optional<QImage> readWithShm(const Connection& c, const QRect& r)
{
    const size_t stride = size_t(r.width()) * 4;
    std::unique_ptr<ShmSegment> shm = ShmSegment::create(c.conn.get(), stride * size_t(r.height()));
    if (!shm)
        return std::nullopt;
    xcb_generic_error_t* rawErr = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c.conn.get(),
        xcb_shm_get_image(c.conn.get(), c.screen->root, int16_t(r.x()), int16_t(r.y()),
            uint16_t(r.width()), uint16_t(r.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shm->id(),
            0),
        &rawErr));
    XcbReply<xcb_generic_error_t> err(rawErr);
    if (!reply || size_t(reply->size) < stride * size_t(r.height()))
        return std::nullopt;
    QImage img = ShmSegment::adopt(std::move(shm), r.size());
    if (img.isNull())
        return std::nullopt;
    if (c.swapBytes) {
        for (int y = 0; y < img.height(); ++y)
            copyRows(img, 0, y, img.constScanLine(y), img.width(), 1, stride, true);
    }
    return img;
}

} // namespace

X11Grabber::X11Grabber(Method m)
    : method(m)
{ }

X11Grabber::~X11Grabber() = default;

QList<X11Grabber::Target> X11Grabber::targetsFor(const QList<Screen>& screens)
{
    QList<Target> out;
    const QRectF primary = primaryQtGeometry();
    for (const Screen& s : screens) {
        Target t;
        t.imageSize = QSize(s.pixelWidth(), s.pixelHeight());
        // Qt keeps a screen's native top-left corner as its origin and scales only the size, so
        // the root-window rectangle starts where Qt says and spans the device-pixel size.
        const QPointF origin = s.qscreen ? QPointF(s.qscreen->geometry().topLeft())
                                         : qtFromGlobal(s.frame, primary).topLeft();
        t.nativeRect = QRect(origin.toPoint(), t.imageSize);
        out.append(t);
    }
    return out;
}

GrabResult X11Grabber::grabBlocking(
    const QByteArray& display, const QList<Target>& targets, Method method)
{
    GrabResult result;
    Connection c;
    if (auto failure = openConnection(display, c)) {
        result.error = failure;
        return result;
    }
    const QRect root(0, 0, c.screen->width_in_pixels, c.screen->height_in_pixels);

    bool shmUsable = method != Method::GetImage && hasShm(c.conn.get());
    if (method == Method::SharedMemory && !shmUsable) {
        result.error = QStringLiteral("MIT-SHM 不可用 / MIT-SHM is not available");
        return result;
    }

    for (const Target& t : targets) {
        const QRect r = t.nativeRect & root;
        if (r.isEmpty() || t.imageSize.isEmpty()) {
            result.images.append(QImage()); // off the root window: not matched, skipped
            continue;
        }
        std::optional<QImage> img;
        if (shmUsable && r.size() == t.imageSize) {
            img = readWithShm(c, r);
            if (!img && method == Method::SharedMemory) {
                result.error = xError(nullptr);
                break;
            }
            shmUsable = img.has_value(); // refused once, it will be refused again
        }
        if (!img) {
            QImage plain(t.imageSize, QImage::Format_RGB32);
            if (plain.isNull()) {
                result.error = QStringLiteral("内存不足 / Out of memory");
                break;
            }
            if (r.size() != t.imageSize)
                plain.fill(Qt::black); // the part beyond the root window
            if (auto failure
                = readWithGetImage(c, r, plain, r.topLeft() - t.nativeRect.topLeft())) {
                result.error = failure;
                break;
            }
            img = std::move(plain);
        }
        result.images.append(*img);
    }
    if (!result.error && xcb_connection_has_error(c.conn.get()))
        result.error
            = QStringLiteral("与 X 服务器的连接中断 / Lost the connection to the X server");
    if (result.error)
        result.images.clear();
    return result;
}

void X11Grabber::grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done)
{
    // A root-window grab reads what the server shows, whatever window it belongs to; X11 has no
    // way to leave a window out. `excluding` is therefore unused: the capture prelude never
    // puts anything on screen before the grab, so there is nothing to leave out.
    Q_UNUSED(excluding);
    const QList<Target> targets = targetsFor(screens);
    const QByteArray display = qgetenv("DISPLAY");
    const Method m = method;
    QThreadPool::globalInstance()->start([display, targets, m, done = std::move(done)]() mutable {
        GrabResult result = grabBlocking(display, targets, m);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

bool X11Grabber::canRecordScreen() const
{
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qgetenv("XDG_SESSION_TYPE") != QByteArrayLiteral("wayland");
}

QString X11Grabber::unavailableReason() const
{
    if (canRecordScreen())
        return {};
    return QStringLiteral(
        "当前是 Wayland 会话，墨钉暂时只能在 X11 会话中截图。请在登录时选择 X11（Xorg）会话。");
}

QList<WindowRecord> X11Grabber::windowList()
{
    return readX11WindowList();
}

} // namespace quillet
