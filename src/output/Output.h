#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>
#include <optional>

namespace quillet::Output {

// Images carry their point size through devicePixelRatio(); output always keeps every device
// pixel of them.

// Replaces the clipboard with the image, plus its PNG bytes under image/png, plus `text` as
// plain text when given (a paper note's words, for pasting where no image goes).
void copy(const QImage& image, const QString& text = {});

// PNG bytes of the full pixel size, or nothing.
std::optional<QByteArray> pngData(const QImage& image);

// Saves a PNG: straight into the save folder (quick save) or through a save dialog. Returns the
// path written, or nothing when cancelled or failed. A failed write is never silent: the user is
// told why and may pick another place while the image is still in hand.
std::optional<QString> save(const QImage& image);

// True while a save() holds its image in the save dialog or in the alert after a failed write:
// the image lives nowhere else then, and nothing may take the keyboard from that dialog.
bool saveInProgress();

// `name` inside `dir`; when that path is taken, the name with "-2", "-3" … before its extension.
QString uniquePath(const QString& dir, const QString& name);

// Writes the image as PNG through a temporary file renamed into place, so `path` ends up holding
// either its previous contents or the complete new file, never a part. On failure, the reason
// in words for the user.
std::optional<QString> writePngAtomically(const QString& path, const QImage& image);

// Quick save: writes the PNG beside `dir`/`name` and then gives it the first free name of
// uniquePath()'s series without ever replacing a file, even one that appears meanwhile. The path
// written, or the reason it failed in words for the user.
struct NewFile {
    std::optional<QString> path;
    QString error;
};
NewFile writePngAsNew(const QString& dir, const QString& name, const QImage& image);

// The modal parts of save(). Tests replace them so no modal loop ever runs; an empty member
// means the real dialog.
struct SaveInteraction {
    // The save dialog: a path chosen from `dir` and `name`, or nothing when the user cancels.
    // ".png" is added when the chosen name lacks it.
    std::function<std::optional<QString>(const QString& dir, const QString& name)> choosePath;
    // Tells the user that saving to `path` failed and why; true when they want to choose another
    // place.
    std::function<bool(const QString& path, const QString& reason)> reportFailure;
    // Runs in a quick save once a free name is chosen, just before the file takes it: lets a
    // test make another program create that name at the worst moment.
    std::function<void(const QString& path)> beforePlacing;
};
SaveInteraction& saveInteraction();

} // namespace quillet::Output
