// Text annotations: the hit test, the field laid over the words while they are typed, and the
// dashed chrome with its handles.
#include "capture/annotation/AnnotationDrawing.h"
#include "capture/annotation/Annotator.h"
#include "capture/annotation/AnnotatorPrivate.h"
#include "platform/Geometry.h"
#include "ui/Accent.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <functional>

namespace quillet {

namespace {

bool validIndex(const std::optional<int>& i, qsizetype size)
{
    return i && *i >= 0 && *i < size;
}

qreal distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// Inclusive on every edge, unlike the selection's rectangle test: the hit zones are generous.
bool inside(const QRectF& r, QPointF p)
{
    return r.width() > 0 && r.height() > 0 && p.x() >= minX(r) && p.x() <= maxX(r)
        && p.y() >= minY(r) && p.y() <= maxY(r);
}

// The field in which words are typed in place. Every key stops here: an ignored key would reach
// the overlay underneath, where Return copies the capture and Escape cancels it.
class InPlaceField final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void()> onEscape;
    std::function<void()> onPreedit;
    // Text an input method is still composing (pinyin before it becomes characters). It is not
    // part of the words yet, but the field must be wide enough to show it.
    QString preedit;

protected:
    void inputMethodEvent(QInputMethodEvent* e) override
    {
        preedit = e->preeditString();
        QLineEdit::inputMethodEvent(e);
        if (const auto handler = onPreedit)
            handler();
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Escape) {
            e->accept();
            // A copy: the handler closes this field, which clears onEscape itself.
            if (const auto handler = onEscape)
                handler();
            return;
        }
        QLineEdit::keyPressEvent(e);
        e->accept();
    }
};

void dashed(QPainter& p, const QRectF& rect, qreal alpha)
{
    const QRectF r = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, qRound(255 * 0.6 * alpha)), 1));
    p.drawRect(r);
    QPen dash(QColor(255, 255, 255, qRound(255 * alpha)), 1);
    dash.setDashPattern({4, 3});
    dash.setDashOffset(0);
    p.setPen(dash);
    p.drawRect(r);
}

} // namespace

std::optional<TextHit> Annotator::textHit(QPointF p) const
{
    if (validIndex(activeText, annotations.size())) {
        const QRectF f = textFrame(annotations[*activeText]);
        if (distance(p, QPointF(maxX(f), maxY(f))) <= 8)
            return TextHit {TextHit::remove, *activeText, {}};
        const std::array<std::pair<QPointF, QPointF>, 3> corners = {{
            {QPointF(minX(f), minY(f)), QPointF(maxX(f), maxY(f))},
            {QPointF(minX(f), maxY(f)), QPointF(maxX(f), minY(f))},
            {QPointF(maxX(f), minY(f)), QPointF(minX(f), maxY(f))},
        }};
        for (const auto& [corner, anchor] : corners) {
            if (distance(p, corner) <= 8)
                return TextHit {TextHit::corner, *activeText, anchor};
        }
    }
    for (qsizetype i = annotations.size() - 1; i >= 0; --i) {
        const Annotation& a = annotations[i];
        if (a.tool != Tool::text)
            continue;
        const QRectF f = textFrame(a);
        if (inside(f.adjusted(4, 4, -4, -4), p))
            return TextHit {TextHit::body, int(i), {}};
        if (inside(f.adjusted(-5, -5, 5, 5), p))
            return TextHit {TextHit::edge, int(i), {}};
    }
    return std::nullopt;
}

bool Annotator::isEditingText() const
{
    return d->field && validIndex(editingIndex, annotations.size());
}

QLineEdit* Annotator::textField() const
{
    return d->field;
}

void Annotator::startEditing(int index)
{
    if (index < 0 || index >= annotations.size())
        return;
    closeField();
    auto* field = new InPlaceField(annotations[index].text, m_host.hostWidget());
    field->setFrame(false);
    field->setTextMargins(0, 0, 0, 0);
    field->setContentsMargins(0, 0, 0, 0);
    field->setAutoFillBackground(false);
    field->setAttribute(Qt::WA_InputMethodEnabled);
    field->onPreedit = [this] { syncTextField(); };
    field->onEscape = [this] {
        commitText();
        m_host.hostTakeKeyboard();
    };
    connect(field, &QLineEdit::returnPressed, this, [this] {
        commitText();
        m_host.hostTakeKeyboard();
    });
    // textChanged covers typing, pasting and text committed by an input method alike.
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!isEditingText())
            return;
        annotations[*editingIndex].text = text;
        syncTextField();
    });
    d->field = field;
    editingIndex = index;
    activeText = index;
    hoverText.reset();
    syncTextField();
    field->show();
    field->setFocus(Qt::OtherFocusReason);
}

void Annotator::editText(int index)
{
    startEditing(index);
    if (d->field)
        d->field->setCursorPosition(int(d->field->text().size()));
}

void Annotator::syncTextField()
{
    if (!isEditingText())
        return;
    const Annotation& a = annotations[*editingIndex];
    QLineEdit* field = d->field;
    const QFont font = textFont(a);
    if (field->font() != font)
        field->setFont(font);
    QPalette pal = field->palette();
    const QColor words
        = a.style == 1 ? (isLight(a.color) ? QColor(Qt::black) : QColor(Qt::white)) : a.color;
    pal.setColor(QPalette::Text, words);
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::Window, Qt::transparent);
    pal.setColor(QPalette::Highlight, accent());
    pal.setColor(QPalette::HighlightedText, Qt::white);
    field->setPalette(pal);
    const QPointF o = a.points.isEmpty() ? QPointF() : a.points[0];
    qreal width = textWidth(a);
    if (const QString& composing = static_cast<InPlaceField*>(field)->preedit;
        !composing.isEmpty()) {
        Annotation shown = a;
        shown.text.insert(
            std::min<qsizetype>(field->cursorPosition(), shown.text.size()), composing);
        width = textWidth(shown);
    }
    const QRectF frame(o.x() - 2, o.y(), width + 6, lineHeight(font));
    const QRectF w = widgetFromView(frame, m_host.hostBounds().height());
    field->setGeometry(QRect(qRound(w.x()), qRound(w.y()), qRound(w.width()), qRound(w.height())));
    m_host.hostRedraw();
}

void Annotator::closeField()
{
    if (QLineEdit* field = d->field) {
        field->disconnect(this);
        static_cast<InPlaceField*>(field)->onEscape = nullptr;
        static_cast<InPlaceField*>(field)->onPreedit = nullptr;
        field->hide();
        // Later: closing is often asked for from inside the field's own key handling.
        field->deleteLater();
    }
    d->field = nullptr;
    editingIndex.reset();
}

void Annotator::commitText()
{
    if (!d->field || !editingIndex) {
        closeField();
        return;
    }
    const int i = *editingIndex;
    const QString text = d->field->text();
    closeField();
    if (i < 0 || i >= annotations.size())
        return;
    annotations[i].text = text;
    if (text.isEmpty()) {
        removeAnnotation(i);
        activeText.reset();
        activeShape.reset();
    } else {
        activeText = i;
    }
    settle();
    m_host.hostRedraw();
}

void Annotator::discardEditing()
{
    if (!d->field || !editingIndex)
        return;
    const int i = *editingIndex;
    closeField();
    removeAnnotation(i);
    activeText.reset();
    activeShape.reset();
    hoverText.reset();
    settle();
    m_host.hostTakeKeyboard();
    m_host.hostRedraw();
}

void Annotator::applyStyleToActiveText()
{
    const std::optional<int> target = editingIndex ? editingIndex : activeText;
    if (!validIndex(target, annotations.size()) || annotations[*target].tool != Tool::text)
        return;
    annotations[*target].width = (fontSize - 12) / 2;
    annotations[*target].style = textStyle;
    if (target == editingIndex)
        syncTextField();
    settle();
    m_host.hostRedraw();
}

void Annotator::giveKeyboardBackToField()
{
    if (d->field)
        d->field->setFocus(Qt::OtherFocusReason);
}

bool Annotator::pressOnEditedText(QPointF p)
{
    if (!isEditingText())
        return false;
    const auto hit = textHit(p);
    if (!hit || hit->index != *editingIndex)
        return false;
    const Annotation& a = annotations[hit->index];
    DragMode& mode = m_host.hostDragMode();
    switch (hit->kind) {
    case TextHit::body:
    case TextHit::edge:
        mode = DragMode::make(DragMode::textMove);
        mode.index = hit->index;
        mode.point = a.points.value(0);
        m_host.hostUpdateCursor(p);
        return true;
    case TextHit::corner:
        mode = DragMode::make(DragMode::textResize);
        mode.index = hit->index;
        mode.point = hit->anchor;
        mode.frame = textFrame(a);
        mode.width = a.width;
        return true;
    case TextHit::remove:
        discardEditing();
        return true;
    }
    return false;
}

bool Annotator::pressOnText(QPointF p)
{
    if (tool && *tool != Tool::text)
        return false;
    const auto hit = textHit(p);
    if (!hit || hit->index < 0 || hit->index >= annotations.size())
        return false;
    activeShape.reset();
    if (hit->kind == TextHit::remove) {
        removeAnnotation(hit->index);
        activeText.reset();
        hoverText.reset();
        settle();
    } else {
        // The clicked text's look becomes the look for what comes next (not a preference).
        const Annotation& a = annotations[hit->index];
        color = a.color;
        fontSize = textFontSize(a);
        textStyle = a.style;
        refreshToolbar();
        DragMode& mode = m_host.hostDragMode();
        if (hit->kind == TextHit::edge) {
            activeText = hit->index;
            mode = DragMode::make(DragMode::textMove);
            mode.index = hit->index;
            mode.point = a.points.value(0);
            m_host.hostUpdateCursor(p);
        } else if (hit->kind == TextHit::corner) {
            activeText = hit->index;
            mode = DragMode::make(DragMode::textResize);
            mode.index = hit->index;
            mode.point = hit->anchor;
            mode.frame = textFrame(a);
            mode.width = a.width;
        } else {
            editText(hit->index);
        }
    }
    m_host.hostRedraw();
    updateSubbar(false);
    return true;
}

void Annotator::updateHoverText(QPointF p)
{
    hoverText.reset();
    if (!m_host.hostSelected() || (tool && *tool != Tool::text))
        return;
    const auto hit = textHit(p);
    if (hit && (hit->kind == TextHit::body || hit->kind == TextHit::edge))
        hoverText = hit->index;
}

bool Annotator::deleteActiveText()
{
    if (!validIndex(activeText, annotations.size()))
        return false;
    if (editingIndex == activeText)
        closeField();
    removeAnnotation(*activeText);
    activeText.reset();
    hoverText.reset();
    settle();
    m_host.hostRedraw();
    return true;
}

void Annotator::drawTextChrome(QPainter& p)
{
    if (!m_host.hostSelected() || (tool && *tool != Tool::text && !isEditingText()))
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (validIndex(hoverText, annotations.size()) && hoverText != activeText)
        dashed(p, textFrame(annotations[*hoverText]), 0.7);
    if (validIndex(activeText, annotations.size())) {
        const QRectF f = textFrame(annotations[*activeText]);
        dashed(p, f, 1.0);
        const DragMode& mode = m_host.hostDragMode();
        const bool dragged = (mode.kind == DragMode::textMove || mode.kind == DragMode::textResize)
            && mode.index == *activeText;
        const auto m = m_host.hostMouse();
        if (dragged || (m && inside(f.adjusted(-14, -14, 14, 14), *m))) {
            p.setPen(QPen(accent(), 1.5));
            p.setBrush(Qt::white);
            for (const QPointF c :
                {QPointF(minX(f), minY(f)), QPointF(minX(f), maxY(f)), QPointF(maxX(f), minY(f))})
                p.drawRoundedRect(QRectF(c.x() - 5, c.y() - 5, 10, 10), 2.5, 2.5);
            const QPointF c(maxX(f), maxY(f));
            p.setPen(Qt::NoPen);
            p.setBrush(accent());
            p.drawEllipse(c, 8, 8);
            p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(c + QPointF(-3, -3), c + QPointF(3, 3));
            p.drawLine(c + QPointF(-3, 3), c + QPointF(3, -3));
        }
    }
    p.restore();
}

} // namespace quillet
