#include "capture/Stitcher.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace quillet {

namespace {

constexpr int blockRows = 256;
// An offset needs this many overlapping rows, and this many of them must be rows that differ
// from the row above: inside a blank stretch every offset fits, and only such rows tell them
// apart.
constexpr int minOverlap = 6;
constexpr int minEvidence = 4;
// Rows allowed to differ at the right offset, per row compared: a scroll bar's thumb, a
// caret, a clock. Each one costs a candidate more than a matching row earns it.
constexpr int mismatchDivisor = 50;
constexpr int mismatchCost = 4;

QImage asRgb32(const QImage& frame)
{
    return frame.format() == QImage::Format_RGB32 ? frame
                                                  : frame.convertToFormat(QImage::Format_RGB32);
}

// QImage and QPainter count bytes in ints.
int rowsWithinImageBounds(int width)
{
    return width > 0 ? int(std::min<qint64>(INT_MAX / (qint64(width) * 4), INT_MAX)) : 0;
}

int differingRows(const RowHashes& a, const RowHashes& b)
{
    int n = 0;
    for (size_t y = 0; y < a.size() && y < b.size(); ++y)
        n += a[y] != b[y];
    return n;
}

} // namespace

RowHashes rowHashes(const QImage& input)
{
    const QImage frame = asRgb32(input);
    RowHashes out(size_t(std::max(frame.height(), 0)));
    const int words = frame.width() / 2;
    const bool odd = frame.width() % 2;
    for (int y = 0; y < frame.height(); ++y) {
        const uchar* row = frame.constScanLine(y);
        quint64 h = 0x9E3779B97F4A7C15ull ^ quint64(frame.width());
        for (int i = 0; i < words; ++i) {
            quint64 w;
            std::memcpy(&w, row + size_t(i) * 8, 8);
            // The padding byte of RGB32 is whatever the source left there.
            w &= 0x00FFFFFF00FFFFFFull;
            h = (h ^ w) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        if (odd) {
            quint32 w;
            std::memcpy(&w, row + size_t(words) * 8, 4);
            h = (h ^ (w & 0x00FFFFFFu)) * 0xC4CEB9FE1A85EC53ull;
        }
        out[size_t(y)] = h ^ (h >> 29);
    }
    return out;
}

FixedBands findFixedBands(const RowHashes& previous, const RowHashes& current)
{
    const int h = int(std::min(previous.size(), current.size()));
    FixedBands b;
    while (b.top < h && previous[size_t(b.top)] == current[size_t(b.top)])
        ++b.top;
    while (b.bottom < h - b.top
        && previous[size_t(h - 1 - b.bottom)] == current[size_t(h - 1 - b.bottom)])
        ++b.bottom;
    return b;
}

std::optional<int> findOffset(
    const RowHashes& previous, const RowHashes& current, const FixedBands& bands)
{
    const int h = int(std::min(previous.size(), current.size()));
    const int lo = std::clamp(bands.top, 0, h);
    const int hi = std::clamp(h - bands.bottom, lo, h);
    const int span = hi - lo;
    std::optional<int> best;
    int bestQuality = 0;
    for (int d = -(span - minOverlap); d <= span - minOverlap; ++d) {
        if (d == 0)
            continue;
        // Row y of the current frame shows what row y + d of the previous one showed.
        const int y0 = lo + std::max(0, -d);
        const int y1 = hi - std::max(0, d);
        const int allowed = (y1 - y0) / mismatchDivisor;
        int mismatches = 0, evidence = 0;
        for (int y = y0; y < y1; ++y) {
            if (current[size_t(y)] != previous[size_t(y + d)]) {
                if (++mismatches > allowed)
                    break;
            } else if (y == lo || current[size_t(y)] != current[size_t(y - 1)]) {
                ++evidence;
            }
        }
        if (mismatches > allowed || evidence < minEvidence)
            continue;
        const int quality = evidence - mismatchCost * mismatches;
        // Equal evidence: the smaller move, as content that repeats fits every period.
        if (!best || quality > bestQuality
            || (quality == bestQuality && std::abs(d) < std::abs(*best))) {
            best = d;
            bestQuality = quality;
        }
    }
    if (best && bestQuality < minEvidence)
        return std::nullopt;
    return best;
}

Stitcher::Stitcher(int maxRows)
    : m_maxRows(maxRows)
{ }

Stitcher::~Stitcher() = default;

int Stitcher::height() const
{
    return m_bodyRows + (m_footerRows ? *m_footerRows : 0);
}

Stitcher::Outcome Stitcher::add(const QImage& frame)
{
    return add(frame, rowHashes(frame));
}

Stitcher::Outcome Stitcher::add(const QImage& input, const RowHashes& hashes)
{
    const QImage frame = asRgb32(input);
    if (frame.isNull() || int(hashes.size()) != frame.height())
        return {Step::refused, 0};
    if (m_width == 0) {
        m_width = frame.width();
        m_frameHeight = frame.height();
        m_maxRows = std::min(m_maxRows, rowsWithinImageBounds(m_width));
        const int rows = std::min(m_frameHeight, m_maxRows);
        appendRows(frame, 0, rows);
        m_previous = hashes;
        m_atLimit = height() >= m_maxRows;
        return {m_atLimit ? Step::limit : Step::first, m_bodyRows};
    }
    if (m_atLimit)
        return {Step::limit, 0};
    if (frame.size() != QSize(m_width, m_frameHeight))
        return {Step::refused, 0};

    const int h = m_frameHeight;
    FixedBands bands = findFixedBands(m_previous, hashes);
    if (bands.top == h)
        return {Step::unchanged, 0};
    // A band may only shrink: rows once seen to move are content, however still they sit now.
    if (m_footerRows)
        bands.bottom = std::min(bands.bottom, *m_footerRows);
    const std::optional<int> offset = findOffset(m_previous, hashes, bands);
    if (!offset) {
        // The previous frame stays the reference, so a scroll too small to be sure of is
        // measured again with the next one.
        const bool little = differingRows(m_previous, hashes) <= h / mismatchDivisor;
        return {little ? Step::unchanged : Step::refused, 0};
    }

    if (!m_footerRows) {
        // The first frame went in whole; its bottom band is a footer and leaves the body.
        m_footer = QImage(m_width, bands.bottom, QImage::Format_RGB32);
        for (int y = 0; y < bands.bottom; ++y)
            std::memcpy(
                m_footer.scanLine(y), bodyRow(m_bodyRows - bands.bottom + y), size_t(m_width) * 4);
        truncateBody(bands.bottom);
        m_footerRows = bands.bottom;
    } else if (bands.bottom < *m_footerRows) {
        shrinkFooter(*m_footerRows - bands.bottom);
    }
    m_previous = hashes;
    const int footer = *m_footerRows;
    if (*offset < 0) {
        m_ahead -= *offset;
        return {Step::back, 0};
    }
    m_ahead -= *offset;
    if (m_ahead > 0)
        return {Step::back, 0};
    const int fresh = std::min(-m_ahead, h - footer);
    m_ahead = 0;
    const int room = m_maxRows - m_bodyRows;
    if (fresh + footer > room) {
        // The rows go on unbroken up to the limit; a footer would leave a gap above it.
        appendRows(frame, h - footer - fresh, std::min(room, fresh + footer));
        m_footer = QImage();
        m_footerRows = 0;
        m_atLimit = true;
        return {Step::limit, fresh};
    }
    appendRows(frame, h - footer - fresh, fresh);
    setFooter(frame, footer);
    m_atLimit = height() >= m_maxRows;
    return {m_atLimit ? Step::limit : Step::appended, fresh};
}

void Stitcher::appendRows(const QImage& src, int y0, int count)
{
    const size_t stride = size_t(m_width) * 4;
    for (int i = 0; i < count; ++i) {
        const int y = m_bodyRows;
        const size_t block = size_t(y / blockRows);
        if (block >= m_blocks.size()) {
            std::unique_ptr<uchar[]> b(new (std::nothrow) uchar[stride * blockRows]);
            if (!b) {
                m_atLimit = true; // out of memory: keep what there is
                return;
            }
            m_blocks.push_back(std::move(b));
        }
        std::memcpy(m_blocks[block].get() + size_t(y % blockRows) * stride,
            src.constScanLine(y0 + i), stride);
        ++m_bodyRows;
    }
}

void Stitcher::truncateBody(int rows)
{
    m_bodyRows = std::max(0, m_bodyRows - rows);
    m_blocks.resize(size_t((m_bodyRows + blockRows - 1) / blockRows));
}

const uchar* Stitcher::bodyRow(int y) const
{
    return m_blocks[size_t(y / blockRows)].get() + size_t(y % blockRows) * size_t(m_width) * 4;
}

void Stitcher::setFooter(const QImage& frame, int rows)
{
    m_footer = rows > 0 ? frame.copy(0, frame.height() - rows, m_width, rows) : QImage();
}

void Stitcher::shrinkFooter(int rows)
{
    // The top of the old band is content after all, and it follows the body directly.
    appendRows(m_footer, 0, rows);
    const int left = *m_footerRows - rows;
    m_footer = left > 0 ? m_footer.copy(0, rows, m_width, left) : QImage();
    m_footerRows = left;
}

const uchar* Stitcher::rowAt(int y) const
{
    return y < m_bodyRows ? bodyRow(y) : m_footer.constScanLine(y - m_bodyRows);
}

QImage Stitcher::image() const
{
    if (height() <= 0)
        return {};
    QImage out(m_width, height(), QImage::Format_RGB32);
    if (out.isNull())
        return {};
    for (int y = 0; y < out.height(); ++y)
        std::memcpy(out.scanLine(y), rowAt(y), size_t(m_width) * 4);
    return out;
}

QImage Stitcher::takeImage()
{
    if (height() <= 0)
        return {};
    QImage out(m_width, height(), QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const size_t stride = size_t(m_width) * 4;
    for (int y = 0; y < m_bodyRows; ++y) {
        std::memcpy(out.scanLine(y), bodyRow(y), stride);
        if (y % blockRows == blockRows - 1)
            m_blocks[size_t(y / blockRows)].reset();
    }
    for (int y = m_bodyRows; y < out.height(); ++y)
        std::memcpy(out.scanLine(y), m_footer.constScanLine(y - m_bodyRows), stride);
    m_blocks.clear();
    m_bodyRows = 0;
    m_footer = QImage();
    m_footerRows.reset();
    m_width = 0;
    m_previous.clear();
    m_ahead = 0;
    m_atLimit = false;
    return out;
}

QImage Stitcher::overview(QSize box) const
{
    const int total = height();
    if (total <= 0 || box.isEmpty())
        return {};
    const double s = std::min({double(box.width()) / m_width, double(box.height()) / total, 1.0});
    const int w = std::max(1, int(m_width * s)), h = std::max(1, int(total * s));
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const auto* src
            = reinterpret_cast<const quint32*>(rowAt(std::min(total - 1, int((y + 0.5) / s))));
        auto* dst = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = src[std::min(m_width - 1, int((x + 0.5) / s))];
    }
    return out;
}

} // namespace quillet
