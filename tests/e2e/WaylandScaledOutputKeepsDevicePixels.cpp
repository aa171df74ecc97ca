// An output at scale 2 on the headless sway: the selection is dragged in the output's points and
// comes back at its device pixels, exact, as on a scaled X11 screen.
#include "WaylandRig.h"

#include <QRandomGenerator>

namespace quillet::e2e {
namespace {

class WaylandScaledOutputKeepsDevicePixels : public WaylandRig { };

TEST_F(WaylandScaledOutputKeepsDevicePixels, DragInPointsCopiesDevicePixels)
{
    QImage picture(1280, 720, QImage::Format_RGB32);
    QRandomGenerator random(21);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = 0xff000000 | (random.generate() & 0xffffff);
    }
    startCompositor({picture}, 2);
    if (IsSkipped() || HasFatalFailure())
        return;
    startInput();
    ASSERT_FALSE(HasFatalFailure());
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    // 1280×720 pixels at scale 2: 640×360 points.
    EXPECT_TRUE(status().contains(QLatin1String("screen: HEADLESS-1 0 0 1280x720 2")))
        << status().toStdString();

    ASSERT_TRUE(pointer("move 639 359"));
    ASSERT_EQ(run(QStringLiteral(QUILLET_BINARY), {"capture"}).exitCode, 0);
    ASSERT_TRUE(E2eEnv::waitFor([&] {
        return status().contains(QLatin1String("session: open")) && visibleViews().fullScreen == 1;
    }));
    ASSERT_TRUE(drag({50, 100}, {200, 250}));
    const QRect pixels(100, 200, 300, 300);
    const QRect middle = pixels.adjusted(75, 75, -75, -75);
    ASSERT_TRUE(
        E2eEnv::waitFor([&] { return outputImage().copy(middle) == picture.copy(middle); }));
    ASSERT_TRUE(key({"-k", "Return"}));
    ASSERT_TRUE(E2eEnv::waitFor([&] { return status().contains(QLatin1String("session: none")); }));
    QImage copied;
    EXPECT_TRUE(E2eEnv::waitFor([&] {
        copied = clipboardPng();
        return !copied.isNull();
    }));
    EXPECT_EQ(copied.size(), pixels.size());
    EXPECT_EQ(differingPixels(copied, picture.copy(pixels)), 0);
}

} // namespace
} // namespace quillet::e2e
