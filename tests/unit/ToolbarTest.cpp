#include "FakeAnnotationHost.h"
#include "Pixels.h"
#include "capture/annotation/GlassPanel.h"
#include "capture/annotation/ToolButton.h"
#include "settings/Prefs.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::FakeAnnotationHost;

namespace {

class Toolbar : public test::AnnotatorFixture {
protected:
    void SetUp() override
    {
        test::resetStylePrefs();
        host = std::make_unique<FakeAnnotationHost>(QSize(1000, 700));
        host->show();
    }
    GlassPanel* panel(QWidget* w) { return static_cast<GlassPanel*>(w); }

    // Waits (processing events) until the bars have finished sliding in.
    void settle()
    {
        QElapsedTimer t;
        t.start();
        auto busy = [&] {
            return (an().toolbar() && panel(an().toolbar())->isAppearing())
                || (an().subbar() && panel(an().subbar())->isAppearing());
        };
        while (busy() && t.elapsed() < 3000)
            QTest::qWait(10);
        ASSERT_FALSE(busy());
    }
    // The toolbar's button with this tooltip or symbol.
    ToolButton* button(const QString& tipOrSymbol)
    {
        for (ToolButton* b : an().toolbar()->findChildren<ToolButton*>()) {
            if (b->toolTip() == tipOrSymbol || b->symbol() == tipOrSymbol)
                return b;
        }
        return nullptr;
    }
    QStringList menuItems()
    {
        QStringList items;
        for (int i = 0; i < an().fontPopup()->count(); ++i)
            items.append(an().fontPopup()->itemText(i));
        return items;
    }
};

QStringList standardTitles()
{
    QStringList t;
    for (double s : Annotator::fontSizes())
        t.append(QString::number(int(s)) + " pt");
    return t;
}

} // namespace

// Below the selection, right-aligned with it; above when the selection reaches the bottom;
// inside when it fills the screen; never closer than eight points to the left edge.
TEST_F(Toolbar, PlacedBelowAboveOrInsideTheSelection)
{
    struct Case {
        const char* name;
        QRectF selection;
        bool below;
        QPointF topRight; // y up
    };
    const Case cases[] = {
        {"below", QRectF(200, 300, 400, 300), true, {600, 290}},
        {"above", QRectF(200, 0, 400, 300), false, {600, 352}},
        {"left edge", QRectF(0, 300, 60, 100), true, {-1, 290}},
        {"inside", QRectF(0, 0, 1000, 700), true, {992, 52}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host->selection = c.selection;
        an().showToolbar();
        const QRectF f = an().toolbarFrame();
        EXPECT_EQ(an().toolbarBelow(), c.below);
        EXPECT_EQ(f.bottom(), c.topRight.y()); // y-up: bottom() is the top edge
        if (c.topRight.x() >= 0)
            EXPECT_EQ(f.right(), c.topRight.x());
        else
            EXPECT_EQ(f.x(), 8);
        EXPECT_EQ(f.height(), 42); // a 32-point button with 5 points above and below
    }
    // Widget coordinates are y down.
    settle();
    const QRect g = panel(an().toolbar())->panelGeometry();
    EXPECT_EQ(g.x(), int(an().toolbarFrame().x()));
    EXPECT_EQ(g.y(), int(700 - an().toolbarFrame().bottom()));
    EXPECT_FALSE(an().subbar()); // nothing to style yet
    // With a tool the style bar goes below the toolbar as far as the screen lets it.
    an().selectTool(Tool::arrow);
    ASSERT_TRUE(an().subbar());
    EXPECT_EQ(an().subbarFrame().y(), 4);
}

TEST_F(Toolbar, StyleBarKinds)
{
    host->selection = QRectF(200, 300, 400, 300);
    an().showToolbar();
    // Which buttons each tool's bar has is the toolbox's test; here: the text's size menu, the
    // mosaic's remembered block size, and where the bar sits.
    EXPECT_FALSE(an().subbarKind());
    an().selectTool(Tool::text);
    EXPECT_TRUE(an().fontPopup());
    an().selectTool(Tool::mosaic);
    ASSERT_EQ(an().mosaicButtons().size(), 3);
    EXPECT_TRUE(an().mosaicButtons()[1]->isOn());
    // The style bar sits under the toolbar, right-aligned with it.
    an().selectTool(Tool::rect);
    EXPECT_EQ(an().subbarFrame().bottom(), an().toolbarFrame().top() - 6);
    EXPECT_EQ(an().subbarFrame().right(), an().toolbarFrame().right());
}

TEST_F(Toolbar, ClickingTheHighlightedToolTurnsItOffAndPressesOnThePanelStayOffTheOverlay)
{
    an().showToolbar();
    settle();
    ToolButton* arrow = an().toolButtons()[2];
    QTest::mouseClick(arrow, Qt::LeftButton);
    EXPECT_EQ(an().tool, Tool::arrow);
    EXPECT_TRUE(arrow->isOn());
    QTest::mouseClick(arrow, Qt::LeftButton);
    EXPECT_FALSE(an().tool);
    EXPECT_FALSE(arrow->isOn());
    EXPECT_EQ(host->viewPresses, 0);
    GlassPanel* p = panel(an().toolbar());
    const QRect g = p->panelGeometry();
    // Between the last tool button and the divider: the panel's own background.
    const QPoint onPanel = p->mapFromParent(QPoint(g.x() + 3, g.y() + 2));
    QTest::mousePress(p, Qt::LeftButton, {}, onPanel);
    EXPECT_EQ(host->viewPresses, 0);
    // The shadow margin lets presses through.
    QTest::mousePress(p, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(host->viewPresses, 1);
    EXPECT_TRUE(an().toolbarVisibleAt(QPointF(g.x() + 3, 700 - g.y() - 2)));
    EXPECT_FALSE(an().toolbarVisibleAt(QPointF(g.x() - 3, 700 - g.y() - 2)));
}

TEST_F(Toolbar, LongCaptureRecognisePinAndOkReachTheHost)
{
    an().showToolbar();
    settle();
    ToolButton* longShot = button("长截图  L");
    ToolButton* recognise = button("识别文字  O");
    ToolButton* pin = button("钉在屏幕上");
    ToolButton* ok = button("复制并完成 ↩");
    ASSERT_TRUE(longShot && recognise && pin && ok);
    EXPECT_TRUE(recognise->isEnabled()); // the language data is installed here
    // After the divider, before the pin.
    EXPECT_GT(longShot->x(), an().toolButtons().last()->x());
    EXPECT_LT(longShot->x(), recognise->x());
    EXPECT_LT(recognise->x(), pin->x());
    EXPECT_TRUE(ok->prominent());
    EXPECT_EQ(ok->width(), 70);
    QTest::mouseClick(longShot, Qt::LeftButton);
    QTest::mouseClick(recognise, Qt::LeftButton);
    QTest::mouseClick(pin, Qt::LeftButton);
    QTest::mouseClick(ok, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(
        host->pinned + host->finished + host->longCaptures + host->recognised, 4, 2000);
    EXPECT_EQ(host->pinned, 1);
    EXPECT_EQ(host->longCaptures, 1);
    EXPECT_EQ(host->recognised, 1);
}

// Where the screen cannot be read again and again, the button says why and does nothing.
TEST_F(Toolbar, LongCaptureUnavailableSaysWhy)
{
    const QString why = QStringLiteral("长截图不可用：只能通过门户读取屏幕");
    host->longCaptureUnavailable = why;
    an().showToolbar();
    settle();
    ToolButton* longShot = button("long.capture");
    ASSERT_TRUE(longShot);
    EXPECT_EQ(longShot->toolTip(), why);
    EXPECT_FALSE(longShot->isEnabled());
    QTest::mouseClick(longShot, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(host->longCaptures, 0);
}

TEST_F(Toolbar, SizeMenuInsertsACustomSizeAndRemembersAChoice)
{
    an().selectTool(Tool::text);
    an().showToolbar();
    // A size off the list is inserted where it belongs, and goes again once left.
    struct Case {
        double size;
        int at; // where it is inserted; -1: nowhere
    };
    for (const Case c : {Case {13, 1}, Case {120, int(standardTitles().size())}, Case {48, -1}}) {
        SCOPED_TRACE(c.size);
        an().fontSize = c.size;
        an().refreshToolbar();
        QStringList expected = standardTitles();
        const QString title = QString::number(c.size) + " pt";
        if (c.at >= 0)
            expected.insert(c.at, title);
        EXPECT_EQ(menuItems(), expected);
        EXPECT_EQ(an().fontPopup()->currentText(), title);
    }
    // A choice is used and remembered.
    QComboBox* menu = an().fontPopup();
    Q_EMIT menu->activated(int(menuItems().indexOf("72 pt")));
    EXPECT_EQ(an().fontSize, 72);
    EXPECT_EQ(Prefs::fontSize(), 72);
}

TEST_F(Toolbar, WidthButtonFollowsTheActiveShape)
{
    host->selection = QRectF(200, 300, 400, 300);
    an().showToolbar();
    an().selectTool(Tool::rect);
    an().chooseWidth(12);
    host->dragLine(QPointF(250, 350), QPointF(350, 450));
    an().chooseWidth(2);
    an().selectTool(Tool::rect); // off: the style bar now follows the shape just made
    an().lineWidth = 7;
    an().activeShape = 0;
    an().updateSubbar(false);
    an().refreshToolbar();
    ASSERT_EQ(an().widthButtons().size(), 4);
    QList<bool> on;
    for (ToolButton* b : an().widthButtons())
        on.append(b->isOn());
    EXPECT_EQ(on, QList<bool>({true, false, false, false}));
}

TEST_F(Toolbar, ColourButtonRingsTheColourInUse)
{
    an().selectTool(Tool::rect);
    an().showToolbar();
    QTest::mouseClick(an().colorButtons()[4], Qt::LeftButton);
    EXPECT_EQ(an().color, palette()[4]);
    EXPECT_EQ(Prefs::defaultColor(), 4);
    // The selected swatch has the white ring at its rim; the others leave it clear.
    const auto rim = [&](int i) {
        QImage img = test::filled(QSize(26, 32), Qt::black, 1, QImage::Format_ARGB32_Premultiplied);
        an().colorButtons()[i]->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        return qGray(img.pixel(13, 7));
    };
    EXPECT_GT(rim(4), 200);
    EXPECT_LT(rim(3), 60);
}

TEST_F(Toolbar, HiddenWhileTheSelectionMoves)
{
    an().selectTool(Tool::rect);
    an().showToolbar();
    an().hideBars();
    EXPECT_TRUE(an().toolbar()->isHidden());
    EXPECT_TRUE(an().subbar()->isHidden());
    EXPECT_FALSE(an().toolbarVisibleAt(an().toolbarFrame().center()));
    an().showToolbar();
    EXPECT_FALSE(an().toolbar()->isHidden());
    EXPECT_FALSE(an().subbar()->isHidden());
    settle();
    EXPECT_FALSE(an().toolbar()->graphicsEffect()); // fully opaque at the end
}
