// A pin sent back into an annotation session: where its content and annotations land, when the
// request is refused, and what becomes of the pin on every way the session can end.
#include "app/PinEditing.h"
#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "capture/Grabber.h"
#include "capture/annotation/AnnotationDrawing.h"
#include "output/PinView.h"
#include "platform/Geometry.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>
#include <gtest/gtest.h>

#include "DelegateFixture.h"
#include "Pixels.h"

using namespace quillet;
using namespace quillet::test;

namespace {

Annotation shape(
    Tool tool, QList<QPointF> points, double width = 4, QString text = {}, int style = 0)
{
    return Annotation {tool, palette()[0], width, std::move(points), std::move(text), style};
}

TEST(PinEditingMapping, PointsMoveOntoTheSelectionAndWidthsScale)
{
    const QRectF selection(100, 50, 400, 200);
    struct Case {
        const char* name;
        qreal k;
        Annotation in;
        QList<QPointF> points;
        double width;
    };
    const QList<Case> cases = {
        {"200 % rectangle", 2, shape(Tool::rect, {{10, 10}, {50, 30}}), {{120, 70}, {200, 110}}, 8},
        {"200 % text: font 20 becomes 40", 2, shape(Tool::text, {{5, 6}}, 4, "字", 2), {{110, 62}},
            14},
        {"200 % stamp scales like a shape", 2, shape(Tool::number, {{1, 1}}, 4, "1"), {{102, 52}},
            8},
        {"zoom 1 leaves everything", 1, shape(Tool::text, {{5, 6}}, 4, "a"), {{105, 56}}, 4},
        {"half size arrow", 0.5, shape(Tool::arrow, {{40, 20}, {0, 0}}, 7), {{120, 60}, {100, 50}},
            3.5},
        {"half size text: font 20 becomes 10", 0.5, shape(Tool::text, {{0, 0}}, 4, "a", 1),
            {{100, 50}}, -1},
        {"pen keeps every point", 3, shape(Tool::pen, {{0, 0}, {1, 2}, {2, 1}}, 2),
            {{100, 50}, {103, 56}, {106, 53}}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QList<Annotation> out = PinEditing::mapAnnotations({c.in}, selection, c.k);
        ASSERT_EQ(out.size(), 1);
        EXPECT_EQ(out[0].points, c.points);
        EXPECT_DOUBLE_EQ(out[0].width, c.width);
        // Everything but the geometry is kept.
        EXPECT_EQ(out[0].tool, c.in.tool);
        EXPECT_EQ(out[0].color, c.in.color);
        EXPECT_EQ(out[0].text, c.in.text);
        EXPECT_EQ(out[0].style, c.in.style);
    }
    // Order is kept.
    const QList<Annotation> two = PinEditing::mapAnnotations(
        {shape(Tool::rect, {{0, 0}, {1, 1}}), shape(Tool::arrow, {{0, 0}, {1, 1}})}, selection, 1);
    EXPECT_EQ(two[0].tool, Tool::rect);
    EXPECT_EQ(two[1].tool, Tool::arrow);
}

TEST(PinEditingMapping, ZoomCountsATinyBaseAsOnePoint)
{
    struct Case {
        qreal frame, base, k;
    };
    for (const Case& c : {Case {400, 200, 2}, Case {100, 200, 0.5}, Case {30, 1, 30},
             Case {30, 0.5, 30}, Case {30, 0, 30}}) {
        SCOPED_TRACE(c.base);
        EXPECT_DOUBLE_EQ(PinEditing::zoomOf(c.frame, c.base), c.k);
    }
    QImage retina(300, 200, QImage::Format_RGB32);
    retina.setDevicePixelRatio(2);
    EXPECT_DOUBLE_EQ(PinEditing::pointWidth(retina), 150);
}

TEST(PinEditingMapping, ScreenHoldingTheCentreElseTheFirst)
{
    const QList<ScreenShot> shots = {
        ScreenShot {fakeScreen("L", QRectF(0, 0, 1000, 800)), {}},
        ScreenShot {fakeScreen("R", QRectF(1000, 0, 800, 600)), {}},
    };
    struct Case {
        const char* name;
        QRectF frame;
        int index;
    };
    for (const Case& c : {
             Case {"inside the second", QRectF(1200, 100, 100, 100), 1},
             Case {"straddling, centre on the second", QRectF(900, 100, 400, 100), 1},
             Case {"straddling, centre on the first", QRectF(700, 100, 400, 100), 0},
             Case {"centre on the shared edge belongs to the second", QRectF(950, 0, 100, 10), 1},
             Case {"centre on no screen", QRectF(1300, 650, 100, 100), 0},
             Case {"far away", QRectF(-5000, -5000, 10, 10), 0},
         }) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PinEditing::screenIndexFor(shots, c.frame), c.index);
    }
    EXPECT_EQ(PinEditing::screenIndexFor({}, QRectF(0, 0, 10, 10)), -1);
}

// The X server's pixels carry a zero padding byte where an alpha would be. The composed frozen
// image, and every pin rendered from it, must still be opaque.
TEST(PinEditingCompose, ScreenWithZeroPaddingStaysOpaque)
{
    QImage screen(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < screen.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(screen.scanLine(y));
        for (int x = 0; x < screen.width(); ++x)
            row[x] = 0x00336699; // B,G,R,X with X = 0, as a root-window grab returns it
    }
    QImage base = test::filled(QSize(10, 10), Qt::red);
    const auto out = Grabber::compose(screen, base, QRectF(5, 5, 10, 10), 1);
    ASSERT_TRUE(out);
    const QImage argb = out->convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(argb.pixel(0, 0), 0xff336699u);
    EXPECT_EQ(argb.pixel(10, 20), 0xffff0000u); // y up: the base sits 5 points above the bottom
}

class PinEditingTest : public DelegateFixture {
protected:
    void SetUp() override
    {
        DelegateFixture::SetUp();
        delegate->applicationDidFinishLaunching();
        parkPointer();
        screen = currentScreens().first();
    }

    // A pin at `frame` (global points) whose base is a pattern and which carries `annotations`.
    PinWindow* pinAt(
        const QRectF& frame, const QList<Annotation>& annotations, bool editable = true)
    {
        QImage base = patternImage(int(frame.width()), int(frame.height()));
        base.invertPixels();
        std::optional<PinEdit> edit;
        if (editable)
            edit = PinEdit {base, annotations, {}};
        PinWindow* pin = PinWindow::pin(base, frame, edit);
        EXPECT_TRUE(pin);
        return pin;
    }

    // Zooms about the pin's top-left corner, as a user whose pointer rests there, so a pin that
    // grows stays where a test can see all of it.
    static void zoomAboutTopLeft(PinWindow* pin, qreal z)
    {
        QCursor::setPos(qtFromGlobal(pin->globalFrame(), primaryQtGeometry()).topLeft().toPoint());
        pin->setZoom(z);
        parkPointer();
    }

    // Asks for the edit the way the pin's keys do, and lets the grab come back.
    CaptureView* openEdit(PinWindow* pin)
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(pin->view(), &press);
        EXPECT_EQ(grabber->calls, 1);
        if (!grabber->pending)
            return nullptr;
        grabber->deliver();
        CaptureSession* s = delegate->session();
        EXPECT_TRUE(s);
        return s ? s->active() : nullptr;
    }

    Screen screen;
};

TEST_F(PinEditingTest, EditOpensOnThePinsPlaceWithItsAnnotationsMapped)
{
    const QRectF frame(200, 150, 160, 100);
    const QList<Annotation> marks
        = {shape(Tool::rect, {{10, 10}, {50, 30}}), shape(Tool::text, {{20, 40}}, 4, "字", 1)};
    PinWindow* pin = pinAt(frame, marks);
    const QImage base = pin->edit()->base;
    zoomAboutTopLeft(pin, 2.0);
    const QRectF zoomed = pin->globalFrame();
    ASSERT_DOUBLE_EQ(zoomed.width(), 320);

    CaptureView* view = openEdit(pin);
    ASSERT_TRUE(view);
    EXPECT_EQ(grabber->excluded, QList<quint32> {pin->windowNumber()});
    EXPECT_FALSE(delegate->busy());
    EXPECT_EQ(delegate->session()->editingPin, pin);
    EXPECT_TRUE(view->windowRects().isEmpty());
    const QRectF selection = zoomed.translated(-screen.frame.topLeft());
    EXPECT_EQ(view->selection(), selection);
    EXPECT_EQ(view->annotator().annotations, PinEditing::mapAnnotations(marks, selection, 2));

    // The base lies in the frozen image, pixel-doubled as the pin showed it at 200 %.
    const QRect px = pixelRectFromView(selection, view->image().height(), 1).toRect();
    const QImage under = view->image().copy(px).convertToFormat(QImage::Format_RGB32);
    const QImage doubled = base.scaled(base.size() * 2).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(under, doubled);

    // The pin stays up while the overlay fades in over it, then hides.
    EXPECT_TRUE(pin->isVisible());
    EXPECT_TRUE(waitUntil([&] { return !pin->isVisible(); }));
    EXPECT_TRUE(delegate->session()->isEditing());
}

TEST_F(PinEditingTest, PinWithoutEditRecordOpensOnItsShownImage)
{
    PinWindow* pin = pinAt(QRectF(100, 100, 120, 80), {}, false);
    CaptureView* view = openEdit(pin);
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->annotator().annotations.isEmpty());
    const QRect px = pixelRectFromView(view->selection(), view->image().height(), 1).toRect();
    EXPECT_EQ(view->image().copy(px).convertToFormat(QImage::Format_RGB32),
        pin->image().convertToFormat(QImage::Format_RGB32));
}

TEST_F(PinEditingTest, RefusedSilentlyWhileBusyOpenOrNotPermitted)
{
    PinWindow* pin = pinAt(QRectF(100, 100, 120, 80), {});
    struct Case {
        const char* name;
        std::function<void()> arrange;
        int grabs; // what the edit request adds
    };
    const QList<Case> cases = {
        {"no permission", [this] { grabber->refusal = QString(); }, 0},
        {"a grab is running", [this] { delegate->startCapture(); }, 0},
        {"a session is open",
            [this] {
                delegate->startCapture();
                grabber->deliver();
            },
            0},
        {"idle", [] {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const int before = grabber->calls;
        delegate->edit(pin);
        EXPECT_EQ(grabber->calls - before, c.grabs);
        EXPECT_TRUE(alerts.isEmpty());
        EXPECT_TRUE(pin->isVisible());
        // Back to idle for the next case.
        if (grabber->pending)
            grabber->deliver(QStringLiteral("x"));
        if (alertDone)
            std::exchange(alertDone, {})();
        alerts.clear();
        if (delegate->session())
            delegate->session()->finish(false);
        waitUntil([&] { return !delegate->session(); });
        grabber->refusal.reset();
        ASSERT_FALSE(delegate->busy());
    }
}

TEST_F(PinEditingTest, FailedOrEmptyGrabBringsThePinBackUsable)
{
    PinWindow* pin = pinAt(QRectF(100, 100, 120, 80), {});
    // The grab may have taken the pin off the screen; either way it comes back.
    for (const bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "no screens" : "an error");
        delegate->edit(pin);
        pin->orderOut();
        grabber->deliver(empty ? std::nullopt : std::optional(QStringLiteral("服务器拒绝")),
            HeldGrabber::Shots::none);
        EXPECT_EQ(alerts, QStringList {"截图失败 | 服务器拒绝"}); // only the error says so
        EXPECT_TRUE(pin->isVisible());
        EXPECT_EQ(delegate->busy(), !empty) << "busy while the alert is up";
        if (alertDone)
            std::exchange(alertDone, {})();
        EXPECT_FALSE(delegate->busy());
        EXPECT_FALSE(delegate->session());
        EXPECT_EQ(PinWindow::count(), 1);
    }
    // Still usable: it can be edited again.
    grabber->calls = 0;
    EXPECT_TRUE(openEdit(pin));
}

// Return and then Escape typed at once: the Escape reaches the pin while the screens are still
// being read. It must not close the pin (and its annotations) the session is about to show;
// once the session gives the pin back, Escape closes it as usual.
TEST_F(PinEditingTest, KeysTypedWhileTheEditOpensDoNotCloseThePin)
{
    QPointer<PinWindow> pin
        = pinAt(QRectF(150, 120, 140, 90), {shape(Tool::rect, {{10, 10}, {50, 30}})});
    const auto press = [&](Qt::Key key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(pin->view(), &e);
    };
    press(Qt::Key_Return);
    ASSERT_EQ(grabber->calls, 1);
    press(Qt::Key_Escape);
    ASSERT_TRUE(pin);
    EXPECT_FALSE(pin->isClosing());
    grabber->deliver();
    ASSERT_TRUE(delegate->session() && delegate->session()->isEditing());
    delegate->session()->active()->keyDown(Qt::Key_Escape, {});
    ASSERT_TRUE(pin);
    EXPECT_FALSE(pin->isClosing());
    EXPECT_FALSE(pin->isEditing());
    ASSERT_TRUE(waitUntil([&] { return !delegate->session(); }));
    press(Qt::Key_Escape);
    EXPECT_TRUE(!pin || pin->isClosing());
}

TEST_F(PinEditingTest, PinningReplacesThePinEveryOtherEndBringsItBack)
{
    struct Case {
        const char* name;
        std::function<void(CaptureView&)> end;
        bool replaced;
    };
    const QList<Case> cases = {
        {"Escape", [](CaptureView& v) { v.keyDown(Qt::Key_Escape, {}); }, false},
        {"right click twice",
            [](CaptureView& v) {
                v.rightMouseDownAt(QPointF(5, 5));
                v.rightMouseDownAt(QPointF(5, 5));
            },
            false},
        {"pin", [](CaptureView& v) { v.pinAndFinish(); }, true},
        {"copy (Return)", [](CaptureView& v) { v.keyDown(Qt::Key_Return, {}); }, true},
        {"save", [](CaptureView& v) { v.saveAndFinish(); }, true},
    };
    for (const bool late : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (late ? ", after the pin hid" : ", at once"));
            PinWindow::closeAll();
            ASSERT_TRUE(waitUntil([] { return PinWindow::count() == 0; }));
            const QRectF frame(150, 120, 140, 90);
            QPointer<PinWindow> pin = pinAt(frame, {shape(Tool::rect, {{10, 10}, {50, 30}})});
            pin->setOpacity(0.6);
            grabber->calls = 0;
            CaptureView* view = openEdit(pin);
            ASSERT_TRUE(view);
            if (late) {
                ASSERT_TRUE(waitUntil([&] { return !pin->isVisible(); }));
            }
            c.end(*view);
            EXPECT_FALSE(delegate->session() && delegate->session()->isEditing());
            if (c.replaced) {
                EXPECT_TRUE(pin && pin->isClosing());
                ASSERT_EQ(PinWindow::count(), 1);
                PinWindow* next = PinWindow::all().first();
                EXPECT_NE(next, pin.data());
                EXPECT_EQ(next->globalFrame(), frame);
                EXPECT_EQ(next->edit()->annotations.size(), 1);
            } else {
                ASSERT_TRUE(pin);
                EXPECT_FALSE(pin->isClosing());
                EXPECT_EQ(PinWindow::count(), 1);
                EXPECT_EQ(pin->globalFrame(), frame);
                EXPECT_DOUBLE_EQ(pin->zoom(), 1.0);
                EXPECT_DOUBLE_EQ(pin->opacity(), 0.6);
                // Its keys work again without a click.
                EXPECT_TRUE(waitUntil([&] { return pin && pin->isActiveWindow(); }));
            }
            // The delayed hide must not take away a pin the ended session gave back.
            QElapsedTimer t;
            t.start();
            waitUntil([&] { return t.elapsed() > PinEditing::hideAfterMs + 50; });
            if (c.replaced) {
                EXPECT_TRUE(!pin || pin->isClosing());
            } else {
                EXPECT_TRUE(pin && pin->isVisible());
            }
            ASSERT_TRUE(waitUntil([&] { return !delegate->session(); }));
        }
    }
}

// Pinned, zoomed to 200 %, edited and pinned again without a change: the same picture as the
// first pin showed at 200 %; edited once more at its own size, exactly the same pin again.
TEST_F(PinEditingTest, RoundTripKeepsThePicture)
{
    auto made = makeSession({screen});
    CaptureView& first = made.view();
    const QRectF region(120, 300, 200, 120);
    first.beginEditing(region, {});
    first.annotator().setAnnotations({
        shape(Tool::rect, {{140, 320}, {220, 380}}),
        shape(Tool::arrow, {{300, 400}, {240, 330}}),
        shape(Tool::text, {{150, 390}}, 2, "贴图 a", 0),
        shape(Tool::text, {{200, 350}}, 2, "贴图 b", 1),
        shape(Tool::text, {{130, 305}}, 2, "贴图 c", 2),
    });
    first.pinAndFinish();
    ASSERT_EQ(PinWindow::count(), 1);
    PinWindow* pin = PinWindow::all().first();
    const QImage shown = pin->image().convertToFormat(QImage::Format_RGB32);
    const QList<Annotation> kept = pin->edit()->annotations;
    ASSERT_EQ(kept.size(), 5);

    zoomAboutTopLeft(pin, 2.0);
    ASSERT_DOUBLE_EQ(pin->zoom(), 2.0);
    const QRectF zoomed = pin->globalFrame();

    CaptureView* view = openEdit(pin);
    ASSERT_TRUE(view);
    view->pinAndFinish();
    ASSERT_EQ(PinWindow::count(), 1);
    PinWindow* second = PinWindow::all().first();
    EXPECT_EQ(second->globalFrame(), zoomed);
    EXPECT_DOUBLE_EQ(second->zoom(), 1.0);
    EXPECT_EQ(second->edit()->annotations.size(), 5);

    // The annotations are drawn anew at twice the size, crisp where the first pin's were
    // doubled pixels: edges differ by their smoothing, nothing else.
    const QImage again = second->image().convertToFormat(QImage::Format_RGB32);
    const QImage doubled = shown.scaled(shown.size() * 2);
    ASSERT_EQ(again.size(), doubled.size());
    QRegion marks;
    for (const Annotation& a : second->edit()->annotations) {
        const QRectF b = annotationBounds(a).adjusted(-12, -12, 12, 12);
        marks += widgetFromView(b, again.height()).toAlignedRect();
    }
    qint64 away = 0, far = 0;
    for (int y = 0; y < again.height(); ++y) {
        for (int x = 0; x < again.width(); ++x) {
            const QRgb a = again.pixel(x, y), b = doubled.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                std::abs(qBlue(a) - qBlue(b))});
            if (!marks.contains(QPoint(x, y)))
                away += d != 0;
            else
                far += d > 96;
        }
    }
    EXPECT_EQ(away, 0) << "the base must come back pixel for pixel";
    EXPECT_LT(far, again.width() * again.height() / 50) << "annotations moved or changed size";

    // At zoom 1 the round trip is exact.
    grabber->calls = 0;
    CaptureView* third = openEdit(second);
    ASSERT_TRUE(third);
    const QList<Annotation> secondMarks = second->edit()->annotations;
    third->pinAndFinish();
    ASSERT_EQ(PinWindow::count(), 1);
    PinWindow* last = PinWindow::all().first();
    EXPECT_EQ(last->image().convertToFormat(QImage::Format_RGB32), again);
    EXPECT_EQ(last->edit()->annotations, secondMarks);
}

// One more annotation in an edit session, and the old ones are objects still: a text can be
// selected, moved and restyled, and undo takes back what was added last.
TEST_F(PinEditingTest, RestoredAnnotationsStayEditable)
{
    const QList<Annotation> marks
        = {shape(Tool::rect, {{10, 10}, {60, 40}}), shape(Tool::text, {{20, 50}}, 4, "旧字", 0)};
    PinWindow* pin = pinAt(QRectF(100, 100, 240, 160), marks);
    CaptureView* view = openEdit(pin);
    ASSERT_TRUE(view);
    Annotator& a = view->annotator();
    ASSERT_EQ(a.annotations.size(), 2);

    // Added: an arrow drawn with the tool.
    a.selectTool(Tool::arrow);
    const QPointF o = view->selection().topLeft();
    dragSelect(*view, o + QPointF(150, 20), o + QPointF(200, 120));
    ASSERT_EQ(a.annotations.size(), 3);
    EXPECT_EQ(a.annotations[2].tool, Tool::arrow);

    // The restored text: selected and moved by a drag on its edge, then restyled.
    a.selectTool(std::nullopt);
    const QRectF box = textFrame(a.annotations[1]);
    const QPointF grab(minX(box) - 2, midY(box));
    ASSERT_TRUE(a.textHit(grab));
    EXPECT_EQ(a.textHit(grab)->kind, TextHit::edge);
    const QPointF before = a.annotations[1].points[0];
    view->mouseMovedAt(grab);
    view->mouseDownAt(grab);
    view->mouseDraggedAt(grab + QPointF(30, -10));
    view->mouseUpAt(grab + QPointF(30, -10));
    EXPECT_EQ(a.activeText, 1);
    EXPECT_EQ(a.annotations[1].points[0], before + QPointF(30, -10));
    a.chooseTextStyle(2);
    EXPECT_EQ(a.annotations[1].style, 2);

    // Undo takes back the restyle, the move and the arrow in turn; redo gives back two.
    view->undo();
    EXPECT_EQ(a.annotations[1].style, 0);
    view->undo();
    EXPECT_EQ(a.annotations[1].points[0], before);
    view->undo();
    ASSERT_EQ(a.annotations.size(), 2);
    view->undo(); // past the restored state: nothing
    ASSERT_EQ(a.annotations.size(), 2);
    view->redo();
    view->redo();
    ASSERT_EQ(a.annotations.size(), 3);
    EXPECT_EQ(a.annotations[1].style, 0);

    // The new pin keeps the way back and the way forward, relative to its base.
    view->pinAndFinish();
    ASSERT_TRUE(waitUntil([&] { return !delegate->session(); }));
    ASSERT_EQ(PinWindow::count(), 1);
    PinWindow* next = PinWindow::all().first();
    const PinEdit kept = *next->edit();
    ASSERT_EQ(kept.annotations.size(), 3);
    EXPECT_EQ(kept.annotations[1].points[0], marks[1].points[0] + QPointF(30, -10));
    EXPECT_EQ(kept.history.undo.size(), 2);
    EXPECT_EQ(kept.history.undo.first(), marks);
    ASSERT_EQ(kept.history.redo.size(), 1);
    EXPECT_EQ(kept.history.redo.last()[1].style, 2);

    // Edited again: redo works where it stopped; Esc then leaves the pin exactly as it was.
    grabber->calls = 0;
    CaptureView* again = openEdit(next);
    ASSERT_TRUE(again);
    again->redo();
    EXPECT_EQ(again->annotator().annotations[1].style, 2);
    again->keyDown(Qt::Key_Escape, {});
    ASSERT_TRUE(waitUntil([&] { return !delegate->session(); }));
    ASSERT_EQ(PinWindow::count(), 1);
    EXPECT_EQ(next->edit()->annotations, kept.annotations);
    EXPECT_EQ(next->edit()->history, kept.history);
}

} // namespace
