#pragma once

// Pen and highlighter strokes, which may hold a hundred thousand points.

#include "capture/annotation/Annotation.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QTransform>

namespace quillet {

// Paints a pen (with its shadow) or highlighter stroke. Only the runs of the stroke that reach
// what the painter can paint (its device and clip) are drawn, so a clipped repaint of a long
// stroke costs what the clip holds.
void drawFreehand(QPainter& p, const Annotation& a);

// The stroke being drawn, kept rendered between frames: each frame renders again only the area
// the points added since the last one reach, so a frame costs the same however long the stroke
// has grown. The picture is the one drawFreehand paints.
class LiveStroke {
public:
    // Paints `a` (the stroke being drawn) within `limit` (painter coordinates).
    void paint(QPainter& p, const Annotation& a, const QRectF& limit);
    // Lets go of the rendered layer.
    void clear();

private:
    QImage m_image; // device pixels of m_area
    QRect m_area;
    QTransform m_transform;
    // What the layer holds: a stroke in this look, its first `m_count` points, from `m_first`
    // to `m_last`.
    Annotation m_style;
    qsizetype m_count = 0;
    QPointF m_first, m_last;
};

} // namespace quillet
