// Clipboard text made into a text pin: any text, at any of the scales a screen may have.
#include "FuzzSupport.h"

#include "output/OutsideImage.h"
#include "output/PinWindow.h"

using namespace quillet;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::makeApp(fuzz::AppKind::gui);
    return 0;
}

// The first byte picks the scale and how the text arrives: as UTF-8 (what the clipboard
// offers as text/plain;charset=utf-8) or as raw UTF-16 code units, lone surrogates included.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    constexpr qreal scales[] = {1.0, 2.0, 1.25, 1.5, 3.0, 0.5, 0.0, -1.0};
    const qreal scale = scales[(data[0] >> 1) & 7];
    const QByteArray rest = fuzz::bytes(data + 1, size - 1);
    const QString text = (data[0] & 1)
        ? QString(reinterpret_cast<const QChar*>(rest.constData()), rest.size() / 2)
        : QString::fromUtf8(rest);

    const QImage image = PinWindow::renderText(text, scale);
    FUZZ_CHECK(!image.isNull());
    // A note is never wider than its wrap width, and never larger than an image the program
    // would take from outside: the clipboard cannot make it allocate without bound.
    const qreal used = image.devicePixelRatio();
    FUZZ_CHECK(image.width() <= qCeil((600 + 32) * used) + 1);
    FUZZ_CHECK(!OutsideImage::refusal(image.size()));
    return 0;
}
