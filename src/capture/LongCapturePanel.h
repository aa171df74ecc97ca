#pragma once

#include <QImage>
#include <QSize>
#include <QWidget>

class QLabel;

namespace quillet {

class ToolButton;

// The small panel beside a long capture's region: the height gathered, a live preview, what
// just happened, and the buttons. Its keys: Return finishes, Esc cancels, Ctrl+S saves, A turns
// auto-scrolling on and off; any other key, or the pointer coming onto the panel, stops it.
class LongCapturePanel final : public QWidget {
    Q_OBJECT
public:
    explicit LongCapturePanel(bool canAutoScroll);

    static QSize previewBox() { return {150, 190}; }
    void setHeight(int pixels);
    void setNote(const QString& text);
    void setPreview(const QImage& image);
    void setAuto(bool running);

Q_SIGNALS:
    void finishClicked();
    void cancelClicked();
    void saveClicked();
    void pinClicked();
    void autoClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ToolButton* button(
        const QString& title, const QString& tip, void (LongCapturePanel::*signal)());

    QLabel* m_height = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_preview = nullptr;
    ToolButton* m_auto = nullptr;
    bool m_running = false;
};

} // namespace quillet
