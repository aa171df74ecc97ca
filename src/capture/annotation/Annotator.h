#pragma once

#include "capture/annotation/Annotation.h"
#include "capture/annotation/DragMode.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <memory>
#include <optional>

class QLineEdit;
class QPainter;
class QWidget;
class QComboBox;

namespace quillet {

class ToolButton;

// What the annotation side needs of the overlay view that hosts it. The view implements it.
class AnnotationHost {
public:
    virtual ~AnnotationHost() = default;
    virtual QWidget* hostWidget() = 0; // parent of the text field and the bars
    virtual QRectF hostBounds() const = 0; // (0, 0, width, height) in view points
    virtual QRectF hostSelection() const = 0;
    virtual bool hostSelected() const = 0;
    virtual qreal hostScale() const = 0; // device pixels per point
    virtual const QImage& hostImage() const = 0; // the frozen screen
    virtual std::optional<QPointF> hostMouse() const = 0;
    virtual DragMode& hostDragMode() = 0;
    virtual QPointF hostDragStart() const = 0;
    virtual void hostRedraw() = 0;
    virtual void hostUpdateCursor(QPointF p) = 0;
    virtual void hostTakeKeyboard() = 0; // the view becomes the keyboard target again
    virtual void hostPinSelection() = 0; // the toolbar's pin button
    virtual void hostCopyAndFinish() = 0; // the toolbar's OK button
    // The toolbar's long-capture button; empty when it is offered, else why not.
    virtual QString hostLongCaptureUnavailable() const { return QStringLiteral("长截图不可用"); }
    virtual void hostLongCapture() { }
    virtual void hostRecogniseText() { } // the toolbar's text recognition button
};

// A text hit: where a press on a text annotation landed.
struct TextHit {
    enum Kind { remove, corner, body, edge };
    Kind kind = body;
    int index = -1;
    QPointF anchor; // corner: the frame corner diagonally opposite
};

// The annotation side of one overlay view: the list, the tool and style in use, text editing in
// place, the toolbar and the style bar. Positions are view points, y up.
class Annotator final : public QObject {
    Q_OBJECT
public:
    explicit Annotator(AnnotationHost& host, QObject* parent = nullptr);
    ~Annotator() override;

    // --- state ---
    std::optional<Tool> tool;
    QColor color;
    double lineWidth = 4;
    QList<Annotation> annotations;
    std::optional<Annotation> current;
    std::optional<int> activeShape;
    double scrollAccum = 0;
    double fontSize = 48;
    int textStyle = 1;
    int mosaicSize = 1; // the block size of new mosaics (their style)
    std::optional<int> editingIndex;
    std::optional<int> activeText;
    std::optional<int> hoverText;
    // What undo and redo lead to. A state is kept once a change is finished: a shape released, a
    // text committed, a style chosen.
    AnnotationHistory history;

    static const QList<double>& fontSizes(); // 12 … 96
    static const QList<double>& lineWidths(); // 2, 4, 7, 12

    // --- text ---
    std::optional<TextHit> textHit(QPointF p) const;
    bool isEditingText() const;
    QLineEdit* textField() const;
    void startEditing(int index);
    void editText(int index);
    void syncTextField();
    void commitText();
    void discardEditing();
    void applyStyleToActiveText();

    // --- the press dispatch hands over here at its fixed steps ---
    // A press while a text is being edited that lands on that text: move, resize or delete it.
    bool pressOnEditedText(QPointF p);
    // A press with no tool or the text tool on any text: select, move, resize, edit or delete.
    bool pressOnText(QPointF p);
    void clearActive(); // activeText and activeShape
    // A press inside the selection with a tool: start a shape or stroke, place text or a stamp.
    void beginAnnotation(QPointF p);
    // A drag in draw, textMove or textResize; p is already clamped into the view.
    void drag(QPointF p);
    // A release in draw or textResize.
    void release();
    void updateHoverText(QPointF p);
    // Scroll wheel while a selection exists.
    void scroll(double dy, bool precise);
    // Back to the state before the last finished change, and forward again. A new change drops
    // the states redo would have led to. Past either end nothing happens.
    void undo();
    void redo();
    // Records the list as a new state when it differs from the last one kept. Changes still under
    // way (a stroke being drawn, a text in the field) wait for their end.
    void settle();
    void shiftAnnotations(double dx, double dy);
    // Back to choosing a region: everything drawn goes, the tool and the bars too.
    void reset();
    void setAnnotations(const QList<Annotation>& list, const AnnotationHistory& past = {});
    // Deletes the active text (Delete key). False when no text is active.
    bool deleteActiveText();

    // --- style ---
    void selectTool(std::optional<Tool> t);
    void debugSelect(std::optional<Tool> t);
    void setLineWidth(double w);
    void chooseColor(int k);
    void chooseWidth(double w);
    void chooseTextStyle(int s);
    void chooseFontSize(double v);
    void chooseMosaicSize(int s);

    // --- toolbar and style bar ---
    void showToolbar();
    void refreshToolbar();
    void updateSubbar(bool force);
    void hideBars();
    bool toolbarVisibleAt(QPointF p) const;
    QWidget* toolbar() const;
    QWidget* subbar() const;
    bool toolbarBelow() const { return m_toolbarBelow; }
    // Where the bars are placed (view points, y up; the frame they end at when animating).
    // Empty while a bar does not exist.
    QRectF toolbarFrame() const;
    QRectF subbarFrame() const;
    std::optional<Tool> subbarKind() const;
    QList<ToolButton*> toolButtons() const;
    QList<ToolButton*> colorButtons() const;
    QList<ToolButton*> widthButtons() const;
    QList<ToolButton*> styleButtons() const;
    QList<ToolButton*> mosaicButtons() const;
    QComboBox* fontPopup() const;

    // --- drawing (painter in view points, y up) ---
    void drawAnnotationPass(QPainter& p, const QRectF& clip);
    void drawTextChrome(QPainter& p);
    void drawBrushRing(QPainter& p);
    // Every annotation in list order, without the one being dragged out (the export).
    void drawForExport(QPainter& p);
    // The mosaic source for a mosaic of that style (block size).
    const QImage* pixelated(int style = 0);

private:
    void appendAndEdit(const Annotation& a);
    void step(QList<QList<Annotation>>& from, QList<QList<Annotation>>& to);
    void dropStaleIndices();
    void removeAnnotation(int index);
    void finishDraw();
    void resizeTextTo(QPointF p);
    void closeField();
    void buildToolbar();
    void placeSubbar();
    void buildSubbar(std::optional<Tool> kind);
    void refreshStyleControls();
    void giveKeyboardBackToField();

    AnnotationHost& m_host;
    bool m_toolbarBelow = true;
    QList<Annotation> m_settled; // the list as the last kept state left it
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace quillet
