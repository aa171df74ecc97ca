#include "capture/Stitcher.h"
#include "Pixels.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace quillet;

namespace {

constexpr int width = 48;
constexpr int frameRows = 120;

// A tall page like a chat or a listing: lines of "text" 10 rows high with 3 blank rows between,
// a stretch of blank rows every so often, and a run of lines that repeat the same text.
QImage page(int rows)
{
    QImage img = test::filled(QSize(width, rows), Qt::white);
    int y = 0, line = 0;
    while (y < rows) {
        if (line % 9 == 8) {
            y += 40; // a blank stretch, shorter than a frame
            ++line;
            continue;
        }
        const int text = (line >= 20 && line < 30) ? 7 : line; // ten identical lines
        for (int r = 0; r < 10 && y + r < rows; ++r) {
            auto* px = reinterpret_cast<QRgb*>(img.scanLine(y + r));
            for (int x = 0; x < width; ++x) {
                const unsigned v = unsigned(text * 2654435761u) ^ unsigned(r * 40503 + x * 97);
                px[x] = ((v >> 7) % 3 == 0) ? qRgb(30, 30, (v >> 3) & 0xff) : qRgb(255, 255, 255);
            }
        }
        y += 13;
        ++line;
    }
    return img;
}

const QImage tall = page(1400);

QImage band(int rows, int seed)
{
    QImage img(width, rows, QImage::Format_RGB32);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, qRgb((seed * 50 + y * 7) & 0xff, (x * 5) & 0xff, seed * 90 & 0xff));
    return img;
}

// What the region shows with the page scrolled to `at`: header, page rows, footer.
QImage frame(int at, int header = 0, int footer = 0)
{
    QImage f(width, frameRows, QImage::Format_RGB32);
    const QImage h = band(header, 1), b = band(footer, 2);
    for (int y = 0; y < frameRows; ++y) {
        const uchar* src = y < header ? h.constScanLine(y)
            : y >= frameRows - footer ? b.constScanLine(y - (frameRows - footer))
                                      : tall.constScanLine(at + y - header);
        std::memcpy(f.scanLine(y), src, width * 4);
    }
    return f;
}

// The page from the top to `end` (exclusive) between the header and the footer.
QImage expected(int end, int header, int footer)
{
    const int rows = header + end + footer;
    QImage out(width, rows, QImage::Format_RGB32);
    const QImage h = band(header, 1), b = band(footer, 2);
    for (int y = 0; y < rows; ++y) {
        const uchar* src = y < header ? h.constScanLine(y)
            : y >= header + end       ? b.constScanLine(y - header - end)
                                      : tall.constScanLine(y - header);
        std::memcpy(out.scanLine(y), src, width * 4);
    }
    return out;
}

// Something animated over most of the region: the content changed by itself.
QImage animated(int at)
{
    QImage f = frame(at);
    for (int y = 10; y < frameRows - 10; ++y)
        for (int x = 0; x < width; ++x)
            f.setPixel(x, y, qRgb((x * y + at) & 0xff, y & 0xff, 99));
    return f;
}

} // namespace

TEST(StitcherOffset, FindsTheMoveExactlyOrRefuses)
{
    struct Case {
        const char* name;
        int from, to, header, footer;
        std::optional<int> offset;
    };
    const int inner = frameRows - 30 - 20;
    const Case cases[] = {
        {"one row", 100, 101, 0, 0, 1},
        {"uneven step", 100, 137, 0, 0, 37},
        {"almost a frame", 30, 30 + frameRows - 6, 0, 0, frameRows - 6},
        {"under a header and over a footer", 50, 83, 30, 20, 33},
        {"header and footer, almost the inner part", 0, inner - 6, 30, 20, inner - 6},
        {"back up", 300, 260, 0, 0, -40},
        // A naive matcher slides along the blank stretch and settles for a wrong offset.
        {"across a blank stretch", 70, 85, 0, 0, 15},
        {"inside the repeating lines", 270, 283, 0, 0, 13},
        {"no overlap left", 0, frameRows + 40, 0, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        const RowHashes a = rowHashes(frame(c.from, c.header, c.footer));
        const RowHashes b = rowHashes(frame(c.to, c.header, c.footer));
        EXPECT_EQ(findOffset(a, b, findFixedBands(a, b)), c.offset) << c.name;
    }
    const RowHashes a = rowHashes(frame(200)), b = rowHashes(animated(210));
    EXPECT_EQ(findOffset(a, b, findFixedBands(a, b)), std::nullopt) << "changed by itself";
}

TEST(StitcherBands, HeaderAndFooterAreFoundAndNothingMovingIsWhole)
{
    struct Case {
        const char* name;
        int from, to, header, footer;
        FixedBands bands;
    };
    const Case cases[] = {
        {"header and footer", 0, 30, 30, 20, {30, 20}},
        {"nothing fixed", 0, 30, 0, 0, {0, 0}},
        {"nothing moved", 40, 40, 30, 20, {frameRows, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findFixedBands(rowHashes(frame(c.from, c.header, c.footer)),
                      rowHashes(frame(c.to, c.header, c.footer))),
            c.bands)
            << c.name;
    }
}

TEST(Stitcher, JoinedImageIsThePageExactly)
{
    struct Case {
        const char* name;
        int header, footer;
        std::vector<int> positions; // where the page is scrolled to, frame by frame
        int refusedFrames; // frames animated in between, at the last position
    };
    const Case cases[] = {
        {"uneven steps", 0, 0, {0, 3, 40, 41, 117, 200, 290, 380, 381, 460}, 0},
        {"header and footer kept once", 30, 20, {0, 9, 50, 69, 90, 130, 150, 200, 201, 240}, 0},
        {"back up and down again adds nothing twice", 0, 0, {0, 60, 110, 40, 10, 70, 150, 240}, 0},
        {"an animated frame is left out", 0, 0, {0, 50, 100, 150}, 1},
        {"the same frame again", 30, 20, {0, 0, 30, 30, 60}, 0},
    };
    for (const Case& c : cases) {
        Stitcher s;
        int reach = 0, refused = 0;
        for (size_t i = 0; i < c.positions.size(); ++i) {
            const int at = c.positions[i];
            s.add(frame(at, c.header, c.footer));
            if (c.refusedFrames && i + 1 == c.positions.size() / 2) {
                for (int k = 0; k < c.refusedFrames; ++k)
                    refused += s.add(animated(at + 5)).step == Stitcher::Step::refused;
            }
            reach = std::max(reach, at + frameRows - c.header - c.footer);
        }
        EXPECT_EQ(refused, c.refusedFrames) << c.name;
        const QImage want = expected(reach, c.header, c.footer);
        const QImage got = s.image();
        ASSERT_EQ(got.size(), want.size()) << c.name;
        EXPECT_TRUE(got == want) << c.name;
        EXPECT_TRUE(s.takeImage() == want) << c.name;
        EXPECT_TRUE(s.isEmpty()) << c.name;
    }
}

TEST(Stitcher, StopsAtTheLimitWithTheRowsGathered)
{
    Stitcher s(300);
    Stitcher::Step last = Stitcher::Step::first;
    for (int at = 0; at <= 600 && last != Stitcher::Step::limit; at += 50)
        last = s.add(frame(at)).step;
    EXPECT_EQ(last, Stitcher::Step::limit);
    EXPECT_TRUE(s.atLimit());
    EXPECT_EQ(s.add(frame(650)).step, Stitcher::Step::limit);
    EXPECT_TRUE(s.image() == expected(300, 0, 0));
    EXPECT_EQ(Stitcher().maxRows(), 30000);
    // Pixels of another frame size never go in.
    Stitcher t;
    t.add(frame(0));
    EXPECT_EQ(t.add(frame(0).copy(0, 0, width, 60)).step, Stitcher::Step::refused);
}
