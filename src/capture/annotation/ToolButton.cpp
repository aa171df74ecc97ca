#include "capture/annotation/ToolButton.h"

#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

namespace quillet {

namespace {

constexpr int buttonHeight = 32;
constexpr qreal symbolBox = 18;

QColor mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
        float(a.greenF() + (b.greenF() - a.greenF()) * t),
        float(a.blueF() + (b.blueF() - a.blueF()) * t),
        float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QImage blankImage(qreal side, qreal dpr)
{
    QImage img(QSize(qCeil(side * dpr), qCeil(side * dpr)), QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    return img;
}

// Draws an image centred in `r` at its own point size.
void drawCentred(QPainter& p, const QRectF& r, const QImage& img)
{
    const QSizeF s = img.deviceIndependentSize();
    p.drawImage(QPointF(r.center().x() - s.width() / 2, r.center().y() - s.height() / 2), img);
}

} // namespace

ToolButton::ToolButton(const QString& symbol, const QString& tip, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
{
    setToolTip(tip);
    setAccessibleName(tip);
    setFixedHeight(buttonHeight);
    // Clicking a button must leave the keyboard where it was (an open text field keeps typing).
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    if (symbol == QLatin1String("T"))
        m_template = letterIcon(symbol);
    m_fade = new QVariantAnimation(this);
    m_fade->setDuration(120);
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_background = v.value<QColor>();
        update();
    });
    m_background = targetBackground();
}

ToolButton::~ToolButton() = default;

void ToolButton::setOn(bool on)
{
    m_on = on;
    refresh();
}

void ToolButton::setProminent(bool prominent)
{
    m_prominent = prominent;
    refresh();
}

void ToolButton::setTemplateImage(const QImage& image)
{
    m_template = image;
    update();
}

void ToolButton::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void ToolButton::setTitle(const QString& symbol, const QString& title)
{
    m_titleSymbol = symbol;
    m_title = title;
    update();
}

QColor ToolButton::targetBackground() const
{
    if (m_prominent)
        return m_hover ? mix(accent(), Qt::white, 0.15) : accent();
    if (m_on)
        return accent();
    if (m_hover)
        return white(1, 0.14);
    return QColor(255, 255, 255, 0);
}

QColor ToolButton::tint() const
{
    if (!isEnabled())
        return white(1, 0.32); // a feature that cannot run here
    return (m_prominent || m_on) ? QColor(Qt::white) : white(1, 0.86);
}

void ToolButton::refresh()
{
    const QColor target = targetBackground();
    m_fade->stop();
    if (!isVisible() || m_background == target) {
        m_background = target;
        update();
        return;
    }
    m_fade->setStartValue(m_background);
    m_fade->setEndValue(target);
    m_fade->start();
    update(); // the tint changes at once
}

QSize ToolButton::sizeHint() const
{
    return QSize(std::max(width(), 32), buttonHeight);
}

void ToolButton::enterEvent(QEnterEvent* e)
{
    m_hover = true;
    refresh();
    QAbstractButton::enterEvent(e);
}

void ToolButton::leaveEvent(QEvent* e)
{
    m_hover = false;
    refresh();
    QAbstractButton::leaveEvent(e);
}

void ToolButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    if (m_background.alpha() > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(m_background);
        p.drawRoundedRect(r, 8, 8);
    }
    const QColor c = tint();
    if (!m_title.isEmpty()) {
        const QFont f = uiFont(13, QFont::DemiBold);
        const QFontMetricsF fm(f);
        const qreal mark = m_titleSymbol.isEmpty() ? 0 : 12;
        const qreal tw = fm.horizontalAdvance(m_title);
        const qreal x = (r.width() - mark - tw) / 2;
        if (mark > 0)
            drawSymbol(p, m_titleSymbol, QRectF(x, (r.height() - mark) / 2, mark, mark), c, 1.4);
        p.setFont(f);
        p.setPen(c);
        const qreal baseline = (r.height() + fm.capHeight()) / 2;
        p.drawText(QPointF(x + mark, baseline), m_title);
        return;
    }
    if (!m_image.isNull()) {
        drawCentred(p, r, m_image);
        return;
    }
    if (!m_template.isNull()) {
        drawCentred(p, r, tinted(m_template, c));
        return;
    }
    if (!m_symbol.isEmpty()) {
        const QRectF box(
            r.center().x() - symbolBox / 2, r.center().y() - symbolBox / 2, symbolBox, symbolBox);
        if (!drawSymbol(p, m_symbol, box, c, 1.0)) {
            // A symbol the icon set lacks: the first character of the tooltip still tells the
            // buttons apart.
            p.setFont(uiFont(14, QFont::Medium));
            p.setPen(c);
            p.drawText(r, Qt::AlignCenter, toolTip().left(1));
        }
    }
}

QImage ToolButton::letterIcon(const QString& letter, qreal dpr)
{
    QImage img = blankImage(symbolBox, dpr);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont f = uiFont(17, QFont::Medium);
    const QFontMetricsF fm(f);
    const qreal w = fm.horizontalAdvance(letter);
    p.setFont(f);
    p.setPen(Qt::black);
    // Centred on the capital's height: the face's tall ascent would otherwise sit it low.
    p.drawText(QPointF((symbolBox - w) / 2, (symbolBox + fm.capHeight()) / 2 - 0.5), letter);
    return img;
}

QImage textStyleIcon(int style, qreal dpr)
{
    constexpr qreal side = 20;
    QImage img = blankImage(side, dpr);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont f = uiFont(15, QFont::Bold);
    const QFontMetricsF fm(f);
    const QString letter = QStringLiteral("T");
    const QPointF at((side - fm.horizontalAdvance(letter)) / 2, (side + fm.capHeight()) / 2 - 0.5);
    QPainterPath glyph;
    glyph.addText(at, f, letter);
    if (style == 1) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRoundedRect(QRectF(1.5, 1.5, side - 3, side - 3), 4, 4);
        p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        p.fillPath(glyph, Qt::black);
    } else if (style == 2) {
        // Outline only: a stroke 4 % of the font size each side of the glyph edge, kept legible.
        p.strokePath(glyph, QPen(Qt::black, std::max(0.04 * 15 * 2, 1.2)));
    } else {
        p.fillPath(glyph, Qt::black);
    }
    return img;
}

QImage tinted(const QImage& mask, const QColor& color)
{
    QImage out = mask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(QRectF(QPointF(0, 0), out.deviceIndependentSize()), color);
    return out;
}

} // namespace quillet
