#include "PinJourney.h"
#include "RawClient.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace quillet::e2e {
namespace {

class PinFileCommand : public PinJourney {
protected:
    // Pins `file` with the pointer at `pointer` and checks that it shows at `expected`'s size,
    // centred there, with `expected`'s pixels; then closes it.
    void pinsAtItsSize(const QString& file, const QImage& expected, QPoint pointer)
    {
        ASSERT_TRUE(mouseMove(pointer));
        const ToolResult r = quillet({"pin", file});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        const QRect at(
            pointer - QPoint(expected.width() / 2, expected.height() / 2), expected.size());
        ShownPin pin;
        ASSERT_TRUE(waitForPinAt(at, &pin));
        PixelDiff diff;
        EXPECT_TRUE(waitFor([&] {
            diff = compare(
                grabScreen(), at, [&](QPoint p) { return expected.pixel(p - at.topLeft()); }, 2);
            return diff.count == 0;
        })) << file.toStdString()
            << ": " << diff.describe();
        ASSERT_TRUE(waitForActive(pin.id));
        ASSERT_TRUE(key("Escape"));
        EXPECT_TRUE(waitForPins(0));
    }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = scratch(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return path;
    }
};

TEST_F(PinFileCommand, PngAndJpegShowAtTheirOwnSize)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

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

    pinsAtItsSize(png, pngPixels, {400, 300});
    pinsAtItsSize(jpeg, jpegPixels, {900, 500});
}

TEST_F(PinFileCommand, FilesThatCannotBePinnedAreRefusedWithOneLine)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

    const QString picture = savedImage(gradientImage({120, 80}), "whole.png");
    QFile whole(picture);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();

    QList<QString> refused = {
        write("words.png", "a text file that calls itself a picture\n"),
        scratch("missing.png"),
        // Cut inside the pixel data: the header alone still looks like a PNG.
        write("cut.png", bytes.left(bytes.size() / 2)),
        write("header-only.png", bytes.left(33)),
        write("empty.png", {}),
    };
    // Even the super-user cannot read a folder as a picture.
    ASSERT_TRUE(QDir(scratch({})).mkdir("folder.png"));
    refused << scratch("folder.png");
    // A file without read permission only stops other users.
    const QString locked = write("locked.png", bytes);
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
TEST_F(PinFileCommand, NothingButARegularFileIsOpenedFromTheSocket)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

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

} // namespace
} // namespace quillet::e2e
