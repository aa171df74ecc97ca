#include "output/Toast.h"

#include "output/ToastWidget.h"
#include "platform/Geometry.h"
#include "platform/WindowSystem.h"
#include "settings/Prefs.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QCursor>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

QPointer<ToastWidget> currentToast;

// Layout, in points.
constexpr qreal insetTop = 8, insetLeft = 10, insetBottom = 8, insetRight = 18;
constexpr qreal spacing = 10;
constexpr qreal iconSize = 16;
constexpr qreal thumbnailHeight = 36;
constexpr qreal swatchSide = 24;
constexpr qreal leadingRadius = 6;
constexpr qreal maxLabelWidth = 560;
constexpr qreal aboveBottom = 70;
constexpr qreal riseDistance = 12;

// Timing, in milliseconds.
constexpr int appearMs = 220;
constexpr int dismissAfterMs = 1600;
constexpr int fadeOutMs = 300;

QColor capsuleColor()
{
    return srgb(0.10, 0.10, 0.11, 0.85);
}
QColor checkColor()
{
    return srgb(0.30, 0.85, 0.45);
}
QFont labelFont()
{
    return uiFont(13, QFont::Medium);
}

QEasingCurve appearCurve()
{
    // A fast start that settles gently.
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.2, 0.9), QPointF(0.3, 1.0), QPointF(1.0, 1.0));
    return curve;
}

QPoint lerp(QPoint a, QPoint b, qreal t)
{
    return QPoint(qRound(a.x() + (b.x() - a.x()) * t), qRound(a.y() + (b.y() - a.y()) * t));
}

// The thumbnail at the device pixels it covers, made once: a capture of a whole screen would
// otherwise be resampled crudely on every frame of the animation.
QImage shrunkThumbnail(const QImage& image, QSizeF box, qreal scale)
{
    const QSizeF fitted = QSizeF(image.size()).scaled(box, Qt::KeepAspectRatio);
    const QSize pixels = (fitted * std::max(scale, 1.0)).toSize().expandedTo(QSize(1, 1));
    QImage out = image;
    // Sampling first to four times that size keeps a 4K capture from costing the main thread
    // tens of milliseconds while the overlay closes; the smooth pass then removes the aliasing.
    if (out.width() > 8 * pixels.width())
        out = out.scaled(pixels * 4, Qt::KeepAspectRatio, Qt::FastTransformation);
    if (out.width() > pixels.width())
        out = out.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return out;
}

} // namespace

ToastWidget::ToastWidget(const QString& text, const QImage& thumbnail, std::optional<QColor> swatch)
    : QWidget(nullptr,
        Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput
            | Qt::X11BypassWindowManagerHint)
    , text(text)
    , thumbnail(thumbnail)
    , swatch(thumbnail.isNull() ? swatch : std::nullopt)
    , leading(leadingSizeFor(thumbnail, swatch))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The name a compositor's rules know it by (sway floats it).
    setWindowTitle(QStringLiteral("墨钉提示"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);

    const QFontMetricsF fm(labelFont());
    // A long file name is shortened in its middle, keeping both its start and its extension.
    this->text = fm.elidedText(text, Qt::ElideMiddle, maxLabelWidth);
    labelSize = QSizeF(std::ceil(fm.horizontalAdvance(this->text)), std::ceil(fm.height()));
    qreal rowWidth = iconSize + spacing + labelSize.width();
    qreal rowHeight = std::max(iconSize, labelSize.height());
    if (!leading.isEmpty()) {
        rowWidth += leading.width() + spacing;
        rowHeight = std::max(rowHeight, leading.height());
    }
    setFixedSize(int(std::ceil(insetLeft + rowWidth + insetRight)),
        int(std::ceil(insetTop + rowHeight + insetBottom)));
    // Without a compositor the translucent corners would show as black squares: cut the window
    // to the capsule instead.
    if (!compositorActive()) {
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        setMask(QRegion(capsule.toFillPolygon().toPolygon()));
    }
}

ToastWidget* ToastWidget::current()
{
    return currentToast.data();
}

QSizeF ToastWidget::leadingSizeFor(const QImage& thumbnail, std::optional<QColor> swatch)
{
    if (!thumbnail.isNull()) {
        const qreal aspect = qreal(thumbnail.width()) / std::max(thumbnail.height(), 1);
        return QSizeF(std::clamp(thumbnailHeight * aspect, 24.0, 72.0), thumbnailHeight);
    }
    if (swatch)
        return QSizeF(swatchSide, swatchSide);
    return QSizeF();
}

QRectF ToastWidget::finalFrameFor(const QRectF& visibleFrame, QSizeF size)
{
    return QRectF(midX(visibleFrame) - size.width() / 2, minY(visibleFrame) + aboveBottom,
        size.width(), size.height());
}

void ToastWidget::present(const Screen& screen)
{
    if (ToastWidget* old = currentToast.data(); old && old != this) {
        // Replaced: gone at once, without a fade; its pending dismissal dies with it.
        old->hide();
        old->deleteLater();
    }
    currentToast = this;

    restFrame = finalFrameFor(screen.visibleFrame, QSizeF(size()));
    const QRectF qtRest = qtFromGlobal(restFrame, primaryQtGeometry());
    finalPos = QPoint(qRound(qtRest.x()), qRound(qtRest.y()));
    startPos = finalPos + QPoint(0, qRound(riseDistance)); // Qt's y grows downward

    if (screen.qscreen)
        setScreen(screen.qscreen);
    if (!thumbnail.isNull())
        thumbnail = shrunkThumbnail(thumbnail, leading, screen.scale);
    move(startPos);
    showOpacity(0.0);
    show();
    placeWindow(this, QRect(startPos, size()));

    // Opacity needs a compositor on X11; the rise does not, so the toast still arrives visibly
    // without one, and the same timers end it.
    auto* appear = new QVariantAnimation(this);
    appear->setDuration(appearMs);
    appear->setStartValue(0.0);
    appear->setEndValue(1.0);
    appear->setEasingCurve(appearCurve());
    connect(appear, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const qreal t = v.toReal();
        showOpacity(t);
        move(lerp(startPos, finalPos, t));
        placeWindow(this, QRect(pos(), size()));
    });
    appear->start(QAbstractAnimation::DeleteWhenStopped);

    QTimer::singleShot(dismissAfterMs, this, [this] {
        if (currentToast != this)
            return;
        dismiss();
    });
}

void ToastWidget::dismiss()
{
    if (dismissing)
        return;
    dismissing = true;
    auto* fade = new QVariantAnimation(this);
    fade->setDuration(fadeOutMs);
    fade->setStartValue(shownOpacity);
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::InOutQuad);
    connect(fade, &QVariantAnimation::valueChanged, this,
        [this](const QVariant& v) { showOpacity(v.toReal()); });
    connect(fade, &QVariantAnimation::finished, this, [this] {
        if (currentToast == this)
            currentToast = nullptr;
        close(); // deletes it
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void ToastWidget::showOpacity(qreal opacity)
{
    shownOpacity = opacity;
    if (windowOpacitySupported())
        setWindowOpacity(opacity);
    else
        update(); // drawn translucent, over its transparent background
}

void ToastWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!windowOpacitySupported())
        p.setOpacity(shownOpacity);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // The row is symmetric top to bottom, so widget coordinates serve as they are.
    const QRectF bounds(rect());
    const qreal radius = bounds.height() / 2;
    const QRectF capsule = bounds.adjusted(0.25, 0.25, -0.25, -0.25);
    p.setPen(QPen(white(1.0, 0.15), 0.5));
    p.setBrush(capsuleColor());
    p.drawRoundedRect(capsule, radius - 0.25, radius - 0.25);

    const qreal midY = bounds.height() / 2;
    qreal x = insetLeft;
    if (!leading.isEmpty()) {
        paintLeading(p, QRectF(x, midY - leading.height() / 2, leading.width(), leading.height()));
        x += leading.width() + spacing;
    }
    paintCheck(p, QRectF(x, midY - iconSize / 2, iconSize, iconSize));
    x += iconSize + spacing;

    p.setFont(labelFont());
    p.setPen(Qt::white);
    const QFontMetricsF fm(p.font());
    p.drawText(QPointF(x, midY - fm.height() / 2 + fm.ascent()), text);
}

void ToastWidget::paintLeading(QPainter& p, const QRectF& box)
{
    QPainterPath shape;
    shape.addRoundedRect(box, leadingRadius, leadingRadius);
    if (!thumbnail.isNull()) {
        // Scaled to fit whole inside its box, as the clamped width may not match its aspect.
        const QSizeF fitted = QSizeF(thumbnail.size()).scaled(box.size(), Qt::KeepAspectRatio);
        const QRectF target(box.center().x() - fitted.width() / 2,
            box.center().y() - fitted.height() / 2, fitted.width(), fitted.height());
        p.save();
        p.setClipPath(shape);
        p.drawImage(target, thumbnail);
        p.restore();
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(white(1.0, 0.25), 0.5));
    } else {
        p.setBrush(*swatch);
        p.setPen(QPen(white(1.0, 0.30), 0.5));
    }
    p.drawPath(shape);
}

void ToastWidget::paintCheck(QPainter& p, const QRectF& box)
{
    if (drawSymbol(p, QStringLiteral("checkmark.circle.fill"), box, checkColor(), 1.2))
        return;
    // Until the symbol set can draw it: a filled disc with the tick cut out of it in the
    // capsule's colour, as the symbol reads.
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(checkColor());
    p.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
    QPainterPath tick;
    const qreal s = box.width();
    tick.moveTo(box.left() + 0.28 * s, box.top() + 0.52 * s);
    tick.lineTo(box.left() + 0.44 * s, box.top() + 0.68 * s);
    tick.lineTo(box.left() + 0.73 * s, box.top() + 0.36 * s);
    QColor cut = capsuleColor();
    cut.setAlphaF(1.0);
    p.setPen(QPen(cut, s * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    p.restore();
}

void Toast::show(const QString& text, const QImage& thumbnail, std::optional<QColor> swatch,
    std::optional<Screen> on)
{
    if (!Prefs::showToast())
        return;
    Screen screen;
    if (on) {
        screen = *on;
    } else if (QScreen* under = QGuiApplication::screenAt(QCursor::pos())) {
        screen = screenFromQt(under);
    } else {
        const QList<Screen> all = currentScreens();
        if (all.isEmpty())
            return; // nowhere to show it
        screen = all.first();
    }
    auto* toast = new ToastWidget(text, thumbnail, swatch);
    toast->present(screen);
}

} // namespace quillet
