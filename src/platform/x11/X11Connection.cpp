#include "platform/x11/X11Connection.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <xcb/shm.h>

namespace quillet {

namespace grabText {

QString xError(const xcb_generic_error_t* e)
{
    return QStringLiteral("读取屏幕图像失败（X 错误 %1）/ Could not read the screen (X error %1)")
        .arg(e ? e->error_code : 0);
}

QString cannotConnect(const QByteArray& display)
{
    return QStringLiteral("无法连接到 X 服务器（DISPLAY=%1）/ Cannot connect to the X server")
        .arg(QString::fromLocal8Bit(display.isEmpty() ? qgetenv("DISPLAY") : display));
}

QString noShm()
{
    return QStringLiteral("MIT-SHM 不可用 / MIT-SHM is not available");
}

QString outOfMemory()
{
    return QStringLiteral("内存不足 / Out of memory");
}

QString lostConnection()
{
    return QStringLiteral("与 X 服务器的连接中断 / Lost the connection to the X server");
}

} // namespace grabText

std::optional<QString> openX11Connection(const QByteArray& display, X11Connection& out)
{
    out = X11Connection();
    int screenNumber = 0;
    out.conn.reset(xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber));
    if (!out.conn || xcb_connection_has_error(out.conn.get()))
        return grabText::cannotConnect(display);
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

bool serverHasShm(xcb_connection_t* c)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present)
        return false;
    XcbReply<xcb_shm_query_version_reply_t> v(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return v != nullptr;
}

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

// In bands of rows so no request exceeds what the server accepts; all bands are asked for before
// the first is read, so the round trips overlap.
std::optional<QString> readWithGetImage(
    const X11Connection& c, const QRect& r, QImage& img, QPoint at)
{
    const size_t stride = size_t(r.width()) * 4;
    const size_t maxBytes
        = std::min<size_t>(size_t(xcb_get_maximum_request_length(c.get())) * 4, size_t(16) << 20);
    const int bandRows = std::clamp(int(maxBytes / stride), 1, r.height());
    QList<xcb_get_image_cookie_t> cookies;
    for (int y = 0; y < r.height(); y += bandRows) {
        const int rows = std::min(bandRows, r.height() - y);
        cookies.append(xcb_get_image(c.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, c.screen->root,
            int16_t(r.x()), int16_t(r.y() + y), uint16_t(r.width()), uint16_t(rows), ~0u));
    }
    std::optional<QString> failure;
    int y = 0;
    for (const xcb_get_image_cookie_t& cookie : cookies) {
        const int rows = std::min(bandRows, r.height() - y);
        xcb_generic_error_t* rawErr = nullptr;
        XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c.get(), cookie, &rawErr));
        XcbReply<xcb_generic_error_t> err(rawErr);
        // Every reply is read even after a failure, so none is left queued on the connection.
        if (!failure && !reply)
            failure = grabText::xError(err.get());
        else if (!failure && size_t(xcb_get_image_data_length(reply.get())) < stride * size_t(rows))
            failure = grabText::xError(nullptr);
        else if (!failure)
            copyRows(img, at.x(), at.y() + y, xcb_get_image_data(reply.get()), r.width(), rows,
                stride, c.swapBytes);
        y += rows;
    }
    return failure;
}

void discardEvents(xcb_connection_t* c)
{
    while (XcbReply<xcb_generic_event_t> e {xcb_poll_for_event(c)})
        ;
}

} // namespace quillet
