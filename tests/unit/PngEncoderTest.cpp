#include "output/PngEncoder.h"

#include <QImage>
#include <QtEndian>
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <cstring>

using namespace quillet;

namespace {

// Screen-like pixels: flat areas, edges, gradients and noise, so every filter path sees runs
// and changes alike.
QImage pattern(int w, int h, QImage::Format format, bool translucent)
{
    QImage img(w, h, QImage::Format_ARGB32);
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 24);
            const int r = (x * 7) & 0xff, g = (y * 5 + (x / 3)) & 0xff;
            const int b = (x + y) % 3 == 0 ? noise : 200;
            int a = 255;
            if (translucent)
                a = (x + 2 * y) % 5 == 0 ? 0 : (noise | 1);
            img.setPixel(x, y, qRgba(r, g, b, a));
        }
    }
    return img.convertToFormat(format);
}

QImage decode(const QByteArray& png)
{
    return QImage::fromData(png, "PNG");
}

// Every pixel equal after bringing both to one format.
::testing::AssertionResult samePixels(
    const QImage& expected, const QImage& actual, QImage::Format f)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure()
            << "size " << actual.width() << "x" << actual.height() << " instead of "
            << expected.width() << "x" << expected.height();
    const QImage a = expected.convertToFormat(f), b = actual.convertToFormat(f);
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (ra[x] != rb[x])
                return ::testing::AssertionFailure()
                    << "pixel " << x << "," << y << " is " << std::hex << rb[x] << " instead of "
                    << ra[x];
        }
    }
    return ::testing::AssertionSuccess();
}

struct Chunk {
    QByteArray type;
    QByteArray data;
    bool crcOk;
};

QList<Chunk> chunks(const QByteArray& png)
{
    QList<Chunk> out;
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 len = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        const QByteArray data = png.mid(at + 8, len);
        const quint32 crc = qFromBigEndian<quint32>(png.constData() + at + 8 + len);
        quint32 want = libdeflate_crc32(0, type.constData(), 4);
        want = libdeflate_crc32(want, data.constData(), size_t(data.size()));
        out.append({type, data, crc == want});
        at += 12 + len;
    }
    return out;
}

int colourType(const QByteArray& png)
{
    return png.size() > 25 ? int(uchar(png[25])) : -1;
}

struct RoundTrip {
    const char* name;
    int w, h;
    QImage::Format format;
    bool translucent;
    int expectedColourType; // 2: RGB, 6: RGBA
    QImage::Format compareAs;
};

const RoundTrip roundTrips[] = {
    {"rgb32", 97, 61, QImage::Format_RGB32, false, 2, QImage::Format_RGB32},
    {"argbOpaque", 64, 33, QImage::Format_ARGB32, false, 2, QImage::Format_ARGB32},
    {"argbTranslucent", 53, 40, QImage::Format_ARGB32, true, 6, QImage::Format_ARGB32},
    {"premultipliedOpaque", 40, 40, QImage::Format_ARGB32_Premultiplied, false, 2,
        QImage::Format_ARGB32},
    {"premultipliedTranslucent", 41, 39, QImage::Format_ARGB32_Premultiplied, true, 6,
        QImage::Format_ARGB32_Premultiplied},
    {"onePixel", 1, 1, QImage::Format_RGB32, false, 2, QImage::Format_RGB32},
    {"onePixelTransparent", 1, 1, QImage::Format_ARGB32, true, 6, QImage::Format_ARGB32},
    {"oddWidth3", 3, 7, QImage::Format_RGB32, false, 2, QImage::Format_RGB32},
    {"oddWidth5Alpha", 5, 9, QImage::Format_ARGB32, true, 6, QImage::Format_ARGB32},
    {"oddWidth7", 7, 2, QImage::Format_RGB32, false, 2, QImage::Format_RGB32},
    {"tallColumn", 1, 300, QImage::Format_RGB32, false, 2, QImage::Format_RGB32},
    {"rgb888", 31, 17, QImage::Format_RGB888, false, 2, QImage::Format_RGB32},
    {"rgba8888", 29, 13, QImage::Format_RGBA8888, true, 6, QImage::Format_ARGB32},
};

} // namespace

TEST(PngEncoderTest, EveryFilterAndLevelDecodesToTheExactPixels)
{
    using PngEncoder::Filter;
    for (const RoundTrip& c : roundTrips) {
        const QImage src = pattern(c.w, c.h, c.format, c.translucent);
        for (Filter filter : {Filter::None, Filter::Sub, Filter::Up, Filter::Adaptive}) {
            for (int level : {1, 6}) {
                SCOPED_TRACE(::testing::Message()
                    << c.name << " filter " << int(filter) << " level " << level);
                const auto png = PngEncoder::encode(src, {filter, level});
                ASSERT_TRUE(png);
                EXPECT_EQ(colourType(*png), c.expectedColourType);
                EXPECT_TRUE(samePixels(src, decode(*png), c.compareAs));
            }
        }
    }
}

// With the default options: every device pixel, whatever the pixel ratio; nothing for no image.
TEST(PngEncoderTest, DefaultOptionsKeepEveryDevicePixel)
{
    QImage scaled = pattern(120, 80, QImage::Format_RGB32, false);
    scaled.setDevicePixelRatio(2.0);
    const QImage cases[] = {pattern(1280, 720, QImage::Format_RGB32, false), scaled, QImage(),
        QImage(0, 10, QImage::Format_RGB32)};
    for (const QImage& src : cases) {
        SCOPED_TRACE(::testing::Message() << src.width() << "x" << src.height());
        const auto png = PngEncoder::encode(src);
        ASSERT_EQ(png.has_value(), !src.isNull());
        if (png) {
            EXPECT_TRUE(samePixels(src, decode(*png), QImage::Format_RGB32));
        }
    }
}

TEST(PngEncoderTest, ChunksAreWellFormed)
{
    // Large enough for the compressed data to span several IDAT chunks.
    QImage src(1500, 1000, QImage::Format_ARGB32);
    quint32 seed = 7;
    for (int y = 0; y < src.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(src.scanLine(y));
        for (int x = 0; x < src.width(); ++x)
            row[x] = (seed = seed * 1103515245u + 12345u);
    }
    const auto png = PngEncoder::encode(src, {PngEncoder::Filter::None, 1});
    ASSERT_TRUE(png);
    ASSERT_TRUE(png->startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)));
    const QList<Chunk> list = chunks(*png);
    ASSERT_GE(list.size(), 4);
    EXPECT_EQ(list.first().type, "IHDR");
    EXPECT_EQ(list.last().type, "IEND");
    int idats = 0;
    qsizetype parsed = 8;
    for (const Chunk& c : list) {
        EXPECT_TRUE(c.crcOk) << c.type.constData();
        idats += c.type == "IDAT";
        parsed += 12 + c.data.size();
    }
    EXPECT_GT(idats, 1);
    EXPECT_EQ(parsed, png->size()); // nothing trails IEND
    const QByteArray ihdr = list.first().data;
    EXPECT_EQ(qFromBigEndian<quint32>(ihdr.constData()), 1500u);
    EXPECT_EQ(qFromBigEndian<quint32>(ihdr.constData() + 4), 1000u);
    EXPECT_EQ(int(uchar(ihdr[8])), 8);
    EXPECT_EQ(int(uchar(ihdr[9])), 6);
    EXPECT_TRUE(samePixels(src, decode(*png), QImage::Format_ARGB32));
}
