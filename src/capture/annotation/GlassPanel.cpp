#include "capture/annotation/GlassPanel.h"

#include "ui/Accent.h"
#include "ui/Shadow.h"

#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

namespace quillet {

namespace {

constexpr qreal panelRadius = 13;

// The shadow: black 0.45, blur 16, five points below the panel. The margin holds its reach.
constexpr qreal shadowBlur = 16;
constexpr qreal shadowDrop = 5;

// A 1 x 18 point line in white 0.18 with 5 points of room left and right.
class Divider final : public QWidget {
public:
    explicit Divider(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(11, 18);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(QRectF(5, 0, 1, 18), white(1, 0.18));
    }
};

} // namespace

GlassPanel::GlassPanel(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::ArrowCursor);
    m_row = new QHBoxLayout(this);
    m_row->setSpacing(2);
    const QMargins m = shadowMargins();
    m_row->setContentsMargins(m.left() + 6, m.top() + 5, m.right() + 6, m.bottom() + 5);
    m_row->setSizeConstraint(QLayout::SetFixedSize);
    m_appear = new QVariantAnimation(this);
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.2, 0.9), QPointF(0.3, 1.0), QPointF(1, 1));
    m_appear->setEasingCurve(curve);
    m_appear->setStartValue(0.0);
    m_appear->setEndValue(1.0);
    connect(m_appear, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const qreal t = v.toDouble();
        move(m_from + (m_target.topLeft() - m_from) * t
            - QPoint(shadowMargins().left(), shadowMargins().top()));
        if (m_fade)
            m_fade->setOpacity(t);
    });
    connect(m_appear, &QVariantAnimation::finished, this, &GlassPanel::finishAppearing);
    hide();
}

GlassPanel::~GlassPanel() = default;

QMargins GlassPanel::shadowMargins()
{
    const int reach = int(std::ceil(shadowBlur * 0.75));
    return QMargins(reach, reach, reach, reach + int(shadowDrop));
}

QColor GlassPanel::fillColor()
{
    return srgb(0.11, 0.11, 0.12, 0.86);
}

void GlassPanel::addDivider()
{
    m_row->addWidget(new Divider(this));
}

QSize GlassPanel::panelSize() const
{
    const QMargins m = shadowMargins();
    return m_row->sizeHint().shrunkBy(m);
}

QRect GlassPanel::panelGeometry() const
{
    return geometry().marginsRemoved(shadowMargins());
}

void GlassPanel::setPanelGeometry(const QRect& r)
{
    m_appear->stop();
    finishAppearing();
    setGeometry(r.marginsAdded(shadowMargins()));
}

void GlassPanel::appear(const QRect& target, QPoint offset, int ms)
{
    m_appear->stop();
    m_target = target;
    m_from = target.topLeft() + offset;
    setGeometry(QRect(m_from, target.size()).marginsAdded(shadowMargins()));
    if (!m_fade) {
        m_fade = new QGraphicsOpacityEffect(this);
        setGraphicsEffect(m_fade);
    }
    m_fade->setOpacity(0);
    show();
    raise();
    m_appear->setDuration(ms);
    m_appear->start();
}

void GlassPanel::finishAppearing()
{
    if (!m_target.isNull())
        setGeometry(m_target.marginsAdded(shadowMargins()));
    m_target = QRect();
    // Without the effect the panel paints straight into the overlay again: cheaper, and nothing
    // is left half transparent should the animation be cut short.
    if (m_fade)
        setGraphicsEffect(nullptr); // deletes the effect
}

bool GlassPanel::isSettled() const
{
    return isVisible() && !isAppearing();
}

bool GlassPanel::isAppearing() const
{
    return m_appear->state() == QAbstractAnimation::Running;
}

bool GlassPanel::onPanel(QPointF p) const
{
    return QRectF(rect().marginsRemoved(shadowMargins())).contains(p);
}

void GlassPanel::resizeEvent(QResizeEvent*)
{
    m_backdrop = QImage();
}

void GlassPanel::paintEvent(QPaintEvent*)
{
    const qreal dpr = devicePixelRatioF();
    if (m_backdrop.isNull() || m_backdrop.size() != size() * dpr) {
        m_backdrop = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
        m_backdrop.setDevicePixelRatio(dpr);
        m_backdrop.fill(Qt::transparent);
        QPainter b(&m_backdrop);
        b.setRenderHint(QPainter::Antialiasing);
        const QRectF body = QRectF(rect().marginsRemoved(shadowMargins()));
        QPainterPath shape;
        shape.addRoundedRect(body, panelRadius, panelRadius);
        paintWithShadow(b,
            Shadow {QColor(0, 0, 0, qRound(0.45 * 255)), shadowBlur, QPointF(0, shadowDrop)}, body,
            [&](QPainter& q) { q.fillPath(shape, fillColor()); });
        // A faint sheen at the top, as a lit glass edge would show.
        QLinearGradient sheen(body.topLeft(), body.bottomLeft());
        sheen.setColorAt(0, white(1, 0.07));
        sheen.setColorAt(0.5, white(1, 0.0));
        b.fillPath(shape, sheen);
        b.setPen(QPen(white(1, 0.18), 0.5));
        b.setBrush(Qt::NoBrush);
        b.drawRoundedRect(body.adjusted(0.25, 0.25, -0.25, -0.25), panelRadius, panelRadius);
    }
    QPainter p(this);
    p.drawImage(QPointF(0, 0), m_backdrop);
}

void GlassPanel::mousePressEvent(QMouseEvent* e)
{
    e->setAccepted(onPanel(e->position()));
}
void GlassPanel::mouseReleaseEvent(QMouseEvent* e)
{
    e->setAccepted(onPanel(e->position()));
}
void GlassPanel::mouseMoveEvent(QMouseEvent* e)
{
    e->setAccepted(onPanel(e->position()));
}
void GlassPanel::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->setAccepted(onPanel(e->position()));
}

} // namespace quillet
