// Input on the overlay: window detection, choosing and adjusting the region, keys and the wheel.
#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "capture/Cursors.h"
#include "capture/NativePointer.h"
#include "output/Output.h"
#include "output/PinWindow.h"
#include "platform/Geometry.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>

namespace quillet {

namespace {

constexpr qreal handleReach = 6;

bool hasCommandModifier(Qt::KeyboardModifiers mods)
{
    return mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

// Ctrl+Shift+Z and Ctrl+Y, whatever the platform theme binds to redo.
bool isRedoKey(int key, Qt::KeyboardModifiers mods)
{
    mods &= ~Qt::KeypadModifier;
    return (key == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))
        || (key == Qt::Key_Y && mods == Qt::ControlModifier);
}

bool noToolOr(const Annotator& a, Tool t)
{
    return !a.tool || *a.tool == t;
}

} // namespace

int CaptureView::handleEdges(const QRectF& s, QPointF p)
{
    if (!containsPoint(s.adjusted(-handleReach, -handleReach, handleReach, handleReach), p))
        return 0;
    int edges = 0;
    if (std::abs(p.x() - minX(s)) <= handleReach)
        edges |= edgeMinX;
    if (std::abs(p.x() - maxX(s)) <= handleReach)
        edges |= edgeMaxX;
    if (std::abs(p.y() - minY(s)) <= handleReach)
        edges |= edgeMinY;
    if (std::abs(p.y() - maxY(s)) <= handleReach)
        edges |= edgeMaxY;
    return edges;
}

void CaptureView::updateCursor(QPointF p)
{
    if (m_annotator->toolbarVisibleAt(p))
        return;
    if (!m_selected) {
        setCursor(Qt::CrossCursor);
        return;
    }
    const Annotator& a = *m_annotator;
    if (noToolOr(a, Tool::text)) {
        if (auto hit = a.textHit(p)) {
            switch (hit->kind) {
            case TextHit::edge:
                setCursor(Cursors::move(m_screen.scale));
                return;
            case TextHit::body: {
                QLineEdit* field = a.textField();
                const bool inField = field && field->isVisible()
                    && field->geometry().contains(widgetFromView(p, bounds().height()).toPoint());
                if (a.editingIndex && *a.editingIndex == hit->index && !inField)
                    setCursor(Cursors::move(m_screen.scale));
                else
                    setCursor(Qt::IBeamCursor);
                return;
            }
            case TextHit::corner: {
                // The anchor is the opposite corner: top-left and bottom-right share a diagonal.
                const QPointF d = p - hit->anchor;
                setCursor(Cursors::diagonal(d.x() * d.y() < 0));
                return;
            }
            case TextHit::remove:
                setCursor(Qt::PointingHandCursor);
                return;
            }
        }
    }
    const int edges = handleEdges(m_selection, p);
    if (edges == edgeMinY || edges == edgeMaxY)
        setCursor(Qt::SizeVerCursor);
    else if (edges == edgeMinX || edges == edgeMaxX)
        setCursor(Qt::SizeHorCursor);
    else if (edges == (edgeMinX | edgeMaxY) || edges == (edgeMaxX | edgeMinY))
        setCursor(Cursors::diagonal(true));
    else if (edges)
        setCursor(Cursors::diagonal(false));
    else if (a.tool && *a.tool == Tool::text && containsPoint(m_selection, p))
        setCursor(Qt::IBeamCursor);
    else if (!a.tool && containsPoint(m_selection, p))
        setCursor(Qt::OpenHandCursor);
    else if (!a.tool)
        setCursor(Qt::ArrowCursor);
    else
        setCursor(Qt::CrossCursor);
}

void CaptureView::mouseMovedAt(QPointF p)
{
    if (gated())
        return;
    const std::optional<QPointF> before = m_mouse;
    const std::optional<int> hoverBefore = m_annotator->hoverText;
    updateHover(p);
    if (m_selected && noToolOr(*m_annotator, Tool::text))
        m_annotator->updateHoverText(p);
    else
        m_annotator->hoverText.reset();
    updateCursor(p);
    // Over a chosen region only the brush ring follows the pointer; everything else stays put
    // unless the text under the pointer changed.
    if (m_selected && m_dragMode.kind == DragMode::none && hoverBefore == m_annotator->hoverText)
        redrawBrushRing(before);
    else
        redraw();
}

void CaptureView::redrawBrushRing(std::optional<QPointF> before)
{
    const Annotator& a = *m_annotator;
    if (!a.tool || *a.tool == Tool::text)
        return;
    // The widest ring: a highlighter or a number stamp at the widest line.
    const qreal reach = std::max({a.lineWidth * 2, a.lineWidth * 1.2 + 9, a.lineWidth / 2}) + 3;
    const qreal h = bounds().height();
    QRegion changed;
    for (const auto& at : {before, m_mouse}) {
        if (at) {
            const QPointF w = widgetFromView(*at, h);
            changed += QRectF(w.x() - reach, w.y() - reach, 2 * reach, 2 * reach).toAlignedRect();
        }
    }
    changed &= rect();
    if (!changed.isEmpty()) {
        m_damage += changed;
        update(changed);
    }
}

void CaptureView::mouseDownAt(QPointF p, int clickCount)
{
    if (gated())
        return;
    m_dragStart = p;
    Annotator& a = *m_annotator;
    if (a.editingIndex && a.pressOnEditedText(p)) {
        if (m_dragMode.kind == DragMode::textMove)
            setCursor(Cursors::move(m_screen.scale));
        redraw();
        return;
    }
    a.commitText();
    setFocus(Qt::MouseFocusReason);
    if (!m_selected) {
        m_session->activate(this);
        m_dragMode = DragMode::make(DragMode::create);
        m_selection = QRectF(p, QSizeF(0, 0));
        redraw();
        return;
    }
    if (noToolOr(a, Tool::text) && a.pressOnText(p)) {
        redraw();
        a.updateSubbar(false);
        return;
    }
    a.clearActive();
    if (clickCount == 2 && containsPoint(m_selection, p) && noToolOr(a, Tool::rect)) {
        auto image = render(true);
        if (!image)
            return;
        Output::copy(*image);
        if (!m_session->editingPin)
            m_session->finish(true);
        else
            repin(*image);
        return;
    }
    if (const int edges = handleEdges(m_selection, p)) {
        m_dragMode = DragMode::make(DragMode::resize);
        m_dragMode.edges = edges;
        m_dragMode.rect = m_selection;
        return;
    }
    if (!a.tool) {
        if (containsPoint(m_selection, p)) {
            m_dragMode = DragMode::make(DragMode::move);
            m_dragMode.rect = m_selection;
            setCursor(Qt::ClosedHandCursor);
        }
        return;
    }
    if (containsPoint(m_selection, p)) {
        a.beginAnnotation(p);
        redraw();
    }
}

void CaptureView::mouseDraggedAt(QPointF raw)
{
    if (gated())
        return;
    const QRectF b = bounds();
    const QPointF p(std::clamp(raw.x(), 0.0, maxX(b)), std::clamp(raw.y(), 0.0, maxY(b)));
    m_mouse = p;
    const qreal dx = p.x() - m_dragStart.x(), dy = p.y() - m_dragStart.y();
    switch (m_dragMode.kind) {
    case DragMode::none:
        return;
    case DragMode::create:
        m_selection = QRectF(std::min(m_dragStart.x(), p.x()), std::min(m_dragStart.y(), p.y()),
            std::abs(dx), std::abs(dy));
        break;
    case DragMode::move: {
        QRectF r = m_dragMode.rect.translated(dx, dy);
        r.moveTo(std::min(maxX(b) - r.width(), std::max(0.0, r.x())),
            std::min(maxY(b) - r.height(), std::max(0.0, r.y())));
        m_annotator->shiftAnnotations(r.x() - m_selection.x(), r.y() - m_selection.y());
        m_selection = r;
        break;
    }
    case DragMode::resize: {
        const QRectF& r = m_dragMode.rect;
        qreal x0 = minX(r), x1 = maxX(r), y0 = minY(r), y1 = maxY(r);
        if (m_dragMode.edges & edgeMinX)
            x0 += dx;
        if (m_dragMode.edges & edgeMaxX)
            x1 += dx;
        if (m_dragMode.edges & edgeMinY)
            y0 += dy;
        if (m_dragMode.edges & edgeMaxY)
            y1 += dy;
        m_selection
            = QRectF(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0));
        break;
    }
    case DragMode::textMove:
    case DragMode::textResize:
    case DragMode::draw:
        m_annotator->drag(p);
        break;
    }
    const auto k = m_dragMode.kind;
    if (k == DragMode::move || k == DragMode::resize || k == DragMode::create)
        m_annotator->hideBars();
    redraw();
}

void CaptureView::mouseUpAt(QPointF p)
{
    if (gated())
        return;
    switch (m_dragMode.kind) {
    case DragMode::move:
    case DragMode::resize:
        m_selection = intersectRect(integralRect(m_selection), bounds());
        m_annotator->showToolbar();
        break;
    case DragMode::create:
        if (m_selection.width() < 4 || m_selection.height() < 4)
            m_selection = m_hoverRect.value_or(bounds());
        m_selection = intersectRect(integralRect(m_selection), bounds());
        m_selected = true;
        m_annotator->showToolbar();
        break;
    case DragMode::draw:
    case DragMode::textMove:
    case DragMode::textResize:
        m_annotator->release();
        break;
    case DragMode::none:
        break;
    }
    m_dragMode = DragMode::make(DragMode::none);
    updateCursor(p);
    m_annotator->updateSubbar(false);
    m_annotator->refreshToolbar();
    redraw();
}

void CaptureView::rightMouseDownAt(QPointF p)
{
    if (!live())
        return;
    m_annotator->commitText();
    if (!m_selected) {
        m_session->finish(true);
        return;
    }
    m_selected = false;
    m_annotator->reset();
    m_dragMode = DragMode::make(DragMode::none);
    m_session->resetActive();
    m_shownHover = m_selection;
    updateHover(p);
    updateCursor(p);
    redrawAll();
}

bool CaptureView::keyDown(int key, Qt::KeyboardModifiers mods)
{
    if (!live())
        return false;
    Annotator& a = *m_annotator;
    const bool command = hasCommandModifier(mods);
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!m_selected)
            warpPointer(key);
        else if (!a.tool)
            nudge(key, mods);
        return true;
    case Qt::Key_Escape:
        m_session->finish(true);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_selected)
            copyAndFinish();
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (a.deleteActiveText()) {
            a.hoverText.reset();
            redraw();
            return true;
        }
        break;
    case Qt::Key_L:
        if (m_selected && !command) {
            startLongCapture();
            return true;
        }
        break;
    case Qt::Key_O:
        if (m_selected && !command) {
            recogniseText();
            return true;
        }
        break;
    case Qt::Key_C:
        if (!m_selected && !command) {
            copyColor();
            return true;
        }
        break;
    default:
        break;
    }
    if (m_selected && !command && key >= Qt::Key_1 && key <= Qt::Key_8) {
        a.selectTool(allTools[size_t(key - Qt::Key_1)]);
        redraw();
        return true;
    }
    return false;
}

void CaptureView::nudge(int key, Qt::KeyboardModifiers mods)
{
    const qreal step = (mods & Qt::ShiftModifier) ? 10 : 1;
    const qreal dx = key == Qt::Key_Left ? -step : key == Qt::Key_Right ? step : 0;
    const qreal dy = key == Qt::Key_Down ? -step : key == Qt::Key_Up ? step : 0;
    const QRectF moved = m_selection.translated(dx, dy);
    const QRectF b = bounds();
    if (minX(moved) < 0 || minY(moved) < 0 || maxX(moved) > maxX(b) || maxY(moved) > maxY(b))
        return;
    m_selection = moved;
    m_annotator->shiftAnnotations(dx, dy);
    m_annotator->showToolbar();
    redraw();
}

void CaptureView::warpPointer(int key)
{
    if (!m_mouse)
        return;
    const qreal step = 1.0 / m_screen.scale;
    const int dx = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
    const int dy = key == Qt::Key_Down ? -1 : key == Qt::Key_Up ? 1 : 0;
    const QPointF next = *m_mouse + QPointF(dx * step, dy * step);
    // A point-based warp cannot land between points on a dense screen: move by one device pixel
    // natively where the window system allows it (its y axis points down).
    if (qFuzzyCompare(m_screen.scale, 1.0) || !NativePointer::moveByDevicePixels(dx, -dy))
        warpMouse(next + m_screen.frame.topLeft());
    else
        m_warpTarget = next;
    updateHover(next);
    redraw();
}

void CaptureView::scrollBy(double dy, bool precise)
{
    if (!live() || !m_selected)
        return;
    m_annotator->scroll(dy, precise);
    redraw();
}

void CaptureView::mouseEnteredView()
{
    if (!live())
        return;
    // Once another screen holds the selection, the keys stay with it: a drag that ends with the
    // pointer past the screen's edge must still copy on Return.
    const CaptureView* holder = m_session ? m_session->active() : nullptr;
    if (holder && holder != this && holder->selected())
        return;
    if (m_session)
        m_session->makeKey(this);
    if (!m_annotator->isEditingText())
        setFocus(Qt::MouseFocusReason);
    setCursor(Qt::CrossCursor);
}

void CaptureView::mouseExitedView()
{
    m_mouse.reset();
    redraw();
}

// --- Qt events ---

void CaptureView::mouseMoveEvent(QMouseEvent* event)
{
    QPointF p = viewPoint(event->position());
    // The move a keyboard step caused arrives rounded to whole points: keep the exact target.
    if (const auto target = std::exchange(m_warpTarget, std::nullopt)) {
        if (std::abs(p.x() - target->x()) <= 0.5 && std::abs(p.y() - target->y()) <= 0.5)
            p = *target;
    }
    if (event->buttons() & Qt::LeftButton)
        mouseDraggedAt(p);
    else
        mouseMovedAt(p);
}

void CaptureView::mousePressEvent(QMouseEvent* event)
{
    const QPointF p = viewPoint(event->position());
    if (event->button() == Qt::RightButton)
        rightMouseDownAt(p);
    else if (event->button() == Qt::LeftButton)
        mouseDownAt(p, 1);
}

void CaptureView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPointF p = viewPoint(event->position());
    if (event->button() == Qt::RightButton)
        rightMouseDownAt(p);
    else if (event->button() == Qt::LeftButton)
        mouseDownAt(p, 2);
}

void CaptureView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        mouseUpAt(viewPoint(event->position()));
}

CaptureView* CaptureView::keyHolder()
{
    CaptureView* key = m_session ? m_session->keyView() : nullptr;
    return key && key != this ? key : nullptr;
}

void CaptureView::keyPressEvent(QKeyEvent* event)
{
    // Where the compositor, not the program, says which window has the keyboard (Wayland), it
    // may be another overlay than the one the user works in: the keys belong to that one.
    if (CaptureView* key = keyHolder()) {
        QCoreApplication::sendEvent(key, event);
        return;
    }
    // The application's Ctrl+C, Ctrl+S and Ctrl+Z normally arrive as shortcuts; when nothing
    // took them they land here and mean the same.
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::Save)) {
        saveImage();
        return;
    }
    if (event->matches(QKeySequence::Undo)) {
        undo();
        return;
    }
    if (isRedoKey(event->key(), event->modifiers())) {
        redo();
        return;
    }
    if (!keyDown(event->key(), event->modifiers()))
        QWidget::keyPressEvent(event);
}

void CaptureView::wheelEvent(QWheelEvent* event)
{
    if (!event->pixelDelta().isNull())
        scrollBy(event->pixelDelta().y(), true);
    else
        scrollBy(event->angleDelta().y() / 120.0, false);
}

void CaptureView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    mouseEnteredView();
    // A compositor tells the pointer to a surface mapped under it with the entering alone: the
    // magnifier and the frame are there from then on, not from the first motion.
    mouseMovedAt(viewPoint(event->position()));
}

void CaptureView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    mouseExitedView();
}

} // namespace quillet
