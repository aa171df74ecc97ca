#pragma once

#include "platform/Screen.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <optional>

namespace quillet {

// One completion notice: a dark translucent capsule holding an optional thumbnail or colour
// swatch, a green check mark and a line of text. It never takes focus, lets every click through
// to the windows below, and removes itself. Made only by Toast::show(); declared here so tests
// can look at it.
class ToastWidget final : public QWidget {
    Q_OBJECT
public:
    ToastWidget(const QString& text, const QImage& thumbnail, std::optional<QColor> swatch);

    // The toast on screen, or null. Only a toast's own fade-out clears it; a newer toast takes
    // the place of an older one at once.
    static ToastWidget* current();

    // The thumbnail's box (height 36, width from its aspect clamped to 24…72), else the swatch's
    // 24 × 24, else empty. A thumbnail wins over a swatch.
    static QSizeF leadingSizeFor(const QImage& thumbnail, std::optional<QColor> swatch);
    // Where a toast of `size` comes to rest: centred on the visible frame, 70 points above its
    // bottom (global points, y up).
    static QRectF finalFrameFor(const QRectF& visibleFrame, QSizeF size);

    QSizeF leadingSize() const { return leading; }
    // The resting frame on the screen it was shown on (global points, y up).
    QRectF finalFrame() const { return restFrame; }

    // Shows the toast on `screen`, rising into place while fading in, and schedules its own
    // dismissal. The toast shown before it, if any, disappears at once.
    void present(const Screen& screen);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void dismiss();
    void showOpacity(qreal opacity);
    void paintLeading(QPainter& p, const QRectF& box);
    void paintCheck(QPainter& p, const QRectF& box);

    QString text;
    QImage thumbnail;
    std::optional<QColor> swatch;
    QSizeF leading;
    QSizeF labelSize;
    QRectF restFrame;
    QPoint startPos;
    QPoint finalPos;
    bool dismissing = false;
    qreal shownOpacity = 1.0;
};

} // namespace quillet
