// Images that come from outside: files named on the command line and the clipboard's bytes.
#include "output/OutsideImage.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>

#include <algorithm>
#include <optional>

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

// Pixels a byte of a compressed raster can stand for at most, with room to spare: a blank
// 1-bit PNG, the extreme of real files, needs about one byte for 8,000 pixels, GIF's codes
// one for 1,400. A header claiming far more is a bomb's: decoders allocate the whole picture
// before they find the data missing, half a gigabyte for a file of 23 bytes. Small pictures
// pass whatever their file; drawings (SVG) have no such ratio.
constexpr qint64 pixelsPerByte = 16384;
constexpr qint64 pixelsAlwaysAllowed = qint64(1) << 20;

// A drawing has no pixels of its own: it is drawn at the size it declares, and drawing costs
// what a picture of that size costs. Forty bytes of SVG can declare 10000×10000, which took
// seconds of the main thread and 400 MB. Past this side a drawing is drawn smaller, to fit.
constexpr int drawingSide = 4096;

bool isDrawing(QImageReader& reader)
{
    return reader.format().toLower().startsWith("svg");
}

std::optional<QString> implausible(QSize claimed, QImageReader& reader)
{
    const qint64 pixels = qint64(claimed.width()) * claimed.height();
    const QByteArray format = reader.format().toLower();
    if (pixels <= pixelsAlwaysAllowed || format.startsWith("svg") || !reader.device()
        || reader.device()->isSequential())
        return std::nullopt;
    const qint64 bytes = reader.device()->size();
    if (pixels <= pixelsAlwaysAllowed + bytes * pixelsPerByte)
        return std::nullopt;
    return QStringLiteral("图片已损坏：声明 %1×%2 像素，数据却只有 %3 字节")
        .arg(claimed.width())
        .arg(claimed.height())
        .arg(bytes);
}

Loaded decodeWithin(QImageReader& reader, const QString& name)
{
    reader.setAutoTransform(true);
    QSize claimed = reader.size();
    if (claimed.isValid() && isDrawing(reader)
        && std::max(claimed.width(), claimed.height()) > drawingSide) {
        claimed = claimed.scaled(drawingSide, drawingSide, Qt::KeepAspectRatio).expandedTo({1, 1});
        reader.setScaledSize(claimed);
    }
    if (claimed.isValid()) {
        if (const auto why = refusal(claimed))
            return {{}, name.isEmpty() ? *why : QStringLiteral("%1：%2").arg(*why, name), true};
        if (const auto why = implausible(claimed, reader))
            return {{}, name.isEmpty() ? *why : QStringLiteral("%1：%2").arg(*why, name), true};
        // Nor may the decoder allocate more than the size the header claims, at up to 8 bytes a
        // pixel (16 bits a channel): a GIF of 28 bytes whose frame lies about its size would
        // otherwise have its reader allocate the whole bound.
        const qint64 claimedBytes = qint64(claimed.width()) * claimed.height() * 8;
        QImageReader::setAllocationLimit(int((std::min(claimedBytes, maxDecodedBytes) >> 20) + 1));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        const QString reason = reader.errorString();
        if (name.isEmpty())
            return {{}, QStringLiteral("无法读取图片：%1").arg(reason)};
        return {{}, QStringLiteral("无法读取图片 %1：%2").arg(name, reason)};
    }
    if (const auto why = refusal(image.size())) // a header that said less than it held
        return {{}, *why, true};
    return {image, {}};
}

Loaded decode(QImageReader& reader, const QString& name)
{
    // Formats that cannot tell their size before decoding still stop at this bound, in the
    // reader, before the pixels are allocated. The bound is the whole program's: it is left
    // there for every later reader, never at one image's own.
    QImageReader::setAllocationLimit(int(maxDecodedBytes >> 20));
    Loaded loaded = decodeWithin(reader, name);
    QImageReader::setAllocationLimit(int(maxDecodedBytes >> 20));
    return loaded;
}

} // namespace

std::optional<QString> refusal(QSize size)
{
    const qint64 bytes = qint64(size.width()) * size.height() * 4;
    if (size.width() <= maxSide && size.height() <= maxSide && bytes <= maxDecodedBytes)
        return std::nullopt;
    return QStringLiteral("图片太大（%1×%2 像素）；墨钉只贴出每边不超过 %3 像素、"
                          "解码后不超过 %4 MB 的图片")
        .arg(size.width())
        .arg(size.height())
        .arg(maxSide)
        .arg(maxDecodedBytes >> 20);
}

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

Loaded readData(const QByteArray& bytes, const QByteArray& format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("无法读取图片")};
    QImageReader reader(&buffer, format);
    return decode(reader, {});
}

Loaded fromClipboard(const QMimeData* data)
{
    if (!data)
        return {};
    // Another program's image comes as bytes: PNG first, as screenshots are offered so.
    QStringList formats;
    for (const QString& f : data->formats()) {
        if (f.startsWith(QLatin1String("image/")))
            formats.append(f);
    }
    std::stable_partition(formats.begin(), formats.end(),
        [](const QString& f) { return f == QLatin1String("image/png"); });
    Loaded last;
    for (const QString& f : formats) {
        const QByteArray bytes = data->data(f);
        if (bytes.isEmpty())
            continue;
        Loaded loaded = readData(bytes, f.mid(6).toLatin1());
        if (!loaded.image.isNull() || loaded.tooLarge)
            return loaded;
        last = std::move(loaded);
    }
    // An image without bytes: put there by this program, already in memory. (Qt decodes any
    // other kind itself, under the reader's allocation bound.)
    if (data->hasImage()) {
        QImageReader::setAllocationLimit(int(maxDecodedBytes >> 20));
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull() && image.width() > 0) {
            if (const auto why = refusal(image.size()))
                return {{}, *why, true};
            return {image, {}};
        }
    }
    return last;
}

} // namespace quillet::OutsideImage
