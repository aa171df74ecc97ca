#pragma once

#include "platform/x11/XcbHandles.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

namespace quillet {

// A connection to the X server for reading the root window, with what every read needs to know.
struct X11Connection {
    XcbConnection conn;
    xcb_screen_t* screen = nullptr;
    bool swapBytes = false; // the server stores pixels most significant byte first

    xcb_connection_t* get() const { return conn.get(); }
    QRect rootRect() const
    {
        return screen ? QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels) : QRect();
    }
    bool broken() const { return !conn || xcb_connection_has_error(conn.get()); }
};

// Connects to `display` (empty: the DISPLAY of the environment). The reason when it cannot, or
// when the root window's pixels are not 32-bit words this program can hand to QImage.
std::optional<QString> openX11Connection(const QByteArray& display, X11Connection& out);

// Whether the server offers MIT-SHM at all; a remote server may still refuse our segments.
bool serverHasShm(xcb_connection_t* c);

// Reads `r` of the root window into `img` at `at` with plain GetImage requests.
std::optional<QString> readWithGetImage(
    const X11Connection& c, const QRect& r, QImage& img, QPoint at);

// Copies rows of 32-bit pixels from the server's layout into the image, B,G,R,X in memory order.
void copyRows(QImage& img, int dstX, int dstY, const uchar* src, int width, int rows,
    size_t srcStride, bool swapBytes);

// Drops errors of requests nobody waits for, so they do not pile up on a long-lived connection.
void discardEvents(xcb_connection_t* c);

namespace grabText {
QString xError(const xcb_generic_error_t* e);
QString cannotConnect(const QByteArray& display);
QString noShm();
QString outOfMemory();
QString lostConnection();
} // namespace grabText

} // namespace quillet
