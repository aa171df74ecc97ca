#include "settings/window/pages/PageControls.h"

#include "settings/window/components/Look.h"
#include "settings/window/components/Switch.h"
#include "ui/Icons.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quillet {

Switch* boundSwitch(const char* key, bool value, QWidget* parent)
{
    auto* s = new Switch(parent);
    s->setChecked(value);
    QObject::connect(s, &QCheckBox::toggled, s, [key](bool on) { look::writePref(key, on); });
    return s;
}

QSlider* percentSlider(const char* key, double value, int min, int max, QWidget* parent)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(min, max);
    slider->setSingleStep(1);
    slider->setPageStep(5);
    slider->setFocusPolicy(Qt::StrongFocus);
    // A stored value outside the range shows at the nearest end; it is only rewritten when the
    // user moves the slider.
    const double v = std::isfinite(value) ? value : min / 100.0;
    slider->setValue(std::clamp(int(std::lround(v * 100)), min, max));
    QObject::connect(slider, &QSlider::valueChanged, slider,
        [key](int percent) { look::writePref(key, percent / 100.0); });
    return slider;
}

SymbolLabel::SymbolLabel(const QString& symbol, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
{
    setFixedSize(14, 14);
}

void SymbolLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    drawSymbol(p, m_symbol, QRectF(rect()), look::secondary(this));
}

} // namespace quillet
