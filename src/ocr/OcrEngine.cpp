#include "ocr/OcrEngine.h"

#include "ocr/OcrImage.h"
#include "ocr/TextTidy.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cmath>
#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

namespace quillet {

namespace {

constexpr const char* languages = "chi_sim+eng";
// Measured with the benchmark (bench/OcrBench.cpp) on 12 to 16 pixel UI text at scale 1, the
// mean character error rate is 9.4 % unenlarged, 4.7 % at 2 pixels per point, 1.9 % at 3 and
// 4.2 % at 4; a full screen of mixed text 4.5 %, 1.5 % and 0.6 % at 1, 2 and 3.
constexpr qreal defaultTargetScale = 3.0;
std::atomic<qreal> targetOverride {0.0};

// Where Debian and a local build put the data when TESSDATA_PREFIX is not set.
const QStringList& standardFolders()
{
    static const QStringList folders {QStringLiteral("/usr/share/tesseract-ocr/5/tessdata"),
        QStringLiteral("/usr/share/tesseract-ocr/4.00/tessdata"),
        QStringLiteral("/usr/share/tessdata"), QStringLiteral("/usr/local/share/tessdata")};
    return folders;
}

bool holdsLanguages(const QString& folder)
{
    const QDir dir(folder);
    return QFileInfo(dir.filePath(QStringLiteral("chi_sim.traineddata"))).isFile()
        && QFileInfo(dir.filePath(QStringLiteral("eng.traineddata"))).isFile();
}

// Tesseract parallelises with OpenMP, whose idle threads wait for work by spinning: on two busy
// cores that made a recognition six times slower than one thread, and it takes cores from the
// rest of the desktop. The engine's loops ask for their thread counts outright, so only an
// active-level limit of zero keeps them on the calling thread; it holds for that thread alone.
// Looked up at run time, because the runtime is whichever one the engine's library brought.
void keepWorkOnThisThread()
{
    if (qEnvironmentVariableIsSet("OMP_THREAD_LIMIT")
        || qEnvironmentVariableIsSet("OMP_MAX_ACTIVE_LEVELS"))
        return; // the user's choice
    using SetLevels = void (*)(int);
    static const auto setLevels
        = reinterpret_cast<SetLevels>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setLevels)
        setLevels(0);
}

bool cancelRequested(void* flag, int)
{
    return flag && static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed);
}

} // namespace

OcrEngine::OcrEngine() = default;

OcrEngine::~OcrEngine()
{
    if (m_api)
        m_api->End();
}

std::optional<QString> OcrEngine::dataFolder()
{
    if (qEnvironmentVariableIsSet("TESSDATA_PREFIX")) {
        const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
        if (holdsLanguages(prefix))
            return prefix;
        return std::nullopt;
    }
    for (const QString& folder : standardFolders()) {
        if (holdsLanguages(folder))
            return folder;
    }
    return std::nullopt;
}

std::optional<QString> OcrEngine::missingData()
{
    if (dataFolder())
        return std::nullopt;
    return QStringLiteral(
        "文字识别缺少语言数据：请安装 tesseract-ocr-chi-sim 和 tesseract-ocr-eng");
}

qreal OcrEngine::targetScale()
{
    const qreal o = targetOverride.load();
    return o > 0 ? o : defaultTargetScale;
}

void OcrEngine::setTargetScale(qreal scale)
{
    targetOverride.store(scale > 0 ? scale : 0.0);
}

bool OcrEngine::ensureLoaded(OcrResult& result)
{
    if (m_loaded)
        return true;
    const std::optional<QString> folder = dataFolder();
    if (!folder) {
        result.status = OcrResult::Status::noData;
        result.error = *missingData();
        return false;
    }
    m_api = std::make_unique<tesseract::TessBaseAPI>();
    // The engine writes its notes ("Estimating resolution…") to stderr unless told otherwise.
    m_api->SetVariable("debug_file", "/dev/null");
    const QByteArray path = QFile::encodeName(*folder);
    if (m_api->Init(path.constData(), languages, tesseract::OEM_LSTM_ONLY) != 0) {
        m_api.reset();
        result.status = OcrResult::Status::noData;
        result.error = *missingData();
        if (dataFolder()) // the files are there but unreadable or of another version
            result.error = QStringLiteral("文字识别的语言数据无法载入：%1").arg(*folder);
        return false;
    }
    m_api->SetPageSegMode(tesseract::PSM_AUTO);
    m_loaded = true;
    return true;
}

OcrResult OcrEngine::recognise(const QImage& image, const std::atomic<bool>* cancel)
{
    OcrResult result;
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return result;
    if (!ensureLoaded(result))
        return result;
    keepWorkOnThisThread();
    const QImage grey = OcrImage::toReadable(image);
    if (grey.isNull()) {
        result.status = OcrResult::Status::failed;
        result.error = QStringLiteral("图片太大，内存不够");
        return result;
    }
    if (OcrImage::looksLikeNoise(grey))
        return result; // nothing to read
    const qreal ppp = image.devicePixelRatio();
    const qreal factor = OcrImage::enlargement(grey.width(), ppp, targetScale());
    const QList<int> starts = OcrImage::bandStarts(grey, factor);
    const int ground = OcrImage::groundLevel(grey);
    const int dpi = std::clamp(int(std::lround(96 * ppp * factor)), 70, 1200);

    QStringList parts;
    for (qsizetype i = 0; i + 1 < starts.size(); ++i) {
        if (cancelRequested(const_cast<std::atomic<bool>*>(cancel), 0)) {
            result.status = OcrResult::Status::cancelled;
            return result;
        }
        const int top = starts[i], rows = starts[i + 1] - starts[i];
        QImage band = grey.copy(0, top, grey.width(), rows);
        if (factor > 1.0) {
            const QSize size(
                int(std::lround(band.width() * factor)), int(std::lround(band.height() * factor)));
            band = band.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_Grayscale8);
        }
        band = OcrImage::padded(band, ground);
        if (band.isNull()) {
            result.status = OcrResult::Status::failed;
            result.error = QStringLiteral("图片太大，内存不够");
            return result;
        }
        m_api->SetImage(band.constBits(), band.width(), band.height(), 1, int(band.bytesPerLine()));
        m_api->SetSourceResolution(dpi);
        tesseract::ETEXT_DESC monitor;
        monitor.cancel = cancelRequested;
        monitor.cancel_this = const_cast<std::atomic<bool>*>(cancel);
        const int failed = m_api->Recognize(&monitor);
        if (cancelRequested(monitor.cancel_this, 0)) {
            m_api->Clear();
            result.status = OcrResult::Status::cancelled;
            return result;
        }
        if (failed != 0) {
            m_api->Clear();
            result.status = OcrResult::Status::failed;
            result.error = QStringLiteral("文字识别没有完成");
            return result;
        }
        const std::unique_ptr<char[]> utf8(m_api->GetUTF8Text());
        if (utf8)
            parts.append(QString::fromUtf8(utf8.get()));
        m_api->Clear();
    }
    result.text = tidyRecognisedText(parts.join(QLatin1Char('\n')));
    result.status = result.text.isEmpty() ? OcrResult::Status::empty : OcrResult::Status::text;
    return result;
}

} // namespace quillet
