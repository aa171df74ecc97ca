#include "output/Output.h"

#include "output/PngEncoder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringList>
#include <QVariant>

namespace quillet {

namespace {

const QString pngMime = QStringLiteral("image/png");

// Clipboard contents that encode their PNG only when a client first asks for it. Encoding a 4K
// capture takes tens of milliseconds; done eagerly it would hold up the overlay's closing, and
// many pastes never ask for PNG at all. The bytes are kept once made, as every later paste
// wants the same ones.
class LazyPngMimeData final : public QMimeData {
public:
    explicit LazyPngMimeData(const QImage& image)
    {
        // A deep copy: the caller's image may share memory with a buffer that goes away (a
        // grab, a painter target), while the clipboard must outlive every window.
        source = image.copy();
        source.setDevicePixelRatio(image.devicePixelRatio());
        hasPng = !source.isNull();
        setImageData(source);
    }

    QStringList formats() const override
    {
        QStringList list = QMimeData::formats();
        if (hasPng && !list.contains(pngMime))
            list.prepend(pngMime);
        return list;
    }

    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (hasPng && mimeType == pngMime) {
            if (!png) {
                png = Output::pngData(source);
                if (!png)
                    png = QByteArray(); // failed once: do not try again for every request
            }
            if (!png->isEmpty())
                return *png;
            return {};
        }
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    QImage source; // shares its pixels with the image data set above
    bool hasPng = false;
    mutable std::optional<QByteArray> png;
};

} // namespace

void Output::copy(const QImage& image, const QString& text)
{
    auto* data = new LazyPngMimeData(image);
    if (!text.isEmpty())
        data->setText(text);
    // Ownership passes to the clipboard, which deletes the previous contents itself.
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

std::optional<QByteArray> Output::pngData(const QImage& image)
{
    return PngEncoder::encode(image);
}

} // namespace quillet
