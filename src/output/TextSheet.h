#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <memory>
#include <utility>

class QPainter;
class QPalette;
class QTextLayout;

namespace quillet {

// The text of a paper note laid out once: it draws the note, and it knows where every character
// lies on it, so that a pin showing the note can let the user select and copy part of the text.
// Positions count UTF-16 units of the text as shown (line breaks are one unit each); sheet
// coordinates are points from the note's top-left corner, y down.
class TextSheet {
public:
    // Lays out the text as a note rendered at `scale` device pixels per point would show it:
    // the number of lines kept depends on the scale, through the bound on an image's size.
    explicit TextSheet(const QString& text, qreal scale = 1.0);
    ~TextSheet();
    TextSheet(const TextSheet&) = delete;
    TextSheet& operator=(const TextSheet&) = delete;

    // The scale the note is drawn at after the bound on its size.
    qreal scale() const { return m_scale; }
    QSizeF size() const { return m_size; }
    // The rendered note's size in device pixels.
    QSize pixelSize() const;
    QImage render() const;
    // The number of positions, the end included.
    int length() const { return int(m_shown.size()); }

    // Whether a point lies on a line's text rather than the margin, a blank line or past the
    // end of a line: the note is dragged from everywhere else.
    bool isOnText(QPointF point) const;
    // The position between characters nearest to a point; points outside the text go to the
    // nearest line.
    int positionAt(QPointF point) const;
    // The word (or run of non-word characters) around a position.
    std::pair<int, int> wordAt(int position) const;
    // The next or previous position a cursor stops at (whole characters, emoji sequences
    // included).
    int nextPosition(int position) const;
    int previousPosition(int position) const;
    // The position one line up or down at the same x; the ends of the text past the first and
    // last lines.
    int positionOnLineAbove(int position) const;
    int positionOnLineBelow(int position) const;
    int lineStart(int position) const;
    int lineEnd(int position) const;

    // The shown text between two positions, in either order, with plain line breaks.
    QString textBetween(int a, int b) const;
    // Paints the selection between two positions over the drawn note: the highlight behind,
    // the selected characters again in the highlight's text colour.
    void drawSelection(QPainter& painter, int a, int b, const QPalette& palette) const;
    // The caret at a position, a thin rectangle in sheet coordinates.
    QRectF caretRect(int position) const;

    // The selection's background and text colours for a palette: its own where they stand out
    // against the paper and from each other, the accent otherwise, so the selection shows in
    // dark palettes whose highlight is meant for dark backgrounds as well as in light ones.
    static std::pair<QColor, QColor> selectionColours(const QPalette& palette);
    static QColor paper();

private:
    int lineIndexAt(qreal y) const;
    int lineIndexOf(int position) const;
    int clampPosition(int position) const;

    QString m_shown;
    qreal m_scale = 1.0;
    QSizeF m_size;
    int m_kept = 0;
    std::unique_ptr<QTextLayout> m_layout;
};

} // namespace quillet
