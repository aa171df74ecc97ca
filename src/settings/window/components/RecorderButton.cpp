#include "settings/window/components/RecorderButton.h"

#include "settings/ShortcutStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/components/Keycap.h"
#include "settings/window/components/Look.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QEasingCurve>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace quillet {

RecorderButton::RecorderButton(SettingsModel& model, HotKeyAction action, int slot, QWidget* parent)
    : QAbstractButton(parent)
    , m_model(model)
    , m_action(action)
    , m_slot(slot)
{
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setAccessibleName(title(action) + QStringLiteral(" 快捷键 ") + QString::number(slot + 1));
    for (QVariantAnimation* ease : {&m_hoverEase, &m_recordEase}) {
        ease->setDuration(150);
        ease->setEasingCurve(QEasingCurve::OutCubic);
    }
    connect(&m_hoverEase, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_hover = v.toReal();
        update();
    });
    connect(&m_recordEase, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_record = v.toReal();
        update();
    });
    m_record = isRecording() ? 1 : 0;
    connect(this, &QAbstractButton::clicked, this, &RecorderButton::toggle);
    connect(&model, &SettingsModel::recordingChanged, this, &RecorderButton::sync);
    connect(&model, &SettingsModel::revisionChanged, this, &RecorderButton::sync);
    sync();
}

QString RecorderButton::identifier() const
{
    return rawValue(m_action) + QLatin1Char('.') + QString::number(m_slot);
}

bool RecorderButton::isRecording() const
{
    return m_model.isRecording(identifier());
}

std::optional<Shortcut> RecorderButton::shortcut() const
{
    return ShortcutStore::get(m_action, m_slot);
}

QString RecorderButton::labelText() const
{
    if (isRecording())
        return QStringLiteral("按下快捷键…");
    if (const auto s = shortcut())
        return s->display();
    return QStringLiteral("点击录制");
}

void RecorderButton::bind(HotKeyAction action, int slot, const std::optional<Shortcut>& shortcut)
{
    if (shortcut) {
        for (HotKeyAction other : allHotKeyActions) {
            for (int s = 0; s < ShortcutStore::slots; ++s) {
                if ((other != action || s != slot) && ShortcutStore::get(other, s) == shortcut)
                    ShortcutStore::set(other, s, std::nullopt);
            }
        }
    }
    ShortcutStore::set(action, slot, shortcut);
}

void RecorderButton::toggle()
{
    if (isRecording()) {
        m_model.stopRecording();
        return;
    }
    const HotKeyAction action = m_action;
    const int slot = m_slot;
    m_model.startRecording(
        identifier(), [action, slot](std::optional<Shortcut> s) { bind(action, slot, s); });
}

void RecorderButton::sync()
{
    setToolTip(isRecording() ? QStringLiteral("按 Esc 取消，Delete 清空")
                             : QStringLiteral("点击后按下新的快捷键"));
    setText(labelText());
    setAccessibleDescription(labelText());
    ease(m_recordEase, m_record, isRecording() ? 1 : 0);
    update();
}

bool RecorderButton::showsClear() const
{
    return m_hovered && !isRecording() && shortcut().has_value();
}

QRectF RecorderButton::clearRect() const
{
    return QRectF(width() - 15, 2, 13, 13);
}

void RecorderButton::ease(QVariantAnimation& animation, qreal from, qreal to)
{
    const bool running = animation.state() == QAbstractAnimation::Running;
    if ((running && animation.endValue().toReal() == to) || (!running && from == to))
        return;
    animation.stop();
    animation.setStartValue(from);
    animation.setEndValue(to);
    animation.start();
}

void RecorderButton::enterEvent(QEnterEvent* e)
{
    m_hovered = true;
    ease(m_hoverEase, m_hover, 1);
    update();
    QAbstractButton::enterEvent(e);
}

void RecorderButton::leaveEvent(QEvent* e)
{
    m_hovered = false;
    ease(m_hoverEase, m_hover, 0);
    update();
    QAbstractButton::leaveEvent(e);
}

void RecorderButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && showsClear()
        && clearRect().adjusted(-2, -2, 2, 2).contains(e->position())) {
        // The clear control: unbind without starting a recording.
        setDown(false);
        ShortcutStore::set(m_action, m_slot, std::nullopt);
        m_model.refresh();
        e->accept();
        return;
    }
    QAbstractButton::mouseReleaseEvent(e);
}

void RecorderButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool recording = isRecording();
    const std::optional<Shortcut> bound = shortcut();
    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);

    const auto blend = [](const QColor& a, const QColor& b, qreal t) {
        const auto mix = [t](float x, float y) { return float(x + (y - x) * t); };
        return QColor::fromRgbF(mix(a.redF(), b.redF()), mix(a.greenF(), b.greenF()),
            mix(a.blueF(), b.blueF()), mix(a.alphaF(), b.alphaF()));
    };
    const QColor idleFill = blend(look::primary(this, 0.035), look::primary(this, 0.06), m_hover);
    const QColor fill = blend(idleFill, look::accent(this, 0.1), m_record);
    const QColor idleLine = hasFocus() ? look::accent(this, 0.8) : look::primary(this, 0.18);
    QPen outline(blend(idleLine, look::accent(this), m_record), 1.0 + 0.5 * m_record);
    // Dashed while recording or unbound, solid when a shortcut is bound.
    if (recording || !bound)
        outline.setDashPattern({4 / outline.widthF(), 3 / outline.widthF()});
    p.setBrush(fill);
    p.setPen(outline);
    p.drawRoundedRect(frame, 9, 9);

    const QRectF inner = frame.adjusted(6, 0, -6, 0);
    if (!recording && bound) {
        const QStringList caps = bound->keyCaps();
        qreal total = 0;
        for (const QString& c : caps)
            total += Keycap::widthFor(c);
        total += 3 * (caps.size() - 1);
        // Worded caps (Ctrl, Shift, Super) outgrow the button with three or four modifiers:
        // shrink the row about its centre rather than paint past the frame.
        const qreal fit = std::min<qreal>(1, inner.width() / total);
        p.save();
        p.translate(inner.center());
        p.scale(fit, fit);
        qreal x = -total / 2;
        for (const QString& c : caps) {
            const qreal w = Keycap::widthFor(c);
            Keycap::paint(p, QRectF(x, -12, w, 24), c, this);
            x += w + 3;
        }
        p.restore();
    } else {
        p.setFont(uiFont(12));
        p.setPen(recording ? look::accent(this) : look::secondary(this));
        p.drawText(inner, Qt::AlignCenter, labelText());
    }
    if (showsClear())
        drawSymbol(p, QStringLiteral("xmark.circle.fill"), clearRect(), look::secondary(this));
}

} // namespace quillet
