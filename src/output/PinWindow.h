#pragma once

#include "capture/annotation/Annotation.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <optional>

namespace quillet {

class PinView;

// A floating, frameless, always-on-top window showing one image. Every open pin is listed in a
// static list until it starts closing.
class PinWindow final : public QWidget {
    Q_OBJECT
public:
    // Creates, registers, shows and animates a new pin. `at` is the final frame in global points
    // (y up); without it the pin is centred on the pointer, scaled to fit 90 % of the screen.
    static PinWindow* pin(const QImage& image, std::optional<QRectF> at = std::nullopt,
        std::optional<PinEdit> edit = std::nullopt);

    // Text on paper, rendered sharp at `scale` device pixels per point.
    static QImage renderText(const QString& text, qreal scale = 1.0);

    static int count();
    static void closeAll();
    static QList<PinWindow*> all();

    // Called when the user asks to edit a pin; installed by the application controller.
    static std::function<void(PinWindow*)> onEdit;

    const QImage& image() const { return m_image; }
    const std::optional<PinEdit>& edit() const { return m_edit; }
    qreal zoom() const { return m_zoom; }
    void setZoom(qreal z);

    // The frame in global points (y up).
    QRectF globalFrame() const;
    quint32 windowNumber() const;

    // Fades out and closes; leaves the list at once.
    void closePin();
    void orderFront();
    void orderOut();

    explicit PinWindow(const QImage& image, const QRectF& globalFrame);
    ~PinWindow() override;

private:
    QImage m_image;
    qreal m_zoom = 1.0;
    std::optional<PinEdit> m_edit;
    friend class PinView;
};

} // namespace quillet
