#pragma once

#include <QVariantAnimation>
#include <QWidget>

namespace quillet {

// A 140 × 84 miniature of the capture overlay's darkening: a desktop gradient, four bars of
// window content, and the veil at `alpha` outside a selection frame. Changes ease out in 0.1 s.
class DimPreview final : public QWidget {
    Q_OBJECT
public:
    explicit DimPreview(qreal alpha, QWidget* parent = nullptr);

    qreal alpha() const { return m_target; }
    // What is painted at this moment (moves towards alpha() while animating).
    qreal shownAlpha() const { return m_shown; }
    void setAlpha(qreal alpha);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    qreal m_target;
    qreal m_shown;
    QVariantAnimation m_animation;
};

} // namespace quillet
