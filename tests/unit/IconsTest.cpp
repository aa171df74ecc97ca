#include "ui/Icons.h"
#include "ui/SymbolFont.h"
#include "ui/SymbolPaths.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace quillet;

namespace {

// Every symbol the program asks for: status menu, toolbar, pin menu, toast, move cursor,
// settings window.
const char* const usedSymbols[] = {"scissors", "pin", "xmark.square", "gearshape", "info.circle",
    "power", "rectangle", "circle", "arrow.up.right", "scribble", "highlighter", "1.circle",
    "checkerboard.rectangle", "checkmark", "pencil.tip.crop.circle", "doc.on.doc",
    "square.and.arrow.down", "arrow.up.left.and.arrow.down.right", "xmark", "checkmark.circle.fill",
    "arrow.up.and.down.and.arrow.left.and.right", "gearshape.fill", "command", "folder.fill",
    "pin.fill", "info", "keyboard", "lock.shield", "checkmark.seal.fill",
    "exclamationmark.triangle.fill", "xmark.circle.fill", "viewfinder", "sun.max", "moon.fill",
    "paintbrush.pointed", "checkmark.circle", "folder", "square.on.square", "sparkles",
    "text.viewfinder"};

QImage blank(QSize size)
{
    QImage img(size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

// `name` drawn into `rect` of a transparent image of `size`, and whether it drew.
std::pair<QImage, bool> drawn(
    const QString& name, QSize size, QRectF rect, QColor ink = Qt::black, qreal weight = 1)
{
    QImage img = blank(size);
    QPainter p(&img);
    const bool ok = drawSymbol(p, name, rect, ink, weight);
    p.end();
    return {img, ok};
}

struct Coverage {
    int inside = 0;
    int outside = 0;
    int partial = 0; // anti-aliased edge pixels
};

Coverage coverage(const QImage& img, const QRect& rect)
{
    Coverage c;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const int a = qAlpha(img.pixel(x, y));
            if (a == 0)
                continue;
            (rect.contains(x, y) ? c.inside : c.outside) += 1;
            c.partial += a < 255 ? 1 : 0;
        }
    }
    return c;
}

// In an image enlarged from one half its size every aligned 2 x 2 block is one colour.
int mixedBlocks(const QImage& img)
{
    int mixed = 0;
    for (int y = 0; y + 1 < img.height(); y += 2) {
        for (int x = 0; x + 1 < img.width(); x += 2) {
            const QRgb p = img.pixel(x, y);
            mixed += (img.pixel(x + 1, y) != p || img.pixel(x, y + 1) != p
                         || img.pixel(x + 1, y + 1) != p)
                ? 1
                : 0;
        }
    }
    return mixed;
}

} // namespace

TEST(Icons, EveryUsedSymbolPaintsInsideItsRectOnly)
{
    const QRect rect(7, 9, 24, 24);
    const QColor ink(20, 90, 200);
    for (const char* name : usedSymbols) {
        const QString n = QString::fromLatin1(name);
        EXPECT_TRUE(hasSymbol(n)) << name;
        const auto [img, ok] = drawn(n, QSize(40, 42), rect, ink);
        EXPECT_TRUE(ok) << name;
        const Coverage c = coverage(img, rect);
        EXPECT_GT(c.inside, 20) << name << " paints almost nothing";
        EXPECT_EQ(c.outside, 0) << name << " paints outside its rect";
        EXPECT_GT(c.partial, 0) << name << " is not anti-aliased";
        // Monochrome: every solid pixel is exactly the colour asked for.
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                const QRgb px = img.pixel(x, y);
                if (qAlpha(px) == 255) {
                    ASSERT_EQ(QColor(px), ink) << name << " at " << x << "," << y;
                }
            }
        }
    }
}

// Set-up installs the symbol font; a missing or unreadable font would leave the settings window
// without its symbols.
TEST(Icons, MappedSymbolsComeFromTheInstalledFontOnTheGrid)
{
    ASSERT_FALSE(symbolFontFile().isEmpty()) << "the Material Icons font is not installed";
    const QRectF grid(0, 0, 24, 24);
    for (const QString& name : fontSymbolNames()) {
        const auto fromFont = fontSymbolPath(name);
        ASSERT_TRUE(fromFont.has_value()) << qPrintable(name);
        EXPECT_TRUE(grid.contains(fromFont->boundingRect())) << qPrintable(name);
        EXPECT_GT(fromFont->boundingRect().width(), 12) << qPrintable(name);
        EXPECT_EQ(symbolPath(name), fromFont) << qPrintable(name) << " is not taken from the font";
        EXPECT_TRUE(symbolNames().contains(name)) << qPrintable(name);
    }
}

TEST(Icons, NonSquareRectsCentreTheSymbolAndUnknownNamesPaintNothing)
{
    const auto [circle, ok] = drawn("circle", QSize(60, 20), QRectF(0, 0, 60, 20));
    ASSERT_TRUE(ok);
    EXPECT_EQ(coverage(circle, QRect(20, 0, 20, 20)).outside, 0);
    for (const char* name : {"", "T", "scissors.fill.bogus", "Scissors", "pin "}) {
        const QString n = QString::fromLatin1(name);
        const auto [img, drew] = drawn(n, QSize(30, 30), QRectF(0, 0, 30, 30));
        EXPECT_FALSE(drew) << name;
        EXPECT_EQ(coverage(img, QRect()).outside, 0) << name;
        EXPECT_FALSE(hasSymbol(n)) << name;
        EXPECT_TRUE(symbolIcon(n).isNull()) << name;
    }
}

TEST(Icons, IconRendersAtTheRequestedPixelRatio)
{
    const QIcon icon = symbolIcon(QStringLiteral("gearshape"), Qt::black);
    ASSERT_FALSE(icon.isNull());
    const QPixmap one = icon.pixmap(QSize(18, 18), 1.0);
    const QPixmap two = icon.pixmap(QSize(18, 18), 2.0);
    EXPECT_EQ(one.size(), QSize(18, 18));
    EXPECT_EQ(two.size(), QSize(36, 36));
    EXPECT_EQ(two.devicePixelRatio(), 2.0);

    const QImage sharp = two.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage enlarged = one.toImage().convertToFormat(QImage::Format_ARGB32).scaled(36, 36);
    EXPECT_EQ(mixedBlocks(enlarged), 0);
    EXPECT_GT(mixedBlocks(sharp), 40) << "the 2x pixmap is an enlarged 1x drawing";
    EXPECT_GT(coverage(sharp, QRect(0, 0, 36, 36)).partial, 0);
}

TEST(Icons, DisabledIsLighterAndSelectedFollowsTheHighlight)
{
    const QColor ink(40, 40, 40);
    const QIcon icon = symbolIcon(QStringLiteral("xmark"), ink);
    auto strongest = [](const QPixmap& pm) {
        const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
        int best = 0;
        QRgb colour = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (qAlpha(img.pixel(x, y)) > best) {
                    best = qAlpha(img.pixel(x, y));
                    colour = img.pixel(x, y);
                }
            }
        }
        return std::pair {best, colour};
    };
    const auto normal = strongest(icon.pixmap(QSize(24, 24), 1.0, QIcon::Normal));
    const auto disabled = strongest(icon.pixmap(QSize(24, 24), 1.0, QIcon::Disabled));
    const auto selected = strongest(icon.pixmap(QSize(24, 24), 1.0, QIcon::Selected));
    EXPECT_EQ(normal.first, 255);
    EXPECT_EQ(QColor(normal.second).rgb(), ink.rgb());
    EXPECT_LT(disabled.first, 128);
    EXPECT_GT(disabled.first, 0);
    EXPECT_EQ(QColor(selected.second).rgb(),
        QGuiApplication::palette().color(QPalette::HighlightedText).rgb());
}

TEST(Icons, BolderWeightPaintsMore)
{
    auto inked = [](qreal weight) {
        const QImage img
            = drawn("checkmark", QSize(48, 48), QRectF(0, 0, 48, 48), Qt::black, weight).first;
        return coverage(img, QRect(0, 0, 48, 48)).inside;
    };
    EXPECT_GT(inked(1.4), inked(1.0));
}
