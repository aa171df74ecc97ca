// Clipboard text as a pinnable image: dark text on a small sheet of warm paper.
#include "output/PinWindow.h"
#include "output/TextSheet.h"

#include "output/OutsideImage.h"

#include "ui/Accent.h"
#include "ui/Fonts.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

constexpr int maxCharacters = 5000;
constexpr qreal wrapWidth = 600;
constexpr qreal insetX = 16;
constexpr qreal insetY = 14;

// The first `limit` user-perceived characters: an emoji sequence or a letter with its combining
// marks counts once, and none is ever cut in half.
QString firstCharacters(const QString& text, int limit)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int taken = 0;
    qsizetype end = 0;
    while (taken < limit) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
        ++taken;
    }
    return text.left(end);
}

// Every kind of line break becomes a line separator, which QTextLayout honours within one
// paragraph.
QString withLineSeparators(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QChar::ParagraphSeparator, QChar::LineSeparator);
    return text;
}

} // namespace

QImage PinWindow::renderText(const QString& text, qreal scale)
{
    return TextSheet(text, scale).render();
}

TextSheet::TextSheet(const QString& text, qreal scale)
{
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1.0;
    // The note is rendered into pixels, so it obeys the bound on any image the program takes
    // in: 5000 short lines would otherwise make a sheet 100000 points tall, a gigabyte at a
    // scale of 2. Lines past the bound are cut, as characters past the limit are.
    const qreal maxSide = OutsideImage::maxSide;
    m_scale = std::min(scale, std::floor(maxSide / (wrapWidth + 2 * insetX)));
    const qreal maxTextHeight = std::floor(maxSide / m_scale) - 2 * insetY - 1;
    m_shown = withLineSeparators(firstCharacters(text, maxCharacters));

    QTextOption option;
    // Words wrap at their boundaries; a run longer than a line (a URL, a hash) breaks anywhere.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout = std::make_unique<QTextLayout>(m_shown, uiFont(14));
    m_layout->setTextOption(option);
    m_layout->setCacheEnabled(true);
    qreal usedWidth = 0, usedHeight = 0;
    m_layout->beginLayout();
    if (!m_shown.isEmpty()) {
        for (;;) {
            QTextLine line = m_layout->createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(wrapWidth);
            if (std::ceil(usedHeight + line.height()) > maxTextHeight)
                break; // laid out but never drawn
            line.setPosition(QPointF(0, usedHeight));
            usedHeight += line.height();
            ++m_kept;
            usedWidth = std::max(usedWidth, line.naturalTextWidth());
        }
    }
    m_layout->endLayout();
    usedWidth = std::min(usedWidth, wrapWidth);
    // Characters on lines cut away cannot be selected.
    if (m_kept < m_layout->lineCount())
        m_shown.truncate(m_layout->lineAt(m_kept).textStart());
    m_size = QSizeF(std::ceil(usedWidth) + 2 * insetX, std::ceil(usedHeight) + 2 * insetY);
}

TextSheet::~TextSheet() = default;

QColor TextSheet::paper()
{
    return srgb(1.0, 0.99, 0.94);
}

QSize TextSheet::pixelSize() const
{
    return QSize(qCeil(m_size.width() * m_scale), qCeil(m_size.height() * m_scale));
}

QImage TextSheet::render() const
{
    QImage image(pixelSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(m_scale);
    image.fill(paper());
    if (m_kept > 0) {
        QPainter p(&image);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setPen(Qt::black);
        for (int i = 0; i < m_kept; ++i)
            m_layout->lineAt(i).draw(&p, QPointF(insetX, insetY));
    }
    return image;
}

int TextSheet::clampPosition(int position) const
{
    return std::clamp(position, 0, length());
}

int TextSheet::lineIndexAt(qreal y) const
{
    for (int i = 0; i < m_kept; ++i) {
        const QTextLine line = m_layout->lineAt(i);
        if (y < line.y() + line.height())
            return i;
    }
    return m_kept - 1;
}

int TextSheet::lineIndexOf(int position) const
{
    for (int i = 0; i < m_kept; ++i) {
        const QTextLine line = m_layout->lineAt(i);
        if (position < line.textStart() + line.textLength())
            return i;
    }
    return m_kept - 1;
}

bool TextSheet::isOnText(QPointF point) const
{
    const QPointF q = point - QPointF(insetX, insetY);
    if (m_kept == 0 || q.y() < 0 || q.y() >= m_size.height() - 2 * insetY)
        return false;
    // A little slack at either end of a line, so its first and last characters are easy to
    // start a selection on.
    constexpr qreal slack = 3;
    const QTextLine line = m_layout->lineAt(lineIndexAt(q.y()));
    return line.naturalTextWidth() > 0 && q.x() >= -slack
        && q.x() <= line.naturalTextWidth() + slack;
}

int TextSheet::positionAt(QPointF point) const
{
    if (m_kept == 0)
        return 0;
    const QPointF q = point - QPointF(insetX, insetY);
    if (q.y() < 0)
        return 0;
    if (q.y() >= m_size.height() - 2 * insetY)
        return length();
    const QTextLine line = m_layout->lineAt(lineIndexAt(q.y()));
    return std::min(lineEnd(line.textStart()), line.xToCursor(q.x()));
}

std::pair<int, int> TextSheet::wordAt(int position) const
{
    position = clampPosition(position);
    // The character the position stands before, or the last one at the very end.
    const int at = position < length() ? position : position - 1;
    if (at < 0)
        return {0, 0};
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, m_shown);
    words.setPosition(at + 1);
    const qsizetype start = words.toPreviousBoundary();
    words.setPosition(at);
    const qsizetype end = words.toNextBoundary();
    return {int(std::max<qsizetype>(0, start)), int(end < 0 ? length() : end)};
}

int TextSheet::nextPosition(int position) const
{
    return m_layout->nextCursorPosition(clampPosition(position));
}

int TextSheet::previousPosition(int position) const
{
    return m_layout->previousCursorPosition(clampPosition(position));
}

int TextSheet::positionOnLineAbove(int position) const
{
    position = clampPosition(position);
    const int index = lineIndexOf(position);
    if (index <= 0)
        return 0;
    const qreal x = m_layout->lineAt(index).cursorToX(position);
    const QTextLine above = m_layout->lineAt(index - 1);
    return std::min(lineEnd(above.textStart()), above.xToCursor(x));
}

int TextSheet::positionOnLineBelow(int position) const
{
    position = clampPosition(position);
    const int index = lineIndexOf(position);
    if (index < 0 || index + 1 >= m_kept)
        return length();
    const qreal x = m_layout->lineAt(index).cursorToX(position);
    const QTextLine below = m_layout->lineAt(index + 1);
    return std::min(lineEnd(below.textStart()), below.xToCursor(x));
}

int TextSheet::lineStart(int position) const
{
    const int index = lineIndexOf(clampPosition(position));
    return index < 0 ? 0 : m_layout->lineAt(index).textStart();
}

int TextSheet::lineEnd(int position) const
{
    const int index = lineIndexOf(clampPosition(position));
    if (index < 0)
        return 0;
    const QTextLine line = m_layout->lineAt(index);
    const int end = std::min(length(), line.textStart() + line.textLength());
    // The caret stops before the line break, not after it on the same line.
    return end > line.textStart() && m_shown.at(end - 1) == QChar::LineSeparator ? end - 1 : end;
}

QString TextSheet::textBetween(int a, int b) const
{
    a = clampPosition(a);
    b = clampPosition(b);
    QString text = m_shown.mid(std::min(a, b), std::abs(b - a));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void TextSheet::drawSelection(QPainter& painter, int a, int b, const QPalette& palette) const
{
    const int from = clampPosition(std::min(a, b)), to = clampPosition(std::max(a, b));
    if (from == to)
        return;
    const auto [back, fore] = selectionColours(palette);
    QPainterPath area;
    for (int i = 0; i < m_kept; ++i) {
        const QTextLine line = m_layout->lineAt(i);
        const int start = std::max(from, line.textStart());
        const int end = std::min(to, line.textStart() + line.textLength());
        if (start >= end)
            continue;
        qreal x1 = line.cursorToX(start), x2 = line.cursorToX(end);
        // A selected line break shows as a sliver past the line's end.
        if (end > lineEnd(line.textStart()) && end == line.textStart() + line.textLength())
            x2 = std::max(x1, line.naturalTextWidth()) + 4;
        area.addRect(QRectF(std::min(x1, x2), line.y(), std::abs(x2 - x1), line.height())
                         .translated(insetX, insetY));
    }
    painter.save();
    painter.setClipPath(area, Qt::IntersectClip);
    painter.fillPath(area, back);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(fore);
    for (int i = 0; i < m_kept; ++i)
        m_layout->lineAt(i).draw(&painter, QPointF(insetX, insetY));
    painter.restore();
}

QRectF TextSheet::caretRect(int position) const
{
    position = clampPosition(position);
    if (m_kept == 0)
        return QRectF(insetX, insetY, 1.5, uiFont(14).pointSizeF() * 1.4);
    const QTextLine line = m_layout->lineAt(lineIndexOf(position));
    return QRectF(insetX + line.cursorToX(position) - 0.75, insetY + line.y(), 1.5, line.height());
}

namespace {

// WCAG's contrast ratio: 1 for equal colours, 21 for black on white.
qreal contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel
            = [](qreal v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF())
            + 0.0722 * channel(c.blueF());
    };
    const qreal la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

std::pair<QColor, QColor> TextSheet::selectionColours(const QPalette& palette)
{
    // The paper is light whatever the desktop's palette, so the highlight must stand out from it
    // rather than from the palette's own base colour.
    constexpr qreal apart = 2.0, readable = 3.0;
    const QColor back = palette.color(QPalette::Active, QPalette::Highlight);
    const QColor fore = palette.color(QPalette::Active, QPalette::HighlightedText);
    if (contrast(back, paper()) >= apart && contrast(fore, back) >= readable)
        return {back, fore};
    const QColor fallback = accent();
    const QColor white(Qt::white), black(Qt::black);
    return {fallback, contrast(white, fallback) >= readable ? white : black};
}

} // namespace quillet
