#include "platform/x11/GrabSession.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace quillet {

namespace {

// The frames a layout needs, by byte size, and a rectangle of each size to warm a frame with.
struct Frames {
    QMap<size_t, int> counts;
    QMap<size_t, QRect> rects;
};

QRect readableRect(const X11Grabber::Target& t, const QRect& root)
{
    return t.nativeRect & root;
}

// Only whole screens go through shared memory; a screen reaching beyond the root window is read
// with GetImage into a black frame.
bool wholeOnRoot(const X11Grabber::Target& t, const QRect& r)
{
    return !r.isEmpty() && r.size() == t.imageSize;
}

Frames framesFor(const QList<X11Grabber::Target>& targets, const QRect& root)
{
    Frames f;
    for (const X11Grabber::Target& t : targets) {
        const QRect r = readableRect(t, root);
        if (!wholeOnRoot(t, r))
            continue;
        const size_t bytes = size_t(r.width()) * 4 * size_t(r.height());
        ++f.counts[bytes];
        f.rects.insert(bytes, r);
    }
    return f;
}

// Reads one byte of every page so this process has the frame mapped before the first capture
// reads it; the pages themselves are the server's, written by the throwaway read.
void mapInHere(const ShmSegment* s)
{
    const volatile uchar* p = s->data();
    uchar sink = 0;
    for (size_t i = 0; i < s->bytes; i += 4096)
        sink ^= p[i];
    Q_UNUSED(sink);
}

} // namespace

GrabSession::GrabSession(QByteArray d)
    : display(std::move(d))
    , shmPool(std::make_shared<ShmPool>())
{ }

GrabSession::~GrabSession()
{
    // Closing the connection detaches everything on the server's side; images still alive keep
    // their own mapping and unmap it when they go.
    shmPool->close();
}

std::optional<QString> GrabSession::connect()
{
    if (!c.broken())
        return std::nullopt;
    // Whatever was attached went with the old connection.
    ++generation;
    std::optional<QString> failure = openX11Connection(display, c);
    if (failure) {
        c = X11Connection();
        return failure;
    }
    shm = serverHasShm(c.get());
    return std::nullopt;
}

bool GrabSession::attach(ShmSegment* s)
{
    s->xid = xcb_generate_id(c.get());
    XcbReply<xcb_generic_error_t> err(
        xcb_request_check(c.get(), xcb_shm_attach_checked(c.get(), s->xid, uint32_t(s->shmId), 0)));
    if (!s->removed) {
        shmctl(s->shmId, IPC_RMID, nullptr);
        s->removed = true;
    }
    // A broken connection answers no error at all.
    if (err || c.broken())
        return false;
    s->attachedTo = generation;
    return true;
}

bool GrabSession::fill(ShmSegment* s, const QRect& r)
{
    xcb_generic_error_t* rawErr = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c.get(),
        xcb_shm_get_image(c.get(), c.screen->root, int16_t(r.x()), int16_t(r.y()),
            uint16_t(r.width()), uint16_t(r.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, s->xid, 0),
        &rawErr));
    XcbReply<xcb_generic_error_t> err(rawErr);
    return reply && size_t(reply->size) >= size_t(r.width()) * 4 * size_t(r.height());
}

void GrabSession::drop(std::unique_ptr<ShmSegment> s)
{
    if (s && s->attachedTo == generation && !c.broken()) {
        xcb_shm_detach(c.get(), s->xid);
        xcb_flush(c.get());
    }
}

ShmSegment* GrabSession::lease(size_t bytes)
{
    while (ShmSegment* s = shmPool->take(bytes)) {
        if (s->attachedTo == generation || attach(s))
            return s;
        drop(shmPool->remove(s));
    }
    std::unique_ptr<ShmSegment> fresh = ShmSegment::create(bytes);
    if (!fresh)
        return nullptr;
    ShmSegment* s = shmPool->add(std::move(fresh));
    if (attach(s))
        return s;
    if (!c.broken())
        shm = false; // a remote server cannot see our memory, and will not on this connection
    drop(shmPool->remove(s));
    return nullptr;
}

std::optional<QImage> GrabSession::readWithShm(const QRect& r)
{
    ShmSegment* s = lease(size_t(r.width()) * 4 * size_t(r.height()));
    if (!s)
        return std::nullopt;
    if (!fill(s, r)) {
        // After a lost connection the segment is still good for the next one; a server that
        // refused to write into it is not asked again.
        if (c.broken())
            shmPool->giveBack(s);
        else
            drop(shmPool->remove(s));
        return std::nullopt;
    }
    QImage img = shmPool->wrap(s, r.size());
    if (img.isNull())
        return std::nullopt;
    if (c.swapBytes) {
        for (int y = 0; y < img.height(); ++y)
            copyRows(img, 0, y, img.constScanLine(y), img.width(), 1, size_t(r.width()) * 4, true);
    }
    return img;
}

GrabResult GrabSession::grab(const QList<X11Grabber::Target>& targets, X11Grabber::Method method)
{
    using Method = X11Grabber::Method;
    GrabResult result;
    if (auto failure = connect()) {
        result.error = failure;
        return result;
    }
    const QRect root = c.rootRect();
    bool shmUsable = method != Method::GetImage && shm;
    if (method == Method::SharedMemory && !shmUsable) {
        result.error = grabText::noShm();
        return result;
    }
    if (shmUsable)
        shmPool->setWanted(framesFor(targets, root).counts);

    for (const X11Grabber::Target& t : targets) {
        const QRect r = readableRect(t, root);
        if (r.isEmpty() || t.imageSize.isEmpty()) {
            result.images.append(QImage()); // off the root window: not matched, skipped
            continue;
        }
        std::optional<QImage> img;
        if (shmUsable && wholeOnRoot(t, r)) {
            img = readWithShm(r);
            if (!img && method == Method::SharedMemory) {
                result.error = c.broken() ? grabText::lostConnection() : grabText::xError(nullptr);
                break;
            }
            shmUsable = img.has_value(); // refused once, it will be refused again
        }
        if (!img) {
            QImage plain(t.imageSize, QImage::Format_RGB32);
            if (plain.isNull()) {
                result.error = grabText::outOfMemory();
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
    if (c.broken())
        result.error = grabText::lostConnection();
    if (result.error)
        result.images.clear(); // their segments go back to the pool
    trim();
    if (!c.broken())
        discardEvents(c.get());
    return result;
}

void GrabSession::prepare(const QList<X11Grabber::Target>& targets, X11Grabber::Method method)
{
    if (connect())
        return; // the grab will say why
    if (method == X11Grabber::Method::GetImage || !shm) {
        shmPool->setWanted({});
        trim();
        return;
    }
    const Frames frames = framesFor(targets, c.rootRect());
    shmPool->setWanted(frames.counts);
    trim();

    // Frames left from an earlier connection are attached again and written once.
    for (ShmSegment* s : shmPool->takeStale(generation)) {
        const auto rect = frames.rects.constFind(s->bytes);
        if (rect != frames.rects.cend() && attach(s) && fill(s, *rect))
            shmPool->giveBack(s);
        else
            drop(shmPool->remove(s));
    }
    for (auto it = frames.counts.cbegin(); it != frames.counts.cend(); ++it) {
        for (int have = shmPool->countOf(it.key()); have < it.value() && shm; ++have) {
            ShmSegment* s = lease(it.key());
            if (!s)
                break;
            // The throwaway read makes the server allocate and map the pages.
            if (!fill(s, frames.rects.value(it.key()))) {
                drop(shmPool->remove(s));
                break;
            }
            mapInHere(s);
            shmPool->giveBack(s);
        }
    }
    if (!c.broken())
        discardEvents(c.get());
}

void GrabSession::trim()
{
    for (std::unique_ptr<ShmSegment>& s : shmPool->takeSurplus())
        drop(std::move(s));
}

} // namespace quillet
