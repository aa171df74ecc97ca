#pragma once

// Plain annotation records. Pins carry them, so this header depends on nothing of the program.

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <array>
#include <optional>

namespace quillet {

enum class Tool : int {
    rect = 0,
    ellipse = 1,
    arrow = 2,
    pen = 3,
    highlighter = 4,
    text = 5,
    number = 6,
    mosaic = 7,
};

inline constexpr std::array<Tool, 8> allTools = {Tool::rect, Tool::ellipse, Tool::arrow, Tool::pen,
    Tool::highlighter, Tool::text, Tool::number, Tool::mosaic};

// The toolbar offers every tool in this order, and the digit keys 1 to 8 choose them.

inline std::optional<Tool> toolFromRaw(int raw)
{
    if (raw < 0 || raw > 7)
        return std::nullopt;
    return static_cast<Tool>(raw);
}

inline bool isClick(Tool t)
{
    return t == Tool::text || t == Tool::number;
}
inline bool isFreehand(Tool t)
{
    return t == Tool::pen || t == Tool::highlighter;
}

inline const char* toolSymbol(Tool t)
{
    switch (t) {
    case Tool::rect:
        return "rectangle";
    case Tool::ellipse:
        return "circle";
    case Tool::arrow:
        return "arrow.up.right";
    case Tool::pen:
        return "scribble";
    case Tool::highlighter:
        return "highlighter";
    case Tool::text:
        return "T";
    case Tool::number:
        return "1.circle";
    case Tool::mosaic:
        return "checkerboard.rectangle";
    }
    return "";
}

inline QString toolTip(Tool t)
{
    switch (t) {
    case Tool::rect:
        return QStringLiteral("矩形");
    case Tool::ellipse:
        return QStringLiteral("椭圆");
    case Tool::arrow:
        return QStringLiteral("箭头");
    case Tool::pen:
        return QStringLiteral("画笔");
    case Tool::highlighter:
        return QStringLiteral("荧光笔");
    case Tool::text:
        return QStringLiteral("文本");
    case Tool::number:
        return QStringLiteral("序号");
    case Tool::mosaic:
        return QStringLiteral("马赛克");
    }
    return {};
}

// One annotation in view points (origin bottom-left, y up).
//  rect, ellipse, arrow, mosaic: exactly two points (drag start, drag end; arrow: tail, tip)
//  pen, highlighter: one or more points in drawing order
//  text: one point, the bottom-left corner of the line box; number: one point, the centre
// `width`: line width; for number the size parameter (radius 1.2 w + 9); for text the font-size
// code (font size 2 w + 12).
struct Annotation {
    Tool tool = Tool::rect;
    QColor color;
    double width = 4;
    QList<QPointF> points;
    QString text;
    // text: 0 plain, 1 filled label, 2 outlined; mosaic: its block size (mosaicBlock)
    int style = 0;

    bool operator==(const Annotation&) const = default;
};

// The states undo and redo lead back and forth to, each a whole annotation list. Lists share
// their unchanged annotations, so keeping a state costs little beyond what changed.
struct AnnotationHistory {
    QList<QList<Annotation>> undo; // the state the next undo returns to is last
    QList<QList<Annotation>> redo; // the state the next redo returns to is last

    bool operator==(const AnnotationHistory&) const = default;

    // Applies `f` to every annotation of every kept state.
    template<typename F> void forEachAnnotation(F&& f)
    {
        for (auto* lists : {&undo, &redo})
            for (QList<Annotation>& list : *lists)
                for (Annotation& a : list)
                    f(a);
    }
};

// What a pin keeps so it can be edited again: its un-annotated image, the annotations in points
// relative to the image's bottom-left corner, and the undo and redo states in the same points.
struct PinEdit {
    QImage base; // device pixels; devicePixelRatio() gives its point size
    QList<Annotation> annotations;
    AnnotationHistory history;
};

// The side of a mosaic's blocks in points, by its style: small, medium, large. Small is the size
// of the first mosaics, which carry style 0.
inline qreal mosaicBlock(int style)
{
    return style == 2 ? 40 : style == 1 ? 20 : 10;
}

// The seven annotation colours.
inline const std::array<QColor, 7>& palette()
{
    static const std::array<QColor, 7> p = {
        QColor::fromRgbF(1.00f, 0.27f, 0.27f),
        QColor::fromRgbF(1.00f, 0.78f, 0.10f),
        QColor::fromRgbF(0.20f, 0.80f, 0.40f),
        QColor::fromRgbF(0.16f, 0.55f, 1.00f),
        QColor::fromRgbF(0.68f, 0.36f, 1.00f),
        QColor::fromRgbF(1.0f, 1.0f, 1.0f),
        QColor::fromRgbF(0.0f, 0.0f, 0.0f),
    };
    return p;
}

// Whether a colour is light enough to want dark text on it.
inline bool isLight(const QColor& c)
{
    if (!c.isValid())
        return false;
    const QColor s = c.toRgb();
    return 0.299 * s.redF() + 0.587 * s.greenF() + 0.114 * s.blueF() > 0.7;
}

} // namespace quillet
