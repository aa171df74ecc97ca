#include "Pixels.h"
#include "platform/wayland/OutputTransform.h"
#include "platform/wayland/PortalGrabber.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/WaylandGrabChoice.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTransform>
#include <gtest/gtest.h>

using namespace quillet;

TEST(WaylandGrabChoice, ScreenCopyFirstThenThePortalElseWhyNot)
{
    struct Case {
        bool screenCopy;
        bool portal;
        const char16_t* only;
        WaylandGrabRoute route;
        const char* reasonHas; // for none
    };
    const Case cases[] = {
        {true, true, u"", WaylandGrabRoute::screenCopy, nullptr},
        {true, false, u"", WaylandGrabRoute::screenCopy, nullptr},
        {false, true, u"", WaylandGrabRoute::portal, nullptr},
        {false, false, u"", WaylandGrabRoute::none, "截图门户"},
        {true, true, u"portal", WaylandGrabRoute::portal, nullptr},
        {true, false, u"portal", WaylandGrabRoute::none, "截图门户"},
        {false, true, u"screencopy", WaylandGrabRoute::none, "合成器坏了"},
        {true, true, u"none", WaylandGrabRoute::none, "QUILLET_WAYLAND_GRAB"},
        {false, true, u"unknown", WaylandGrabRoute::portal, nullptr},
    };
    for (const Case& c : cases) {
        WaylandOffers offers;
        offers.screenCopy = c.screenCopy;
        offers.portal = c.portal;
        offers.screenCopyMissing = QStringLiteral("合成器坏了");
        const WaylandGrabChoice choice = chooseWaylandGrab(offers, QStringView(c.only));
        const std::string label = QString::fromUtf16(c.only).toStdString() + " "
            + std::to_string(c.screenCopy) + std::to_string(c.portal);
        EXPECT_EQ(choice.route, c.route) << label;
        if (c.reasonHas) {
            EXPECT_TRUE(choice.reason.contains(QString::fromUtf8(c.reasonHas)))
                << label << " " << choice.reason.toStdString();
            EXPECT_TRUE(choice.reason.contains(QStringLiteral("贴图仍可使用"))) << label;
        } else {
            EXPECT_TRUE(choice.reason.isEmpty()) << label;
            EXPECT_FALSE(waylandRouteDescription(choice.route).isEmpty()) << label;
        }
    }
}

// Every output transform, undone: the compositor's buffer is the upright picture flipped around
// the vertical axis (for the flipped ones) and then turned counter-clockwise.
TEST(OutputTransform, EveryTransformGivesTheUprightPicture)
{
    QImage upright(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            upright.setPixel(x, y, qRgb(x * 80, y * 200, 40));
    }
    for (int transform = 0; transform < 8; ++transform) {
        QImage buffer = transform >= 4 ? upright.mirrored(true, false) : upright;
        buffer = buffer.transformed(QTransform().rotate(-90.0 * (transform % 4)));
        for (bool yInverted : {false, true}) {
            const QImage given = yInverted ? buffer.mirrored(false, true) : buffer;
            EXPECT_EQ(uprightOutputImage(given, transform, yInverted), upright)
                << "transform " << transform << (yInverted ? " y-inverted" : "");
        }
    }
}

// The portal's one picture of the desktop, cut into the screens at their places, at the scale
// the picture has.
TEST(PortalGrabber, CutsTheDesktopPictureIntoTheScreens)
{
    const QList<QRect> places = {QRect(0, 0, 1280, 720), QRect(1280, 0, 800, 600)};
    for (int scale : {1, 2}) {
        QImage desktop = test::filled(QSize(2080 * scale, 720 * scale), Qt::black);
        for (int y = 0; y < desktop.height(); ++y) {
            for (int x = 0; x < desktop.width(); ++x)
                desktop.setPixel(x, y, qRgb(x % 251, y % 241, (x / 251 + y / 241) % 256));
        }
        const QList<QSize> sizes = {QSize(1280, 720) * scale, QSize(800, 600) * scale};
        const QList<QImage> parts = PortalGrabber::split(desktop, places, sizes);
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(parts[0], desktop.copy(0, 0, 1280 * scale, 720 * scale)) << scale;
        EXPECT_EQ(parts[1], desktop.copy(1280 * scale, 0, 800 * scale, 600 * scale)) << scale;
    }
}

// sway's tree as its IPC gives it, reduced to what the window list reads: the shown windows of
// other programs, full-screen ones first, then floating ones top first, then tiles.
TEST(SwayIpc, WindowsFromTheTreeFrontMostFirst)
{
    const QByteArray json = R"({"nodes":[{"type":"output","nodes":[{"type":"workspace",
        "nodes":[
          {"id":10,"pid":500,"visible":true,"fullscreen_mode":0,"nodes":[],
           "rect":{"x":0,"y":0,"width":640,"height":720}},
          {"id":11,"pid":42,"visible":true,"fullscreen_mode":0,"nodes":[],
           "rect":{"x":640,"y":0,"width":640,"height":720}}],
        "floating_nodes":[
          {"id":12,"pid":501,"visible":true,"fullscreen_mode":0,"nodes":[],
           "rect":{"x":100,"y":100,"width":300,"height":200}},
          {"id":13,"pid":502,"visible":true,"fullscreen_mode":0,"nodes":[],
           "rect":{"x":150,"y":120,"width":300,"height":200}}]},
        {"type":"workspace","nodes":[
          {"id":14,"pid":503,"visible":false,"fullscreen_mode":0,"nodes":[],
           "rect":{"x":0,"y":0,"width":1280,"height":720}}],"floating_nodes":[]}]},
      {"type":"output","nodes":[{"type":"workspace","nodes":[
          {"id":15,"pid":504,"visible":true,"fullscreen_mode":1,"nodes":[],
           "rect":{"x":1280,"y":0,"width":800,"height":600}}],"floating_nodes":[]}]}]})";
    const QList<WindowRecord> windows
        = SwayIpc::windowsFromTree(QJsonDocument::fromJson(json).object(), 42);
    QList<quint32> ids;
    for (const WindowRecord& w : windows)
        ids << w.windowId;
    EXPECT_EQ(ids, (QList<quint32> {15, 13, 12, 10}));
    ASSERT_EQ(windows.size(), 4);
    EXPECT_EQ(windows[1].qtBounds, QRect(150, 120, 300, 200));
    EXPECT_EQ(windows[1].layer, 0);
}
