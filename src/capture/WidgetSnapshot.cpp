#include "capture/WidgetSnapshot.h"

#include <QAbstractAnimation>
#include <QLayout>
#include <QWidget>

namespace quillet {

namespace {

// Bars slide in and buttons ease their colour: a picture taken at once would catch them half
// way. Jumping to the end runs each animation's own finishing steps.
void settleAnimations(QWidget& widget)
{
    for (QAbstractAnimation* a : widget.findChildren<QAbstractAnimation*>()) {
        if (a->state() == QAbstractAnimation::Running && a->totalDuration() >= 0)
            a->setCurrentTime(a->totalDuration());
    }
}

// Layouts of widgets that were never shown wait for a show to place their children.
void layOut(QWidget& widget)
{
    widget.ensurePolished();
    for (QWidget* child : widget.findChildren<QWidget*>())
        child->ensurePolished();
    if (QLayout* l = widget.layout())
        l->activate();
    for (QLayout* l : widget.findChildren<QLayout*>())
        l->activate();
}

} // namespace

QImage widgetSnapshot(QWidget& widget, qreal ratio)
{
    layOut(widget);
    settleAnimations(widget);
    const QSize pixels(int(widget.width() * ratio), int(widget.height() * ratio));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget.render(
        &image, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image;
}

} // namespace quillet
