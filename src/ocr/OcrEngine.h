#pragma once

#include <QImage>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

namespace tesseract {
class TessBaseAPI;
}

namespace quillet {

struct OcrResult {
    enum class Status {
        text, // `text` holds what was read
        empty, // the image holds no text the engine could read
        cancelled,
        noData, // the language data is not installed; `error` says which package to install
        failed, // `error` says why
    };
    Status status = Status::empty;
    QString text;
    QString error;
};

// Text recognition with Tesseract, Simplified Chinese and English together. One engine serves
// one thread at a time; it loads its models on first use and keeps them.
class OcrEngine final {
public:
    OcrEngine();
    ~OcrEngine();
    OcrEngine(const OcrEngine&) = delete;
    OcrEngine& operator=(const OcrEngine&) = delete;

    // The folder holding both languages' data, or nothing. TESSDATA_PREFIX, when set, is the
    // only place looked at, as Tesseract itself does.
    static std::optional<QString> dataFolder();
    // One line for the user when the data is missing, naming the packages to install.
    static std::optional<QString> missingData();

    // Reads the image. Its devicePixelRatio() says how many pixels make a point, so a capture
    // of a scale-2 screen is not enlarged as much as one of a scale-1 screen. `cancel`, when it
    // turns true, ends the work early with the `cancelled` status.
    OcrResult recognise(const QImage& image, const std::atomic<bool>* cancel = nullptr);

    // Pixels per point the engine reads best at; smaller text is enlarged to it.
    static qreal targetScale();
    // For measurements: overrides targetScale() (0 restores it).
    static void setTargetScale(qreal scale);

private:
    bool ensureLoaded(OcrResult& result);

    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    bool m_loaded = false;
};

} // namespace quillet
