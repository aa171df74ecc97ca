#include "output/Toast.h"
#include "Pixels.h"
#include "output/ToastWidget.h"
#include "platform/Geometry.h"
#include "settings/Prefs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace quillet;

namespace {

class ToastTest : public ::testing::Test {
protected:
    void SetUp() override { setShowToast(true); }
    void TearDown() override
    {
        if (ToastWidget* t = ToastWidget::current())
            delete t;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        auto s = Prefs::store();
        s->remove(QLatin1String(Prefs::showToastKey));
    }

    static void setShowToast(bool on)
    {
        auto s = Prefs::store();
        s->setValue(QLatin1String(Prefs::showToastKey), on);
        s->sync();
    }

    static Screen testScreen()
    {
        Screen s;
        s.name = QStringLiteral("test");
        s.frame = QRectF(0, 0, 800, 600);
        s.visibleFrame = QRectF(0, 40, 800, 560); // a 40-point panel along the bottom
        s.scale = 1.0;
        return s;
    }
};

struct LeadingCase {
    const char* name;
    QSize thumbnail; // empty: none
    bool swatch;
    QSizeF expected;
};

} // namespace

TEST_F(ToastTest, LeadingElementSizes)
{
    const LeadingCase cases[] = {
        {"wide 10:1", {1000, 100}, false, {72, 36}},
        {"tall 1:10", {100, 1000}, false, {24, 36}},
        {"3:2", {300, 200}, false, {54, 36}},
        {"thumbnail wins over swatch", {300, 300}, true, {36, 36}},
        {"swatch alone", {}, true, {24, 24}},
        {"neither", {}, false, {}},
    };
    for (const LeadingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage thumb
            = c.thumbnail.isEmpty() ? QImage() : test::filled(c.thumbnail, Qt::darkCyan);
        const std::optional<QColor> swatch
            = c.swatch ? std::optional<QColor>(Qt::red) : std::nullopt;
        Toast::show(QStringLiteral("已复制到剪贴板"), thumb, swatch, testScreen());
        ToastWidget* t = ToastWidget::current();
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->leadingSize(), c.expected);
        // The capsule holds the row with its insets: 8 above and below the tallest item.
        if (!c.expected.isEmpty()) {
            EXPECT_GE(t->height(), c.expected.height() + 16);
        }
    }
}

TEST_F(ToastTest, RestsCentredSeventyPointsAboveTheVisibleBottom)
{
    const Screen screen = testScreen();
    Toast::show(QStringLiteral("已保存 墨钉_20250314_093005.png"),
        test::filled({160, 90}, Qt::darkCyan), std::nullopt, screen);
    QPointer<ToastWidget> t = ToastWidget::current();
    ASSERT_TRUE(t);
    const QRectF frame = t->finalFrame();
    EXPECT_DOUBLE_EQ(frame.x() + frame.width() / 2, 400.0);
    EXPECT_DOUBLE_EQ(frame.y(), 40.0 + 70.0);
    EXPECT_EQ(frame.size(), QSizeF(t->size()));
    EXPECT_EQ(ToastWidget::finalFrameFor(QRectF(100, 20, 1000, 700), QSizeF(200, 52)),
        QRectF(500, 90, 200, 52));

    // It starts lower and rises into that place.
    const QRectF qtFrame = qtFromGlobal(frame, primaryQtGeometry());
    const QPoint rest(qRound(qtFrame.x()), qRound(qtFrame.y()));
    EXPECT_GT(t->pos().y(), rest.y());
    EXPECT_TRUE(QTest::qWaitFor([&] { return t && t->pos() == rest; }, 1000));
    EXPECT_TRUE(t && t->isVisible());
}

// A newer toast replaces the older at once; it closes by itself on time, compositor or not.
TEST_F(ToastTest, NewerToastReplacesTheOlderAtOnceAndClosesOnTime)
{
    Toast::show(QStringLiteral("第一"), {}, std::nullopt, testScreen());
    QPointer<ToastWidget> first = ToastWidget::current();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());

    QElapsedTimer clock;
    clock.start();
    Toast::show(QStringLiteral("第二"), {}, QColor(Qt::yellow), testScreen());
    QPointer<ToastWidget> second = ToastWidget::current();
    ASSERT_TRUE(second);
    EXPECT_NE(first.data(), second.data());
    EXPECT_TRUE(!first || !first->isVisible());
    EXPECT_TRUE(second->isVisible());
    // Still there well before the dismissal, while the older one has gone...
    EXPECT_FALSE(QTest::qWaitFor([&] { return !second || !second->isVisible(); }, 1200));
    EXPECT_FALSE(first);
    // ...and gone after it and its fade; only the newer one clears the current toast.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !second; }, 4000));
    EXPECT_GE(clock.elapsed(), 1600 + 250);
    EXPECT_EQ(ToastWidget::current(), nullptr);
}

TEST_F(ToastTest, LongTextIsShortenedNotStretchedAcrossTheScreen)
{
    const QString name
        = QStringLiteral("已保存 ") + QString(300, QLatin1Char('x')) + QStringLiteral(".png");
    Toast::show(name, test::filled({40, 40}, Qt::darkCyan), std::nullopt, testScreen());
    ToastWidget* t = ToastWidget::current();
    ASSERT_NE(t, nullptr);
    EXPECT_LE(t->width(), 10 + 36 + 10 + 16 + 10 + 560 + 18);
    EXPECT_GT(t->width(), 400);
}

TEST_F(ToastTest, PreferenceOffShowsNothing)
{
    setShowToast(false);
    Toast::show(QStringLiteral("已复制到剪贴板"), test::filled({10, 10}, Qt::darkCyan),
        std::nullopt, testScreen());
    EXPECT_EQ(ToastWidget::current(), nullptr);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<ToastWidget*>(w), nullptr);
}

TEST_F(ToastTest, NeverTakesFocusAndLetsClicksThrough)
{
    QLineEdit editor;
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));

    Toast::show(QStringLiteral("已复制到剪贴板"), {}, std::nullopt, std::nullopt);
    ToastWidget* t = ToastWidget::current();
    ASSERT_NE(t, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &editor);
    EXPECT_EQ(QApplication::focusWidget(), &editor);
    EXPECT_FALSE(t->isActiveWindow());
    EXPECT_EQ(t->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(t->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(t->testAttribute(Qt::WA_ShowWithoutActivating));
    ASSERT_NE(t->windowHandle(), nullptr);
    const Qt::WindowFlags flags = t->windowHandle()->flags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    // Without a screen given, the one under the pointer (or the primary) is used.
    EXPECT_TRUE(t->isVisible());
}
