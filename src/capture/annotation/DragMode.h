#pragma once

#include <QPointF>
#include <QRectF>

namespace quillet {

// The edges of a selection a resize drag moves; a corner sets two bits.
enum Edge : int { edgeMinX = 1, edgeMaxX = 2, edgeMinY = 4, edgeMaxY = 8 };

// What the current drag on an overlay does. Payload fields are meaningful only for the kinds
// named beside them.
struct DragMode {
    enum Kind { none, create, move, resize, textMove, textResize, draw };
    Kind kind = none;
    QRectF rect; // move, resize: the selection at the press
    int edges = 0; // resize
    int index = -1; // textMove, textResize: the annotation
    QPointF point; // textMove: the text's origin at the press; textResize: the fixed anchor
    QRectF frame; // textResize: the text frame at the press
    double width = 0; // textResize: the size code at the press

    static DragMode make(Kind k)
    {
        DragMode d;
        d.kind = k;
        return d;
    }
};

} // namespace quillet
