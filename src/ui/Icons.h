#pragma once

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace quillet {

// The program's own symbol set, addressed by symbol names ("scissors", "pin", "xmark.square",
// "gearshape", "info.circle", "power", "checkmark", "checkmark.circle.fill", "rectangle",
// "arrow.up.right", "1.circle", "doc.on.doc", …). Drawn as vectors, so they are crisp at any
// device pixel ratio.

// Draws the symbol fitted into `rect` (y-down painter coordinates) in `color`.
// Returns false for an unknown name (nothing is drawn).
bool drawSymbol(
    QPainter& p, const QString& name, const QRectF& rect, const QColor& color, qreal weight = 1.0);

// An icon of the symbol for menus and buttons; renders anew at every requested size and ratio.
QIcon symbolIcon(const QString& name, const QColor& color = QColor(40, 40, 40));

bool hasSymbol(const QString& name);

} // namespace quillet
