#include "output/PngEncoder.h"

#include <QColorSpace>
#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace quillet::PngEncoder {

namespace {

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorFree>;

// IDAT payloads are cut into chunks of this size; decoders handle any split, and small chunks
// keep every length far from PNG's 2^31 limit whatever the image.
constexpr qsizetype maxIdatChunk = 1 << 20;

void putU32(uchar* p, quint32 v)
{
    p[0] = uchar(v >> 24);
    p[1] = uchar(v >> 16);
    p[2] = uchar(v >> 8);
    p[3] = uchar(v);
}

void appendChunk(QByteArray& out, const char (&type)[5], const uchar* data, qsizetype length)
{
    uchar head[8];
    putU32(head, quint32(length));
    std::memcpy(head + 4, type, 4);
    out.append(reinterpret_cast<const char*>(head), 8);
    if (length > 0)
        out.append(reinterpret_cast<const char*>(data), length);
    quint32 crc = libdeflate_crc32(0, type, 4);
    if (length > 0)
        crc = libdeflate_crc32(crc, data, size_t(length));
    uchar tail[4];
    putU32(tail, crc);
    out.append(reinterpret_cast<const char*>(tail), 4);
}

// True when every pixel of a 32-bit image with alpha is fully opaque.
bool everyAlphaOpaque(const QImage& img)
{
    const int w = img.width();
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(img.constScanLine(y));
        quint32 all = 0xff000000u;
        for (int x = 0; x < w; ++x)
            all &= row[x];
        if ((all >> 24) != 0xffu)
            return false;
    }
    return true;
}

// Per-byte a − b (mod 256) of four bytes at once, without borrows crossing bytes.
inline quint32 subBytes(quint32 a, quint32 b)
{
    return ((a | 0x80808080u) - (b & 0x7f7f7f7fu)) ^ ((a ^ ~b) & 0x80808080u);
}

// 0xAARRGGBB to a value whose little-endian bytes read R, G, B, A: PNG's channel order. Filters
// act on each byte alone, so they may run before this reordering.
inline quint32 pngOrder(quint32 v)
{
    return (v & 0xff00ff00u) | ((v >> 16) & 0xffu) | ((v & 0xffu) << 16);
}

inline void store32(uchar* p, quint32 v)
{
    // Little-endian hosts only (x86, ARM as Linux runs them), which the byte orders above assume.
    std::memcpy(p, &v, 4);
}

// Writes one row of residual pixels, residual(x) for x in [0, w), as PNG's bytes.
template<typename Residual> void emitRow(Residual residual, int w, bool alpha, uchar* dst)
{
    if (alpha) {
        for (int x = 0; x < w; ++x)
            store32(dst + 4 * x, pngOrder(residual(x)));
        return;
    }
    // Four pixels make twelve bytes, stored as three words.
    int x = 0;
    for (; x + 4 <= w; x += 4, dst += 12) {
        const quint32 a = pngOrder(residual(x)) & 0xffffffu;
        const quint32 b = pngOrder(residual(x + 1)) & 0xffffffu;
        const quint32 c = pngOrder(residual(x + 2)) & 0xffffffu;
        const quint32 d = pngOrder(residual(x + 3)) & 0xffffffu;
        store32(dst, a | (b << 24));
        store32(dst + 4, (b >> 8) | (c << 16));
        store32(dst + 8, (c >> 16) | (d << 8));
    }
    for (; x < w; ++x, dst += 3) {
        const quint32 v = pngOrder(residual(x));
        dst[0] = uchar(v);
        dst[1] = uchar(v >> 8);
        dst[2] = uchar(v >> 16);
    }
}

// The usual "minimum sum of absolute differences" estimate, residuals read as signed bytes.
template<typename Residual> quint64 residualCost(Residual residual, int w, bool alpha)
{
    const quint32 mask = alpha ? 0xffffffffu : 0x00ffffffu;
    quint64 sum = 0;
    for (int x = 0; x < w; ++x) {
        const quint32 v = residual(x) & mask;
        for (int shift = 0; shift < 32; shift += 8)
            sum += quint64(std::abs(int(static_cast<signed char>(v >> shift))));
    }
    return sum;
}

// Writes the filter type byte and the filtered row at `out`. `prev` is the row above (zeros
// above the first row).
void filterRow(
    Filter filter, const quint32* cur, const quint32* prev, int w, bool alpha, uchar* out)
{
    const auto none = [cur](int x) { return cur[x]; };
    const auto sub = [cur](int x) { return x > 0 ? subBytes(cur[x], cur[x - 1]) : cur[x]; };
    const auto up = [cur, prev](int x) { return subBytes(cur[x], prev[x]); };
    if (filter == Filter::Adaptive)
        filter
            = residualCost(up, w, alpha) < residualCost(sub, w, alpha) ? Filter::Up : Filter::Sub;
    switch (filter) {
    case Filter::None:
        out[0] = 0;
        emitRow(none, w, alpha, out + 1);
        return;
    case Filter::Sub:
        out[0] = 1;
        emitRow(sub, w, alpha, out + 1);
        return;
    case Filter::Up:
    case Filter::Adaptive:
        out[0] = 2;
        emitRow(up, w, alpha, out + 1);
        return;
    }
}

template<typename T> std::unique_ptr<T[]> tryAllocate(size_t n)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

} // namespace

std::optional<QByteArray> encode(const QImage& image, const Options& options)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;

    // Bring every format to 32-bit 0xAARRGGBB with straight alpha; screen grabs (RGB32) and
    // rendered captures (premultiplied, opaque) pass without a conversion.
    QImage src;
    bool alpha = false;
    switch (image.format()) {
    case QImage::Format_RGB32:
        src = image;
        break;
    case QImage::Format_ARGB32:
        src = image;
        alpha = !everyAlphaOpaque(src);
        break;
    case QImage::Format_ARGB32_Premultiplied:
        alpha = !everyAlphaOpaque(image);
        src = alpha ? image.convertToFormat(QImage::Format_ARGB32) : image;
        break;
    default:
        if (image.hasAlphaChannel()) {
            src = image.convertToFormat(QImage::Format_ARGB32);
            alpha = !everyAlphaOpaque(src);
        } else {
            src = image.convertToFormat(QImage::Format_RGB32);
        }
        break;
    }
    if (src.isNull())
        return std::nullopt;

    const int w = src.width(), h = src.height();
    const int bpp = alpha ? 4 : 3;
    const size_t rowBytes = size_t(w) * size_t(bpp);
    const size_t filteredSize = (rowBytes + 1) * size_t(h);

    auto filtered = tryAllocate<uchar>(filteredSize);
    auto zeros = tryAllocate<quint32>(size_t(w));
    if (!filtered || !zeros)
        return std::nullopt;
    std::fill_n(zeros.get(), w, 0u); // the row above the first is zero by definition

    const quint32* prev = zeros.get();
    for (int y = 0; y < h; ++y) {
        const auto* cur = reinterpret_cast<const quint32*>(src.constScanLine(y));
        filterRow(options.filter, cur, prev, w, alpha, filtered.get() + size_t(y) * (rowBytes + 1));
        prev = cur;
    }
    src = QImage();

    Compressor compressor(libdeflate_alloc_compressor(std::clamp(options.level, 0, 12)));
    if (!compressor)
        return std::nullopt;
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filteredSize);
    auto zlib = tryAllocate<uchar>(bound);
    if (!zlib)
        return std::nullopt;
    const size_t zlibSize = libdeflate_zlib_compress(
        compressor.get(), filtered.get(), filteredSize, zlib.get(), bound);
    filtered.reset();
    if (zlibSize == 0)
        return std::nullopt;

    QByteArray out;
    out.reserve(qsizetype(zlibSize) + 128 + qsizetype(zlibSize / maxIdatChunk + 1) * 12);
    out.append("\x89PNG\r\n\x1a\n", 8);

    uchar ihdr[13];
    putU32(ihdr, quint32(w));
    putU32(ihdr + 4, quint32(h));
    ihdr[8] = 8; // bits per channel
    ihdr[9] = alpha ? 6 : 2; // RGBA : RGB
    ihdr[10] = 0; // deflate
    ihdr[11] = 0; // adaptive filtering
    ihdr[12] = 0; // no interlace
    appendChunk(out, "IHDR", ihdr, sizeof ihdr);

    // Screen pixels are sRGB unless the image says otherwise; saying so keeps viewers from
    // guessing a gamma. Another declared space is left unnamed rather than named wrongly.
    const QColorSpace space = image.colorSpace();
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)) {
        const uchar srgbIntent = 0; // perceptual
        appendChunk(out, "sRGB", &srgbIntent, 1);
    }

    for (size_t at = 0; at < zlibSize; at += size_t(maxIdatChunk)) {
        const size_t n = std::min(size_t(maxIdatChunk), zlibSize - at);
        appendChunk(out, "IDAT", zlib.get() + at, qsizetype(n));
    }
    appendChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace quillet::PngEncoder
