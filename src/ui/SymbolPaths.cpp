#include "ui/SymbolPaths.h"

#include "ui/SymbolFont.h"
#include "ui/SymbolInk.h"

#include <QHash>
#include <cmath>

namespace quillet {

namespace {

using namespace glyph;
using Builder = void (*)(SymbolInk&);

QPainterPath checkPath(qreal scale = 1.0)
{
    const QPointF c(12, 12);
    auto at = [&](qreal x, qreal y) { return c + (QPointF(x, y) - c) * scale; };
    return poly({at(6.2, 12.4), at(10.2, 16.4), at(17.8, 7.6)});
}

QPainterPath xPath(qreal half)
{
    QPainterPath p = line(12 - half, 12 - half, 12 + half, 12 + half);
    p.addPath(line(12 + half, 12 - half, 12 - half, 12 + half));
    return p;
}

// A push pin standing upright; the symbols lean it 45 degrees like a pin stuck in a board.
QPainterPath pinBody()
{
    QPainterPath p;
    p.moveTo(9.2, 3.4);
    p.quadTo(9.2, 2.4, 10.2, 2.4);
    p.lineTo(13.8, 2.4);
    p.quadTo(14.8, 2.4, 14.8, 3.4);
    p.lineTo(14.8, 4.6);
    p.lineTo(14.0, 5.2);
    p.lineTo(14.6, 10.4);
    p.quadTo(17.2, 11.6, 17.6, 13.0);
    p.lineTo(6.4, 13.0);
    p.quadTo(6.8, 11.6, 9.4, 10.4);
    p.lineTo(10.0, 5.2);
    p.lineTo(9.2, 4.6);
    p.closeSubpath();
    return p;
}

void pin(SymbolInk& ink, bool filled)
{
    const QPainterPath body = rotated(pinBody(), 45);
    if (filled)
        ink.fill(body);
    ink.stroke(body, 0.85);
    ink.stroke(rotated(line(12, 13.0, 12, 21.4), 45), 0.85);
}

// A gear with eight flat-topped teeth.
QPainterPath gear()
{
    constexpr int teeth = 8;
    constexpr qreal outer = 10.2, inner = 7.7;
    QPainterPath p;
    for (int i = 0; i < teeth; ++i) {
        const qreal a = 2 * M_PI * i / teeth;
        const qreal step = 2 * M_PI / teeth;
        auto pt = [](qreal r, qreal angle) {
            return QPointF(12 + r * std::cos(angle), 12 + r * std::sin(angle));
        };
        const QPointF pts[] = {pt(inner, a - step * 0.32), pt(outer, a - step * 0.17),
            pt(outer, a + step * 0.17), pt(inner, a + step * 0.32)};
        if (i == 0)
            p.moveTo(pts[0]);
        else
            p.lineTo(pts[0]);
        for (int k = 1; k < 4; ++k)
            p.lineTo(pts[k]);
    }
    p.closeSubpath();
    return p;
}

QPainterPath folder()
{
    QPainterPath p;
    p.moveTo(3, 7);
    p.quadTo(3, 4.6, 5.4, 4.6);
    p.lineTo(9.0, 4.6);
    p.quadTo(9.9, 4.6, 10.5, 5.4);
    p.lineTo(11.6, 6.8);
    p.lineTo(18.6, 6.8);
    p.quadTo(21, 6.8, 21, 9.2);
    p.lineTo(21, 17.6);
    p.quadTo(21, 20, 18.6, 20);
    p.lineTo(5.4, 20);
    p.quadTo(3, 20, 3, 17.6);
    p.closeSubpath();
    return p;
}

// The letter i of the information symbols, its dot and stem fitted to a height.
void letterI(SymbolInk& ink, qreal dotY, qreal top, qreal bottom, bool serifs)
{
    ink.fill(circle(12, dotY, ink.strokeWidth() * 0.7));
    ink.stroke(line(12, top, 12, bottom));
    if (serifs) {
        ink.stroke(line(10.2, top, 12, top));
        ink.stroke(line(9.6, bottom, 14.4, bottom));
    }
}

const QHash<QString, Builder>& builders()
{
    static const QHash<QString, Builder> table = {
        {QStringLiteral("scissors"),
            [](SymbolInk& ink) {
                ink.stroke(circle(6.6, 6.8, 3.0));
                ink.stroke(circle(6.6, 17.2, 3.0));
                ink.stroke(line(9.2, 8.6, 20.8, 17.6));
                ink.stroke(line(9.2, 15.4, 20.8, 6.4));
            }},
        {QStringLiteral("pin"), [](SymbolInk& ink) { pin(ink, false); }},
        {QStringLiteral("pin.fill"), [](SymbolInk& ink) { pin(ink, true); }},
        // A page taller than the frame it is seen through, and the way it goes.
        {QStringLiteral("long.capture"),
            [](SymbolInk& ink) {
                ink.stroke(roundRect(5.5, 2.8, 13, 18.4, 2.6));
                ink.stroke(line(12, 7.4, 12, 15.6));
                ink.stroke(poly({{8.8, 12.6}, {12, 15.8}, {15.2, 12.6}}));
            }},
        {QStringLiteral("xmark.square"),
            [](SymbolInk& ink) {
                ink.stroke(roundRect(3.2, 3.2, 17.6, 17.6, 4));
                ink.stroke(xPath(3.6));
            }},
        {QStringLiteral("gearshape"),
            [](SymbolInk& ink) {
                ink.stroke(gear(), 0.9);
                ink.stroke(circle(12, 12, 3.2), 0.9);
            }},
        {QStringLiteral("info.circle"),
            [](SymbolInk& ink) {
                ink.stroke(circle(12, 12, 9.4));
                letterI(ink, 7.7, 11.2, 16.6, false);
            }},
        {QStringLiteral("info"), [](SymbolInk& ink) { letterI(ink, 5.0, 9.6, 19.4, true); }},
        {QStringLiteral("power"),
            [](SymbolInk& ink) {
                QPainterPath arc;
                arc.arcMoveTo(QRectF(3.6, 4.4, 16.8, 16.8), 125);
                arc.arcTo(QRectF(3.6, 4.4, 16.8, 16.8), 125, 290);
                ink.stroke(arc);
                ink.stroke(line(12, 2.8, 12, 11.6));
            }},
        {QStringLiteral("rectangle"),
            [](SymbolInk& ink) { ink.stroke(roundRect(2.8, 5.6, 18.4, 12.8, 2.6)); }},
        {QStringLiteral("circle"), [](SymbolInk& ink) { ink.stroke(circle(12, 12, 9.2)); }},
        {QStringLiteral("arrow.up.right"),
            [](SymbolInk& ink) {
                ink.stroke(line(5.6, 18.4, 17.6, 6.4));
                ink.stroke(poly({{8.6, 6.0}, {18.0, 6.0}, {18.0, 15.4}}));
            }},
        {QStringLiteral("scribble"),
            [](SymbolInk& ink) {
                QPainterPath p;
                p.moveTo(3.4, 12.6);
                p.cubicTo(5.6, 6.0, 9.6, 3.2, 10.4, 5.6);
                p.cubicTo(11.4, 8.6, 4.4, 17.4, 7.0, 19.6);
                p.cubicTo(9.6, 21.6, 14.0, 9.6, 16.2, 10.2);
                p.cubicTo(18.0, 10.8, 14.4, 17.2, 16.6, 17.8);
                p.cubicTo(18.0, 18.2, 19.4, 16.0, 20.6, 14.4);
                ink.stroke(p);
            }},
        {QStringLiteral("highlighter"),
            [](SymbolInk& ink) {
                // A marker leaning like a pen in the hand, its chisel tip at the lower left.
                QPainterPath body = roundRect(9.0, 1.6, 6.0, 10.8, 1.6);
                QPainterPath collar
                    = poly({{8.2, 12.4}, {15.8, 12.4}, {15.8, 14.6}, {8.2, 14.6}}, true);
                QPainterPath tip
                    = poly({{9.6, 14.6}, {14.4, 14.6}, {13.6, 18.8}, {10.4, 20.0}}, true);
                ink.stroke(rotated(body, 40), 0.85);
                ink.stroke(rotated(collar, 40), 0.85);
                ink.fill(rotated(tip, 40));
                ink.stroke(rotated(tip, 40), 0.6);
                ink.stroke(line(12.0, 21.6, 21.0, 21.6), 0.85);
            }},
        {QStringLiteral("1.circle"),
            [](SymbolInk& ink) {
                ink.stroke(circle(12, 12, 9.4));
                ink.stroke(poly({{9.8, 9.2}, {12.6, 7.2}, {12.6, 16.8}}), 0.95);
                ink.stroke(line(9.8, 16.8, 15.2, 16.8), 0.95);
            }},
        {QStringLiteral("checkerboard.rectangle"),
            [](SymbolInk& ink) {
                const QRectF box(2.8, 4.4, 18.4, 15.2);
                QPainterPath inside;
                inside.addRoundedRect(box, 2.6, 2.6);
                QPainterPath cells;
                const qreal cw = box.width() / 4, ch = box.height() / 3;
                for (int row = 0; row < 3; ++row) {
                    for (int col = 0; col < 4; ++col) {
                        if ((row + col) % 2 == 0)
                            cells.addRect(box.x() + col * cw, box.y() + row * ch, cw, ch);
                    }
                }
                ink.fill(cells.intersected(inside));
                ink.stroke(inside, 0.9);
            }},
        {QStringLiteral("checkmark"), [](SymbolInk& ink) { ink.stroke(checkPath(1.15), 1.1); }},
        {QStringLiteral("checkmark.circle.fill"),
            [](SymbolInk& ink) {
                ink.fill(circle(12, 12, 10.2));
                ink.cutStroke(checkPath(0.85), 1.05);
            }},
        {QStringLiteral("xmark"), [](SymbolInk& ink) { ink.stroke(xPath(6.4), 1.05); }},
        {QStringLiteral("pencil.tip.crop.circle"),
            [](SymbolInk& ink) {
                // A pencil standing in the circle, its body leaving through a gap in the rim.
                QPainterPath arc;
                arc.arcMoveTo(QRectF(2.6, 2.6, 18.8, 18.8), 298);
                arc.arcTo(QRectF(2.6, 2.6, 18.8, 18.8), 298, 304);
                ink.stroke(arc);
                ink.stroke(
                    poly({{8.8, 21.4}, {8.8, 13.0}, {12, 4.4}, {15.2, 13.0}, {15.2, 21.4}}), 0.85);
                const QPainterPath lead = poly({{10.45, 8.6}, {12, 4.4}, {13.55, 8.6}}, true);
                ink.fill(lead);
                ink.stroke(lead, 0.5);
            }},
        {QStringLiteral("text.viewfinder"),
            [](SymbolInk& ink) {
                // The four corners of a viewfinder round three lines of text.
                ink.stroke(poly({{3.2, 8.4}, {3.2, 3.2}, {8.4, 3.2}}));
                ink.stroke(poly({{15.6, 3.2}, {20.8, 3.2}, {20.8, 8.4}}));
                ink.stroke(poly({{20.8, 15.6}, {20.8, 20.8}, {15.6, 20.8}}));
                ink.stroke(poly({{8.4, 20.8}, {3.2, 20.8}, {3.2, 15.6}}));
                ink.stroke(line(7.6, 8.6, 16.4, 8.6));
                ink.stroke(line(7.6, 12.0, 16.4, 12.0));
                ink.stroke(line(7.6, 15.4, 13.2, 15.4));
            }},
        {QStringLiteral("doc.on.doc"),
            [](SymbolInk& ink) {
                const QPainterPath front = roundRect(9.0, 7.4, 11.6, 14.2, 2.2);
                ink.stroke(roundRect(3.4, 2.4, 11.6, 14.2, 2.2));
                ink.cut(roundRect(7.8, 6.2, 14.0, 16.6, 3.0));
                ink.stroke(front);
            }},
        {QStringLiteral("square.and.arrow.down"),
            [](SymbolInk& ink) {
                QPainterPath tray;
                tray.moveTo(8.2, 9.4);
                tray.lineTo(6.8, 9.4);
                tray.quadTo(4.6, 9.4, 4.6, 11.6);
                tray.lineTo(4.6, 19.0);
                tray.quadTo(4.6, 21.2, 6.8, 21.2);
                tray.lineTo(17.2, 21.2);
                tray.quadTo(19.4, 21.2, 19.4, 19.0);
                tray.lineTo(19.4, 11.6);
                tray.quadTo(19.4, 9.4, 17.2, 9.4);
                tray.lineTo(15.8, 9.4);
                ink.stroke(tray);
                ink.stroke(line(12, 2.6, 12, 15.0));
                ink.stroke(poly({{8.6, 11.6}, {12, 15.0}, {15.4, 11.6}}));
            }},
        {QStringLiteral("arrow.up.left.and.arrow.down.right"),
            [](SymbolInk& ink) {
                ink.stroke(line(4.2, 4.2, 10.2, 10.2));
                ink.stroke(poly({{4.2, 10.4}, {4.2, 4.2}, {10.4, 4.2}}));
                ink.stroke(line(13.8, 13.8, 19.8, 19.8));
                ink.stroke(poly({{13.6, 19.8}, {19.8, 19.8}, {19.8, 13.6}}));
            }},
        {QStringLiteral("arrow.up.and.down.and.arrow.left.and.right"),
            [](SymbolInk& ink) {
                ink.stroke(line(12, 3, 12, 21));
                ink.stroke(line(3, 12, 21, 12));
                for (int quarter = 0; quarter < 4; ++quarter)
                    ink.stroke(rotated(poly({{8.8, 6.2}, {12, 3}, {15.2, 6.2}}), 90 * quarter));
            }},
        {QStringLiteral("folder"),
            [](SymbolInk& ink) {
                ink.stroke(folder());
                ink.stroke(line(3.2, 9.8, 20.8, 9.8), 0.9);
            }},
    };
    return table;
}

} // namespace

std::optional<QPainterPath> symbolPath(const QString& name, qreal weight)
{
    if (auto fromFont = fontSymbolPath(name))
        return fromFont;
    const Builder b = builders().value(name);
    if (!b)
        return std::nullopt;
    SymbolInk ink(weight);
    b(ink);
    return ink.result();
}

QStringList symbolNames()
{
    QStringList names = builders().keys() + fontSymbolNames();
    names.sort();
    return names;
}

} // namespace quillet
