#include "settings/window/components/DimPreview.h"

#include "settings/window/components/Look.h"
#include "ui/Accent.h"

#include <QEasingCurve>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quillet {

DimPreview::DimPreview(qreal alpha, QWidget* parent)
    : QWidget(parent)
    , m_target(alpha)
    , m_shown(alpha)
{
    setFixedSize(140, 84);
    m_animation.setDuration(100);
    m_animation.setEasingCurve(QEasingCurve::OutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_shown = v.toReal();
        update();
    });
}

void DimPreview::setAlpha(qreal alpha)
{
    if (alpha == m_target)
        return;
    m_target = alpha;
    m_animation.stop();
    if (!isVisible()) {
        // Nothing to watch: jump, so a page shown later starts at the right darkness.
        m_shown = alpha;
        return;
    }
    m_animation.setStartValue(m_shown);
    m_animation.setEndValue(alpha);
    m_animation.start();
}

void DimPreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    QPainterPath clip;
    clip.addRoundedRect(r, 8, 8);
    p.setClipPath(clip);

    QLinearGradient desktop(r.topLeft(), r.bottomRight());
    desktop.setColorAt(0, srgb(0.35, 0.55, 0.95));
    desktop.setColorAt(1, srgb(0.75, 0.45, 0.85));
    p.fillRect(r, desktop);

    const qreal bars[] = {70, 50, 62, 40};
    for (int i = 0; i < 4; ++i) {
        QPainterPath bar;
        bar.addRoundedRect(QRectF(16, 18 + i * 13, bars[i], 5), 2, 2);
        p.fillPath(bar, QColor::fromRgbF(1, 1, 1, 0.75f));
    }

    // The selection: a frame over the upper bars, the veil everywhere else.
    const QRectF selection(34, 14, 66, 38);
    QPainterPath veil;
    veil.addRect(r);
    QPainterPath hole;
    hole.addRect(selection);
    p.fillPath(veil.subtracted(hole), QColor::fromRgbF(0, 0, 0, float(m_shown)));
    p.setPen(QPen(accent(), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(selection);

    p.setClipping(false);
    p.setPen(QPen(look::primary(this, 0.1), 0.5));
    p.drawPath(clip);
}

} // namespace quillet
