#pragma once

// State of an Annotator that only its own source files share: the widgets it made and the
// mosaic source it keeps.

#include "capture/annotation/Annotator.h"
#include "capture/annotation/GlassPanel.h"
#include "capture/annotation/StrokeDrawing.h"
#include "capture/annotation/ToolButton.h"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <array>

namespace quillet {

struct Annotator::Private {
    QPointer<QLineEdit> field;

    // The mosaic sources, one per block size, each made on first use; a failed attempt is
    // remembered and not retried.
    std::array<bool, 3> pixelatedTried {};
    std::array<QImage, 3> pixelated;
    QList<ToolButton*> mosaicButtons;

    LiveStroke liveStroke; // the pen or highlighter stroke being drawn

    QPointer<GlassPanel> toolbar;
    QRectF toolbarFrame; // view points, where the toolbar is (or is heading)
    QList<ToolButton*> toolButtons;

    QPointer<GlassPanel> subbar;
    QRectF subbarFrame;
    std::optional<Tool> subbarKind;
    QList<ToolButton*> colorButtons;
    QList<ToolButton*> widthButtons;
    QList<ToolButton*> styleButtons;
    QPointer<QComboBox> fontPopup;
};

// The bars' numbers, shared by the toolbar and the style bar.
inline constexpr qreal barScreenInset = 8; // toolbar from the screen edges
inline constexpr qreal barGap = 10; // toolbar from the selection
inline constexpr qreal subbarRoom = 52; // room kept for the style bar under the toolbar
inline constexpr qreal subbarGap = 6; // style bar from the toolbar
inline constexpr qreal subbarInset = 4; // style bar from the screen edges

} // namespace quillet
