#include "capture/annotation/AnnotationDrawing.h"

#include <gtest/gtest.h>

using namespace quillet;

namespace {

// A picture in which neighbouring pixels differ, with an awkward size so partial blocks appear.
QImage noisy(QSize px, qreal dpr)
{
    QImage img(px, QImage::Format_RGB32);
    for (int y = 0; y < px.height(); ++y)
        for (int x = 0; x < px.width(); ++x)
            img.setPixel(
                x, y, qRgb((x * 37 + y * 11) & 255, (x * 13 + y * 29) & 255, (x ^ y) & 255));
    img.setDevicePixelRatio(dpr);
    return img;
}

} // namespace

class MosaicBlocks : public ::testing::TestWithParam<qreal> { };

TEST_P(MosaicBlocks, UniformBlocksAlignedToTheBottomLeft)
{
    const qreal scale = GetParam();
    const int block = int(10 * scale);
    const QImage src = noisy(QSize(int(63 * scale) + 1, int(47 * scale) + 3), scale);
    const QImage out = makePixelated(src, scale);
    ASSERT_FALSE(out.isNull());
    EXPECT_EQ(out.size(), src.size());
    EXPECT_EQ(out.devicePixelRatio(), scale);

    const int w = src.width(), h = src.height();
    // Block (bx, by) counted from the bottom-left corner: columns from x = 0, rows from the last
    // image row upwards. Every pixel of a block has the block's colour, the average of its pixels.
    for (int by = 0; by * block < h; ++by) {
        const int y1 = h - by * block, y0 = std::max(0, y1 - block);
        for (int bx = 0; bx * block < w; ++bx) {
            const int x0 = bx * block, x1 = std::min(w, x0 + block);
            long long r = 0, g = 0, b = 0, n = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    const QRgb p = src.pixel(x, y);
                    r += qRed(p), g += qGreen(p), b += qBlue(p), ++n;
                }
            const QRgb expected
                = qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n));
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    ASSERT_EQ(out.pixel(x, y), expected)
                        << "block " << bx << "," << by << " at " << x << "," << y;
        }
    }
    // The top block row is the partial one: the bottom row of the image starts a full block.
    EXPECT_NE(out.pixel(0, h - block), out.pixel(0, h - block - 1));
    EXPECT_EQ(out.pixel(0, h - 1), out.pixel(block - 1, h - block));
}

INSTANTIATE_TEST_SUITE_P(Scales, MosaicBlocks, ::testing::Values(1.0, 2.0));

TEST(Mosaic, NothingToPixellate)
{
    EXPECT_TRUE(makePixelated(QImage(), 1).isNull());
    EXPECT_TRUE(makePixelated(noisy(QSize(10, 10), 1), 0).isNull());
}
