#include "output/PinWindow.h"
#include "output/PinView.h"
#include "platform/Geometry.h"
#include "platform/Screen.h"
#include "settings/Prefs.h"
#include "ui/Accent.h"

#include "Pixels.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::filled;

namespace {

// One-pixel black and white squares: any smoothing shows up as grey.
QImage checker(int n)
{
    QImage img(n, n, QImage::Format_RGB32);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            img.setPixel(x, y, (x + y) % 2 ? 0xffffffff : 0xff000000);
    return img;
}

// The window has been deleted once its fade-out ended.
bool deletedInTime(const QPointer<PinWindow>& w)
{
    return QTest::qWaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return w.isNull();
    });
}

// The pin has finished springing into place.
bool settled(PinWindow* w)
{
    return QTest::qWaitFor([w] {
        // Qt keeps window opacity in 8 bits.
        return std::abs(w->windowOpacity() - w->opacity()) <= 1.0 / 255
            && w->geometry() == qtFromGlobal(w->globalFrame(), primaryQtGeometry()).toRect();
    });
}

void sendWheel(QWidget* target, QPoint angle, QPoint pixels, Qt::KeyboardModifiers mods)
{
    const QPointF pos = QPointF(target->rect().center());
    QWheelEvent ev(
        pos, target->mapToGlobal(pos), pixels, angle, Qt::NoButton, mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &ev);
}

void sendMouse(QWidget* target, QEvent::Type type, QPointF global, Qt::MouseButtons buttons)
{
    QMouseEvent ev(
        type, target->mapFromGlobal(global), global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &ev);
}

// The offscreen platform has no window opacity or stacking and says so at every change.
QtMessageHandler previousHandler = nullptr;
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (previousHandler)
        previousHandler(type, context, text);
}

// Every test starts and ends with no pins alive at all.
class PinWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousHandler = qInstallMessageHandler(quietOffscreen);
        closeEverything();
    }
    void TearDown() override
    {
        PinWindow::onEdit = nullptr;
        Prefs::store()->remove(Prefs::pinOpacityKey);
        closeEverything();
        qInstallMessageHandler(previousHandler);
    }

    PinWindow* pinAt(const QImage& image, QRectF at)
    {
        PinWindow* w = PinWindow::pin(image, at);
        made.append(w);
        return w;
    }

    void closeEverything()
    {
        PinWindow::closeAll();
        ASSERT_TRUE(QTest::qWaitFor([this] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            for (const QPointer<PinWindow>& p : made)
                if (p)
                    return false;
            return true;
        }));
        made.clear();
    }

    QList<QPointer<PinWindow>> made;
};

} // namespace

// A given rectangle is the final frame exactly, reached from a smaller, transparent start.
TEST_F(PinWindowTest, AppearsFromSmallerAndTransparentToTheGivenRectangle)
{
    Prefs::store()->setValue(Prefs::pinOpacityKey, 0.85);
    const QRectF at(100, 100, 400, 200);
    PinWindow* w = pinAt(filled({800, 400}, Qt::red), at);
    EXPECT_DOUBLE_EQ(w->zoom(), 0.5);
    EXPECT_EQ(w->windowOpacity(), 0.0);
    EXPECT_EQ(w->geometry().size(), QSize(376, 188));
    EXPECT_EQ(w->globalFrame(), at);
    ASSERT_TRUE(settled(w));
    EXPECT_NEAR(w->windowOpacity(), 0.85, 1.0 / 255);
    EXPECT_EQ(w->view()->size(), QSize(400, 200));
    // Rounding origin and size apart would end this pin a point short on the right.
    PinWindow* f = pinAt(filled({40, 40}, Qt::red), QRectF(10.4, 10.0, 10.4, 20.0));
    ASSERT_TRUE(
        QTest::qWaitFor([f] { return std::abs(f->windowOpacity() - f->opacity()) <= 1.0 / 255; }));
    EXPECT_EQ(f->geometry().left(), 10);
    EXPECT_EQ(f->geometry().left() + f->geometry().width(), 21);
    EXPECT_EQ(f->globalFrame(), QRectF(10.4, 10.0, 10.4, 20.0));
}

TEST_F(PinWindowTest, WithoutRectangleTheImageIsCentredOnThePointer)
{
    QCursor::setPos(300, 200);
    PinWindow* w = PinWindow::pin(filled({100, 60}, Qt::blue, 2.0));
    made.append(w);
    ASSERT_TRUE(settled(w));
    EXPECT_DOUBLE_EQ(w->zoom(), 1.0);
    EXPECT_EQ(w->geometry(), QRect(275, 185, 50, 30));
    EXPECT_EQ(PinWindow::pin(QImage()), nullptr);
}

// Closing, from the program or from outside as a window manager does, takes the fading path:
// the count drops at once, the window goes after the fade.
TEST_F(PinWindowTest, CountDropsWhenClosingStartsAndTheWindowGoesAfterTheFade)
{
    PinWindow* a = pinAt(filled({50, 50}, Qt::red), QRectF(0, 0, 50, 50));
    PinWindow* b = pinAt(filled({50, 50}, Qt::red), QRectF(60, 0, 50, 50));
    EXPECT_EQ(PinWindow::count(), 2);
    QPointer<PinWindow> alive(a), other(b);
    a->closePin();
    EXPECT_EQ(PinWindow::count(), 1);
    EXPECT_FALSE(PinWindow::all().contains(a));
    EXPECT_TRUE(alive);
    EXPECT_FALSE(b->close()); // the window manager's close waits for the fade
    EXPECT_TRUE(b->isClosing());
    EXPECT_EQ(PinWindow::count(), 0);
    EXPECT_TRUE(deletedInTime(alive));
    EXPECT_TRUE(deletedInTime(other));
    // Closing all empties the list at once; with nothing to close nothing happens.
    PinWindow::closeAll();
    for (int i = 0; i < 3; ++i)
        pinAt(filled({40, 40}, Qt::red), QRectF(i * 50, 0, 40, 40));
    EXPECT_EQ(PinWindow::count(), 3);
    PinWindow::closeAll();
    EXPECT_EQ(PinWindow::count(), 0);
    for (qsizetype i = 2; i < made.size(); ++i)
        EXPECT_TRUE(made[i] && made[i]->isClosing());
}

// Return, Space and keypad Enter ask for the edit (when somebody listens); Escape and a double
// click close the pin, and only that one.
TEST_F(PinWindowTest, EditKeysCallTheCallbackEscapeAndDoubleClickClose)
{
    PinWindow* a = pinAt(filled({80, 80}, Qt::red), QRectF(0, 0, 80, 80));
    PinWindow* b = pinAt(filled({80, 80}, Qt::red), QRectF(100, 0, 80, 80));
    QTest::keyClick(a->view(), Qt::Key_Space); // nothing installed: nothing happens
    QList<PinWindow*> asked;
    PinWindow::onEdit = [&](PinWindow* p) { asked.append(p); };
    for (const auto& [key, mods] :
        {std::pair {Qt::Key_Return, Qt::NoModifier}, std::pair {Qt::Key_Space, Qt::NoModifier},
            std::pair {Qt::Key_Enter, Qt::KeypadModifier}, std::pair {Qt::Key_A, Qt::NoModifier}})
        QTest::keyClick(a->view(), key, mods);
    EXPECT_EQ(asked, QList<PinWindow*>({a, a, a}));
    EXPECT_FALSE(a->isClosing());
    QTest::keyClick(a->view(), Qt::Key_Escape);
    EXPECT_TRUE(a->isClosing());
    EXPECT_FALSE(b->isClosing());
    QTest::mouseDClick(b->view(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
    EXPECT_TRUE(b->isClosing());
    EXPECT_EQ(PinWindow::count(), 0);
}

// Zooming keeps the point under the pointer, stops at the window cap and says so in the badge.
TEST_F(PinWindowTest, ZoomFollowsThePointerWithinItsBoundsAndTheBadgeSaysSo)
{
    PinWindow* w = pinAt(filled({600, 400}, Qt::red), QRectF(0, 0, 600, 400));
    ASSERT_TRUE(settled(w));
    const QPointF pointer
        = globalFromQt(QPointF(w->geometry().topLeft()) + QPointF(50, 25), primaryQtGeometry());
    QCursor::setPos(qtFromGlobal(pointer, primaryQtGeometry()).toPoint());
    const QRectF before = w->globalFrame();
    w->setZoom(1.5);
    const QRectF after = w->globalFrame();
    EXPECT_EQ(after.size(), QSizeF(900, 600));
    EXPECT_EQ(w->view()->hudText(), QStringLiteral("150%"));
    EXPECT_NEAR((pointer.x() - after.x()) / after.width(),
        (pointer.x() - before.x()) / before.width(), 1e-9);
    EXPECT_NEAR((pointer.y() - after.y()) / after.height(),
        (pointer.y() - before.y()) / before.height(), 1e-9);
    // Ctrl+0 returns to the image's own size, again about the pointer.
    QTest::keyClick(w->view(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(w->zoom(), 1.0);
    EXPECT_NEAR(w->globalFrame().x(), before.x(), 1e-9);
    EXPECT_NEAR(w->globalFrame().y(), before.y(), 1e-9);
    // The offscreen screen is small; 4 × its size is far below 8 × this image.
    const QSizeF screen = currentScreens().first().frame.size();
    w->setZoom(8);
    const qreal cap = std::min(4 * screen.width() / 600, 4 * screen.height() / 400);
    EXPECT_NEAR(w->zoom(), cap, 1e-9);
    EXPECT_EQ(w->view()->hudText(), QString::number(std::lround(cap * 100)) + "%");
    w->setZoom(0.01);
    EXPECT_DOUBLE_EQ(w->zoom(), 0.1);
    EXPECT_NEAR(w->globalFrame().width(), 60, 1e-9);
}

// Wheel steps themselves are the geometry's test; here: which wheel reaches which setting.
TEST_F(PinWindowTest, WheelZoomsAndAltWheelChangesOpacity)
{
    PinWindow* w = pinAt(filled({100, 100}, Qt::red), QRectF(0, 0, 100, 100));
    ASSERT_TRUE(settled(w));
    sendWheel(w->view(), QPoint(0, 120), QPoint(), Qt::NoModifier);
    EXPECT_NEAR(w->zoom(), std::exp(0.04), 1e-12);
    sendWheel(w->view(), QPoint(0, 30), QPoint(0, -10), Qt::NoModifier); // a trackpad
    EXPECT_NEAR(w->zoom(), std::exp(0.02), 1e-12);
    sendWheel(w->view(), QPoint(0, -120), QPoint(), Qt::AltModifier);
    EXPECT_NEAR(w->opacity(), 0.9, 1e-9);
    EXPECT_NEAR(w->windowOpacity(), 0.9, 1.0 / 255);
    // X11 delivers Alt+wheel as horizontal scrolling.
    sendWheel(w->view(), QPoint(-120, 0), QPoint(), Qt::AltModifier);
    EXPECT_NEAR(w->opacity(), 0.8, 1e-9);
    sendWheel(w->view(), QPoint(0, 0), QPoint(0, 5), Qt::AltModifier);
    EXPECT_NEAR(w->opacity(), 0.85, 1e-9);
    EXPECT_EQ(w->view()->hudText(), QStringLiteral("透明度 85%"));
    EXPECT_NEAR(w->zoom(), std::exp(0.02), 1e-12); // opacity steps leave the zoom alone
}

TEST_F(PinWindowTest, DraggingWithoutWindowManagerFollowsThePointer)
{
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        GTEST_SKIP() << "a window manager may own the move";
    PinWindow* w = pinAt(filled({100, 100}, Qt::red), QRectF(200, 200, 100, 100));
    ASSERT_TRUE(settled(w));
    const QPointF start = w->view()->mapToGlobal(QPointF(50, 50));
    sendMouse(w->view(), QEvent::MouseButtonPress, start, Qt::LeftButton);
    sendMouse(w->view(), QEvent::MouseMove, start + QPointF(1, 0), Qt::LeftButton); // a tremble
    EXPECT_EQ(w->globalFrame(), QRectF(200, 200, 100, 100));
    sendMouse(w->view(), QEvent::MouseMove, start + QPointF(10, 5), Qt::LeftButton);
    sendMouse(w->view(), QEvent::MouseMove, start + QPointF(30, 40), Qt::LeftButton);
    sendMouse(w->view(), QEvent::MouseButtonRelease, start + QPointF(30, 40), Qt::NoButton);
    sendMouse(w->view(), QEvent::MouseMove, start + QPointF(90, 90), Qt::NoButton);
    // Qt's y grows downwards, the frame's upwards.
    EXPECT_EQ(w->globalFrame(), QRectF(230, 160, 100, 100));
    EXPECT_FALSE(w->isClosing());
}

TEST_F(PinWindowTest, PixelsTurnHardJustAboveOneAndAHalf)
{
    PinWindow* w = pinAt(checker(64), QRectF(0, 0, 64, 64));
    ASSERT_TRUE(settled(w));
    // Greys between the squares appear only where the image is smoothed; the sampled quarter
    // stays clear of the border and the badge.
    const auto greys = [w] {
        const QImage shot = w->view()->grab().toImage();
        int n = 0;
        for (int y = shot.height() / 2; y < shot.height() - 4; ++y)
            for (int x = shot.width() / 2; x < shot.width() - 4; ++x) {
                const int g = qGray(shot.pixel(x, y));
                n += g > 10 && g < 245;
            }
        return n;
    };
    w->setZoom(1.5);
    EXPECT_GT(greys(), 50);
    w->setZoom(1.51);
    EXPECT_EQ(greys(), 0);
}

TEST_F(PinWindowTest, AtItsOwnSizeEveryDevicePixelShowsAsItIs)
{
    QImage image = checker(64);
    image.setDevicePixelRatio(2.0);
    PinWindow* w = pinAt(image, QRectF(0, 0, 32, 32));
    ASSERT_TRUE(settled(w));
    EXPECT_DOUBLE_EQ(w->zoom(), 1.0);
    // Painted on a double-density surface, the 2× image lands pixel for pixel.
    QImage surface(64, 64, QImage::Format_RGB32);
    surface.setDevicePixelRatio(2.0);
    w->view()->render(&surface);
    int differing = 0;
    for (int y = 4; y < 60; ++y)
        for (int x = 4; x < 60; ++x)
            differing += surface.pixel(x, y) != image.pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(PinWindowTest, BorderShowsWhichPinHasTheKeyboard)
{
    PinWindow* a = pinAt(filled({100, 100}, Qt::black), QRectF(0, 0, 100, 100));
    ASSERT_TRUE(QTest::qWaitForWindowActive(a));
    ASSERT_TRUE(settled(a));
    EXPECT_EQ(a->view()->grab().toImage().pixel(1, 50), accent().rgb());
    PinWindow* b = pinAt(filled({100, 100}, Qt::black), QRectF(200, 0, 100, 100));
    ASSERT_TRUE(QTest::qWaitForWindowActive(b));
    // Half-transparent grey over black.
    const QColor edge = a->view()->grab().toImage().pixelColor(0, 50);
    EXPECT_NEAR(edge.red(), qRound(0.5 * 0.45 * 255), 2);
    EXPECT_EQ(edge.red(), edge.blue());
}

TEST_F(PinWindowTest, ContextMenuOffersTheActionsInOrder)
{
    PinWindow* w = pinAt(filled({100, 100}, Qt::red), QRectF(0, 0, 100, 100));
    pinAt(filled({100, 100}, Qt::red), QRectF(200, 0, 100, 100));
    std::unique_ptr<QMenu> menu(w->view()->buildMenu());
    QStringList titles;
    for (QAction* a : menu->actions())
        titles << (a->isSeparator() ? QStringLiteral("—") : a->text());
    EXPECT_EQ(titles,
        QStringList({"编辑标注\tSpace", "—", "复制", "识别文字", "另存为…", "原始大小", "—", "关闭",
            "关闭所有贴图"}));
    menu->actions().last()->trigger();
    EXPECT_EQ(PinWindow::count(), 0);
}

TEST_F(PinWindowTest, CopyPutsTheFullImageOnTheClipboard)
{
    const QImage image = filled({60, 40}, QColor(10, 200, 30), 2.0);
    PinWindow* w = pinAt(image, QRectF(0, 0, 30, 20));
    QApplication::clipboard()->clear();
    QTest::keyClick(w->view(), Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(60, 40));
    EXPECT_EQ(copied.pixelColor(5, 5), QColor(10, 200, 30));
    EXPECT_TRUE(w->metaObject()->indexOfMethod("copy()") >= 0);
    EXPECT_TRUE(w->metaObject()->indexOfMethod("saveImage()") >= 0);
}

TEST_F(PinWindowTest, EveryFlashKeepsTheBadgeForAnotherPointNineSeconds)
{
    PinWindow* w = pinAt(filled({100, 100}, Qt::red), QRectF(0, 0, 100, 100));
    PinView* view = w->view();
    view->flashHUD(QStringLiteral("120%"));
    // Watched for half a second, the badge stays.
    EXPECT_FALSE(QTest::qWaitFor([view] { return view->hudText().isEmpty(); }, 500));
    view->flashHUD(QStringLiteral("130%"));
    QElapsedTimer since;
    since.start();
    EXPECT_EQ(view->hudText(), QStringLiteral("130%"));
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->hudText().isEmpty(); }));
    EXPECT_GE(since.elapsed(), 850);
}
