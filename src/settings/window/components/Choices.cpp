#include "settings/window/components/Choices.h"

#include "settings/window/components/Look.h"
#include "ui/Fonts.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace quillet {

namespace {

// One piece of a segmented picker.
class Segment final : public QAbstractButton {
public:
    explicit Segment(const QString& text, QWidget* parent)
        : QAbstractButton(parent)
    {
        setText(text);
        setAccessibleName(text);
        setCheckable(true);
        setFont(uiFont(12));
        setFocusPolicy(Qt::StrongFocus);
    }
    QSize sizeHint() const override { return {fontMetrics().horizontalAdvance(text()) + 24, 26}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.setPen(QPen(look::primary(this, 0.15), 0.5));
        p.setBrush(isChecked() ? look::accent(this) : look::primary(this, 0.05));
        p.drawRoundedRect(r, 6, 6);
        if (hasFocus()) {
            p.setPen(QPen(look::accent(this, 0.6), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(r, 6, 6);
        }
        p.setPen(isChecked() ? QColor(Qt::white) : look::primary(this));
        p.drawText(r, Qt::AlignCenter, text());
    }
};

void paintMark(QPainter& p, const QWidget* w, const QRectF& r, qreal radius)
{
    if (w->hasFocus()) {
        p.setPen(QPen(look::accent(w, 0.6), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r, radius, radius);
    }
}

} // namespace

SwatchButton::SwatchButton(const QColor& color, const QString& name, QWidget* parent)
    : QAbstractButton(parent)
    , m_color(color)
{
    setCheckable(true);
    setFixedSize(sizeHint());
    setAccessibleName(name);
    setToolTip(name);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void SwatchButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(4, 4, -4, -4);
    p.setPen(QPen(look::primary(this, 0.2), 0.5));
    p.setBrush(m_color);
    p.drawEllipse(r);
    if (isChecked()) {
        p.setPen(QPen(look::primary(this, 0.75), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
    paintMark(p, this, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12);
}

WidthButton::WidthButton(double width, QWidget* parent)
    : QAbstractButton(parent)
    , m_width(width)
{
    setCheckable(true);
    setFixedSize(sizeHint());
    setAccessibleName(QString::number(width));
    setToolTip(QString::number(width));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void WidthButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(isChecked() ? QPen(look::accent(this), 1.5) : QPen(look::primary(this, 0.15), 0.5));
    p.setBrush(isChecked() ? look::accent(this, 0.12) : look::primary(this, 0.04));
    p.drawRoundedRect(r, 6, 6);
    paintMark(p, this, r, 6);
    // The line at its width, but never wider than the button can show.
    const qreal w = std::min(m_width, height() - 10.0);
    p.setPen(QPen(look::primary(this), w, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, height() / 2.0), QPointF(width() - 10, height() / 2.0));
}

ChoiceRow::ChoiceRow(int spacing, QWidget* parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, &ChoiceRow::chosen);
}

void ChoiceRow::add(QAbstractButton* b)
{
    b->setParent(this);
    b->setCheckable(true);
    m_group->addButton(b, m_group->buttons().size());
    layout()->addWidget(b);
}

void ChoiceRow::addSegment(const QString& text)
{
    add(new Segment(text, this));
}

void ChoiceRow::setCurrent(int index)
{
    if (QAbstractButton* b = m_group->button(index)) {
        b->setChecked(true);
        return;
    }
    // No valid choice: nothing is marked rather than a wrong one.
    if (QAbstractButton* b = m_group->checkedButton()) {
        m_group->setExclusive(false);
        b->setChecked(false);
        m_group->setExclusive(true);
    }
}

int ChoiceRow::current() const
{
    return m_group->checkedId();
}

QAbstractButton* ChoiceRow::button(int index) const
{
    return m_group->button(index);
}

int ChoiceRow::count() const
{
    return int(m_group->buttons().size());
}

} // namespace quillet
