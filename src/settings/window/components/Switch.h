#pragma once

#include <QCheckBox>

namespace quillet {

// An on/off switch. A check box underneath, so keyboard (Space) and assistive technology treat
// it as one, with its state; drawn as a sliding knob in the accent colour.
class Switch final : public QCheckBox {
    Q_OBJECT
public:
    explicit Switch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {38, 22}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace quillet
