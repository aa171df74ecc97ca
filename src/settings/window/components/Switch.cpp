#include "settings/window/components/Switch.h"

#include "settings/window/components/Look.h"

#include <QPainter>
#include <QPainterPath>

namespace quillet {

Switch::Switch(QWidget* parent)
    : QCheckBox(parent)
{
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void Switch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 2, -1, -2);
    const qreal r = track.height() / 2;
    QPainterPath shape;
    shape.addRoundedRect(track, r, r);
    QColor fill = isChecked() ? look::accent(this) : look::primary(this, 0.16);
    if (!isEnabled())
        fill.setAlphaF(fill.alphaF() * 0.45f);
    p.fillPath(shape, fill);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    const QRectF k(x, track.top() + 2, knob, knob);
    p.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    p.setBrush(Qt::white);
    p.drawEllipse(k);
    if (hasFocus()) {
        p.setPen(QPen(look::accent(this, 0.5), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 1, -0.5, -1), r + 1, r + 1);
    }
}

} // namespace quillet
