#include "settings/window/components/PageParts.h"

#include "settings/window/components/Card.h"
#include "settings/window/components/IconTile.h"
#include "settings/window/components/Look.h"
#include "ui/Fonts.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace quillet {

SidebarRow::SidebarRow(SettingsPage page, QWidget* parent)
    : QAbstractButton(parent)
    , m_page(page)
{
    setCheckable(true);
    setText(title(page));
    setAccessibleName(title(page));
    setFont(uiFont(13));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SidebarRow::sizeHint() const
{
    // The 22-point tile with 2 points above and below, inside an 8-point selection plate margin.
    return QSize(160, 22 + 2 * 2 + 8);
}

void SidebarRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(rect()).adjusted(0, 1, 0, -1);
    if (isChecked())
        p.fillPath(
            [&] {
                QPainterPath path;
                path.addRoundedRect(plate, 7, 7);
                return path;
            }(),
            look::primary(this, 0.1));
    else if (underMouse())
        p.fillPath(
            [&] {
                QPainterPath path;
                path.addRoundedRect(plate, 7, 7);
                return path;
            }(),
            look::primary(this, 0.05));
    if (hasFocus() && m_keyboardFocus) {
        p.setPen(QPen(look::accent(this, 0.7), 1.5));
        p.drawRoundedRect(plate.adjusted(0.75, 0.75, -0.75, -0.75), 7, 7);
    }
    const QRectF tile(8, plate.center().y() - 11, 22, 22);
    IconTile::paint(p, tile, symbol(m_page), colors(m_page));
    p.setPen(look::primary(this));
    p.setFont(font());
    p.drawText(QRectF(tile.right() + 8, 0, width() - tile.right() - 12, height()),
        Qt::AlignVCenter | Qt::AlignLeft, text());
}

void SidebarRow::focusInEvent(QFocusEvent* e)
{
    m_keyboardFocus = e->reason() == Qt::TabFocusReason || e->reason() == Qt::BacktabFocusReason
        || e->reason() == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(e);
}

PageHeader::PageHeader(SettingsPage page, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 4);
    row->setSpacing(14);
    row->addWidget(new IconTile(page, 46, this));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addStretch(1);
    texts->addWidget(makeLabel(title(page), 22, QFont::Bold, false, this));
    texts->addWidget(makeLabel(subtitle(page), 12, QFont::Normal, true, this));
    texts->addStretch(1);
    row->addLayout(texts, 1);
}

Feature::Feature(const QString& symbol, TileColors colors, const QString& title,
    const QString& text, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(new IconTile(symbol, colors, 34, this), 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(makeLabel(title, 14, QFont::DemiBold, false, this));
    texts->addWidget(makeLabel(text, 11, QFont::Normal, true, this));
    row->addLayout(texts, 1);
}

} // namespace quillet
