#include "settings/window/components/Look.h"

#include "settings/Prefs.h"
#include "settings/SettingsStore.h"
#include "ui/Accent.h"

namespace quillet::look {

namespace {

QPalette paletteOf(const QWidget* w)
{
    return w ? w->palette() : QPalette();
}

} // namespace

QColor primary(const QWidget* w, qreal alpha)
{
    QColor c = paletteOf(w).color(QPalette::WindowText);
    c.setAlphaF(float(c.alphaF() * alpha));
    return c;
}

QColor secondary(const QWidget* w)
{
    // Secondary text: the primary colour faded halfway towards the background, so it keeps its
    // contrast in both schemes without relying on a palette role styles fill differently.
    const QColor fg = paletteOf(w).color(QPalette::WindowText);
    const QColor bg = paletteOf(w).color(QPalette::Window);
    const auto mix = [](float a, float b) { return a * 0.6f + b * 0.4f; };
    return QColor::fromRgbF(
        mix(fg.redF(), bg.redF()), mix(fg.greenF(), bg.greenF()), mix(fg.blueF(), bg.blueF()));
}

QColor cardBackground(const QWidget* w)
{
    const QPalette p = paletteOf(w);
    // Cards stand out from the window: lighter than it in the light scheme, a step lighter than
    // the window in the dark one (the base colour there is often darker than the window).
    if (isDark(w))
        return p.color(QPalette::Window).lighter(125);
    return p.color(QPalette::Base);
}

QColor keyBackground(const QWidget* w)
{
    const QPalette p = paletteOf(w);
    if (isDark(w))
        return p.color(QPalette::Window).lighter(165);
    return p.color(QPalette::Base);
}

QColor accent(const QWidget* w, qreal alpha)
{
    Q_UNUSED(w)
    QColor c = quillet::accent();
    c.setAlphaF(float(alpha));
    return c;
}

QColor warning(const QWidget* w)
{
    return isDark(w) ? srgb(1.0, 0.66, 0.30) : srgb(0.80, 0.38, 0.0);
}

bool isDark(const QWidget* w)
{
    const QPalette p = paletteOf(w);
    return p.color(QPalette::Window).lightnessF() < p.color(QPalette::WindowText).lightnessF();
}

void writePref(const char* key, const QVariant& value)
{
    auto s = Prefs::store();
    s->setValue(QLatin1String(key), value);
    s->sync();
}

} // namespace quillet::look
