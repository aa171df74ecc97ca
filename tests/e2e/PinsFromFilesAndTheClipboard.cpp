// Pins made from files, the clipboard's image and its text: where they open, at what size, that
// they show and copy back their pixels exactly, what is refused, and the ways to close them all.
#include "PinJourney.h"
#include "RawClient.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace quillet::e2e {
namespace {

class PinsFromFilesAndTheClipboard : public PinJourney {
protected:
    // Pins with `pinArgs` and the pointer at `pointer`, and checks that the pin shows at
    // `expected`'s size (odd sizes centred within half a pixel) with its pixels, floats above
    // other windows on every workspace and in no task bar, has the keyboard without a click, and
    // copies back exactly; then closes it with Escape, or with Ctrl+W after a click on it.
    void pinsAtItsSize(
        const QStringList& pinArgs, const QImage& expected, QPoint pointer, bool ctrlW)
    {
        ASSERT_TRUE(mouseMove(pointer));
        const ToolResult r = quillet(pinArgs);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        bool placed = false;
        const std::optional<ShownPin> pin = waitForPinWindow(
            [&](const QRect& g) {
                const QPointF centre = QRectF(g).center();
                return g.size() == expected.size() && std::abs(centre.x() - pointer.x()) <= 0.5
                    && std::abs(centre.y() - pointer.y()) <= 0.5;
            },
            &placed);
        ASSERT_TRUE(placed) << describe(pin ? pin->geometry : QRect());
        const QRect at = pin->geometry;
        // Inside the 2-pixel border the pin draws.
        PixelDiff diff;
        EXPECT_TRUE(waitFor([&] {
            diff = compare(
                screenShot(), at, [&](QPoint p) { return expected.pixel(p - at.topLeft()); }, 2);
            return diff.count == 0;
        })) << diff.describe();
        const auto state = [&] {
            return runTool("xprop", {"-id", pin->id, "_NET_WM_STATE", "_NET_WM_DESKTOP"}).out;
        };
        EXPECT_TRUE(waitFor([&] {
            const QByteArray s = state();
            return s.contains("_NET_WM_STATE_ABOVE") && s.contains("_NET_WM_STATE_SKIP_TASKBAR")
                && s.contains("_NET_WM_DESKTOP(CARDINAL) = 4294967295");
        })) << state().toStdString();
        ASSERT_TRUE(waitForActive(pin->id)) << "active " << activeWindow().toStdString();
        expectCopiedBack(expected);
        // Copying leaves the pin where it was.
        EXPECT_EQ(pins(), 1);
        if (ctrlW) {
            ASSERT_TRUE(click(1));
            ASSERT_TRUE(key("ctrl+w"));
        } else {
            ASSERT_TRUE(key("Escape"));
        }
        EXPECT_TRUE(waitForPins(0));
        EXPECT_TRUE(waitForNoPinWindow());
    }

    // Ctrl+C on the pin with the keyboard puts exactly `img` on the clipboard.
    void expectCopiedBack(const QImage& img)
    {
        ASSERT_TRUE(key("ctrl+c"));
        QImage copied;
        ASSERT_TRUE(waitFor([&] {
            return clipboardTargets().contains("image/png")
                && copied.loadFromData(clipboardPng(), "PNG") && copied.size() == img.size();
        })) << copied.width()
            << "x" << copied.height();
        const QImage rgb = copied.convertToFormat(QImage::Format_RGB32);
        const PixelDiff back = compare(rgb, rgb.rect(), [&](QPoint p) { return img.pixel(p); });
        EXPECT_EQ(back.count, 0) << back.describe();
    }
};

TEST_F(PinsFromFilesAndTheClipboard, FilesAndTheClipboardImageShowAtTheirOwnSize)
{
    ASSERT_TRUE(startQuilletReady());

    // Made by another program than the one under test, in both formats.
    const QString png = scratch("made.png");
    const QString jpeg = scratch("made.jpg");
    for (const auto& [path, extra] :
        {std::pair {png, QStringLiteral("-depth")}, std::pair {jpeg, QStringLiteral("-quality")}}) {
        const ToolResult made = runTool("convert",
            {"-seed", "7", "-size", "150x96", "plasma:fractal", extra,
                extra == "-depth" ? "8" : "90", path});
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    }
    // What the pixels must be: the files as decoded, not as intended.
    const QImage pngPixels = QImage(png).convertToFormat(QImage::Format_RGB32);
    const QImage jpegPixels = QImage(jpeg).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(pngPixels.size(), QSize(150, 96));
    ASSERT_EQ(jpegPixels.size(), QSize(150, 96));
    pinsAtItsSize({"pin", png}, pngPixels, {400, 300}, false);
    pinsAtItsSize({"pin", jpeg}, jpegPixels, {900, 500}, true);

    // Odd on purpose in one direction: half a pixel either way is still "centred".
    const QImage img = gradientImage({180, 121});
    ASSERT_TRUE(putClipboardFile(savedImage(img, "copied.png"), "image/png"));
    pinsAtItsSize({"pin"}, img, {700, 420}, false);
    EXPECT_TRUE(quilletStatus().contains("pid"));
}

TEST_F(PinsFromFilesAndTheClipboard, FilesThatCannotBePinnedAreRefusedWithOneLine)
{
    ASSERT_TRUE(startQuilletReady());

    const QString picture = savedImage(gradientImage({120, 80}), "whole.png");
    QFile whole(picture);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();

    QList<QString> refused = {
        writeScratch("words.png", "a text file that calls itself a picture\n"),
        scratch("missing.png"),
        // Cut inside the pixel data: the header alone still looks like a PNG.
        writeScratch("cut.png", bytes.left(bytes.size() / 2)),
        writeScratch("header-only.png", bytes.left(33)),
        writeScratch("empty.png", {}),
    };
    // Even the super-user cannot read a folder as a picture.
    ASSERT_TRUE(QDir(scratch({})).mkdir("folder.png"));
    refused << scratch("folder.png");
    // A file without read permission only stops other users.
    const QString locked = writeScratch("locked.png", bytes);
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    if (::geteuid() != 0)
        refused << locked;

    for (const QString& file : refused) {
        const ToolResult r = quillet({"pin", file});
        EXPECT_NE(r.exitCode, 0) << file.toStdString();
        EXPECT_NE(r.exitCode, -1) << file.toStdString();
        EXPECT_EQ(r.errLines().size(), 1) << file.toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(pins(), 0) << file.toStdString();
    }
    EXPECT_TRUE(shownPins().isEmpty());
    // Nothing of that disturbed the program: a good file still pins.
    EXPECT_EQ(quillet({"pin", picture}).exitCode, 0);
    EXPECT_EQ(pins(), 1);
}

// The command line refuses these itself, but any program of the user's may speak to the
// socket: the program must look at what it opens, and never wait on it.
TEST_F(PinsFromFilesAndTheClipboard, NothingButARegularFileIsOpenedFromTheSocket)
{
    ASSERT_TRUE(startQuilletReady());

    const QString fifo = scratch("pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString linkToFifo = scratch("link.png");
    ASSERT_TRUE(QFile::link(fifo, linkToFifo));
    ASSERT_TRUE(QDir(scratch({})).mkdir("folder.png"));
    for (const QString& path :
        {fifo, linkToFifo, scratch("folder.png"), QString("/dev/zero"), QString("/dev/tty")}) {
        RawClient client(runtimeDir() + "/quillet.socket");
        ASSERT_TRUE(client.connected());
        ASSERT_GT(client.send(RawClient::line("pin-file", path)), 0);
        const std::optional<QByteArray> reply = client.readToEnd(5000);
        ASSERT_TRUE(reply) << path.toStdString() << ": no answer";
        EXPECT_TRUE(reply->startsWith("1\n")) << path.toStdString() << ": " << reply->data();
        EXPECT_EQ(reply->count('\n'), 2) << reply->data(); // the code and one line
    }
    EXPECT_FALSE(quilletStatus().isEmpty());
    EXPECT_EQ(pins(), 0);
}

TEST_F(PinsFromFilesAndTheClipboard, ALargerImageShrinksToTheScreenAndCopiesWhole)
{
    ASSERT_TRUE(startQuilletReady());
    const QImage img = gradientImage({1400, 900});
    ASSERT_TRUE(putClipboardFile(savedImage(img, "large.png"), "image/png"));
    ASSERT_TRUE(mouseMove({640, 400}));
    ASSERT_EQ(quillet({"pin"}).exitCode, 0);

    // Over a million pixels: a real picture that size passes the check against decompression
    // bombs. 90 % of the 1280 × 800 screen bounds it: min(1152 / 1400, 720 / 900) = 0.8.
    ShownPin pin;
    ASSERT_TRUE(waitForPinAt(QRect(80, 40, 1120, 720), &pin));
    EXPECT_DOUBLE_EQ(pinStates().value(0).zoom, 0.8);

    // What is copied is the image, not the shrunken picture of it.
    ASSERT_TRUE(waitForActive(pin.id));
    expectCopiedBack(img);
}

class PinsOnTwoMonitors : public PinsFromFilesAndTheClipboard {
protected:
    EnvOptions options() const override { return {.size = {2304, 800}, .twoMonitors = true}; }
};

TEST_F(PinsOnTwoMonitors, ShrinksToTheMonitorUnderThePointer)
{
    ASSERT_TRUE(startQuilletReady());
    const QImage img = gradientImage({1000, 700});
    ASSERT_TRUE(putClipboardFile(savedImage(img, "wide.png"), "image/png"));
    // The middle of the right-hand 1024 × 768 monitor.
    ASSERT_TRUE(mouseMove({1792, 384}));
    ASSERT_EQ(quillet({"pin"}).exitCode, 0);

    // 90 % of that monitor, not of the larger first one: min(921.6 / 1000, 691.2 / 700).
    EXPECT_TRUE(waitForPinAt(QRect(1331, 61, 922, 646)));
    EXPECT_DOUBLE_EQ(pinStates().value(0).zoom, 0.9216);
}

// How the words wrap and the note grows is the headless tests'; here the note shows on the
// screen in its paper and ink, centred on the pointer.
TEST_F(PinsFromFilesAndTheClipboard, ClipboardTextShowsAsANote)
{
    ASSERT_TRUE(startQuilletReady());
    ASSERT_TRUE(mouseMove({640, 400}));
    ASSERT_TRUE(putClipboardText(QStringLiteral("墨钉 note\nsecond line")));
    const ToolResult r = quillet({"pin"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    bool shown = false;
    // Settled once the spring has ended: the window sits centred on the pointer.
    const std::optional<ShownPin> pin = waitForPinWindow(
        [&](const QRect& g) {
            const QPointF c = QRectF(g).center();
            return std::abs(c.x() - 640) <= 0.5 && std::abs(c.y() - 400) <= 0.5 && g.width() >= 32
                && g.width() < 300 && g.height() >= 28;
        },
        &shown);
    ASSERT_TRUE(shown) << "no settled note: " << describe(pin ? pin->geometry : QRect());
    const QRect g = pin->geometry;
    // sRGB (1.0, 0.99, 0.94)
    const auto isPaper = [](QRgb c) {
        return std::abs(qRed(c) - 0xff) <= 1 && std::abs(qGreen(c) - 0xfc) <= 1
            && std::abs(qBlue(c) - 0xf0) <= 1;
    };
    const auto isInk = [](QRgb c) { return std::max({qRed(c), qGreen(c), qBlue(c)}) < 110; };
    // Paper all along the 16-point margin on the left, ink somewhere in the middle.
    const QRect margin(g.left() + 3, g.top() + 3, 12, g.height() - 6);
    const QRect body = g.adjusted(16, 14, -16, -14);
    int paper = 0, ink = 0, notPaper = 0;
    QPoint firstNotPaper;
    EXPECT_TRUE(waitFor([&] {
        const QImage shot = screenShot();
        paper = ink = notPaper = 0;
        for (int y = margin.top(); y <= margin.bottom(); ++y) {
            for (int x = margin.left(); x <= margin.right(); ++x) {
                if (!isPaper(shot.pixel(x, y)) && !notPaper++)
                    firstNotPaper = {x, y};
            }
        }
        for (int y = body.top(); y <= body.bottom(); ++y) {
            for (int x = body.left(); x <= body.right(); ++x) {
                paper += isPaper(shot.pixel(x, y));
                ink += isInk(shot.pixel(x, y));
            }
        }
        return notPaper == 0 && ink > 0 && paper > ink;
    })) << notPaper
        << " margin pixels are not paper, first at " << firstNotPaper.x() << ","
        << firstNotPaper.y() << "; paper " << paper << ", ink " << ink;

    EXPECT_TRUE(waitForActive(pin->id));
    EXPECT_TRUE(key("Escape"));
    EXPECT_TRUE(waitForPins(0));
    EXPECT_TRUE(waitForNoPinWindow());
}

TEST_F(PinsFromFilesAndTheClipboard, NothingUsableOnTheClipboardPinsNothing)
{
    ASSERT_TRUE(startQuilletReady());

    // A new server: nobody owns the clipboard.
    ToolResult r = quillet({"pin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines().size(), 1) << r.err.toStdString();
    EXPECT_EQ(pins(), 0);

    // Something that is neither an image nor text.
    ASSERT_TRUE(putClipboardFile(
        writeScratch("data.bin", QByteArray(64, '\x01')), "application/x-quillet-test"));
    r = quillet({"pin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines().size(), 1) << r.err.toStdString();
    EXPECT_EQ(pins(), 0);
    EXPECT_TRUE(shownPins().isEmpty());

    // Still there, and a text pinned afterwards works.
    ASSERT_TRUE(putClipboardText(" "));
    r = quillet({"pin"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(pins(), 1);
}

TEST_F(PinsFromFilesAndTheClipboard, PinHotKeysPinTheClipboardWhileAnotherProgramIsInFront)
{
    ASSERT_TRUE(startQuilletReady());
    ASSERT_TRUE(putClipboardText("hot key"));
    ASSERT_TRUE(key("F3"));
    EXPECT_TRUE(waitFor([&] { return pins() == 1; }));
    // Twice the same content: two independent pins.
    ASSERT_TRUE(key("ctrl+shift+p"));
    EXPECT_TRUE(waitFor([&] { return pins() == 2; }));
    // Caps Lock on does not stop the shortcut.
    ASSERT_TRUE(key("Caps_Lock"));
    ASSERT_TRUE(key("F3"));
    EXPECT_TRUE(waitFor([&] { return pins() == 3; }));
    ASSERT_TRUE(key("Caps_Lock"));
}

// Without a window manager: the pins are the only clients.
class CloseAllPins : public PinJourney {
protected:
    EnvOptions options() const override { return {}; }
};

// Two pins side by side, one from a file and one from clipboard text: the last entry of the menu
// on the first closes both, and the program itself stays.
TEST_F(CloseAllPins, APinsContextMenuClosesEveryPin)
{
    ASSERT_TRUE(startQuilletReady());
    ASSERT_TRUE(mouseMove({300, 300}));
    ASSERT_EQ(quillet({"pin", savedImage(gradientImage({160, 100}), "one.png")}).exitCode, 0);
    ASSERT_TRUE(putClipboardText("second pin"));
    ASSERT_TRUE(mouseMove({800, 500}));
    ASSERT_EQ(quillet({"pin"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return shownPins().size() == 2; }));

    ASSERT_TRUE(mouseMove({300, 300}));
    ASSERT_TRUE(click(3));
    // The menu is a window of the program's own that is not a pin.
    ASSERT_TRUE(waitFor([&] { return visibleWindows({"--class", "quillet"}).size() > 2; }));
    ASSERT_TRUE(key("Up"));
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(waitForPins(0));
    EXPECT_TRUE(waitForNoPinWindow());
    EXPECT_TRUE(quilletStatus().contains("pid"));
}

} // namespace
} // namespace quillet::e2e
