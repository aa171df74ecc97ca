#include "PinJourney.h"

#include <QFile>

namespace quillet::e2e {
namespace {

class ClipboardTextBecomesAPaperNote : public PinJourney {
protected:
    static bool isPaper(QRgb c)
    {
        // sRGB (1.0, 0.99, 0.94)
        return std::abs(qRed(c) - 0xff) <= 1 && std::abs(qGreen(c) - 0xfc) <= 1
            && std::abs(qBlue(c) - 0xf0) <= 1;
    }
    static bool isInk(QRgb c) { return std::max({qRed(c), qGreen(c), qBlue(c)}) < 110; }

    // Pins `text` from the clipboard, checks what the note looks like, closes it, and returns
    // the note's window geometry (empty on failure).
    QRect pinAndLook(const QString& text)
    {
        if (!putClipboardText(text)) {
            ADD_FAILURE() << "xclip did not take the clipboard";
            return {};
        }
        const ToolResult r = quillet({"pin"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        bool shown = false;
        // Settled once the spring has ended: the window sits centred on the pointer.
        const std::optional<ShownPin> pin = waitForPinWindow(
            [&](const QRect& g) {
                const QPointF c = QRectF(g).center();
                return std::abs(c.x() - 640) <= 0.5 && std::abs(c.y() - 400) <= 0.5
                    && g.width() >= 32 && g.height() >= 28;
            },
            &shown);
        if (!shown) {
            ADD_FAILURE() << "no settled note: " << describe(pin ? pin->geometry : QRect());
            return {};
        }
        const QRect g = pin->geometry;
        // Paper all along the 16-point margin on the left, ink somewhere in the middle.
        const QRect margin(g.left() + 3, g.top() + 3, 12, g.height() - 6);
        const QRect body = g.adjusted(16, 14, -16, -14);
        int paper = 0, ink = 0, notPaper = 0;
        QPoint firstNotPaper;
        EXPECT_TRUE(waitFor([&] {
            const QImage shot = grabScreen();
            paper = ink = notPaper = 0;
            for (int y = margin.top(); y <= margin.bottom(); ++y) {
                for (int x = margin.left(); x <= margin.right(); ++x) {
                    if (!isPaper(shot.pixel(x, y)) && !notPaper++)
                        firstNotPaper = {x, y};
                }
            }
            for (int y = body.top(); y <= body.bottom(); ++y) {
                for (int x = body.left(); x <= body.right(); ++x) {
                    paper += isPaper(shot.pixel(x, y));
                    ink += isInk(shot.pixel(x, y));
                }
            }
            return notPaper == 0 && ink > 0 && paper > ink;
        })) << notPaper
            << " margin pixels are not paper, first at " << firstNotPaper.x() << ","
            << firstNotPaper.y() << "; paper " << paper << ", ink " << ink;

        EXPECT_TRUE(waitForActive(pin->id));
        EXPECT_TRUE(key("Escape"));
        EXPECT_TRUE(waitForPins(0));
        EXPECT_TRUE(waitForNoPinWindow());
        return g;
    }
};

TEST_F(ClipboardTextBecomesAPaperNote, LinesWrapAtTheNoteWidthAndBreaksMakeItTaller)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    ASSERT_TRUE(mouseMove({640, 400}));

    const QRect word = pinAndLook(QStringLiteral("墨钉 note"));
    ASSERT_FALSE(word.isEmpty());
    EXPECT_LT(word.width(), 300);

    QString sentence;
    for (int i = 0; i < 60; ++i)
        sentence += QStringLiteral("pinned words run on ");
    const QRect wide = pinAndLook(sentence);
    ASSERT_FALSE(wide.isEmpty());
    EXPECT_LE(wide.width(), 632);
    EXPECT_GE(wide.width(), 500);
    EXPECT_GE(wide.height(), 2 * word.height());

    const QRect lines = pinAndLook(QStringLiteral("墨钉 note\nsecond\nthird"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.width(), word.width());
    EXPECT_GE(lines.height() - 28, 3 * (word.height() - 28) - 3);
}

TEST_F(ClipboardTextBecomesAPaperNote, NothingUsableOnTheClipboardPinsNothing)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

    // A new server: nobody owns the clipboard.
    ToolResult r = quillet({"pin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines().size(), 1) << r.err.toStdString();
    EXPECT_EQ(pins(), 0);

    // Something that is neither an image nor text.
    const QString blob = scratch("data.bin");
    QFile f(blob);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(64, '\x01'));
    f.close();
    ASSERT_TRUE(putClipboardFile(blob, "application/x-quillet-test"));
    r = quillet({"pin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines().size(), 1) << r.err.toStdString();
    EXPECT_EQ(pins(), 0);
    EXPECT_TRUE(shownPins().isEmpty());

    // Still there, and a text pinned afterwards works.
    ASSERT_TRUE(putClipboardText(" "));
    r = quillet({"pin"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(pins(), 1);
}

} // namespace
} // namespace quillet::e2e
