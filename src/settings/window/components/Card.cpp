#include "settings/window/components/Card.h"

#include "settings/window/components/Look.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace quillet {

namespace {

constexpr int cardRadius = 14;
constexpr int cardMargin = 18;
constexpr int cardSpacing = 14;
constexpr int rowSpacing = 16;

} // namespace

QLabel* makeLabel(
    const QString& text, qreal size, QFont::Weight weight, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(uiFont(size, weight));
    label->setAccessibleName(text);
    label->setTextFormat(Qt::PlainText);
    if (secondary) {
        label->setWordWrap(true);
        // The palette's placeholder colour is its text colour faded: secondary in both schemes.
        label->setForegroundRole(QPalette::PlaceholderText);
    }
    return label;
}

WarningLabel::WarningLabel(qreal size, QWidget* parent)
    : QLabel(parent)
{
    setFont(uiFont(size));
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    tint();
}

void WarningLabel::changeEvent(QEvent* e)
{
    QLabel::changeEvent(e);
    if (e->type() == QEvent::PaletteChange && !m_tinting)
        tint();
}

void WarningLabel::tint()
{
    m_tinting = true;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, look::warning(this));
    setPalette(pal);
    m_tinting = false;
}

Card::Card(QWidget* parent)
    : QFrame(parent)
    , m_stack(new QVBoxLayout(this))
{
    // One point of room around the panel for its shadow.
    m_stack->setContentsMargins(cardMargin, cardMargin, cardMargin, cardMargin + 1);
    m_stack->setSpacing(cardSpacing);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void Card::add(QWidget* row)
{
    m_stack->addWidget(row);
}

void Card::add(QLayout* row)
{
    m_stack->addLayout(row);
}

void Card::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -1.5);
    // The shadow: black at 0.05, a little below the panel.
    QPainterPath shadow;
    shadow.addRoundedRect(
        r.translated(0, 1).adjusted(-0.5, -0.5, 0.5, 0.5), cardRadius, cardRadius);
    p.fillPath(shadow, QColor(0, 0, 0, 13));
    QPainterPath panel;
    panel.addRoundedRect(r, cardRadius, cardRadius);
    p.fillPath(panel, look::cardBackground(this));
    p.setPen(QPen(look::primary(this, 0.07), 0.5));
    p.drawPath(panel);
}

CardTitle::CardTitle(
    const QString& title, const QString& symbol, const QString& trailing, QWidget* parent)
    : QWidget(parent)
    , m_title(title)
    , m_symbol(symbol)
    , m_titleLabel(makeLabel(title, 13, QFont::DemiBold, false, this))
{
    auto* row = new QHBoxLayout(this);
    // Room on the left for the symbol, drawn in paintEvent at the text's height.
    row->setContentsMargins(20, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_titleLabel);
    row->addStretch(1);
    if (!trailing.isEmpty()) {
        QLabel* note = makeLabel(trailing, 11, QFont::Normal, true, this);
        note->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(note, 3);
    }
}

void CardTitle::setTrailingWidget(QWidget* w)
{
    static_cast<QHBoxLayout*>(layout())->addWidget(w);
}

void CardTitle::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect label = m_titleLabel->geometry();
    const QRectF icon(2, label.center().y() - 7.5, 15, 15);
    drawSymbol(p, m_symbol, icon, look::accent(this), 1.15);
}

SettingRow::SettingRow(
    const QString& title, const QString& detail, QWidget* trailing, QWidget* parent)
    : QWidget(parent)
    , m_trailing(trailing)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(rowSpacing);
    // The texts stay together, centred against a control taller than they are.
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addStretch(1);
    QLabel* titleLabel = makeLabel(title, 13, QFont::Normal, false, this);
    // The buddy relation is how AT-SPI names a combo box, whose own name is its current text.
    if (trailing)
        titleLabel->setBuddy(trailing);
    texts->addWidget(titleLabel);
    if (!detail.isEmpty())
        texts->addWidget(makeLabel(detail, 11, QFont::Normal, true, this));
    texts->addStretch(1);
    row->addLayout(texts, 1);
    if (trailing) {
        trailing->setParent(this);
        if (trailing->accessibleName().isEmpty())
            trailing->setAccessibleName(title);
        if (!detail.isEmpty() && trailing->accessibleDescription().isEmpty())
            trailing->setAccessibleDescription(detail);
        row->addWidget(trailing, 0, Qt::AlignVCenter);
    }
}

RowDivider::RowDivider(QWidget* parent)
    : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void RowDivider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), look::primary(this, 0.6 * 0.15));
}

} // namespace quillet
