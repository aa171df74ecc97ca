#pragma once

#include "platform/Screen.h"

#include <QRectF>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace quillet {

// The notice text recognition shows while it works and when it is done. Unlike a toast it can
// be acted on: while working, Esc or a click on it cancels; when done, it offers the text as a
// pin. It takes the keyboard when it appears, as nothing else needs it once the capture closed.
class RecognitionNotice final : public QWidget {
    Q_OBJECT
public:
    explicit RecognitionNotice(const Screen& screen);

    // "已复制识别的文字" with a button that calls `pin`; goes by itself after a few seconds.
    void showDone(std::function<void()> pin);
    bool isDone() const { return m_done; }
    // The pin button's box in widget coordinates (empty while working).
    QRectF pinButton() const { return m_done ? m_pinBox : QRectF(); }

    // Esc or a click while working.
    std::function<void()> onCancel;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void layOut();
    void place();

    Screen m_screen;
    QString m_text;
    QString m_hint;
    QRectF m_pinBox;
    bool m_done = false;
    int m_phase = 0;
    QTimer m_spin;
    QTimer m_dismiss;
    std::function<void()> m_pin;
};

} // namespace quillet
