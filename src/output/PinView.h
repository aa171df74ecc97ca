#pragma once

#include <QPointF>
#include <QString>
#include <QWidget>
#include <optional>
#include <utility>

class QMenu;
class QTimer;

namespace quillet {

class PinWindow;
class TextSheet;

// The content of a pin: paints the image, its border and the zoom/opacity badge, and turns the
// mouse, wheel, keys and context menu into actions on its window.
class PinView final : public QWidget {
    Q_OBJECT
public:
    explicit PinView(PinWindow* window);

    // Shows the badge with this text until 0.9 s after the latest flash.
    void flashHUD(const QString& text);
    // The badge text now shown; empty when hidden.
    QString hudText() const { return m_hud.value_or(QString()); }

    // Above this zoom the pixels are drawn hard, so magnified captures stay sharp.
    static constexpr qreal sharpZoomAbove = 1.5;

    // The context menu, made anew for every request; the caller owns it.
    QMenu* buildMenu();

    // A paper note's text can be selected with the mouse and the keyboard; other pins are only
    // dragged. Turning it on or off drops the selection.
    void setTextSelectable(bool selectable);
    // The selected part of a note's text; empty when nothing is selected.
    QString selectedText() const;
    std::pair<int, int> selection() const { return {m_anchor, m_caret}; }

public Q_SLOTS:
    void editPin();
    void copy();
    void recogniseText();
    void saveImage();
    void resetZoom();
    void closePin();
    void closeAll();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    PinWindow* pinWindow() const;
    const TextSheet* sheet() const;
    // A point of this widget on the note, in the note's own points.
    QPointF onSheet(QPointF widgetPoint) const;
    bool isOnText(QPointF widgetPoint) const;
    // Moves the caret for a selection key; false for any other key.
    bool moveCaret(const QKeyEvent* event);
    void select(int anchor, int caret);

    std::optional<QString> m_hud;
    QTimer* m_hudTimer = nullptr;
    // Where the left button went down, until the pointer moves far enough to start a move.
    std::optional<QPointF> m_pressAt;
    // Set while the pin follows the pointer itself (no window manager to move it).
    std::optional<QPointF> m_dragFrom;
    // The selection runs from the anchor to the caret, in positions of the note's text.
    int m_anchor = 0;
    int m_caret = 0;
    bool m_selecting = false;
    // The caret shows once the keyboard has moved it, so a plain note looks as it always did.
    bool m_caretShown = false;
};

} // namespace quillet
