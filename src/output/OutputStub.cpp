// Stand-ins until the output subsystem lands; they fail quietly, as its contract allows.
#include "output/Output.h"
#include "output/Toast.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace quillet {

void Output::copy(const QImage& image)
{
    auto* mime = new QMimeData;
    mime->setImageData(image);
    if (auto png = pngData(image))
        mime->setData(QStringLiteral("image/png"), *png);
    QGuiApplication::clipboard()->setMimeData(mime);
}

std::optional<QByteArray> Output::pngData(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    if (!image.save(&buf, "PNG"))
        return std::nullopt;
    return bytes;
}

std::optional<QString> Output::save(const QImage&)
{
    return std::nullopt;
}

void Toast::show(const QString&, const QImage&, std::optional<QColor>, std::optional<Screen>) { }

} // namespace quillet
