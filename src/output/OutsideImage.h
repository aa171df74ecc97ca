#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

class QMimeData;

namespace quillet::OutsideImage {

// The largest image taken from outside: more than any screen can show, and far below what
// would get the program killed for memory. Checked on the header, before a pixel is decoded,
// so a small file that claims a huge picture costs nothing.
inline constexpr int maxSide = 16384;
inline constexpr qint64 maxDecodedBytes = qint64(512) << 20; // as 32-bit pixels

// An image handed in from outside the program, or why there is none, in words for the user.
// Both empty: there was no image to take.
struct Loaded {
    QImage image;
    QString error;
    bool tooLarge = false; // there was an image, refused for its size
};

// Why an image of `size` pixels is refused, or nothing when it may be decoded.
std::optional<QString> refusal(QSize size);

// Reads the image file at `path` on the calling thread without ever waiting on it: anything
// but a regular file (a FIFO, a device, a folder) is refused before a byte is read.
Loaded readFile(const QString& path);

// Decodes image bytes; `format` is a hint ("png"), the content decides.
Loaded readData(const QByteArray& bytes, const QByteArray& format = {});

// The clipboard's image. Another program's image is read from its bytes and checked before it
// is decoded; one this program put there is an image already.
Loaded fromClipboard(const QMimeData* data);

} // namespace quillet::OutsideImage
