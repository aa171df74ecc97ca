#pragma once

#include <QCursor>

namespace quillet::Cursors {

// The four-way arrow shown over something that can be dragged as a whole: black with a thin
// white outline, drawn for the given device pixel ratio and kept for the life of the program.
// The open hand stands in when the symbol set has no such arrow.
QCursor move(qreal devicePixelRatio = 1.0);

// Resizing through a corner: the top-left/bottom-right diagonal when nwse, else the other one.
QCursor diagonal(bool nwse);

} // namespace quillet::Cursors
