#pragma once

#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillet {

// Symbols are designed on a 24 × 24 grid (y down) with a 2-unit stroke, about 1.5 points at the
// 18-point size menus use. Everything, strokes included, is turned into one filled area, so
// knocked-out parts (the check in a filled circle) are truly transparent whatever lies beneath.
constexpr qreal symbolGrid = 24.0;
constexpr qreal symbolStroke = 2.0;

// The symbol's area in grid units, or nothing for a name the set does not have. `weight` scales
// the stroke width (1 = regular, about 1.4 = bold).
std::optional<QPainterPath> symbolPath(const QString& name, qreal weight = 1.0);

// Every name the set draws.
QStringList symbolNames();

// Builds a symbol's area from strokes, fills and cut-outs, in drawing order.
class SymbolInk {
public:
    explicit SymbolInk(qreal weight)
        : width(symbolStroke * weight)
    { }

    // The outline of `path` drawn with round caps and joins, `scale` times the regular width.
    void stroke(const QPainterPath& path, qreal scale = 1.0);
    void fill(const QPainterPath& path);
    // Removes an area, or the outline of a path, from what is drawn so far.
    void cut(const QPainterPath& path);
    void cutStroke(const QPainterPath& path, qreal scale = 1.0);

    qreal strokeWidth() const { return width; }
    QPainterPath result() const;

private:
    QPainterPath outline(const QPainterPath& path, qreal scale) const;
    qreal width;
    QPainterPath area; // on a finer grid than the design's, see the .cpp
};

} // namespace quillet
