#pragma once

#include <QImage>
#include <QString>

namespace quillet::OutsideImage {

// An image handed in from outside the program, or why there is none, in words for the user.
struct Loaded {
    QImage image;
    QString error;
};

// Reads the image file at `path` on the calling thread without ever waiting on it: anything
// but a regular file (a FIFO, a device, a folder) is refused before a byte is read.
Loaded readFile(const QString& path);

} // namespace quillet::OutsideImage
