#pragma once

#include <QImage>
#include <QMargins>
#include <QPointer>
#include <QWidget>

class QHBoxLayout;
class QVariantAnimation;
class QGraphicsOpacityEffect;

namespace quillet {

// A dark translucent rounded panel floating over the overlay: the toolbar and the style bar.
// The widget is larger than the panel by a margin that holds the panel's soft shadow; clicks on
// that margin pass through to the overlay, clicks on the panel never do (a press on the toolbar
// must not start a selection drag underneath).
class GlassPanel final : public QWidget {
    Q_OBJECT
public:
    explicit GlassPanel(QWidget* parent);
    ~GlassPanel() override;

    // The row the panel's controls go in (spacing 2, insets 5 above and below, 6 at the sides).
    QHBoxLayout* row() const { return m_row; }
    // A thin vertical separator with 5 points of room each side.
    void addDivider();

    // The panel's own size (without the shadow margin) as its controls ask for it.
    QSize panelSize() const;
    // The panel's rectangle in the parent's coordinates (y down).
    QRect panelGeometry() const;
    void setPanelGeometry(const QRect& r);

    // Shows the panel at `target` sliding in from `offset` away and fading from transparent,
    // over `ms` milliseconds with the bars' ease-out curve.
    void appear(const QRect& target, QPoint offset, int ms);
    // Visible and done appearing.
    bool isSettled() const;
    bool isAppearing() const;

    static QMargins shadowMargins();
    static QColor fillColor();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;

private:
    bool onPanel(QPointF p) const;
    void finishAppearing();

    QHBoxLayout* m_row = nullptr;
    QImage m_backdrop; // shadow and body, made again on resize
    QVariantAnimation* m_appear = nullptr;
    QPointer<QGraphicsOpacityEffect> m_fade;
    QRect m_target;
    QPoint m_from;
};

} // namespace quillet
