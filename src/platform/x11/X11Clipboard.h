#pragma once

#include "platform/ClipboardReader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace quillet::X11Clipboard {

// The clipboard as another program offers it: the bytes of the best image format it lists (the
// MIME name with them), and its text.
struct Contents {
    QList<std::pair<QString, QByteArray>> images;
    std::optional<QString> text;
    bool noAnswer = false; // the owner let the deadline pass before giving anything
};

// Reads the CLIPBOARD selection on a connection of its own to `display`: the list of formats,
// then an image (PNG first), then the text, each transfer (INCR included) within what is left
// of `deadlineMs`. Blocking: meant for a thread of its own, never the main thread.
Contents read(const QByteArray& display, int deadlineMs);

// readClipboard's way on X11: read() on a thread of its own, the answer back on the main thread.
ClipboardReader reader();

} // namespace quillet::X11Clipboard
