#include "settings/window/components/Keycap.h"

#include "settings/window/components/Card.h"
#include "settings/window/components/Look.h"
#include "ui/Fonts.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLayoutItem>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace quillet {

namespace {

constexpr qreal capHeight = 24;
constexpr qreal capMargin = 6;
constexpr qreal capRadius = 6;

QFont capFont()
{
    return uiFont(12, QFont::DemiBold);
}

} // namespace

Keycap::Keycap(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
{
    setFixedSize(sizeHint());
    setAccessibleName(text);
}

qreal Keycap::widthFor(const QString& text)
{
    const qreal textWidth = QFontMetricsF(capFont()).horizontalAdvance(text);
    return std::max(capHeight, std::ceil(textWidth + 2 * capMargin));
}

QSize Keycap::sizeHint() const
{
    return QSize(int(widthFor(m_text)), int(capHeight));
}

void Keycap::paint(QPainter& p, const QRectF& rect, const QString& text, const QWidget* w)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath plate;
    plate.addRoundedRect(rect.adjusted(0.25, 0.25, -0.25, -0.75), capRadius, capRadius);
    // The shadow peeks out half a point below the plate, inside the cap's 24 points.
    p.fillPath(plate.translated(0, 0.5), QColor(0, 0, 0, look::isDark(w) ? 90 : 40));
    p.fillPath(plate, look::keyBackground(w));
    p.setPen(QPen(look::primary(w, 0.13), 0.5));
    p.drawPath(plate);
    p.setFont(capFont());
    p.setPen(look::primary(w));
    p.drawText(rect, Qt::AlignCenter, text);
    p.restore();
}

void Keycap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF(0, 0, width(), capHeight), m_text, this);
}

Keys::Keys(const QStringList& keys, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    setKeys(keys);
}

void Keys::setKeys(const QStringList& keys)
{
    m_keys = keys;
    QLayout* row = layout();
    while (QLayoutItem* item = row->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const QString& k : keys)
        row->addWidget(new Keycap(k, this));
    setAccessibleName(keys.join(QLatin1Char(' ')));
}

CheatRow::CheatRow(const QStringList& keys, const QString& text, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(makeLabel(text, 12, QFont::Normal, false, this));
    row->addStretch(1);
    row->addWidget(new Keys(keys, this));
}

} // namespace quillet
