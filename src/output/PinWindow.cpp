#include "output/PinWindow.h"

#include "output/Output.h"
#include "output/PinGeometry.h"
#include "output/PinView.h"
#include "output/StickyWindow.h"
#include "output/TextSheet.h"
#include "output/Toast.h"
#include "platform/FreedMemory.h"
#include "platform/Geometry.h"
#include "platform/Screen.h"
#include "platform/WindowSystem.h"
#include "settings/Prefs.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEasingCurve>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>
#include <QVariantAnimation>
#include <QWindow>
#include <algorithm>

namespace quillet {

std::function<void(PinWindow*)> PinWindow::onEdit;

namespace {

// Every open pin in creation order; a pin leaves when it starts closing.
QList<PinWindow*>& openPins()
{
    static QList<PinWindow*> pins;
    return pins;
}

constexpr int appearMs = 220;
constexpr int closeMs = 140;

QRectF lerp(const QRectF& a, const QRectF& b, qreal t)
{
    return QRectF(a.x() + (b.x() - a.x()) * t, a.y() + (b.y() - a.y()) * t,
        a.width() + (b.width() - a.width()) * t, a.height() + (b.height() - a.height()) * t);
}

QSizeF pointSize(const QImage& image)
{
    const qreal dpr = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0;
    return QSizeF(image.width() / dpr, image.height() / dpr);
}

std::optional<Screen> screenOf(const QWidget* w)
{
    if (!w || !w->screen())
        return std::nullopt;
    return screenFromQt(w->screen());
}

} // namespace

PinWindow::PinWindow(const QImage& image, const QRectF& globalFrame)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_image(image)
    , m_frame(globalFrame)
    , m_opacity(std::clamp(Prefs::pinOpacity(), PinGeometry::minOpacity, 1.0))
    , m_wantsShadow(Prefs::pinShadow())
{
    // X11 cannot give an opaque window a shadow of its own; with a compositor the compositor
    // draws it (or not) by its own rules. A margin drawn inside a translucent window would show
    // as black without one, so the preference stays a wish recorded here.
    // Where windows have no opacity of their own (Wayland) the pin draws its fade and
    // translucency over a transparent background instead.
    setAttribute(Qt::WA_TranslucentBackground, !windowOpacitySupported());
    setAttribute(Qt::WA_DeleteOnClose, true);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("墨钉贴图"));
    m_view = new PinView(this);
    m_view->setGeometry(rect());
    setFocusProxy(m_view);
    applyFrame(globalFrame);
}

PinWindow::~PinWindow()
{
    openPins().removeAll(this);
    // A pin's backing store is megabytes.
    releaseFreedMemorySoon();
}

PinWindow* PinWindow::pin(
    const QImage& image, std::optional<QRectF> at, std::optional<PinEdit> edit)
{
    if (image.isNull())
        return nullptr;
    const QSizeF size = pointSize(image);
    const QRectF frame
        = PinGeometry::initialFrame(size, at, currentScreens(), globalMouseLocation());
    auto* w = new PinWindow(image, frame);
    w->m_zoom = size.width() > 0 ? frame.width() / size.width() : 1.0;
    w->m_edit = std::move(edit);
    openPins().append(w);
    w->appear(frame);
    return w;
}

PinWindow* PinWindow::pinText(const QString& text, qreal scale)
{
    PinWindow* w = pin(renderText(text, scale));
    if (w)
        w->setText(text);
    return w;
}

void PinWindow::setText(const QString& text)
{
    m_text = text;
    m_sheet.reset();
    if (!text.isEmpty()) {
        auto sheet = std::make_unique<TextSheet>(text, m_image.devicePixelRatio());
        // Any other image under the text would be selected in the wrong places.
        if (sheet->pixelSize() == m_image.size())
            m_sheet = std::move(sheet);
    }
    m_view->setTextSelectable(m_sheet != nullptr);
}

int PinWindow::count()
{
    return int(openPins().size());
}

QList<PinWindow*> PinWindow::all()
{
    return openPins();
}

void PinWindow::closeAll()
{
    const QList<PinWindow*> snapshot = openPins();
    for (PinWindow* w : snapshot)
        w->closePin();
}

void PinWindow::destroyAll()
{
    // Closing ones have left the list but are still windows until their fade ends.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* pin = qobject_cast<PinWindow*>(w))
            delete pin;
    }
}

void PinWindow::appear(const QRectF& target)
{
    const QRectF start = target.adjusted(target.width() * 0.03, target.height() * 0.03,
        -target.width() * 0.03, -target.height() * 0.03);
    // The frame is the target from the start; only the shown geometry springs towards it.
    m_frame = target;
    showOpacity(0.0);
    applyFrame(start);
    winId();
    stickToAllWorkspaces(this);
    show();
    placeWindow(this, m_applied);
    raise();
    activateWindow();
    stickToAllWorkspaces(this);

    auto* anim = new QVariantAnimation(this);
    anim->setDuration(appearMs);
    anim->setStartValue(0.0);
    anim->setEndValue(1.0);
    QEasingCurve spring(QEasingCurve::BezierSpline);
    spring.addCubicBezierSegment(QPointF(0.2, 1.3), QPointF(0.4, 1.0), QPointF(1.0, 1.0));
    anim->setEasingCurve(spring);
    connect(anim, &QVariantAnimation::valueChanged, this, [this, start, target](const QVariant& v) {
        const qreal t = v.toReal();
        showOpacity(std::clamp(m_opacity * t, 0.0, 1.0));
        applyFrame(lerp(start, target, t));
    });
    connect(anim, &QVariantAnimation::finished, this, &PinWindow::finishAppearing);
    m_appear = anim;
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

void PinWindow::finishAppearing()
{
    // Ends the spring wherever it is: user input (drag, zoom, close) must not fight it, and
    // without a compositor the end state is all that shows.
    if (m_appear) {
        QVariantAnimation* anim = m_appear;
        m_appear = nullptr;
        anim->stop();
    }
    showOpacity(m_opacity);
    applyFrame(m_frame);
}

void PinWindow::setFrame(const QRectF& globalFrame)
{
    m_frame = globalFrame;
    applyFrame(globalFrame);
}

void PinWindow::showOpacity(qreal opacity)
{
    m_shownOpacity = opacity;
    if (windowOpacitySupported())
        setWindowOpacity(opacity);
    else
        m_view->update();
}

void PinWindow::applyFrame(const QRectF& globalFrame)
{
    // Edges are rounded, not origin and size apart, so a pin never pokes a point past the
    // rectangle it was given.
    const QRectF q = qtFromGlobal(globalFrame, primaryQtGeometry());
    const int left = qRound(q.left()), top = qRound(q.top());
    const int right = std::max(left + 1, int(qRound(q.left() + q.width())));
    const int bottom = std::max(top + 1, int(qRound(q.top() + q.height())));
    m_applied = QRect(left, top, right - left, bottom - top);
    setGeometry(m_applied);
    if (isVisible())
        placeWindow(this, m_applied);
}

void PinWindow::adoptGeometry()
{
    // Moves we did not ask for come from the window manager (a system move, a placement rule);
    // the frame follows them. Our own requests may be confirmed late, so ignore them while
    // appearing.
    // Where only the compositor knows the place (Wayland), it is asked.
    const QRect g = placedGeometry(this).value_or(geometry());
    if (m_appear || m_closed || g == m_applied || !isVisible())
        return;
    const QRectF primary = primaryQtGeometry();
    const QSizeF size = g.size() == m_applied.size() ? m_frame.size() : QSizeF(g.size());
    m_frame = globalFromQt(QRectF(QPointF(g.topLeft()), size), primary);
    m_applied = g;
}

void PinWindow::dragBy(QPointF qtDelta)
{
    if (m_appear)
        finishAppearing();
    // y up: a move down the screen lowers the global y.
    setFrame(m_frame.translated(qtDelta.x(), -qtDelta.y()));
}

QRectF PinWindow::globalFrame() const
{
    return m_frame;
}

quint32 PinWindow::windowNumber() const
{
    return static_cast<quint32>(winId());
}

void PinWindow::setZoom(qreal z)
{
    if (m_appear)
        finishAppearing();
    adoptGeometry(); // a move by the compositor (Wayland's) sends no event
    const QSizeF size = pointSize(m_image);
    m_zoom = PinGeometry::clampZoom(z, size, currentScreens());
    const QSizeF newSize(size.width() * m_zoom, size.height() * m_zoom);
    setFrame(PinGeometry::anchoredFrame(m_frame, newSize, globalMouseLocation()));
    m_view->flashHUD(PinGeometry::percentText(m_zoom));
}

void PinWindow::setOpacity(qreal opacity)
{
    if (m_appear)
        finishAppearing();
    m_opacity = std::clamp(opacity, PinGeometry::minOpacity, PinGeometry::maxOpacity);
    showOpacity(m_opacity);
}

void PinWindow::closePin()
{
    if (m_closing)
        return;
    m_closing = true;
    openPins().removeAll(this);
    if (m_appear)
        finishAppearing();
    auto* fade = new QVariantAnimation(this);
    fade->setDuration(closeMs);
    fade->setStartValue(shownOpacity());
    fade->setEndValue(0.0);
    connect(fade, &QVariantAnimation::valueChanged, this,
        [this](const QVariant& v) { showOpacity(v.toReal()); });
    connect(fade, &QVariantAnimation::finished, this, [this] {
        m_closed = true;
        close(); // deletes the window later (WA_DeleteOnClose)
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void PinWindow::closeEvent(QCloseEvent* event)
{
    // A close from outside (the window manager, Alt+F4) takes the same fading path.
    if (!m_closed) {
        event->ignore();
        closePin();
        return;
    }
    QWidget::closeEvent(event);
}

void PinWindow::orderFront()
{
    // Given back: its keys are its own again.
    m_editing = false;
    // A window manager forgets a window's workspaces when it is withdrawn.
    const bool wasHidden = !isVisible();
    if (wasHidden)
        stickToAllWorkspaces(this);
    show();
    placeWindow(this, m_applied);
    raise();
    if (wasHidden)
        stickToAllWorkspaces(this);
}

void PinWindow::orderOut()
{
    hide();
}

void PinWindow::copy()
{
    // Part of a note's text selected: that part alone, as plain text.
    if (const QString part = m_view->selectedText(); !part.isEmpty()) {
        QGuiApplication::clipboard()->setText(part, QClipboard::Clipboard);
        Toast::show(QStringLiteral("已复制选中的文字"), {}, std::nullopt, screenOf(this));
        return;
    }
    Output::copy(m_image, m_text);
    Toast::show(QStringLiteral("已复制到剪贴板"), m_image, std::nullopt, screenOf(this));
}

void PinWindow::saveImage()
{
    const std::optional<QString> path = Output::save(m_image);
    if (!path)
        return;
    Toast::show(QStringLiteral("已保存 ") + QFileInfo(*path).fileName(), m_image, std::nullopt,
        screenOf(this));
}

void PinWindow::changeEvent(QEvent* event)
{
    // The border tells whether the pin has the keyboard.
    if (event->type() == QEvent::ActivationChange)
        m_view->update();
    QWidget::changeEvent(event);
}

void PinWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    adoptGeometry();
}

void PinWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
    adoptGeometry();
}

} // namespace quillet
