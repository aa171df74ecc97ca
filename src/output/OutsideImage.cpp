// Images that come from outside: files named on the command line and the clipboard's bytes.
#include "output/OutsideImage.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet::OutsideImage {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

Loaded decode(QImageReader& reader, const QString& name)
{
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return {{}, QStringLiteral("无法读取图片 %1：%2").arg(name, reader.errorString())};
    return {image, {}};
}

} // namespace

Loaded readFile(const QString& path)
{
    // The path comes from a client of the socket, which may name anything. Opening a FIFO
    // waits for a writer and reading a device may never end, and this runs on the main thread:
    // open without waiting, then look at what was opened (not at the path, which another
    // program could swap meanwhile) and go on with a regular file only.
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {{}, QStringLiteral("文件不存在：%1").arg(path)};
        return {{}, QStringLiteral("无法读取文件 %1：%2").arg(path, systemError())};
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {{}, QStringLiteral("不是普通文件：%1").arg(path)};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {{}, QStringLiteral("无法读取文件 %1：%2").arg(path, file.errorString())};
    }
    // The suffix is a hint only: the reader still goes by the content when it disagrees.
    QImageReader reader(&file, QFileInfo(path).suffix().toLower().toLatin1());
    return decode(reader, path);
}

} // namespace quillet::OutsideImage
