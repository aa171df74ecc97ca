// Text recognition: the engine on rendered text, the clean-up of its spacing, cancelling, the
// bands a tall image is read in, and what happens without the language data.
#include "output/TextRecognition.h"
#include "capture/annotation/ToolButton.h"
#include "ocr/OcrEngine.h"
#include "ocr/OcrImage.h"
#include "ocr/OcrWorker.h"
#include "ocr/TextTidy.h"
#include "output/PinView.h"
#include "output/PinWindow.h"
#include "output/RecognitionNotice.h"

#include "FakeAnnotationHost.h"
#include "Pixels.h"
#include "WaitUntil.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <gtest/gtest.h>

namespace quillet {
namespace {

// Lines of text as a screen of `dpr` shows them at `pixelSize` points: the image carries
// device pixels and the ratio, as a capture does.
QImage renderText(const QStringList& lines, const QString& family, int pixelSize, qreal dpr,
    QColor ink = Qt::black, QColor paper = Qt::white)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    const QFontMetrics fm(font);
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, fm.horizontalAdvance(line));
    const QSize points(width + 24, int(lines.size()) * fm.lineSpacing() + 16);
    QImage image(points * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(paper);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(ink);
    for (qsizetype i = 0; i < lines.size(); ++i)
        p.drawText(12, 8 + int(i) * fm.lineSpacing() + fm.ascent(), lines[i]);
    return image;
}

OcrEngine& sharedEngine()
{
    static OcrEngine engine; // loading the models once keeps the table quick
    return engine;
}

TEST(TextTidy, RemovesTheEnginesGapsAndKeepsTheWriters)
{
    const struct {
        const char* raw;
        const char* tidy;
    } cases[] = {
        {"文 件 已 保 存", "文件已保存"},
        {"使用 Python 编写", "使用 Python 编写"},
        {"hello   world\tagain", "hello world again"},
        {"价格 ： 100 元 。", "价格：100 元。"},
        {"（ 注意 ） 这里", "（注意）这里"},
        {"日本語 テキスト", "日本語テキスト"},
        {"第一行 \n\n\n\n第二行", "第一行\n第二行"},
        {"错误: 无法连接? 是的,好", "错误：无法连接？是的，好"},
        {"版本 3.11, time: 10:30", "版本 3.11, time: 10:30"},
        {"\n  缩进的行  \n", "缩进的行"},
        {"Error: file not found\n\f", "Error: file not found"},
        {"a\r\nb\rc", "a\nb\nc"},
        {"共 3 个", "共 3 个"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tidyRecognisedText(QString::fromUtf8(c.raw)), QString::fromUtf8(c.tidy)) << c.raw;
}

TEST(TextRecognition, ReadsRenderedChineseEnglishAndCode)
{
    const QString cjk = QStringLiteral("Noto Sans CJK SC");
    const QString mono = QStringLiteral("DejaVu Sans Mono");
    const struct {
        QString family;
        int size;
        qreal dpr;
        QStringList lines;
        bool dark;
        QString alsoRead = {}; // a confusion the engine makes at every enlargement
    } cases[] = {
        // At 12 pixels 桌 and 卓 differ in two pixels of their lower half; the benchmark shows
        // the engine reading 卓 whatever the enlargement.
        {cjk, 12, 1, {QStringLiteral("文件已保存到桌面")}, false,
            QStringLiteral("文件已保存到卓面")},
        {cjk, 16, 2, {QStringLiteral("打开 Settings 设置页面"), QStringLiteral("第二行文字")},
            false},
        {cjk, 14, 1, {QStringLiteral("深色主题下的文字")}, true},
        {mono, 12, 1, {QStringLiteral("git commit -m fix")}, false},
        {mono, 14, 2,
            {QStringLiteral("int main(int argc, char** argv)"), QStringLiteral("return 0;")},
            false},
    };
    for (const auto& c : cases) {
        const QImage image = c.dark ? renderText(c.lines, c.family, c.size, c.dpr,
                                 QColor(230, 230, 230), QColor(30, 30, 34))
                                    : renderText(c.lines, c.family, c.size, c.dpr);
        const OcrResult r = sharedEngine().recognise(image);
        EXPECT_EQ(r.status, OcrResult::Status::text) << c.lines.join(u'|').toStdString();
        if (c.alsoRead.isEmpty() || r.text != c.alsoRead) {
            EXPECT_EQ(r.text, c.lines.join(u'\n'))
                << c.family.toStdString() << " " << c.size << " px at " << c.dpr;
        }
    }
    // No text: a blank sheet, and noise the engine would otherwise read garbage in.
    QImage blank = test::filled(QSize(300, 200), Qt::white);
    EXPECT_EQ(sharedEngine().recognise(blank).status, OcrResult::Status::empty);
    QImage noise(640, 480, QImage::Format_RGB32);
    QRandomGenerator rng(3);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, rng.generate() | 0xFF000000u);
    }
    EXPECT_EQ(sharedEngine().recognise(noise).status, OcrResult::Status::empty);
}

TEST(TextRecognition, TallImagesAreCutBetweenLines)
{
    // Bars standing for lines of text, 14 rows of ink and 9 of paper, over 30000 rows; the
    // paper is most of the picture, as it is around text.
    QImage grey(800, 30000, QImage::Format_Grayscale8);
    grey.fill(255);
    for (int y = 0; y < grey.height(); ++y) {
        if (y % 23 < 14)
            std::memset(grey.scanLine(y) + 40, 0, 300);
    }
    for (const qreal factor : {1.0, 3.0}) {
        const QList<int> starts = OcrImage::bandStarts(grey, factor);
        ASSERT_GE(starts.size(), 3);
        EXPECT_EQ(starts.front(), 0);
        EXPECT_EQ(starts.back(), grey.height());
        for (qsizetype i = 1; i < starts.size(); ++i) {
            const int rows = starts[i] - starts[i - 1];
            EXPECT_GT(rows, 0);
            EXPECT_LE(qint64(rows) * grey.width() * factor * factor, OcrImage::stripPixels + 1);
            if (i + 1 < starts.size()) {
                EXPECT_EQ(grey.pixelColor(100, starts[i]).red(), 255) << "cut through a line";
            }
        }
    }
}

TEST(TextRecognition, WorkerRunsOneJobAtATimeAndCancels)
{
    OcrWorker worker;
    std::optional<OcrResult> result;
    QObject::connect(&worker, &OcrWorker::finished, [&](const OcrResult& r) { result = r; });

    // A page of text that takes the engine seconds: cancelled well before it is read.
    QStringList page;
    for (int i = 0; i < 60; ++i)
        page << QStringLiteral("第 %1 行：这是一段用来测试取消的文字 cancel me").arg(i);
    ASSERT_TRUE(worker.start(renderText(page, QStringLiteral("Noto Sans CJK SC"), 14, 1)));
    EXPECT_TRUE(worker.busy());
    EXPECT_FALSE(worker.start(QImage(10, 10, QImage::Format_RGB32))) << "a second job waits";
    QTimer::singleShot(300, &worker, [&] { worker.cancel(); });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }, 30000));
    EXPECT_EQ(result->status, OcrResult::Status::cancelled);
    EXPECT_FALSE(worker.busy());

    // The engine reads again after a cancel.
    result.reset();
    ASSERT_TRUE(worker.start(
        renderText({QStringLiteral("取消之后")}, QStringLiteral("Noto Sans CJK SC"), 16, 1)));
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }, 30000));
    EXPECT_EQ(result->text, QStringLiteral("取消之后"));

    worker.setIdleRelease(1);
    EXPECT_TRUE(test::waitUntil([&] { return !worker.holdsEngine(); }));
}

TEST(TextRecognition, TextGoesToTheClipboardAndCanBePinned)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    const QImage image
        = renderText({QStringLiteral("复制这段文字")}, QStringLiteral("Noto Sans CJK SC"), 16, 1);
    ASSERT_TRUE(TextRecognition::start(image));
    EXPECT_FALSE(TextRecognition::start(image)) << "one at a time";
    ASSERT_NE(TextRecognition::notice(), nullptr);
    ASSERT_TRUE(test::waitUntil(
        [] { return TextRecognition::notice() && TextRecognition::notice()->isDone(); }, 30000));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("复制这段文字"));

    // The offered pin is a paper note that copies its words as text.
    const int pins = PinWindow::count();
    RecognitionNotice* notice = TextRecognition::notice();
    QTest::mouseClick(notice, Qt::LeftButton, {}, notice->pinButton().center().toPoint());
    ASSERT_EQ(PinWindow::count(), pins + 1);
    PinWindow* pin = PinWindow::all().last();
    EXPECT_EQ(pin->text(), QStringLiteral("复制这段文字"));
    QGuiApplication::clipboard()->clear();
    pin->copy();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    EXPECT_TRUE(copied->hasImage());
    EXPECT_EQ(copied->text(), QStringLiteral("复制这段文字"));
    PinWindow::destroyAll();

    // Esc on the notice cancels: the worker stops and the clipboard keeps what it had.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    QStringList page;
    for (int i = 0; i < 60; ++i)
        page << QStringLiteral("第 %1 行：按 Esc 取消这次识别").arg(i);
    ASSERT_TRUE(
        TextRecognition::start(renderText(page, QStringLiteral("Noto Sans CJK SC"), 14, 1)));
    ASSERT_NE(TextRecognition::notice(), nullptr);
    QTest::keyClick(TextRecognition::notice(), Qt::Key_Escape);
    ASSERT_TRUE(test::waitUntil([] { return !TextRecognition::busy(); }, 30000));
    EXPECT_EQ(TextRecognition::notice(), nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));

    // No text: the clipboard is left alone.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    QImage blank = test::filled(QSize(200, 100), Qt::white);
    ASSERT_TRUE(TextRecognition::start(blank));
    ASSERT_TRUE(test::waitUntil([] { return !TextRecognition::busy(); }, 30000));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

TEST(TextRecognition, MissingLanguageDataNamesThePackages)
{
    const QByteArray saved = qgetenv("TESSDATA_PREFIX");
    const bool wasSet = qEnvironmentVariableIsSet("TESSDATA_PREFIX");
    QTemporaryDir empty;
    qputenv("TESSDATA_PREFIX", empty.path().toUtf8());

    const std::optional<QString> missing = OcrEngine::missingData();
    ASSERT_TRUE(missing.has_value());
    EXPECT_TRUE(missing->contains(QLatin1String("tesseract-ocr-chi-sim")));
    EXPECT_EQ(TextRecognition::unavailable(), missing);
    OcrEngine engine;
    const OcrResult r = engine.recognise(QImage(40, 40, QImage::Format_RGB32));
    EXPECT_EQ(r.status, OcrResult::Status::noData);
    EXPECT_EQ(r.error, *missing);
    EXPECT_FALSE(TextRecognition::start(QImage(40, 40, QImage::Format_RGB32)));
    EXPECT_FALSE(TextRecognition::busy());

    // The toolbar's button and the pin menu's item are there, disabled, and say why.
    test::FakeAnnotationHost host(QSize(800, 600));
    host.annotator->showToolbar();
    ToolButton* button = nullptr;
    for (ToolButton* b : host.annotator->toolbar()->findChildren<ToolButton*>()) {
        if (b->toolTip() == *missing)
            button = b;
    }
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());
    QImage red = test::filled(QSize(40, 40), Qt::red);
    PinWindow* pin = PinWindow::pin(red, QRectF(0, 0, 40, 40));
    ASSERT_NE(pin, nullptr);
    std::unique_ptr<QMenu> menu(pin->view()->buildMenu());
    QAction* item = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text() == QStringLiteral("识别文字"))
            item = a;
    }
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isEnabled());
    EXPECT_EQ(item->toolTip(), *missing);
    menu.reset(); // before the pin that parents it
    PinWindow::destroyAll();

    if (wasSet)
        qputenv("TESSDATA_PREFIX", saved);
    else
        qunsetenv("TESSDATA_PREFIX");
    EXPECT_FALSE(OcrEngine::missingData().has_value());
}

} // namespace
} // namespace quillet
