#pragma once

#include "capture/annotation/Annotation.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace quillet {

class PinView;
class TextSheet;

// A floating, frameless, always-on-top window showing one image. Every open pin is listed in a
// static list until it starts closing.
class PinWindow final : public QWidget {
    Q_OBJECT
public:
    // Creates, registers, shows and animates a new pin. `at` is the final frame in global points
    // (y up); without it the pin is centred on the pointer, scaled to fit 90 % of the screen.
    // Returns null for an empty image.
    static PinWindow* pin(const QImage& image, std::optional<QRectF> at = std::nullopt,
        std::optional<PinEdit> edit = std::nullopt);

    // Text on paper, rendered sharp at `scale` device pixels per point.
    static QImage renderText(const QString& text, qreal scale = 1.0);
    // A paper note of this text, which remembers it: its text can be selected and copied.
    static PinWindow* pinText(const QString& text, qreal scale = 1.0);

    static int count();
    static void closeAll();
    // Deletes every pin at once, closing ones too, with no animation: for the program's end,
    // while the window system is still there.
    static void destroyAll();
    static QList<PinWindow*> all();

    // Called when the user asks to edit a pin; installed by the application controller.
    static std::function<void(PinWindow*)> onEdit;

    const QImage& image() const { return m_image; }
    const std::optional<PinEdit>& edit() const { return m_edit; }
    // The text a paper note shows, when the pin is one; copying the pin copies it as text too.
    const QString& text() const { return m_text; }
    // Also lays the text out for selection when the pin's image is that text's note.
    void setText(const QString& text);
    // The laid-out note for selecting its text; null for any other pin.
    const TextSheet* sheet() const { return m_sheet.get(); }
    qreal zoom() const { return m_zoom; }
    // Zooms about the pointer, within 0.1…8.0 and the window size cap, and flashes the badge.
    void setZoom(qreal z);

    // The pin's own opacity (shown only where a compositor runs); the target while appearing.
    qreal opacity() const { return m_opacity; }
    // The opacity shown now, fades included; the view draws with it where the window system
    // cannot make the window itself translucent.
    qreal shownOpacity() const { return m_shownOpacity; }
    void setOpacity(qreal opacity);

    // Whether the user wanted a drop shadow when this pin was made.
    bool wantsShadow() const { return m_wantsShadow; }
    bool isClosing() const { return m_closing; }
    // Sent into an annotation session that has not given it back yet: its keys wait, so that
    // an Escape typed right after Return cannot close the pin the session is about to show.
    bool isEditing() const { return m_editing; }
    void setEditing(bool editing) { m_editing = editing; }
    PinView* view() const { return m_view; }

    // The frame in global points (y up).
    QRectF globalFrame() const;
    quint32 windowNumber() const;

    // Fades out and closes; leaves the list at once.
    void closePin();
    void orderFront();
    void orderOut();

    // Targets of the application's copy and save shortcuts when a pin has the focus.
    Q_INVOKABLE void copy();
    Q_INVOKABLE void saveImage();

    explicit PinWindow(const QImage& image, const QRectF& globalFrame);
    ~PinWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Sets the logical frame and shows it.
    void setFrame(const QRectF& globalFrame);
    // Shows a frame (rounded to whole points) without making it the logical one.
    void applyFrame(const QRectF& globalFrame);
    void adoptGeometry();
    void showOpacity(qreal opacity);
    void appear(const QRectF& target);
    void finishAppearing();
    // A drag without a window manager: the pin follows the pointer itself.
    void dragBy(QPointF qtDelta);

    QImage m_image;
    qreal m_zoom = 1.0;
    std::optional<PinEdit> m_edit;
    QString m_text;
    std::unique_ptr<TextSheet> m_sheet;
    QRectF m_frame; // global points, y up: what the logic reasons about
    QRect m_applied; // the Qt geometry last asked for, to tell our moves from the WM's
    qreal m_opacity = 1.0;
    qreal m_shownOpacity = 1.0;
    bool m_wantsShadow = false;
    bool m_closing = false;
    bool m_editing = false;
    bool m_closed = false;
    PinView* m_view = nullptr;
    QPointer<QVariantAnimation> m_appear;
    friend class PinView;
};

} // namespace quillet
