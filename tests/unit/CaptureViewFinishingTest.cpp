#include "CaptureFixtures.h"
#include "Pixels.h"

#include "capture/annotation/AnnotationDrawing.h"
#include "output/PinWindow.h"
#include "platform/Geometry.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cmath>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

namespace {

// The frozen pixels under a region given in view points (y up).
QImage expectedPixels(const CaptureView& v, const QRectF& r)
{
    const qreal s = v.scale();
    const QRect px(int(r.x() * s), int((v.bounds().height() - maxY(r)) * s), int(r.width() * s),
        int(r.height() * s));
    return v.image().copy(px).convertToFormat(QImage::Format_RGB32);
}

// Every pixel as expected, whatever the two formats.
void expectSamePixels(const QImage& got, const QImage& want)
{
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(worstChannel(got, want), 0) << "differing in " << difference(got, want);
}

// The PNG on the clipboard; null when there is none.
QImage clipboardPng()
{
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    return mime ? QImage::fromData(mime->data(QStringLiteral("image/png")), "PNG") : QImage();
}

} // namespace

TEST(CaptureViewFinishing, RenderKeepsEveryDevicePixel)
{
    struct Case {
        const char* name;
        qreal scale;
        QRectF selection;
        QSize pixels;
        QSizeF points;
    };
    const QList<Case> cases = {
        {"400 x 300 at 2x", 2.0, {100, 50, 400, 300}, {800, 600}, {400, 300}},
        {"400 x 300 at 1x", 1.0, {100, 50, 400, 300}, {400, 300}, {400, 300}},
        {"the whole screen at 2x", 2.0, {0, 0, 800, 600}, {1600, 1200}, {800, 600}},
        {"a corner at 1x", 1.0, {700, 500, 100, 100}, {100, 100}, {100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = oneScreen(c.scale);
        CaptureView& v = f.view();
        v.beginEditing(c.selection, {});
        const auto image = v.render(true);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), c.pixels);
        EXPECT_EQ(image->deviceIndependentSize(), c.points);
        expectSamePixels(*image, expectedPixels(v, c.selection));
    }
}

TEST(CaptureViewFinishing, FractionalSelectionsExportTheirIntegralRectangle)
{
    for (qreal scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        auto f = oneScreen(scale);
        CaptureView& v = f.view();
        // Still being dragged out, so the selection keeps its fractions.
        v.mouseMovedAt({10.4, 10.4});
        v.mouseDownAt({10.4, 10.4});
        v.mouseDraggedAt({109.6, 109.6});
        ASSERT_EQ(v.selection(), QRectF(10.4, 10.4, 99.2, 99.2));
        const auto image = v.render(false);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), QSize(100, 100) * scale);
        expectSamePixels(*image, expectedPixels(v, QRectF(10, 10, 100, 100)));
    }
}

TEST(CaptureViewFinishing, NothingToRenderWithoutAPixel)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    v.mouseMovedAt({10, 10});
    v.mouseDownAt({10, 10});
    EXPECT_FALSE(v.render(true)) << "a press without a drag selects nothing yet";
}

TEST(CaptureViewFinishing, ReturnOrADoubleClickCopiesExactlyThePixelsAndEnds)
{
    for (qreal scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        auto f = oneScreen(scale);
        CaptureView& v = f.view();
        const QRectF region(30, 40, 123, 77);
        v.beginEditing(region, {});
        const QImage want = expectedPixels(v, region);
        QGuiApplication::clipboard()->clear();
        EXPECT_TRUE(v.keyDown(Qt::Key_Return, Qt::NoModifier));
        EXPECT_FALSE(f.session->isEditing());
        expectSamePixels(clipboardPng(), want);
        EXPECT_TRUE(v.image().isNull()) << "the frozen frame goes back to the grabber at once";
    }
    // So does a double click inside the selection.
    auto f = oneScreen();
    CaptureView& v = f.view();
    dragSelect(v, {100, 100}, {200, 180});
    const QImage want = expectedPixels(v, QRectF(100, 100, 100, 80));
    QGuiApplication::clipboard()->clear();
    v.mouseDownAt({150, 150}, 2);
    EXPECT_FALSE(f.session->isEditing());
    expectSamePixels(clipboardPng(), want);
}

TEST(CaptureViewFinishing, EveryCopyTriggerNeedsASelection)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    v.keyDown(Qt::Key_Return, Qt::NoModifier);
    v.copy();
    v.saveImage();
    v.pinAndFinish();
    EXPECT_TRUE(f.session->isEditing()) << "nothing selected: nothing happens";
}

TEST(CaptureViewFinishing, SaveAndPinCloseTheOverlayFirst)
{
    for (const char* path : {"save", "pin", "copy"}) {
        SCOPED_TRACE(path);
        auto f = oneScreen();
        CaptureView& v = f.view();
        v.beginEditing(QRectF(10, 10, 50, 50), {});
        if (QByteArray(path) == "save")
            v.saveImage();
        else if (QByteArray(path) == "pin")
            f.session->pinSelectionIfAny();
        else
            v.copy();
        EXPECT_FALSE(f.session->isEditing());
        EXPECT_EQ(*f.ends, 1);
    }
    PinWindow::closeAll(); // the pin made here is no other test's business
}

// A mosaic hides what it covers in the export: every pixel it touches, fractional edges included,
// has the colour of one block of the pixellated screen, and none keeps the frozen pixel beneath
// unless that is the block's average.
// Where the export's pixels line up with the screen's, each pixel is exactly its block's average.
TEST(CaptureViewFinishing, MosaicLeavesOnlyBlockAveragesInTheExport)
{
    struct Case {
        const char* name;
        qreal scale;
        QRectF selection;
        QRectF mosaic; // view points
        int style; // block size
        bool aligned;
    };
    const QList<Case> cases = {
        {"whole points at 1x", 1.0, {100, 80, 400, 300}, {140, 120, 200, 150}, 0, true},
        {"fractional edges at 2x", 2.0, {100, 80, 400, 300}, {133.3, 141.7, 171.6, 96.9}, 0, true},
        {"large blocks at 2x", 2.0, {100, 80, 400, 300}, {133.3, 141.7, 171.6, 96.9}, 2, true},
        {"1.5x, export off the screen's pixel grid", 1.5, {101, 81, 400, 300},
            {133.3, 141.7, 171.6, 96.9}, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = oneScreen(c.scale);
        CaptureView& v = f.view();
        v.beginEditing(c.selection,
            {Annotation {Tool::mosaic, palette()[0], 4,
                {c.mosaic.bottomLeft(), c.mosaic.topRight()}, {}, c.style}});
        const auto out = v.render(true);
        ASSERT_TRUE(out);
        const QImage got = out->convertToFormat(QImage::Format_RGB32);
        const QImage blocks = makePixelated(v.image(), c.scale, mosaicBlock(c.style))
                                  .convertToFormat(QImage::Format_RGB32);
        const QImage frozen = v.image().convertToFormat(QImage::Format_RGB32);
        const qreal s = c.scale, h = v.bounds().height();
        const QRectF sel = integralRect(c.selection);
        // Export pixels the mosaic touches at all: its rectangle in export pixels, grown outward.
        const QRect touched = QRectF((minX(c.mosaic) - minX(sel)) * s,
            (maxY(sel) - maxY(c.mosaic)) * s, c.mosaic.width() * s, c.mosaic.height() * s)
                                  .toAlignedRect();
        int checked = 0;
        for (int y = touched.top(); y <= touched.bottom(); ++y) {
            for (int x = touched.left(); x <= touched.right(); ++x) {
                // The screen pixel under this export pixel's centre.
                const int sx = int(std::floor(minX(sel) * s + x + 0.5));
                const int sy = int(std::floor((h - maxY(sel)) * s + y + 0.5));
                const QRgb px = got.pixel(x, y);
                // The original survives only where it is its block's average (a block's middle
                // pixel over an even ramp).
                if (px == frozen.pixel(sx, sy)) {
                    ASSERT_EQ(px, blocks.pixel(sx, sy)) << x << "," << y;
                }
                bool fromABlock = false;
                for (int dy = -1; dy <= 1 && !fromABlock; ++dy)
                    for (int dx = -1; dx <= 1 && !fromABlock; ++dx)
                        fromABlock = blocks.pixel(sx + dx, sy + dy) == px;
                ASSERT_TRUE(fromABlock) << x << "," << y;
                if (c.aligned) {
                    ASSERT_EQ(px, blocks.pixel(sx, sy)) << x << "," << y;
                }
                ++checked;
            }
        }
        EXPECT_GT(checked, 100 * s * s);
        // Outside the mosaic the picture is untouched.
        if (c.aligned) {
            EXPECT_EQ(got.pixel(touched.left() - 2, touched.top() - 2),
                frozen.pixel(int(minX(sel) * s + touched.left() - 2 + 0.5),
                    int((h - maxY(sel)) * s + touched.top() - 2 + 0.5)));
        }
    }
}
