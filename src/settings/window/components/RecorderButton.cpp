#include "settings/window/components/RecorderButton.h"

#include "settings/ShortcutStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/components/Keycap.h"
#include "settings/window/components/Look.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

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
        return s->symbols().join(QLatin1Char(' '));
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

void RecorderButton::enterEvent(QEnterEvent* e)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(e);
}

void RecorderButton::leaveEvent(QEvent* e)
{
    m_hovered = false;
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

    QColor fill
        = recording ? look::accent(this, 0.1) : look::primary(this, m_hovered ? 0.06 : 0.035);
    QPen outline(recording ? look::accent(this) : look::primary(this, hasFocus() ? 0.35 : 0.18),
        recording ? 1.5 : 1.0);
    if (recording || !bound)
        outline.setDashPattern({4 / outline.widthF(), 3 / outline.widthF()});
    if (hasFocus() && !recording)
        outline.setColor(look::accent(this, 0.8));
    p.setBrush(fill);
    p.setPen(outline);
    p.drawRoundedRect(frame, 9, 9);

    const QRectF inner = frame.adjusted(6, 0, -6, 0);
    if (!recording && bound) {
        const QStringList caps = bound->symbols();
        qreal total = 0;
        for (const QString& c : caps)
            total += Keycap::widthFor(c);
        total += 3 * (caps.size() - 1);
        qreal x = inner.center().x() - total / 2;
        for (const QString& c : caps) {
            const qreal w = Keycap::widthFor(c);
            Keycap::paint(p, QRectF(x, inner.center().y() - 12, w, 24), c, this);
            x += w + 3;
        }
    } else {
        p.setFont(uiFont(12));
        p.setPen(recording ? look::accent(this) : look::secondary(this));
        p.drawText(inner, Qt::AlignCenter, labelText());
    }
    if (showsClear())
        drawSymbol(p, QStringLiteral("xmark.circle.fill"), clearRect(), look::secondary(this));
}

} // namespace quillet
