#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

const QString words = QStringLiteral("识别文字测试 Hello 2026");

// Text recognition as a user reaches it: a region of the screen, a pin's menu, a script.
class TextRecognitionJourney : public CaptureJourney {
protected:
    // A picture of `words` made by another program than the one under test.
    QString textPicture()
    {
        const QString path = scratch(QStringLiteral("words.png"));
        const ToolResult made = runTool(QStringLiteral("convert"),
            {"-size", "560x90", "xc:white", "-font", "Noto-Sans-CJK-SC", "-pointsize", "32",
                "-fill", "black", "-annotate", "+20+58", words, path});
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return path;
    }

    QString clipboardText() { return QString::fromUtf8(clipboardAs("UTF8_STRING")); }

    bool waitClipboardText(const QString& want)
    {
        return waitFor([&] { return clipboardText() == want; }, 15000);
    }
};

TEST_F(TextRecognitionJourney, ASelectionsTextGoesToTheClipboard)
{
    // The picture on screen at (100, 200), shown by ImageMagick; no window manager moves it.
    // Its window is mapped blank before the picture is drawn, so wait for the words themselves.
    const QString picture = textPicture();
    const auto inked = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += qGray(image.pixel(x, y)) < 128;
        return n;
    };
    const QImage shown(picture);
    startBackground(QStringLiteral("display"), {"-geometry", "+100+200", picture});
    ASSERT_TRUE(waitFor([&] {
        const QImage shot = screenShot();
        return !shot.isNull() && shot.pixel(110, 210) == qRgb(255, 255, 255)
            && inked(shot.copy(100, 200, shown.width(), shown.height())) >= inked(shown) * 9 / 10;
    }));
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(putClipboardText(QStringLiteral("before")));
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(drag({104, 204}, {656, 286}));
    ASSERT_TRUE(key(QStringLiteral("o")));
    // The capture closes at once, before the text is read.
    ASSERT_TRUE(waitSessionGone());
    EXPECT_TRUE(waitClipboardText(words)) << clipboardText().toStdString();
    // The program keeps working while it reads: a new capture opens and cancels.
    ASSERT_TRUE(openCapture());
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitSessionGone());
}

TEST_F(TextRecognitionJourney, APinsMenuReadsItsText)
{
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(mouseMove({640, 400}));
    ASSERT_EQ(quillet({"pin", textPicture()}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return pins() == 1; }));
    ASSERT_TRUE(mouseMove({600, 390}));
    ASSERT_TRUE(click(3));
    ASSERT_TRUE(waitFor([&] { return visibleWindows({"--class", "quillet"}).size() > 1; }));
    // 编辑标注, 复制, 识别文字.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(key(QStringLiteral("Down")));
    ASSERT_TRUE(key(QStringLiteral("Return")));
    EXPECT_TRUE(waitClipboardText(words)) << clipboardText().toStdString();
    EXPECT_EQ(pins(), 1);
}

TEST_F(TextRecognitionJourney, TheCommandLinePrintsTheTextOrSaysWhyNot)
{
    const ToolResult r = quillet({"ocr", textPicture()}, 30000);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), words + QLatin1Char('\n'));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

    const QString blank = scratch(QStringLiteral("blank.png"));
    ASSERT_EQ(runTool("convert", {"-size", "300x200", "xc:white", blank}).exitCode, 0);
    const QString notes = writeScratch("notes.txt", "no picture\n");
    // The same one-line refusals as pinning a file, and one for a picture without text.
    for (const QString& file : {QString("/nonexistent/picture.png"), notes, blank}) {
        const ToolResult bad = quillet({"ocr", file}, 30000);
        EXPECT_EQ(bad.exitCode, 1) << file.toStdString();
        EXPECT_EQ(bad.errLines().size(), 1) << bad.err.toStdString();
        EXPECT_TRUE(bad.out.isEmpty());
        if (file != blank) {
            EXPECT_EQ(bad.err, quillet({"pin", file}).err) << file.toStdString();
        }
    }
    // Nothing was started for any of it.
    EXPECT_EQ(quillet({"status"}).exitCode, 3);
}

} // namespace
} // namespace quillet::e2e
