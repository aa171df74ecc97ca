#pragma once

#include "platform/ScreenGrabber.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QRect>
#include <QString>
#include <optional>

class QWidget;

namespace quillet {

// sway's IPC socket ($SWAYSOCK, the i3 protocol): the one Wayland compositor seen that lets a
// program place its own windows, by asking it to run commands.
class SwayIpc {
public:
    enum Message : quint32 { runCommand = 0, getTree = 4 };

    // Whether this session is sway's and its socket answers.
    static bool available();

    // One request and its answer; nothing when the socket is gone or slow (half a second).
    static std::optional<QJsonDocument> request(Message type, const QByteArray& payload = {});

    // Runs a command; true when sway says every part of it succeeded.
    static bool command(const QString& command);

    // Makes this program's pins and toasts float above the tiles from the moment they map, on
    // every workspace, without borders.
    static void floatOwnWindows();

    // Moves a shown window of ours to this Qt geometry (sway's layout coordinates); the window
    // may still be on its way to the screen, so this retries for a moment.
    static void place(QWidget* window, const QRect& qtGeometry);

    // Where sway shows a window of ours now, if it shows it.
    static std::optional<QRect> placed(QWidget* window);

    // The other programs' windows on the workspaces shown now, front-most first, from sway's
    // tree: full-screen ones, then floating ones top first, then tiles.
    static QList<WindowRecord> windows();
    static QList<WindowRecord> windowsFromTree(const QJsonObject& tree, qint64 ownPid);
};

} // namespace quillet
