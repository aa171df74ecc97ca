#include "CaptureFixtures.h"

#include "output/PinWindow.h"
#include "platform/Geometry.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
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

void expectSamePixels(const QImage& got, const QImage& want)
{
    ASSERT_EQ(got.size(), want.size());
    const QImage a = got.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != want.pixel(x, y)) {
                FAIL() << "first difference at " << x << "," << y;
                return;
            }
        }
    }
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

TEST(CaptureViewFinishing, ReturnCopiesExactlyThePixelsAndEnds)
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
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        ASSERT_TRUE(mime);
        ASSERT_TRUE(mime->hasFormat(QStringLiteral("image/png")));
        const QImage png = QImage::fromData(mime->data(QStringLiteral("image/png")), "PNG");
        expectSamePixels(png, want);
        EXPECT_TRUE(v.image().isNull()) << "the frozen frame goes back to the grabber at once";
    }
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

TEST(CaptureViewFinishing, DoubleClickInsideCopies)
{
    auto f = oneScreen();
    CaptureView& v = f.view();
    dragSelect(v, {100, 100}, {200, 180});
    const QImage want = expectedPixels(v, QRectF(100, 100, 100, 80));
    v.mouseDownAt({150, 150}, 2);
    EXPECT_FALSE(f.session->isEditing());
    const QImage png = QImage::fromData(
        QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")), "PNG");
    expectSamePixels(png, want);
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
