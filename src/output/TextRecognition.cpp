#include "output/TextRecognition.h"

#include "ocr/OcrEngine.h"
#include "ocr/OcrWorker.h"
#include "output/PinWindow.h"
#include "output/RecognitionNotice.h"
#include "output/Toast.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

namespace quillet::TextRecognition {

namespace {

QPointer<RecognitionNotice> shownNotice;
std::optional<Screen> noticeScreen;

Screen screenOrPointer(std::optional<Screen> screen)
{
    if (screen)
        return *screen;
    if (QScreen* under = QGuiApplication::screenAt(QCursor::pos()))
        return screenFromQt(under);
    const QList<Screen> all = currentScreens();
    return all.isEmpty() ? Screen {} : all.first();
}

void finished(const OcrResult& result)
{
    const Screen screen = noticeScreen.value_or(screenOrPointer(std::nullopt));
    switch (result.status) {
    case OcrResult::Status::text: {
        QGuiApplication::clipboard()->setText(result.text, QClipboard::Clipboard);
        const QString text = result.text;
        if (shownNotice)
            shownNotice->showDone([text, screen] { PinWindow::pinText(text, screen.scale); });
        else
            Toast::show(QStringLiteral("已复制识别的文字"), {}, std::nullopt, screen);
        return;
    }
    case OcrResult::Status::empty:
        if (shownNotice)
            shownNotice->close();
        Toast::show(QStringLiteral("没有识别到文字"), {}, std::nullopt, screen);
        return;
    case OcrResult::Status::cancelled:
        if (shownNotice)
            shownNotice->close();
        return;
    case OcrResult::Status::noData:
    case OcrResult::Status::failed:
        if (shownNotice)
            shownNotice->close();
        QApplication::beep();
        Toast::show(result.error, {}, std::nullopt, screen);
        return;
    }
}

} // namespace

OcrWorker& worker()
{
    // Parented to the application, so the thread is cancelled and waited for before Qt goes.
    static QPointer<OcrWorker> w;
    if (!w) {
        w = new OcrWorker(qApp);
        QObject::connect(w, &OcrWorker::finished, w, &finished);
    }
    return *w;
}

RecognitionNotice* notice()
{
    return shownNotice.data();
}

std::optional<QString> unavailable()
{
    return OcrEngine::missingData();
}

bool busy()
{
    return worker().busy();
}

bool ready(std::optional<Screen> screen)
{
    if (const std::optional<QString> missing = unavailable()) {
        QApplication::beep();
        Toast::show(*missing, {}, std::nullopt, screen);
        return false;
    }
    if (busy()) {
        QApplication::beep();
        return false;
    }
    return true;
}

bool start(const QImage& image, std::optional<Screen> screen)
{
    if (!ready(screen))
        return false;
    if (image.isNull() || !worker().start(image)) {
        QApplication::beep();
        return false;
    }
    if (shownNotice)
        shownNotice->close();
    noticeScreen = screenOrPointer(screen);
    shownNotice = new RecognitionNotice(*noticeScreen);
    shownNotice->onCancel = [] { cancel(); };
    return true;
}

void cancel()
{
    worker().cancel();
}

} // namespace quillet::TextRecognition
