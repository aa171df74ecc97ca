#pragma once

#include <QColor>
#include <QString>
#include <optional>

namespace quillet {

// The environment variable that turns a start into the settings snapshot mode: pictures of
// every settings page and of the capture overlay written into the folder it names, then the
// process ends by itself.
inline constexpr char snapshotVariable[] = "QUILLET_SNAPSHOT";

// The folder when the variable is present. A present but empty variable means the current
// folder, as any empty relative path does.
std::optional<QString> snapshotFolder();

// The two ends of the made-up screen the overlay pictures show, from the bottom-left corner of
// the screen's pixels to the top-right one. The desktop has no system teal and indigo to ask
// for, so they are fixed here.
inline QColor snapshotTeal()
{
    return QColor::fromRgbF(0.19f, 0.69f, 0.78f);
}
inline QColor snapshotIndigo()
{
    return QColor::fromRgbF(0.35f, 0.34f, 0.84f);
}

} // namespace quillet
