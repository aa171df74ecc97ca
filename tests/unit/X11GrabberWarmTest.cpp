// The grabbing thread against a private Xvfb: frames kept between captures must never show one
// capture's pixels in another, must not pile up, and must survive the server going away.
#include "platform/x11/X11Grabber.h"

#include "../common/DisplayFd.h"
#include "WaitUntil.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

using namespace quillet;

namespace {

using Method = X11Grabber::Method;

bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000)
{
    return test::waitUntil(done, timeoutMs);
}

// A picture that differs for every pixel and every seed, so a stale frame cannot pass.
QRgb patternPixel(int x, int y, int seed)
{
    return qRgb((x * 7 + seed * 31) & 255, (y * 5 + seed * 17) & 255,
        ((x >> 5) + (y >> 5) * 3 + seed * 59) & 255);
}

// Pixels of `img` (showing the root window from `origin`) that differ from the pattern.
int mismatches(const QImage& img, int seed, QPoint origin = {})
{
    if (img.isNull() || img.format() != QImage::Format_RGB32)
        return -1;
    int bad = 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if ((row[x] ^ patternPixel(origin.x() + x, origin.y() + y, seed)) & 0xffffff)
                ++bad;
        }
    }
    return bad;
}

qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// A private X server for one test, stopped by its PID.
class Xvfb {
public:
    ~Xvfb() { stop(); }

    // On a free display number, or on `number` again after `stop`.
    bool start(QSize size, int number = -1)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        QStringList args;
        if (number >= 0)
            args << QStringLiteral(":%1").arg(number);
        else
            args << QStringLiteral("-displayfd") << QString::number(fds[1]);
        args << "-screen"
             << "0" << QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()) << "-noreset"
             << "-nolisten"
             << "tcp";
        server = std::make_unique<QProcess>();
        server->setStandardOutputFile(QProcess::nullDevice());
        server->setStandardErrorFile(QProcess::nullDevice());
        server->start(QStringLiteral("Xvfb"), args);
        const bool started = server->waitForStarted(5000);
        ::close(fds[1]);
        if (started && number < 0)
            number = test::readDisplayNumber(fds[0], 10000).value_or(-1);
        ::close(fds[0]);
        if (!started || number < 0)
            return false;
        name = QStringLiteral(":%1").arg(number).toLatin1();
        displayNumber = number;
        return waitFor([this] {
            xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
            const bool ok = !xcb_connection_has_error(c);
            xcb_disconnect(c);
            return ok;
        });
    }

    void stop()
    {
        if (!server)
            return;
        server->terminate(); // SIGTERM to our own child: it removes its lock and socket
        if (!server->waitForFinished(5000)) {
            server->kill();
            server->waitForFinished(5000);
        }
        server.reset();
    }

    // Paints the pattern for `seed` over the whole root window and waits until it is shown.
    bool paint(int seed)
    {
        xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return false;
        }
        xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const int w = s->width_in_pixels, h = s->height_in_pixels;
        const xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, s->root, 0, nullptr);
        const int band = std::max(1, 200000 / (w * 4));
        QImage rows(w, band, QImage::Format_RGB32);
        for (int y0 = 0; y0 < h; y0 += band) {
            const int n = std::min(band, h - y0);
            for (int y = 0; y < n; ++y) {
                auto* row = reinterpret_cast<QRgb*>(rows.scanLine(y));
                for (int x = 0; x < w; ++x)
                    row[x] = patternPixel(x, y0 + y, seed);
            }
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, gc, uint16_t(w), uint16_t(n), 0,
                int16_t(y0), 0, 24, uint32_t(w * 4 * n), rows.constBits());
        }
        // A round trip after the last request: everything before it has been drawn.
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        const bool ok = !xcb_connection_has_error(c);
        xcb_disconnect(c);
        return ok;
    }

    QByteArray display() const { return name; }
    int number() const { return displayNumber; }

private:
    std::unique_ptr<QProcess> server;
    QByteArray name;
    int displayNumber = -1;
};

class X11GrabberWarm : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
    }

    // Starts the server and a grabber on it.
    void startAt(QSize size, Method method = Method::SharedMemory)
    {
        ASSERT_TRUE(x.start(size)) << "Xvfb did not start";
        grabber = std::make_unique<X11Grabber>(method, x.display());
    }

    std::optional<GrabResult> grab(const QList<X11Grabber::Target>& targets)
    {
        std::optional<GrabResult> result;
        grabber->grabTargets(targets, [&result](GrabResult r) { result = std::move(r); });
        if (!waitFor([&result] { return result.has_value(); }, 10000))
            return std::nullopt;
        return result;
    }

    // The images of a grab that must succeed.
    QList<QImage> grabImages(const QList<X11Grabber::Target>& targets)
    {
        std::optional<GrabResult> r = grab(targets);
        EXPECT_TRUE(r.has_value()) << "the grab never came back";
        if (!r)
            return {};
        EXPECT_FALSE(r->error.has_value()) << (r->error ? r->error->toStdString() : "");
        EXPECT_EQ(r->images.size(), targets.size());
        return r->images;
    }

    static X11Grabber::Target target(QRect r) { return {r, r.size()}; }

    Xvfb x;
    std::unique_ptr<X11Grabber> grabber;
};

} // namespace

TEST_F(X11GrabberWarm, AHeldImageKeepsItsPixelsAndOnlyReleasedFramesAreReused)
{
    startAt(QSize(640, 480));
    const QList<X11Grabber::Target> screen = {target(QRect(0, 0, 640, 480))};

    ASSERT_TRUE(x.paint(1));
    QImage first = grabImages(screen).value(0);
    EXPECT_EQ(mismatches(first, 1), 0);

    // A new capture while the first is still held: new pixels, and the held one is untouched.
    ASSERT_TRUE(x.paint(2));
    QImage second = grabImages(screen).value(0);
    EXPECT_EQ(mismatches(second, 2), 0);
    EXPECT_EQ(mismatches(first, 1), 0);
    EXPECT_NE(first.constBits(), second.constBits());

    // A copy keeps the frame leased as much as the original does.
    QImage alias = second;
    const uchar* secondFrame = second.constBits();
    second = QImage();
    first = QImage();
    // The first frame comes back beyond what one screen needs and is let go.
    ASSERT_TRUE(waitFor([this] { return grabber->poolStats().segments == 1; }));
    ASSERT_TRUE(x.paint(3));
    QImage third = grabImages(screen).value(0);
    EXPECT_EQ(mismatches(third, 3), 0);
    EXPECT_EQ(mismatches(alias, 2), 0);
    EXPECT_NE(third.constBits(), secondFrame);

    // Once nobody holds a frame it is the one the next capture writes into.
    alias = QImage();
    ASSERT_TRUE(waitFor([this] { return grabber->poolStats().segments == 1; }));
    const uchar* thirdFrame = third.constBits();
    third = QImage();
    ASSERT_TRUE(x.paint(4));
    const QImage fourth = grabImages(screen).value(0);
    EXPECT_EQ(mismatches(fourth, 4), 0);
    // The spare was still mapped when the grab began, so the same address means the same frame.
    EXPECT_EQ(fourth.constBits(), thirdFrame) << "a spare frame was not reused";
    EXPECT_EQ(grabber->poolStats().segments, 1);
    EXPECT_EQ(grabber->poolStats().leased, 1);
}

TEST_F(X11GrabberWarm, RepeatedGrabsKeepOneFramePerScreenAndMemorySteady)
{
    startAt(QSize(1920, 1080));
    struct Layout {
        const char* what;
        QList<X11Grabber::Target> targets;
        qint64 frameBytes;
    };
    const Layout layouts[] = {
        {"one screen", {target(QRect(0, 0, 1920, 1080))}, 1920LL * 1080 * 4},
        {"two of one size", {target(QRect(0, 0, 960, 1080)), target(QRect(960, 0, 960, 1080))},
            1920LL * 1080 * 4},
        {"two sizes", {target(QRect(0, 0, 1280, 1080)), target(QRect(1280, 0, 640, 480))},
            (1280LL * 1080 + 640 * 480) * 4},
    };
    for (const Layout& l : layouts) {
        ASSERT_TRUE(x.paint(int(l.frameBytes & 63)));
        qint64 settled = 0;
        for (int i = 0; i < 22; ++i) {
            const QList<QImage> images = grabImages(l.targets);
            ASSERT_EQ(images.size(), l.targets.size()) << l.what;
            if (i == 0 || i == 21) {
                for (int k = 0; k < images.size(); ++k)
                    EXPECT_EQ(mismatches(images[k], int(l.frameBytes & 63),
                                  l.targets[k].nativeRect.topLeft()),
                        0)
                        << l.what << " screen " << k;
            }
            const X11Grabber::PoolStats st = grabber->poolStats();
            EXPECT_EQ(st.segments, l.targets.size()) << l.what << " grab " << i;
            EXPECT_EQ(st.bytes, l.frameBytes) << l.what << " grab " << i;
            if (i == 1)
                settled = residentBytes();
        }
        EXPECT_EQ(grabber->poolStats().leased, 0) << l.what;
        // Twenty more captures of multi-megabyte frames may not add even one frame of memory.
        EXPECT_LT(residentBytes() - settled, 2 << 20) << l.what;
    }
}

TEST_F(X11GrabberWarm, PreparedFramesGiveExactPixelsAndFollowTheScreens)
{
    startAt(QSize(1024, 768));
    const QList<X11Grabber::Target> two
        = {target(QRect(0, 0, 800, 600)), target(QRect(800, 0, 224, 768))};
    const qint64 twoBytes = (800LL * 600 + 224 * 768) * 4;
    grabber->prepareTargets(two);
    ASSERT_TRUE(waitFor([&] {
        const X11Grabber::PoolStats st = grabber->poolStats();
        return st.bytes == twoBytes && st.leased == 0;
    })) << "prepare did not leave one frame per screen";

    ASSERT_TRUE(x.paint(5));
    QList<QImage> images = grabImages(two);
    ASSERT_EQ(images.size(), 2);
    EXPECT_EQ(mismatches(images[0], 5), 0);
    EXPECT_EQ(mismatches(images[1], 5, QPoint(800, 0)), 0);
    EXPECT_EQ(grabber->poolStats().segments, 2) << "the grab made frames of its own";

    // While a capture is held the next one needs frames of its own; they go once let go of.
    QList<QImage> held = grabImages(two);
    EXPECT_EQ(grabber->poolStats().segments, 4);
    EXPECT_EQ(mismatches(held[0], 5), 0);
    held.clear();
    images.clear();
    ASSERT_TRUE(waitFor([this] { return grabber->poolStats().segments == 2; }));

    // The same screens again: nothing to make and nothing to drop.
    grabber->prepareTargets(two);
    images = grabImages(two); // runs after the prepare, on the same thread
    EXPECT_EQ(grabber->poolStats().segments, 2);
    EXPECT_EQ(mismatches(images[1], 5, QPoint(800, 0)), 0);
    images.clear();

    // A new layout: the frames of the old one go, the new size is made ready.
    const QList<X11Grabber::Target> one = {target(QRect(0, 0, 1024, 768))};
    grabber->prepareTargets(one);
    ASSERT_TRUE(waitFor([&] {
        const X11Grabber::PoolStats st = grabber->poolStats();
        return st.segments == 1 && st.bytes == 1024LL * 768 * 4 && st.leased == 0;
    }));
    ASSERT_TRUE(x.paint(6));
    EXPECT_EQ(mismatches(grabImages(one).value(0), 6), 0);
}

TEST_F(X11GrabberWarm, ALostServerGivesAnErrorAndTheNextOneIsUsed)
{
    for (const Method method : {Method::SharedMemory, Method::Auto, Method::GetImage}) {
        SCOPED_TRACE(int(method));
        startAt(QSize(320, 240), method);
        const QList<X11Grabber::Target> screen = {target(QRect(0, 0, 320, 240))};
        grabber->prepareTargets(screen);
        ASSERT_TRUE(x.paint(7));
        const QImage before = grabImages(screen).value(0);
        const int number = x.number();

        x.stop();
        const std::optional<GrabResult> lost = grab(screen);
        ASSERT_TRUE(lost.has_value()) << "the grab hung on a dead server";
        EXPECT_TRUE(lost->error.has_value());
        EXPECT_TRUE(lost->images.isEmpty());
        EXPECT_EQ(mismatches(before, 7), 0) << "a held capture changed with the server gone";

        // The same display comes back: the grabber connects again by itself.
        ASSERT_TRUE(x.start(QSize(320, 240), number));
        ASSERT_TRUE(x.paint(8));
        EXPECT_EQ(mismatches(grabImages(screen).value(0), 8), 0);
        EXPECT_EQ(mismatches(before, 7), 0);
        EXPECT_LE(grabber->poolStats().segments, 2);
        grabber.reset();
        x.stop();
    }
}

TEST_F(X11GrabberWarm, ImagesOutliveTheGrabberAndLeaveNoSegmentBehind)
{
    startAt(QSize(320, 240));
    const auto ownSegments = [] {
        // Segments this process made that are still mapped anywhere.
        QFile f(QStringLiteral("/proc/sysvipc/shm"));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        int n = 0;
        const QByteArray pid = QByteArray::number(qint64(::getpid()));
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> cols = line.simplified().split(' ');
            n += cols.size() > 8 && cols[4] == pid ? 1 : 0;
        }
        return n;
    };
    const int baseline = ownSegments();
    const QList<X11Grabber::Target> screen = {target(QRect(0, 0, 320, 240))};
    ASSERT_TRUE(x.paint(9));
    QImage kept = grabImages(screen).value(0);
    grabber.reset();
    EXPECT_EQ(mismatches(kept, 9), 0);
    kept = QImage();
    EXPECT_TRUE(waitFor([&] { return ownSegments() == baseline; }))
        << ownSegments() - baseline << " segments left";

    // The one-off path unmaps its frame with the image as well.
    const GrabResult once = X11Grabber::grabBlocking(x.display(), screen, Method::SharedMemory);
    ASSERT_FALSE(once.error.has_value());
    EXPECT_EQ(mismatches(once.images.value(0), 9), 0);
}
