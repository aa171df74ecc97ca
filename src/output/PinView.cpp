#include "output/PinView.h"

#include "output/PinGeometry.h"
#include "output/PinWindow.h"
#include "output/TextRecognition.h"
#include "output/TextSheet.h"
#include "platform/Geometry.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include "platform/WindowSystem.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

namespace quillet {

namespace {

constexpr int hudMs = 900;
// Pointer travel (Manhattan, points) that turns a press into a move; small enough that a window
// manager's move, which starts where the pointer is then, does not visibly lag.
constexpr qreal moveThreshold = 2;

} // namespace

PinView::PinView(PinWindow* window)
    : QWidget(window)
    , m_hudTimer(new QTimer(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    m_hudTimer->setSingleShot(true);
    m_hudTimer->setInterval(hudMs);
    connect(m_hudTimer, &QTimer::timeout, this, [this] {
        m_hud.reset();
        update();
    });
}

PinWindow* PinView::pinWindow() const
{
    return qobject_cast<PinWindow*>(window());
}

const TextSheet* PinView::sheet() const
{
    const PinWindow* w = pinWindow();
    return w ? w->sheet() : nullptr;
}

void PinView::setTextSelectable(bool selectable)
{
    setMouseTracking(selectable);
    if (!selectable)
        unsetCursor();
    m_anchor = m_caret = 0;
    m_selecting = m_caretShown = false;
    update();
}

QString PinView::selectedText() const
{
    const TextSheet* s = sheet();
    return s ? s->textBetween(m_anchor, m_caret) : QString();
}

void PinView::select(int anchor, int caret)
{
    m_anchor = anchor;
    m_caret = caret;
    update();
}

QPointF PinView::onSheet(QPointF widgetPoint) const
{
    const TextSheet* s = sheet();
    if (!s || width() <= 0 || height() <= 0)
        return widgetPoint;
    // The view is the note at the pin's zoom.
    return QPointF(widgetPoint.x() * s->size().width() / width(),
        widgetPoint.y() * s->size().height() / height());
}

bool PinView::isOnText(QPointF widgetPoint) const
{
    const TextSheet* s = sheet();
    return s && s->isOnText(onSheet(widgetPoint));
}

void PinView::flashHUD(const QString& text)
{
    m_hud = text;
    update();
    m_hudTimer->start(); // restarts: the badge stays until 0.9 s after the latest flash
}

void PinView::paintEvent(QPaintEvent*)
{
    PinWindow* w = pinWindow();
    if (!w)
        return;
    QPainter p(this);
    const QRectF bounds = rect();
    if (!windowOpacitySupported()) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(bounds, Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setOpacity(w->shownOpacity());
    }
    // Drawn from every device pixel of the image, so a 2× capture stays crisp at zoom 1.
    p.setRenderHint(QPainter::SmoothPixmapTransform, w->zoom() <= sharpZoomAbove);
    p.drawImage(bounds, w->image(), QRectF(w->image().rect()));
    if (const TextSheet* s = sheet(); s && (m_anchor != m_caret || m_caretShown)) {
        p.save();
        p.scale(bounds.width() / s->size().width(), bounds.height() / s->size().height());
        s->drawSelection(p, m_anchor, m_caret, palette());
        if (m_caretShown && hasFocus())
            p.fillRect(s->caretRect(m_caret), Qt::black);
        p.restore();
    }

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setBrush(Qt::NoBrush);
    if (w->isActiveWindow()) {
        p.setPen(QPen(accent(), 2.0));
        p.drawRect(bounds.adjusted(1, 1, -1, -1));
    } else {
        p.setPen(QPen(white(0.5, 0.45), 1.0));
        p.drawRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5));
    }

    if (!m_hud || m_hud->isEmpty())
        return;
    const QFont font = monospacedDigitFont(12, QFont::DemiBold);
    const QFontMetricsF fm(font);
    const qreal tw = fm.horizontalAdvance(*m_hud);
    const qreal th = fm.height();
    // The badge hangs from the top-left corner: y-up view rectangle, drawn on a y-down widget.
    const QRectF badge(8, bounds.height() - th - 14, tw + 16, th + 6);
    const QRectF badgeOnWidget = widgetFromView(badge, bounds.height());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, qRound(0.7 * 255)));
    p.drawRoundedRect(badgeOnWidget, badge.height() / 2, badge.height() / 2);
    const QRectF textRect
        = widgetFromView(QRectF(badge.x() + 8, badge.y() + 3, tw, th), bounds.height());
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, *m_hud);
}

void PinView::mousePressEvent(QMouseEvent* event)
{
    PinWindow* w = pinWindow();
    if (!w || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    w->activateWindow();
    setFocus(Qt::MouseFocusReason);
    if (w->m_appear)
        w->finishAppearing();
    // On a note's text a press starts a selection (Shift extends the one there is); from
    // anywhere else the pin is moved.
    if (isOnText(event->position())) {
        const int at = sheet()->positionAt(onSheet(event->position()));
        select(event->modifiers() & Qt::ShiftModifier ? m_anchor : at, at);
        m_selecting = true;
        m_caretShown = false;
        m_pressAt.reset();
        return;
    }
    // The move starts with the first motion, not on the press: a window manager that takes over
    // the pointer swallows the release, and with it the second click of a double click.
    m_pressAt = event->globalPosition();
    m_dragFrom.reset();
}

void PinView::mouseMoveEvent(QMouseEvent* event)
{
    PinWindow* w = pinWindow();
    if (m_selecting && sheet() && (event->buttons() & Qt::LeftButton)) {
        select(m_anchor, sheet()->positionAt(onSheet(event->position())));
        return;
    }
    if (sheet() && !(event->buttons() & Qt::LeftButton)) {
        if (isOnText(event->position()))
            setCursor(Qt::IBeamCursor);
        else
            unsetCursor();
    }
    if (!w || !(event->buttons() & Qt::LeftButton))
        return;
    const QPointF now = event->globalPosition();
    if (m_pressAt) {
        if ((now - *m_pressAt).manhattanLength() < moveThreshold)
            return;
        const QPointF pressedAt = *m_pressAt;
        m_pressAt.reset();
        // Qt hands the window manager the pointer in window coordinates of the current
        // geometry, so the window must not be moved before it takes over; it then lags by this
        // first motion, which the threshold keeps to a few points.
        QWindow* handle = w->windowHandle();
        if (handle && handle->startSystemMove())
            return;
        // No window manager: the pin follows the pointer itself, from where it was pressed.
        m_dragFrom = pressedAt;
    }
    if (!m_dragFrom)
        return;
    w->dragBy(now - *m_dragFrom);
    m_dragFrom = now;
}

void PinView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressAt.reset();
        m_dragFrom.reset();
        m_selecting = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void PinView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressAt.reset();
        m_dragFrom.reset();
        // A double click on a note's text selects a word, as in any text; elsewhere it closes.
        if (isOnText(event->position())) {
            const auto [start, end]
                = sheet()->wordAt(sheet()->positionAt(onSheet(event->position())));
            select(start, end);
            m_selecting = false;
            return;
        }
        closePin();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void PinView::wheelEvent(QWheelEvent* event)
{
    PinWindow* w = pinWindow();
    if (!w)
        return;
    const bool precise = !event->pixelDelta().isNull();
    // Wheel notches come as 120 eighths of a degree; a trackpad's pixels count as they are.
    const QPointF delta
        = precise ? QPointF(event->pixelDelta()) : QPointF(event->angleDelta()) / 120.0;
    if (event->modifiers() & Qt::AltModifier) {
        // Qt on X11 turns an Alt+wheel into a horizontal one; either axis means the same here.
        const qreal dy = delta.y() != 0 ? delta.y() : delta.x();
        if (dy == 0)
            return;
        w->setOpacity(PinGeometry::opacityAfterWheel(w->opacity(), dy, precise));
        flashHUD(PinGeometry::opacityText(w->opacity()));
    } else {
        if (delta.y() == 0)
            return;
        w->setZoom(PinGeometry::zoomAfterWheel(w->zoom(), delta.y(), precise));
    }
    event->accept();
}

void PinView::keyPressEvent(QKeyEvent* event)
{
    PinWindow* w = pinWindow();
    if (!w) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Keys typed while the session it was sent into is still opening belong to that session.
    if (w->isEditing())
        return;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (moveCaret(event))
        return;
    switch (event->key()) {
    case Qt::Key_Escape:
        // The first Escape drops a selection, the next closes the pin.
        if (sheet() && (m_anchor != m_caret || m_caretShown)) {
            m_caretShown = false;
            select(m_caret, m_caret);
            return;
        }
        w->closePin();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        editPin();
        return;
    case Qt::Key_0:
        if (mods & Qt::ControlModifier) {
            resetZoom();
            return;
        }
        break;
    default:
        break;
    }
    // Without application-wide shortcuts the standard keys still work on a focused pin.
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::Save)) {
        saveImage();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PinView::moveCaret(const QKeyEvent* event)
{
    const TextSheet* s = sheet();
    if (!s)
        return false;
    if (event->matches(QKeySequence::SelectAll)) {
        select(0, s->length());
        return true;
    }
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool byWord = event->modifiers() & Qt::ControlModifier;
    int to = m_caret;
    switch (event->key()) {
    case Qt::Key_Left:
        to = byWord ? s->wordAt(s->previousPosition(m_caret)).first : s->previousPosition(m_caret);
        break;
    case Qt::Key_Right:
        to = byWord ? s->wordAt(m_caret).second : s->nextPosition(m_caret);
        break;
    case Qt::Key_Up:
        to = s->positionOnLineAbove(m_caret);
        break;
    case Qt::Key_Down:
        to = s->positionOnLineBelow(m_caret);
        break;
    case Qt::Key_Home:
        to = byWord ? 0 : s->lineStart(m_caret);
        break;
    case Qt::Key_End:
        to = byWord ? s->length() : s->lineEnd(m_caret);
        break;
    default:
        return false;
    }
    m_caretShown = true;
    select(extend ? m_anchor : to, to);
    return true;
}

QMenu* PinView::buildMenu()
{
    auto* menu = new QMenu(this);
    // The text after the tab is shown as the key; no shortcut is registered for it.
    menu->addAction(symbolIcon(QStringLiteral("pencil.tip.crop.circle")),
        QStringLiteral("编辑标注\tSpace"), this, &PinView::editPin);
    menu->addSeparator();
    menu->addAction(symbolIcon(QStringLiteral("doc.on.doc")),
        selectedText().isEmpty() ? QStringLiteral("复制") : QStringLiteral("复制选中的文字"), this,
        &PinView::copy);
    QAction* recognise = menu->addAction(symbolIcon(QStringLiteral("text.viewfinder")),
        QStringLiteral("识别文字"), this, &PinView::recogniseText);
    if (const std::optional<QString> missing = TextRecognition::unavailable()) {
        recognise->setEnabled(false);
        recognise->setToolTip(*missing);
        menu->setToolTipsVisible(true);
    }
    menu->addAction(symbolIcon(QStringLiteral("square.and.arrow.down")), QStringLiteral("另存为…"),
        this, &PinView::saveImage);
    menu->addAction(symbolIcon(QStringLiteral("arrow.up.left.and.arrow.down.right")),
        QStringLiteral("原始大小"), this, &PinView::resetZoom);
    menu->addSeparator();
    menu->addAction(
        symbolIcon(QStringLiteral("xmark")), QStringLiteral("关闭"), this, &PinView::closePin);
    menu->addAction(symbolIcon(QStringLiteral("xmark.square")), QStringLiteral("关闭所有贴图"),
        this, &PinView::closeAll);
    return menu;
}

void PinView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = buildMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    menu->popup(event->globalPos());
    event->accept();
}

void PinView::editPin()
{
    PinWindow* w = pinWindow();
    if (w && PinWindow::onEdit)
        PinWindow::onEdit(w);
}

void PinView::copy()
{
    if (PinWindow* w = pinWindow())
        w->copy();
}

void PinView::recogniseText()
{
    if (PinWindow* w = pinWindow())
        TextRecognition::start(
            w->image(), w->screen() ? std::optional(screenFromQt(w->screen())) : std::nullopt);
}

void PinView::saveImage()
{
    if (PinWindow* w = pinWindow())
        w->saveImage();
}

void PinView::resetZoom()
{
    if (PinWindow* w = pinWindow())
        w->setZoom(1.0);
}

void PinView::closePin()
{
    if (PinWindow* w = pinWindow())
        w->closePin();
}

void PinView::closeAll()
{
    PinWindow::closeAll();
}

} // namespace quillet
