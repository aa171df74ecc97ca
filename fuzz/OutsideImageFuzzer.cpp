// Images from outside: a file named by `quillet pin FILE`, or another program's bytes on the
// clipboard, each through the decoder with its size limits.
#include "FuzzSupport.h"

#include "output/OutsideImage.h"

#include <QMimeData>
#include <QTemporaryDir>

using namespace quillet;

namespace {

QTemporaryDir* folder = nullptr;

// The hints the program passes on: a file's suffix, a clipboard type's subtype, or none.
const char* const hints[] = {"", "png", "jpeg", "gif", "bmp", "ico", "svg+xml", "xpm"};

void checkOutcome(const OutsideImage::Loaded& l)
{
    if (l.image.isNull()) {
        FUZZ_CHECK(!l.error.isEmpty());
        return;
    }
    FUZZ_CHECK(l.error.isEmpty() && !l.tooLarge);
    FUZZ_CHECK(!OutsideImage::refusal(l.image.size()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::makeApp(fuzz::AppKind::gui);
    folder = new QTemporaryDir(QStringLiteral("/tmp/quillet-fuzz-image-XXXXXX"));
    std::atexit([] { delete folder; });
    return 0;
}

// The first byte picks the hint and the way in: the clipboard, or a file read as the resident
// program reads a pin request's file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray hint = hints[data[0] & 7];
    const QByteArray bytes = fuzz::bytes(data + 1, size - 1);
    if (data[0] & 8) {
        const QString path = folder->filePath(
            QStringLiteral("image.") + QString::fromLatin1(hint.isEmpty() ? "img" : hint));
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(bytes) == bytes.size());
        f.close();
        checkOutcome(OutsideImage::readFile(path));
        return 0;
    }
    QMimeData mime;
    mime.setData(
        QStringLiteral("image/") + QString::fromLatin1(hint.isEmpty() ? "png" : hint), bytes);
    const OutsideImage::Loaded l = OutsideImage::fromClipboard(&mime);
    if (bytes.isEmpty()) {
        FUZZ_CHECK(l.image.isNull());
        return 0;
    }
    checkOutcome(l);
    return 0;
}
