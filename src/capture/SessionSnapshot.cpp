// The overlay pictured without a user: a fixed selection and four sample annotations under
// each of three tool states, written as PNG files for documentation and visual checks.
#include "capture/CaptureSession.h"

#include "capture/CaptureView.h"
#include "capture/WidgetSnapshot.h"
#include "output/Output.h"

#include <QDir>
#include <array>
#include <optional>

namespace quillet {

namespace {

struct SnapshotState {
    const char* name;
    std::optional<Tool> tool;
};

constexpr std::array<SnapshotState, 3> snapshotStates
    = {{{"none", std::nullopt}, {"text", Tool::text}, {"arrow", Tool::arrow}}};

// View points, y up.
const QRectF sampleSelection(250, 260, 700, 400);

QList<Annotation> sampleAnnotations()
{
    const auto& colors = palette();
    return {
        {Tool::rect, colors[0], 4, {{300, 300}, {560, 470}}, {}, 0},
        {Tool::arrow, colors[3], 4, {{620, 320}, {820, 460}}, {}, 0},
        {Tool::text, colors[0], 14, {{320, 520}}, QStringLiteral("ASDAS"), 1},
        {Tool::text, colors[1], 8, {{620, 540}}, QStringLiteral("描边文字"), 2},
    };
}

QString fileName(const SnapshotState& state)
{
    return QStringLiteral("capture-%1.png").arg(QLatin1String(state.name));
}

} // namespace

QStringList CaptureSession::debugSnapshot(const QString& folder)
{
    QStringList failures;
    if (m_views.isEmpty()) {
        for (const SnapshotState& state : snapshotStates)
            failures.append(fileName(state) + QStringLiteral("：没有可以绘制的截图画面"));
        return failures;
    }
    CaptureView* view = m_views.first();
    view->beginEditing(sampleSelection, sampleAnnotations());
    for (const SnapshotState& state : snapshotStates) {
        // As the toolbar chooses a tool, but forced: choosing the tool in use would toggle it.
        view->annotator().debugSelect(state.tool);
        const QImage image = widgetSnapshot(*view, view->scale());
        const QString name = fileName(state);
        std::optional<QString> error;
        if (image.isNull())
            error = QStringLiteral("无法绘制画面（内存不足？）");
        else
            error = Output::writePngAtomically(QDir(folder).filePath(name), image);
        if (error)
            failures.append(name + QStringLiteral("：") + *error);
    }
    return failures;
}

} // namespace quillet
