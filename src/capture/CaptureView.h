#pragma once

#include "capture/ScreenShot.h"
#include "capture/annotation/Annotator.h"
#include "capture/annotation/DragMode.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QRegion>
#include <QWidget>
#include <memory>
#include <optional>

class QTimer;

namespace quillet {

class CaptureSession;

// The content of one overlay: the frozen screen, the region being chosen or adjusted, the
// magnifier, and the annotation side (Annotator) that draws on the chosen region.
// Logic positions are view points: origin at the screen's bottom-left corner, y upward.
class CaptureView final : public QWidget, public AnnotationHost {
    Q_OBJECT
public:
    // `windowRects` are view-local, front-most first. `pointer` is the pointer in view points
    // when it is on this screen.
    CaptureView(CaptureSession* session, const ScreenShot& shot, const QList<QRectF>& windowRects,
        std::optional<QPointF> pointer);
    ~CaptureView() override;

    // The view keeps its session alive from the moment it is shown until its window goes.
    void holdSession(std::shared_ptr<CaptureSession> session) { m_sessionRef = std::move(session); }

    const Screen& screen() const { return m_screen; }
    const QImage& image() const { return m_image; }
    QRectF bounds() const { return QRectF(QPointF(0, 0), m_screen.frame.size()); }
    qreal scale() const { return m_screen.scale; }
    Annotator& annotator() { return *m_annotator; }
    const Annotator& annotator() const { return *m_annotator; }

    // --- selection state ---
    bool selected() const { return m_selected; }
    QRectF selection() const { return m_selection; }
    const DragMode& dragMode() const { return m_dragMode; }
    std::optional<QRectF> hoverRect() const { return m_hoverRect; }
    std::optional<QRectF> shownHover() const { return m_shownHover; }
    std::optional<QPointF> mouse() const { return m_mouse; }
    const QList<QRectF>& windowRects() const { return m_windowRects; }
    bool isEasing() const;

    // Re-editing a pin: the region and its annotations come back, ready to edit.
    void beginEditing(const QRectF& selection, const QList<Annotation>& annotations,
        const AnnotationHistory& history = {});

    // --- input, in view points (the Qt handlers convert and call these) ---
    void mouseMovedAt(QPointF p);
    void mouseDownAt(QPointF p, int clickCount = 1);
    void mouseDraggedAt(QPointF p);
    void mouseUpAt(QPointF p);
    void rightMouseDownAt(QPointF p);
    // True when the key was used; otherwise it goes on to the widget's own handling.
    bool keyDown(int key, Qt::KeyboardModifiers mods);
    void scrollBy(double dy, bool precise);
    void mouseEnteredView();
    void mouseExitedView();

    void updateHover(QPointF p);
    void animateHover();
    // The edges (DragMode's Edge bits) whose handle zone holds p; 0 when none.
    static int handleEdges(const QRectF& selection, QPointF p);

    // --- drawing ---
    // The region left undimmed; none on a screen that is not the active one.
    std::optional<QRectF> regionOfInterest() const;
    QString sizeLabelText() const;
    std::optional<QRectF> sizeLabelRect() const;
    std::optional<QRectF> magnifierRect() const;
    std::optional<QColor> pixelColor(QPointF p) const;
    // C key: the colour under the pointer goes to the clipboard as "#RRGGBB" and the capture ends.
    void copyColor();
    // Paints what lies in `exposed` (widget coordinates) as a full repaint would.
    void paint(QPainter& p, const QRegion& exposed);
    // What changed on screen since the last request; the view repaints exactly that.
    QRegion takeDamage() { return std::exchange(m_damage, QRegion()); }
    bool dimmedReady() const { return !m_dimmed.isNull(); }
    // Makes that copy in the background; the first paint on screen asks for it.
    void startDimming();
    void redrawAll();
    // The capture is over and the view off screen: lets go of the frozen frame and its copies.
    void releaseFrame();

    // --- finishing ---
    // The selection at full device-pixel size; its devicePixelRatio gives the point size.
    std::optional<QImage> render(bool annotated);
    using QWidget::render; // painting the widget itself into a device
    void copyAndFinish();
    void saveAndFinish();
    void pinAndFinish();
    // O or the toolbar's button: the region as copied goes to text recognition, and the
    // capture closes as for a copy. A recognition already running refuses it with a beep.
    void recogniseText();
    void repin(const QImage& image);
    // The overlay gives way to the live screen and the selection is captured scrolling.
    void startLongCapture();
    Q_INVOKABLE void copy();
    Q_INVOKABLE void saveImage();
    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();

    // --- AnnotationHost ---
    QWidget* hostWidget() override { return this; }
    QRectF hostBounds() const override { return bounds(); }
    QRectF hostSelection() const override { return m_selection; }
    bool hostSelected() const override { return m_selected; }
    qreal hostScale() const override { return m_screen.scale; }
    const QImage& hostImage() const override { return m_image; }
    std::optional<QPointF> hostMouse() const override { return m_mouse; }
    DragMode& hostDragMode() override { return m_dragMode; }
    QPointF hostDragStart() const override { return m_dragStart; }
    void hostRedraw() override { redraw(); }
    void hostUpdateCursor(QPointF p) override { updateCursor(p); }
    void hostTakeKeyboard() override;
    void hostPinSelection() override { pinAndFinish(); }
    void hostCopyAndFinish() override { copyAndFinish(); }
    QString hostLongCaptureUnavailable() const override;
    void hostLongCapture() override { startLongCapture(); }
    void hostRecogniseText() override { recogniseText(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The parts of the picture that move with the pointer, as last requested.
    struct Chrome {
        std::optional<QRectF> roi;
        bool full = false; // the whole view depends on the state (a selection, another view)
        QRegion frame; // the frame with its glow and the size label, widget coordinates
        QRegion panel; // the magnifier with its shadow
    };

    bool gated() const;
    // A finishing path is done with the overlay: re-pins a pin being edited, else closes.
    void endWith(const QImage& image, bool fade);
    // The overlay that holds the keys when it is not this one.
    CaptureView* keyHolder();
    bool live() const;
    void updateCursor(QPointF p);
    void redraw();
    void redrawBrushRing(std::optional<QPointF> before);
    Chrome chrome() const;
    void nudge(int key, Qt::KeyboardModifiers mods);
    void stepHistory(bool forward); // redo when forward, else undo
    void warpPointer(int key);
    void finishCreateOrAdjust();
    QPointF viewPoint(QPointF widgetPos) const;

    void paintImage(QPainter& p, const QRegion& exposed, const std::optional<QRectF>& roi);
    void paintFrame(QPainter& p, const QRectF& r, const QRegion& exposed);
    void paintHandles(QPainter& p, const QRectF& r, const QRegion& exposed);
    void paintSizeLabel(QPainter& p, const QRectF& r);
    void paintMagnifier(QPainter& p, const QRegion& exposed, QPointF m);
    // After a frame drawn at `painted`, repaints once the window's buffer takes that scale.
    void repaintAtWindowScale(qreal painted);

    CaptureSession* m_session = nullptr;
    std::shared_ptr<CaptureSession> m_sessionRef;
    Screen m_screen;
    QImage m_image;
    QImage m_dimmed; // the frozen image with the dimming already applied: one blit per repaint
    bool m_dimming = false;
    QList<QRectF> m_windowRects;
    std::optional<QPointF> m_mouse;
    std::optional<QRectF> m_hoverRect;
    std::optional<QRectF> m_shownHover;
    QTimer* m_animTimer = nullptr;
    QTimer* m_scaleWatch = nullptr; // while the window's buffer is at another scale than drawn
    bool m_selected = false;
    QRectF m_selection;
    QPointF m_dragStart;
    DragMode m_dragMode;
    std::unique_ptr<Annotator> m_annotator;

    // Read once per capture: they cannot change while the overlay holds the screen.
    double m_dimAlpha = 0.42;
    bool m_showMagnifier = true;

    // Where a keyboard step put the pointer; the window system reports it rounded to points.
    std::optional<QPointF> m_warpTarget;

    Chrome m_lastChrome;
    QRegion m_damage;
};

} // namespace quillet
