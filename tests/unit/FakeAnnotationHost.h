#pragma once

// An overlay stand-in for the annotation tests: a widget over a made-up frozen screen that hosts
// an Annotator and forwards presses, drags and releases the way the capture view's dispatch does.

#include "capture/annotation/Annotator.h"
#include "platform/Geometry.h"
#include "settings/Prefs.h"

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace quillet::test {

// The style bar writes four preferences; each test starts from their registered defaults.
inline void resetStylePrefs()
{
    auto s = Prefs::store();
    for (const char* k : {Prefs::defaultColorKey, Prefs::defaultWidthKey, Prefs::textStyleKey,
             Prefs::fontSizeKey, Prefs::mosaicSizeKey})
        s->remove(QLatin1String(k));
    s->sync();
}

class FakeAnnotationHost final : public QWidget, public AnnotationHost {
public:
    // A screen of `size` points at `scale`, filled with a pattern that makes every block differ.
    explicit FakeAnnotationHost(QSize size = QSize(800, 600), qreal scale = 1)
        : scale(scale)
    {
        resize(size);
        image = QImage(size * scale, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = qRgb((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255);
        }
        image.setDevicePixelRatio(scale);
        selection = QRectF(100, 100, 400, 300);
        annotator = std::make_unique<Annotator>(*this);
    }

    QImage image;
    qreal scale = 1;
    QRectF selection;
    bool selected = true;
    std::optional<QPointF> mouse;
    DragMode mode;
    QPointF dragStart;
    int redraws = 0;
    int keyboardTaken = 0;
    int pinned = 0;
    int finished = 0;
    int longCaptures = 0;
    QString longCaptureUnavailable; // empty: offered
    int recognised = 0;
    int viewPresses = 0; // presses that reached the overlay itself
    int viewKeys = 0; // keys that reached the overlay itself
    std::unique_ptr<Annotator> annotator;

    QWidget* hostWidget() override { return this; }
    QRectF hostBounds() const override { return QRectF(0, 0, width(), height()); }
    QRectF hostSelection() const override { return selection; }
    bool hostSelected() const override { return selected; }
    qreal hostScale() const override { return scale; }
    const QImage& hostImage() const override { return image; }
    std::optional<QPointF> hostMouse() const override { return mouse; }
    DragMode& hostDragMode() override { return mode; }
    QPointF hostDragStart() const override { return dragStart; }
    void hostRedraw() override
    {
        ++redraws;
        update();
    }
    void hostUpdateCursor(QPointF) override { }
    void hostTakeKeyboard() override { ++keyboardTaken; }
    void hostPinSelection() override { ++pinned; }
    void hostCopyAndFinish() override { ++finished; }
    QString hostLongCaptureUnavailable() const override { return longCaptureUnavailable; }
    void hostLongCapture() override { ++longCaptures; }
    void hostRecogniseText() override { ++recognised; }

    // The press dispatch of the overlay, from the step that hands over to text editing on.
    void press(QPointF p)
    {
        dragStart = p;
        mouse = p;
        if (annotator->pressOnEditedText(p))
            return;
        annotator->commitText();
        if (annotator->pressOnText(p))
            return;
        annotator->clearActive();
        annotator->beginAnnotation(p);
    }
    void dragTo(QPointF p)
    {
        mouse = p;
        annotator->drag(p);
    }
    void release()
    {
        annotator->release();
        mode = DragMode();
        annotator->updateSubbar(false);
        annotator->refreshToolbar();
    }
    void click(QPointF p)
    {
        press(p);
        release();
    }
    void dragLine(QPointF from, QPointF to)
    {
        press(from);
        dragTo((from + to) / 2);
        dragTo(to);
        release();
    }

    // Paints what the overlay would: the frozen image, the annotations inside the selection, the
    // text chrome and the brush ring.
    void paintOverlay(QPainter& p)
    {
        p.drawImage(QRectF(rect()), image);
        flipPainter(p, height());
        annotator->drawAnnotationPass(p, selection);
        annotator->drawTextChrome(p);
        annotator->drawBrushRing(p);
    }

protected:
    void mousePressEvent(QMouseEvent*) override { ++viewPresses; }
    void keyPressEvent(QKeyEvent*) override { ++viewKeys; }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        paintOverlay(p);
    }
};

// A transparent-free canvas in view points (y up) for drawing annotations and reading pixels.
struct Canvas {
    QImage image;
    QRectF bounds;

    Canvas(QSize size, QColor fill, qreal scale = 1)
        : image(size * scale, QImage::Format_ARGB32_Premultiplied)
        , bounds(0, 0, size.width(), size.height())
    {
        image.setDevicePixelRatio(scale);
        image.fill(fill);
    }
    // The colour at a view point (y up).
    QColor at(QPointF v) const
    {
        const qreal s = image.devicePixelRatio();
        return image.pixelColor(int(v.x() * s), int((bounds.height() - v.y()) * s));
    }
    template<typename F> void paint(F&& f)
    {
        QPainter p(&image);
        flipPainter(p, bounds.height());
        f(p);
    }
};

// Style preferences at their registered defaults and a fresh host for every test.
class AnnotatorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetStylePrefs();
        host = std::make_unique<FakeAnnotationHost>();
    }
    Annotator& an() { return *host->annotator; }
    std::unique_ptr<FakeAnnotationHost> host;
};

} // namespace quillet::test
