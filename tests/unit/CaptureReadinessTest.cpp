#include "CaptureFixtures.h"

#include "capture/CaptureReadiness.h"
#include "capture/OverlayWindow.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

// Getting ready makes one window per screen, once; the capture that follows uses exactly those.
TEST(CaptureReadiness, PreparedWindowsAreTheOnesTheCaptureUses)
{
    OverlayWindow::dropSpares();
    const QList<Screen> screens = currentScreens();
    ASSERT_FALSE(screens.isEmpty());
    CaptureReadiness::prepareNow();
    CaptureReadiness::prepareNow();
    EXPECT_EQ(OverlayWindow::spareCount(), screens.size());

    QList<ScreenShot> shots;
    for (const Screen& s : screens)
        shots.append(shotOf(s));
    auto session = std::make_shared<CaptureSession>(shots, QList<QRectF> {}, [] {});
    EXPECT_EQ(OverlayWindow::spareCount(), 0) << "every prepared window taken";
    session->finish(false);
    EXPECT_EQ(OverlayWindow::spareCount(), screens.size()) << "and given back";
    OverlayWindow::dropSpares();
    EXPECT_EQ(OverlayWindow::spareCount(), 0);
}
