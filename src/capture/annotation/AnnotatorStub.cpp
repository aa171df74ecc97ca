// Stand-in until the annotation side lands: the overlay works as a plain region picker.
#include "capture/annotation/Annotator.h"

#include "capture/annotation/AnnotationDrawing.h"

#include <QFontMetricsF>
#include <QLineEdit>
#include <cmath>

namespace quillet {

struct Annotator::Private { };

Annotator::Annotator(AnnotationHost& host, QObject* parent)
    : QObject(parent)
    , m_host(host)
{
}
Annotator::~Annotator() = default;

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

std::optional<TextHit> Annotator::textHit(QPointF) const { return std::nullopt; }
bool Annotator::isEditingText() const { return false; }
QLineEdit* Annotator::textField() const { return nullptr; }
void Annotator::startEditing(int) { }
void Annotator::editText(int) { }
void Annotator::syncTextField() { }
void Annotator::commitText() { }
void Annotator::discardEditing() { }
void Annotator::applyStyleToActiveText() { }
bool Annotator::pressOnEditedText(QPointF) { return false; }
bool Annotator::pressOnText(QPointF) { return false; }
void Annotator::clearActive() { }
void Annotator::beginAnnotation(QPointF) { }
void Annotator::drag(QPointF) { }
void Annotator::release() { }
void Annotator::updateHoverText(QPointF) { }
void Annotator::scroll(double, bool) { }
void Annotator::undo() { }
void Annotator::shiftAnnotations(double, double) { }
void Annotator::reset() { }
void Annotator::setAnnotations(const QList<Annotation>& list) { annotations = list; }
bool Annotator::deleteActiveText() { return false; }
void Annotator::selectTool(std::optional<Tool>) { }
void Annotator::debugSelect(std::optional<Tool>) { }
void Annotator::setLineWidth(double) { }
void Annotator::chooseColor(int) { }
void Annotator::chooseWidth(double) { }
void Annotator::chooseTextStyle(int) { }
void Annotator::chooseFontSize(double) { }
void Annotator::showToolbar() { }
void Annotator::refreshToolbar() { }
void Annotator::updateSubbar(bool) { }
void Annotator::hideBars() { }
bool Annotator::toolbarVisibleAt(QPointF) const { return false; }
QWidget* Annotator::toolbar() const { return nullptr; }
QWidget* Annotator::subbar() const { return nullptr; }
void Annotator::drawAnnotationPass(QPainter&, const QRectF&) { }
void Annotator::drawTextChrome(QPainter&) { }
void Annotator::drawBrushRing(QPainter&) { }
void Annotator::drawForExport(QPainter&) { }
const QImage* Annotator::pixelated() { return nullptr; }

} // namespace quillet
