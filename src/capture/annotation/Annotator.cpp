#include "capture/annotation/Annotator.h"

#include "capture/annotation/AnnotationDrawing.h"
#include "capture/annotation/AnnotatorPrivate.h"
#include "capture/annotation/RenderCache.h"
#include "platform/Geometry.h"
#include "settings/Prefs.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

bool validIndex(const std::optional<int>& i, qsizetype size)
{
    return i && *i >= 0 && *i < size;
}

// Rounds half away from zero, as the size steps expect (std::round does exactly that).
double roundedSize(double v)
{
    return std::round(v);
}

QPointF clampInto(QPointF p, const QRectF& r)
{
    return QPointF(std::clamp(p.x(), minX(r), std::max(minX(r), maxX(r))),
        std::clamp(p.y(), minY(r), std::max(minY(r), maxY(r))));
}

} // namespace

Annotator::Annotator(AnnotationHost& host, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , d(std::make_unique<Private>())
{
    color = palette()[std::clamp<qint64>(Prefs::defaultColor(), 0, 6)];
    lineWidth = std::clamp(Prefs::defaultWidth(), 1.0, 20.0);
    fontSize = std::clamp(Prefs::fontSize(), 10.0, 120.0);
    textStyle = int(std::clamp<qint64>(Prefs::textStyle(), 0, 2));
    mosaicSize = int(std::clamp<qint64>(Prefs::mosaicSize(), 0, 2));
}

Annotator::~Annotator()
{
    // The widgets belong to the host widget; take ours away with us so nothing calls back into
    // a dead annotator.
    if (d->field)
        delete d->field.data();
    if (d->subbar)
        delete d->subbar.data();
    if (d->toolbar)
        delete d->toolbar.data();
    // The program stays resident between captures; the layers of this one are of no further use.
    RenderCache::clear();
}

const QList<double>& Annotator::fontSizes()
{
    static const QList<double> s = {12, 14, 16, 18, 20, 24, 28, 32, 40, 48, 60, 72, 96};
    return s;
}

const QList<double>& Annotator::lineWidths()
{
    static const QList<double> w = {2, 4, 7, 12};
    return w;
}

void Annotator::clearActive()
{
    activeText.reset();
    activeShape.reset();
}

void Annotator::beginAnnotation(QPointF p)
{
    if (!tool || !containsPoint(m_host.hostSelection(), p))
        return;
    const Tool t = *tool;
    if (t == Tool::text) {
        const double w = (fontSize - 12) / 2;
        const qreal h = lineHeight(textFontOfSize(fontSize));
        // The first line is centred vertically on the click.
        appendAndEdit(
            Annotation {Tool::text, color, w, {QPointF(p.x(), p.y() - h / 2)}, {}, textStyle});
        return;
    }
    if (t == Tool::number) {
        const auto n = std::count_if(annotations.cbegin(), annotations.cend(),
            [](const Annotation& a) { return a.tool == Tool::number; });
        annotations.append(
            Annotation {Tool::number, color, lineWidth, {p}, QString::number(n + 1), 0});
        activeShape = int(annotations.size() - 1);
        settle();
        m_host.hostRedraw();
        return;
    }
    current = Annotation {t, color, lineWidth, {p, p}, {}, t == Tool::mosaic ? mosaicSize : 0};
    m_host.hostDragMode() = DragMode::make(DragMode::draw);
    m_host.hostRedraw();
}

void Annotator::appendAndEdit(const Annotation& a)
{
    annotations.append(a);
    startEditing(int(annotations.size() - 1));
}

void Annotator::drag(QPointF p)
{
    DragMode& mode = m_host.hostDragMode();
    const QPointF delta = p - m_host.hostDragStart();
    switch (mode.kind) {
    case DragMode::draw:
        if (current) {
            const QPointF q = clampInto(p, m_host.hostSelection());
            if (isFreehand(current->tool)) {
                // A pen held down for minutes sends hundreds of thousands of moves; points within
                // half a device pixel of the last one kept add nothing the eye could see.
                const QPointF v = q - current->points.last();
                const qreal px = std::hypot(v.x(), v.y()) * m_host.hostScale();
                if (px >= 0.5)
                    current->points.append(q);
            } else if (current->points.size() >= 2)
                current->points[1] = q;
        }
        break;
    case DragMode::textMove:
        if (mode.index >= 0 && mode.index < annotations.size()
            && !annotations[mode.index].points.isEmpty()) {
            annotations[mode.index].points[0] = mode.point + delta;
            if (editingIndex == mode.index)
                syncTextField();
        }
        break;
    case DragMode::textResize:
        resizeTextTo(p);
        break;
    default:
        return;
    }
    m_host.hostRedraw();
}

void Annotator::resizeTextTo(QPointF p)
{
    const DragMode& mode = m_host.hostDragMode();
    if (mode.index < 0 || mode.index >= annotations.size())
        return;
    Annotation& a = annotations[mode.index];
    if (a.points.isEmpty())
        return;
    const QPointF anchor = mode.point;
    const qreal diagonal = std::hypot(mode.frame.width(), mode.frame.height());
    const QPointF v = p - anchor;
    const qreal distance = std::hypot(v.x(), v.y());
    const qreal ratio = std::max(diagonal > 1 ? distance / diagonal : distance, 0.2);
    const qreal size = (2 * mode.width + 12) * ratio;
    a.width = size <= 8 ? -2 : (std::min(size, 160.0) - 12) / 2;

    // The corner opposite the dragged one stays where it was.
    const QRectF f = textFrame(a);
    const qreal x = minX(mode.frame) == anchor.x() ? anchor.x() : anchor.x() - f.width();
    const qreal y = minY(mode.frame) == anchor.y() ? anchor.y() : anchor.y() - f.height();
    a.points[0] = QPointF(x + textPadX, y + textPadY);
    if (editingIndex == mode.index)
        syncTextField();
}

void Annotator::release()
{
    const DragMode& mode = m_host.hostDragMode();
    if (mode.kind == DragMode::draw) {
        finishDraw();
    } else if (mode.kind == DragMode::textResize && mode.index >= 0
        && mode.index < annotations.size()) {
        // The new size becomes the size for the next text; the preference keeps its own value.
        fontSize = textFontSize(annotations[mode.index]);
    }
    settle();
}

void Annotator::finishDraw()
{
    if (!current)
        return;
    Annotation a = *std::exchange(current, std::nullopt);
    d->liveStroke.clear();
    if (isFreehand(a.tool)) {
        // A click without movement leaves a dot: a three-point stroke on one spot.
        if (a.points.size() == 2)
            a.points.append(a.points[1]);
    } else {
        if (a.points.size() < 2)
            return;
        const QPointF v = a.points[1] - a.points[0];
        if (std::hypot(v.x(), v.y()) <= 3)
            return;
    }
    annotations.append(a);
    activeShape = int(annotations.size() - 1);
}

void Annotator::scroll(double dy, bool precise)
{
    if (!m_host.hostSelected())
        return;
    scrollAccum += dy;
    const double threshold = precise ? 6.0 : 0.5;
    if (std::abs(scrollAccum) < threshold)
        return;
    const int s = scrollAccum > 0 ? 1 : -1;
    scrollAccum = 0;
    const bool textTarget
        = tool == Tool::text || isEditingText() || validIndex(activeText, annotations.size());
    if (!textTarget) {
        setLineWidth(std::clamp(lineWidth + s, 1.0, 20.0));
        return;
    }
    fontSize = std::clamp(roundedSize(fontSize + 2 * s), 10.0, 120.0);
    applyStyleToActiveText();
    refreshToolbar();
    m_host.hostRedraw();
}

void Annotator::settle()
{
    if (current || isEditingText() || annotations == m_settled)
        return;
    history.undo.append(std::exchange(m_settled, annotations));
    history.redo.clear();
}

void Annotator::undo()
{
    step(history.undo, history.redo);
}

void Annotator::redo()
{
    step(history.redo, history.undo);
}

void Annotator::step(QList<QList<Annotation>>& from, QList<QList<Annotation>>& to)
{
    // The words of a text still in the field are a change of their own; closing a field that
    // changed nothing is all the key does.
    const bool editing = isEditingText();
    const qsizetype kept = history.undo.size();
    commitText();
    settle();
    if ((editing && history.undo.size() == kept) || from.isEmpty()) {
        m_host.hostRedraw();
        return;
    }
    to.append(annotations);
    annotations = from.takeLast();
    m_settled = annotations;
    dropStaleIndices();
    refreshToolbar();
    updateSubbar(false);
    m_host.hostRedraw();
}

void Annotator::dropStaleIndices()
{
    for (std::optional<int>* i : {&activeShape, &activeText, &hoverText}) {
        if (!validIndex(*i, annotations.size()))
            i->reset();
    }
}

void Annotator::removeAnnotation(int index)
{
    if (index < 0 || index >= annotations.size())
        return;
    annotations.removeAt(index);
    // Later entries move down by one; an index that pointed past the removed one must follow,
    // or the toolbar would restyle a different annotation than the one the user made last.
    auto fix = [index](std::optional<int>& i) {
        if (!i)
            return;
        if (*i == index)
            i.reset();
        else if (*i > index)
            --*i;
    };
    fix(activeShape);
    fix(activeText);
    fix(hoverText);
    fix(editingIndex);
}

void Annotator::shiftAnnotations(double dx, double dy)
{
    // The kept states move along: undo after moving the selection must not leave the
    // annotations where the selection used to be.
    const auto shift = [d = QPointF(dx, dy)](Annotation& a) {
        for (QPointF& pt : a.points)
            pt += d;
    };
    std::for_each(annotations.begin(), annotations.end(), shift);
    std::for_each(m_settled.begin(), m_settled.end(), shift);
    history.forEachAnnotation(shift);
    if (isEditingText())
        syncTextField();
}

void Annotator::reset()
{
    closeField();
    annotations.clear();
    m_settled.clear();
    history = {};
    current.reset();
    activeShape.reset();
    activeText.reset();
    hoverText.reset();
    scrollAccum = 0;
    tool.reset();
    d->toolButtons.clear();
    d->colorButtons.clear();
    d->widthButtons.clear();
    d->styleButtons.clear();
    d->mosaicButtons.clear();
    d->subbarKind.reset();
    d->toolbarFrame = d->subbarFrame = QRectF();
    // deleteLater: a reset can be reached from one of the bars' own buttons. The pointers are
    // cleared now, so a toolbar shown again before the event loop runs is a new one.
    for (GlassPanel* panel : {d->subbar.data(), d->toolbar.data()}) {
        if (panel) {
            panel->hide();
            panel->deleteLater();
        }
    }
    d->subbar = nullptr;
    d->toolbar = nullptr;
    d->fontPopup = nullptr;
    m_host.hostRedraw();
}

void Annotator::setAnnotations(const QList<Annotation>& list, const AnnotationHistory& past)
{
    closeField();
    annotations = list;
    m_settled = list;
    history = past;
    current.reset();
    activeShape.reset();
    activeText.reset();
    hoverText.reset();
    m_host.hostRedraw();
}

void Annotator::selectTool(std::optional<Tool> t)
{
    commitText();
    if (t == tool) {
        tool.reset();
        activeShape.reset();
    } else {
        tool = t;
        activeShape.reset();
        if (t && *t != Tool::text)
            activeText.reset();
    }
    refreshToolbar();
    updateSubbar(false);
    if (const auto m = m_host.hostMouse())
        m_host.hostUpdateCursor(*m);
    m_host.hostRedraw();
}

void Annotator::debugSelect(std::optional<Tool> t)
{
    tool.reset();
    if (t) {
        selectTool(t);
        return;
    }
    refreshToolbar();
    updateSubbar(false);
}

void Annotator::setLineWidth(double w)
{
    lineWidth = w;
    if (validIndex(activeShape, annotations.size())
        && annotations[*activeShape].tool != Tool::mosaic)
        annotations[*activeShape].width = w;
    settle();
    refreshToolbar();
    m_host.hostRedraw();
}

void Annotator::chooseColor(int k)
{
    if (k < 0 || k >= int(palette().size()))
        return;
    color = palette()[k];
    Prefs::setDefaultColor(k);
    std::optional<int> target = editingIndex ? editingIndex : activeText ? activeText : activeShape;
    if (validIndex(target, annotations.size()) && annotations[*target].tool != Tool::mosaic) {
        annotations[*target].color = color;
        if (target == editingIndex)
            syncTextField();
        settle();
        m_host.hostRedraw();
    }
    refreshToolbar();
    giveKeyboardBackToField();
}

void Annotator::chooseWidth(double w)
{
    setLineWidth(w);
    Prefs::setDefaultWidth(w);
    giveKeyboardBackToField();
}

void Annotator::chooseTextStyle(int s)
{
    textStyle = std::clamp(s, 0, 2);
    Prefs::setTextStyle(textStyle);
    applyStyleToActiveText();
    refreshToolbar();
    giveKeyboardBackToField();
}

void Annotator::chooseMosaicSize(int s)
{
    mosaicSize = std::clamp(s, 0, 2);
    Prefs::setMosaicSize(mosaicSize);
    if (validIndex(activeShape, annotations.size())
        && annotations[*activeShape].tool == Tool::mosaic) {
        annotations[*activeShape].style = mosaicSize;
        settle();
        m_host.hostRedraw();
    }
    refreshToolbar();
}

void Annotator::chooseFontSize(double v)
{
    if (!std::isfinite(v))
        return;
    fontSize = std::clamp(roundedSize(v), 10.0, 120.0);
    applyStyleToActiveText();
    refreshToolbar();
    m_host.hostRedraw();
    Prefs::setFontSize(v);
    giveKeyboardBackToField();
}

// --- drawing ---

const QImage* Annotator::pixelated(int style)
{
    const size_t k = size_t(std::clamp(style, 0, 2));
    if (!d->pixelatedTried[k]) {
        d->pixelatedTried[k] = true;
        d->pixelated[k]
            = makePixelated(m_host.hostImage(), m_host.hostScale(), mosaicBlock(int(k)));
    }
    return d->pixelated[k].isNull() ? nullptr : &d->pixelated[k];
}

void Annotator::drawAnnotationPass(QPainter& p, const QRectF& clip)
{
    const QRectF bounds = m_host.hostBounds();
    if (!current || !isFreehand(current->tool))
        d->liveStroke.clear();
    p.save();
    // Whatever the caller already clips to (the repainted region) narrows the work: annotations
    // wholly outside it are not drawn at all.
    QRectF area = clip;
    if (p.hasClipping())
        area = intersectRect(area, p.clipBoundingRect());
    p.setClipRect(clip, Qt::IntersectClip);
    if (!area.isEmpty()) {
        for (qsizetype i = 0; i < annotations.size(); ++i) {
            const Annotation& a = annotations[i];
            if (!rectsIntersect(annotationBounds(a), area))
                continue;
            if (editingIndex == i) {
                // The field shows the words; only a label stays behind it.
                if (a.style == 1)
                    drawTextLabel(p, a, false);
                continue;
            }
            drawAnnotation(p, a, a.tool == Tool::mosaic ? pixelated(a.style) : nullptr, bounds);
        }
        if (current && isFreehand(current->tool)) {
            d->liveStroke.paint(p, *current, clip);
        } else if (current) {
            drawAnnotation(p, *current,
                current->tool == Tool::mosaic ? pixelated(current->style) : nullptr, bounds,
                ShadowCaching::direct);
        }
    }
    p.restore();
}

void Annotator::drawForExport(QPainter& p)
{
    const QRectF bounds = m_host.hostBounds();
    for (const Annotation& a : annotations)
        drawAnnotation(p, a, a.tool == Tool::mosaic ? pixelated(a.style) : nullptr, bounds);
}

void Annotator::drawBrushRing(QPainter& p)
{
    const auto m = m_host.hostMouse();
    if (!m_host.hostSelected() || !tool || *tool == Tool::text || !m
        || !containsPoint(m_host.hostSelection(), *m)
        || m_host.hostDragMode().kind != DragMode::none)
        return;
    qreal dia = lineWidth;
    if (*tool == Tool::highlighter)
        dia = lineWidth * 4;
    else if (*tool == Tool::number)
        dia = lineWidth * 2.4 + 18;
    QColor c = color;
    c.setAlphaF(0.6f);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(c, 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(*m, dia / 2, dia / 2);
    p.restore();
}

} // namespace quillet
