#include "output/OutsideImage.h"
#include "Pixels.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <libdeflate.h>

using namespace quillet;

namespace {

// A real, tiny PNG whose header is rewritten to claim `claimed` pixels: a bomb's first bytes.
QByteArray pngClaiming(QSize claimed)
{
    QImage one = test::filled(QSize(1, 1), Qt::red, 1, QImage::Format_ARGB32);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    one.save(&buffer, "PNG");
    // Signature (8), IHDR length (4), "IHDR" (4), width (4), height (4) … CRC after 13 bytes.
    qToBigEndian<quint32>(quint32(claimed.width()), png.data() + 16);
    qToBigEndian<quint32>(quint32(claimed.height()), png.data() + 20);
    qToBigEndian<quint32>(quint32(libdeflate_crc32(0, png.constData() + 12, 17)), png.data() + 29);
    return png;
}

QByteArray realPng(QSize size)
{
    QImage image = test::filled(size, Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// A header that claims too much is refused on the header alone, from a file and from the
// clipboard alike, in words that name the size; a real image at the bound still decodes.
TEST(OutsideImageTest, ImagesBeyondTheBoundsAreRefusedBeforeDecoding)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        bool refused;
    };
    const QList<Case> cases = {
        {"20000×20000", pngClaiming({20000, 20000}), true},
        {"one pixel wider than the bound", pngClaiming({16385, 10}), true},
        {"one pixel taller than the bound", pngClaiming({10, 16385}), true},
        {"sides within, pixels beyond 512 MiB", pngClaiming({12000, 12000}), true},
        {"the widest that may be", realPng({16384, 2}), false},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath("image.png");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();

        auto* data = new QMimeData;
        data->setData("image/png", c.bytes);
        QGuiApplication::clipboard()->setMimeData(data);

        QElapsedTimer clock;
        clock.start();
        const OutsideImage::Loaded fromFile = OutsideImage::readFile(path);
        const OutsideImage::Loaded fromClipboard
            = OutsideImage::fromClipboard(QGuiApplication::clipboard()->mimeData());
        for (const OutsideImage::Loaded& l : {fromFile, fromClipboard}) {
            EXPECT_EQ(l.tooLarge, c.refused);
            EXPECT_EQ(l.image.isNull(), c.refused);
            if (c.refused) {
                EXPECT_TRUE(l.error.contains("图片太大")) << l.error.toStdString();
            } else {
                EXPECT_EQ(l.image.size(), QSize(16384, 2));
            }
        }
        if (c.refused) { // nothing was decoded, so nothing took long
            EXPECT_LT(clock.elapsed(), 1000);
        }
        EXPECT_TRUE(fromFile.error.contains(path) || !c.refused);
    }
    QGuiApplication::clipboard()->clear();
}

// GIFs of a few bytes whose headers claim millions of pixels: their reader would allocate
// the whole picture (up to the program's bound) before finding the data missing. They are
// refused on the header, and the bound every later reader gets is the program's again.
TEST(OutsideImageTest, TinyFilesClaimingHugePicturesAreRefusedBeforeDecoding)
{
    const QByteArray bombs[] = {
        // 569×14336 in 27 bytes, its frame larger still.
        QByteArray("\x60\x49\x46\x38\x78\x70\x6d\x24\x00\x00\x00\x00\x00\x2c\x00\x00\x00"
                   "\x38\x39\x02\x00\x00\x00\x61\x3f\x01\x04",
            27),
        // 9465×13637 in 23 bytes.
        QByteArray("\x60\x49\x46\x38\x39\x21\xf9\x24\x00\x00\x00\x00\x00\x2c\x00\x00\x06\x34\x30"
                   "\x61\x3f\x01\x04",
            23),
    };
    for (const QByteArray& bytes : bombs) {
        const OutsideImage::Loaded l = OutsideImage::readData(bytes, "gif");
        EXPECT_TRUE(l.image.isNull());
        EXPECT_TRUE(l.tooLarge);
        EXPECT_TRUE(l.error.startsWith("图片已损坏")) << l.error.toStdString();
        EXPECT_EQ(qint64(QImageReader::allocationLimit()) << 20, OutsideImage::maxDecodedBytes);
    }
}

// A drawing is drawn at the size it declares, but one that declares more than a screen's worth
// is drawn smaller to fit: declaring 10000×10000 costs forty bytes and drew for seconds.
TEST(OutsideImageTest, DrawingsDeclaringHugeSizesAreDrawnToFit)
{
    if (!QImageReader::supportedImageFormats().contains("svg"))
        GTEST_SKIP() << "no SVG image plugin";
    struct Case {
        const char* svg;
        QSize size;
    };
    const Case cases[] = {
        {"<svg xmlns='http://www.w3.org/2000/svg' width='300' height='200'/>", {300, 200}},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='10000' height='10000'/>", {4096, 4096}},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='16000' height='4000'/>", {4096, 1024}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.svg);
        const OutsideImage::Loaded loaded = OutsideImage::readData(c.svg, "svg");
        EXPECT_EQ(loaded.image.size(), c.size) << loaded.error.toStdString();
    }
}

TEST(OutsideImageTest, OnlyRegularFilesAreRead)
{
    QTemporaryDir dir;
    for (const QString& path : {dir.path(), QString("/dev/null"), dir.filePath("missing.png")}) {
        const OutsideImage::Loaded l = OutsideImage::readFile(path);
        EXPECT_TRUE(l.image.isNull()) << path.toStdString();
        EXPECT_FALSE(l.error.isEmpty()) << path.toStdString();
        EXPECT_FALSE(l.tooLarge);
    }
}

} // namespace
