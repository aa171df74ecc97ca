#pragma once

// Joins frames of one screen region, taken while the content under it scrolls, into one tall
// image. Works on plain images only, so it can be checked against made-up frames.

#include <QImage>
#include <QSize>

#include <memory>
#include <optional>
#include <vector>

namespace quillet {

// One hash per pixel row of a frame; rows are compared by these.
using RowHashes = std::vector<quint64>;
RowHashes rowHashes(const QImage& frame);

// Rows at the top and the bottom of a frame that stayed where they were: a header, a toolbar, a
// footer, or content that happens to look the same at the same place.
struct FixedBands {
    int top = 0;
    int bottom = 0;
    bool operator==(const FixedBands&) const = default;
};
// `top` is the whole height when nothing changed at all.
FixedBands findFixedBands(const RowHashes& previous, const RowHashes& current);

// How many rows the content between the bands moved up from `previous` to `current` (negative:
// it moved down, the user scrolled back). Nothing when no offset is certain: too few rows
// that tell places apart (a blank stretch), or rows that match at no offset (the content
// changed by itself). Zero is never an answer; a frame that did not move has none.
std::optional<int> findOffset(
    const RowHashes& previous, const RowHashes& current, const FixedBands& bands);

class Stitcher {
public:
    // 30,000 device pixels tall at most, and never an image larger than QImage and QPainter take.
    static constexpr int defaultMaxRows = 30000;
    explicit Stitcher(int maxRows = defaultMaxRows);
    ~Stitcher();
    Stitcher(const Stitcher&) = delete;
    Stitcher& operator=(const Stitcher&) = delete;

    enum class Step {
        first, // the first frame: the image so far
        appended, // new rows at the bottom
        unchanged, // nothing moved (or only a little changed by itself)
        back, // scrolled back up: nothing to add
        refused, // the content changed by itself, or a frame of another size: left out
        limit, // the height limit was reached; later frames add nothing
    };
    struct Outcome {
        Step step = Step::unchanged;
        int rowsAdded = 0;
    };

    Outcome add(const QImage& frame);
    // The same, with the frame's hashes already made (the caller compared frames with them).
    Outcome add(const QImage& frame, const RowHashes& hashes);

    int height() const; // rows of the image so far
    int width() const { return m_width; }
    int maxRows() const { return m_maxRows; }
    bool atLimit() const { return m_atLimit; }
    bool isEmpty() const { return m_width == 0; }

    // The stitched image, device pixels, RGB32. Null when nothing was added or memory ran out.
    QImage image() const;
    // The same, giving up the stitcher's own rows as they are copied, so the peak is one image.
    QImage takeImage();
    // The whole image scaled into `box` (nearest pixel), cheap enough for every frame.
    QImage overview(QSize box) const;

private:
    void appendRows(const QImage& src, int y0, int count);
    void truncateBody(int rows);
    const uchar* bodyRow(int y) const;
    void setFooter(const QImage& frame, int rows);
    void shrinkFooter(int rows);
    const uchar* rowAt(int y) const; // body then footer

    int m_maxRows;
    int m_width = 0;
    int m_frameHeight = 0;
    RowHashes m_previous;
    std::vector<std::unique_ptr<uchar[]>> m_blocks; // blockRows rows each
    int m_bodyRows = 0;
    std::optional<int> m_footerRows; // set by the first frame that moved
    QImage m_footer; // the last frame's bottom m_footerRows rows, when aligned with the body
    int m_ahead = 0; // rows the body reaches beyond the current frame, after a scroll back up
    bool m_atLimit = false;
};

} // namespace quillet
