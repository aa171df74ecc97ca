#pragma once

#include "settings/Shortcut.h"

#include <QAbstractButton>
#include <QVariantAnimation>
#include <optional>

namespace quillet {

class SettingsModel;

// The button that shows and records one shortcut slot ("capture.0" …). Idle it shows the
// slot's key caps, or "点击录制" when unbound; clicked it records ("按下快捷键…") until a key
// combination, Esc, Delete, another click or loss of focus ends it. A hovered bound button
// shows a clear control at its top-trailing corner.
class RecorderButton final : public QAbstractButton {
    Q_OBJECT
public:
    RecorderButton(SettingsModel& model, HotKeyAction action, int slot, QWidget* parent = nullptr);

    QString identifier() const;
    bool isRecording() const;
    std::optional<Shortcut> shortcut() const;
    // The label as it reads: "按下快捷键…", the key caps joined by spaces, or "点击录制".
    QString labelText() const;
    // Where the clear control sits (only live while hovered, bound and idle).
    QRectF clearRect() const;

    QSize sizeHint() const override { return {124, 36}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

    // Stores `shortcut` in (action, slot), first unbinding every other slot that holds it, so a
    // combination belongs to one slot at most. None unbinds the slot.
    static void bind(HotKeyAction action, int slot, const std::optional<Shortcut>& shortcut);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void nextCheckState() override { }

private:
    void toggle();
    void sync();
    bool showsClear() const;
    void ease(QVariantAnimation& animation, qreal from, qreal to);

    SettingsModel& m_model;
    HotKeyAction m_action;
    int m_slot;
    bool m_hovered = false;
    // Hover and recording ease in and out over 0.15 s; painting blends by these (0 … 1).
    qreal m_hover = 0;
    qreal m_record = 0;
    QVariantAnimation m_hoverEase;
    QVariantAnimation m_recordEase;
};

} // namespace quillet
