// Stand-in until the symbol set lands.
#include "ui/Icons.h"

namespace quillet {

bool drawSymbol(QPainter&, const QString&, const QRectF&, const QColor&, qreal) { return false; }
QIcon symbolIcon(const QString&, const QColor&) { return {}; }
bool hasSymbol(const QString&) { return false; }

} // namespace quillet
