// Clipboard text as a pinnable image: dark text on a small sheet of warm paper.
#include "output/PinWindow.h"

#include "output/OutsideImage.h"

#include "ui/Accent.h"
#include "ui/Fonts.h"

#include <QPainter>
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
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1.0;
    // The note is rendered into pixels, so it obeys the bound on any image the program takes
    // in: 5000 short lines would otherwise make a sheet 100000 points tall, a gigabyte at a
    // scale of 2. Lines past the bound are cut, as characters past the limit are.
    const qreal maxSide = OutsideImage::maxSide;
    scale = std::min(scale, std::floor(maxSide / (wrapWidth + 2 * insetX)));
    const qreal maxTextHeight = std::floor(maxSide / scale) - 2 * insetY - 1;
    const QString shown = withLineSeparators(firstCharacters(text, maxCharacters));

    QTextOption option;
    // Words wrap at their boundaries; a run longer than a line (a URL, a hash) breaks anywhere.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextLayout layout(shown, uiFont(14));
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal usedWidth = 0, usedHeight = 0;
    int kept = 0;
    layout.beginLayout();
    if (!shown.isEmpty()) {
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(wrapWidth);
            if (std::ceil(usedHeight + line.height()) > maxTextHeight)
                break; // laid out but never drawn
            line.setPosition(QPointF(0, usedHeight));
            usedHeight += line.height();
            ++kept;
            usedWidth = std::max(usedWidth, line.naturalTextWidth());
        }
    }
    layout.endLayout();
    usedWidth = std::min(usedWidth, wrapWidth);

    const qreal width = std::ceil(usedWidth) + 2 * insetX;
    const qreal height = std::ceil(usedHeight) + 2 * insetY;
    QImage image(qCeil(width * scale), qCeil(height * scale), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(srgb(1.0, 0.99, 0.94));
    if (!shown.isEmpty()) {
        QPainter p(&image);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setPen(Qt::black);
        for (int i = 0; i < kept; ++i)
            layout.lineAt(i).draw(&p, QPointF(insetX, insetY));
    }
    return image;
}

} // namespace quillet
