#pragma once

#include <QObject>
#include <functional>

class QMimeData;

namespace quillet {

// What a read of the clipboard found. `data` is valid for the length of the callback only; it is
// null when there was nothing to read.
struct ClipboardRead {
    const QMimeData* data = nullptr;
    bool noAnswer = false; // the clipboard's owner did not answer in time
};

// Another program owns the clipboard, and a hung one never answers: the whole read, every
// request in it, gets this long.
inline constexpr int clipboardDeadlineMs = 2000;

using ClipboardReader
    = std::function<void(QObject* context, std::function<void(const ClipboardRead&)>)>;

// Reads the clipboard without holding up the main thread on its owner, and calls `done` on the
// main thread with what it found, unless `context` is gone by then. Where the window system
// gives no other way, Qt's clipboard is read on the spot.
void readClipboard(QObject* context, std::function<void(const ClipboardRead&)> done);
void setClipboardReader(ClipboardReader reader);

} // namespace quillet
