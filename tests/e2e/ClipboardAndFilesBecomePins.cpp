#include "E2eEnv.h"

#include <QImage>

namespace quillet::e2e {
namespace {

class ClipboardAndFilesBecomePins : public E2eEnv {
protected:
    EnvOptions options() const override
    {
        EnvOptions o;
        o.windowManager = true;
        return o;
    }

    QString solidPng(const QString& name, QSize size, QRgb colour)
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(colour);
        const QString path = scratch(name);
        EXPECT_TRUE(img.save(path));
        return path;
    }

    // The screen's pixel at `p`, read back through ImageMagick's root-window grab.
    std::optional<QRgb> screenPixel(QPoint p)
    {
        const ToolResult r = runTool("import", {"-window", "root", "png:-"}, 10000);
        QImage shot;
        if (r.exitCode != 0 || !shot.loadFromData(r.out, "PNG") || !shot.rect().contains(p))
            return std::nullopt;
        return shot.pixel(p) & 0xffffff;
    }

    int pins() { return quilletStatus().value("pins", "-1").toInt(); }
};

TEST_F(ClipboardAndFilesBecomePins, FileClipboardImageAndTextEachMakeAPin)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(mouseMove({640, 400}));

    const QRgb blue = qRgb(0x33, 0x66, 0xcc);
    const ToolResult file = quillet({"pin", solidPng("blue.png", {200, 120}, blue)});
    ASSERT_EQ(file.exitCode, 0) << file.err.toStdString();
    EXPECT_EQ(pins(), 1);
    // The file's pixels, centred on the pointer.
    EXPECT_TRUE(waitFor([&] {
        return screenPixel({640, 400}) == (blue & 0xffffff);
    })) << std::hex
        << screenPixel({640, 400}).value_or(0);

    ASSERT_TRUE(mouseMove({300, 200}));
    const QRgb green = qRgb(0x22, 0xaa, 0x44);
    ASSERT_TRUE(putClipboardFile(solidPng("green.png", {80, 60}, green), "image/png"));
    const ToolResult image = quillet({"pin"});
    ASSERT_EQ(image.exitCode, 0) << image.err.toStdString();
    EXPECT_EQ(pins(), 2);
    EXPECT_TRUE(waitFor([&] { return screenPixel({300, 200}) == (green & 0xffffff); }));

    ASSERT_TRUE(putClipboardText("墨钉 text pin"));
    const ToolResult text = quillet({"pin"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(pins(), 3);
}

TEST_F(ClipboardAndFilesBecomePins, ControlWClosesThePinUnderTheUser)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(mouseMove({640, 400}));
    ASSERT_EQ(quillet({"pin", solidPng("red.png", {160, 100}, qRgb(200, 30, 30))}).exitCode, 0);
    ASSERT_EQ(pins(), 1);
    ASSERT_TRUE(waitFor([&] { return screenPixel({640, 400}) == (qRgb(200, 30, 30) & 0xffffff); }));
    ASSERT_TRUE(click(1));
    ASSERT_TRUE(key("ctrl+w"));
    EXPECT_TRUE(waitFor([&] { return pins() == 0; }));
}

TEST_F(ClipboardAndFilesBecomePins, ControlCOnAPinCopiesItsExactPixels)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(mouseMove({500, 300}));
    QImage img(90, 70, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x * 2, y * 3, (x + y) & 255));
    }
    const QString file = scratch("gradient.png");
    ASSERT_TRUE(img.save(file));
    ASSERT_EQ(quillet({"pin", file}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return screenPixel({500, 300}).has_value(); }));
    ASSERT_TRUE(click(1));
    ASSERT_TRUE(key("ctrl+c"));
    QImage copied;
    ASSERT_TRUE(waitFor([&] { return copied.loadFromData(clipboardPng(), "PNG"); }));
    ASSERT_EQ(copied.size(), img.size());
    int wrong = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if ((copied.pixel(x, y) & 0xffffff) != (img.pixel(x, y) & 0xffffff)) {
                if (!wrong++)
                    first = {x, y};
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "first at " << first.x() << "," << first.y() << std::hex << " got "
                        << copied.pixel(first) << " want " << img.pixel(first);
}

TEST_F(ClipboardAndFilesBecomePins, PinHotKeysPinTheClipboardWhileAnotherProgramIsInFront)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(putClipboardText("hot key"));
    ASSERT_TRUE(key("F3"));
    EXPECT_TRUE(waitFor([&] { return pins() == 1; }));
    // Twice the same content: two independent pins.
    ASSERT_TRUE(key("ctrl+shift+p"));
    EXPECT_TRUE(waitFor([&] { return pins() == 2; }));
    // Caps Lock on does not stop the shortcut.
    ASSERT_TRUE(key("Caps_Lock"));
    ASSERT_TRUE(key("F3"));
    EXPECT_TRUE(waitFor([&] { return pins() == 3; }));
    ASSERT_TRUE(key("Caps_Lock"));
}

// A note taller than most of the screen, pinned with the pointer near each edge, opens whole on
// the screen (Qt's coordinates, y down, on the 1280×800 screen).
TEST_F(ClipboardAndFilesBecomePins, TallTextPinNearAnEdgeOpensOnTheScreen)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    QStringList lines;
    for (int i = 0; i < 60; ++i)
        lines << QStringLiteral("第 %1 行").arg(i + 1);
    ASSERT_TRUE(putClipboardText(lines.join('\n')));
    const QPoint pointers[] = {{100, 600}, {1200, 700}, {640, 5}, {5, 400}, {1275, 795}};
    int pinned = 0;
    for (const QPoint p : pointers) {
        SCOPED_TRACE(testing::Message() << p.x() << "," << p.y());
        ASSERT_TRUE(mouseMove(p));
        ASSERT_EQ(quillet({"pin"}).exitCode, 0);
        ++pinned;
        const auto status = quilletStatus();
        QStringList frame;
        const QString text = QString::fromUtf8(quillet({"status"}).out);
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            if (line.startsWith("pin: "))
                frame = line.mid(5).split(' ');
        }
        ASSERT_EQ(frame.size(), 6);
        const double x = frame[0].toDouble(), y = frame[1].toDouble();
        const double w = frame[2].toDouble(), h = frame[3].toDouble();
        EXPECT_GT(h, 400);
        EXPECT_GE(x, 0);
        EXPECT_GE(y, 0);
        EXPECT_LE(x + w, 1280.001);
        EXPECT_LE(y + h, 800.001);
        EXPECT_EQ(status.value("pins").toInt(), pinned);
    }
}

} // namespace
} // namespace quillet::e2e
