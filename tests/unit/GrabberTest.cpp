#include "CaptureFixtures.h"
#include "Pixels.h"

#include "capture/Grabber.h"
#include "platform/FakeScreenGrabber.h"
#include "platform/WindowSystem.h"
#include "platform/x11/X11Grabber.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::filled;

namespace {

WindowRecord window(QRect bounds, std::optional<double> alpha = std::nullopt, int layer = 0)
{
    WindowRecord w;
    w.qtBounds = bounds;
    w.alpha = alpha;
    w.layer = layer;
    return w;
}

struct FilterCase {
    const char* what;
    WindowRecord record;
    bool kept;
};

} // namespace

TEST(GrabberFilter, KeepsOnlyVisibleOrdinaryWindowsLargerThan30Points)
{
    const QRect ok(10, 10, 200, 100);
    const FilterCase cases[] = {
        {"alpha exactly 0.01", window(ok, 0.01), false},
        {"alpha 0.02", window(ok, 0.02), true},
        {"alpha 0", window(ok, 0.0), false},
        {"no alpha", window(ok), true},
        {"31 x 31", window(QRect(0, 0, 31, 31)), true},
        {"30 x 100", window(QRect(0, 0, 30, 100)), false},
        {"100 x 30", window(QRect(0, 0, 100, 30)), false},
        {"1 x 1 helper at -100,-100", window(QRect(-100, -100, 1, 1)), false},
        {"layer 0", window(ok, std::nullopt, 0), true},
        {"layer 999", window(ok, std::nullopt, 999), true},
        {"layer 1000", window(ok, std::nullopt, 1000), false},
        {"layer 2000", window(ok, std::nullopt, 2000), false},
        {"negative layer", window(ok, std::nullopt, -1), false},
    };
    const QRectF primary(0, 0, 1600, 1000);
    for (const FilterCase& c : cases) {
        const QList<QRectF> out = Grabber::filterWindowRects({c.record}, primary);
        EXPECT_EQ(out.size(), c.kept ? 1 : 0) << c.what;
    }
}

TEST(GrabberFilter, ConvertsAgainstThePrimaryHeightOnlyAndKeepsOrder)
{
    struct Case {
        const char* what;
        QRectF primaryQt;
        QRect qt;
        QRectF global;
    };
    const Case cases[] = {
        {"primary at the origin", QRectF(0, 0, 1600, 1000), QRect(100, 50, 400, 300),
            QRectF(100, 650, 400, 300)},
        // Window-server coordinates start at the primary screen's top-left corner wherever Qt
        // puts that screen in its virtual desktop.
        {"primary away from the origin", QRectF(200, 100, 1600, 1000), QRect(300, 150, 400, 300),
            QRectF(100, 650, 400, 300)},
        {"on a taller secondary screen", QRectF(0, 0, 1600, 1000), QRect(1700, 50, 400, 300),
            QRectF(1700, 650, 400, 300)},
        {"above the primary", QRectF(0, 0, 1600, 1000), QRect(100, -500, 400, 300),
            QRectF(100, 1200, 400, 300)},
    };
    for (const Case& c : cases) {
        const QList<QRectF> out = Grabber::filterWindowRects({window(c.qt)}, c.primaryQt);
        ASSERT_EQ(out.size(), 1) << c.what;
        EXPECT_EQ(out[0], c.global) << c.what;
    }

    const QList<WindowRecord> frontToBack = {window(QRect(0, 0, 50, 50)),
        window(QRect(0, 0, 10, 10)), window(QRect(5, 5, 60, 60)), window(QRect(1, 1, 40, 40))};
    const QList<QRectF> out = Grabber::filterWindowRects(frontToBack, QRectF(0, 0, 100, 100));
    ASSERT_EQ(out.size(), 3);
    EXPECT_EQ(out[0], QRectF(0, 50, 50, 50));
    EXPECT_EQ(out[1], QRectF(5, 35, 60, 60));
    EXPECT_EQ(out[2], QRectF(1, 59, 40, 40));
}

TEST(GrabberCompose, PaintsTheBaseAtItsPlaceWithYUpAndScale)
{
    struct Case {
        qreal scale;
        QRectF at; // screen-local points, y up
        QRect expectPx; // image pixels, rows from the top
    };
    const Case cases[] = {
        {1, QRectF(10, 5, 20, 10), QRect(10, 85, 20, 10)},
        {2, QRectF(10, 5, 20, 10), QRect(20, 170, 40, 20)},
        {1, QRectF(0, 0, 20, 10), QRect(0, 90, 20, 10)},
    };
    const QColor grey(90, 90, 90), red(255, 0, 0);
    for (const Case& c : cases) {
        const QImage screen = filled(QSize(200, 100) * c.scale, grey, c.scale);
        const QImage base = filled((c.at.size() * c.scale).toSize(), red, c.scale);
        const std::optional<QImage> out = Grabber::compose(screen, base, c.at, c.scale);
        ASSERT_TRUE(out.has_value());
        EXPECT_EQ(out->size(), screen.size());
        EXPECT_EQ(out->devicePixelRatio(), c.scale);
        const QRect e = c.expectPx;
        for (const QPoint p : {e.topLeft(), e.bottomRight(), e.topRight(), e.bottomLeft()})
            EXPECT_EQ(out->pixelColor(p), red) << c.scale << " at " << p.x() << "," << p.y();
        for (const QPoint p : {e.topLeft() - QPoint(0, 1), e.bottomRight() + QPoint(0, 1),
                 e.topLeft() - QPoint(1, 0), e.bottomRight() + QPoint(1, 0)}) {
            if (QRect(QPoint(0, 0), out->size()).contains(p)) {
                EXPECT_EQ(out->pixelColor(p), grey) << c.scale << " at " << p.x() << "," << p.y();
            }
        }
    }
    EXPECT_FALSE(Grabber::compose(filled(QSize(10, 10), grey), QImage(), QRectF(0, 0, 5, 5), 1));
    EXPECT_FALSE(Grabber::compose(QImage(), filled(QSize(5, 5), red), QRectF(0, 0, 5, 5), 1));
}

namespace {

// Installs a fake grabber for one test and puts the session's own back afterwards.
class GrabberFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto f = std::make_unique<FakeScreenGrabber>();
        fake = f.get();
        setScreenGrabber(std::move(f));
    }
    void TearDown() override { setScreenGrabber(nullptr); }

    // Runs a grab through Grabber::grabAll and waits for its answer from the event loop.
    std::optional<Grabber::GrabOutcome> grab(bool* answeredWithinCall = nullptr)
    {
        std::optional<Grabber::GrabOutcome> outcome;
        Grabber::grabAll({7, 9}, [&](Grabber::GrabOutcome o) { outcome = std::move(o); });
        if (answeredWithinCall)
            *answeredWithinCall = outcome.has_value();
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 5000));
        return outcome;
    }

    FakeScreenGrabber* fake = nullptr;
};

} // namespace

TEST_F(GrabberFake, DeliversShotsLaterWithTheScreensScaleSkippingUnmatchedOnes)
{
    const QList<Screen> screens = currentScreens();
    ASSERT_FALSE(screens.isEmpty());
    const Screen& s = screens.first();
    // Screens without a picture are left out, without an error.
    auto none = grab();
    ASSERT_TRUE(none && std::holds_alternative<QList<ScreenShot>>(*none));
    EXPECT_TRUE(std::get<QList<ScreenShot>>(*none).isEmpty());
    fake->setImage(s.name, filled(QSize(s.pixelWidth(), s.pixelHeight()), Qt::blue));

    bool early = true;
    const auto outcome = grab(&early);
    EXPECT_FALSE(early) << "the answer must come from the event loop, not within the call";
    ASSERT_TRUE(outcome && std::holds_alternative<QList<ScreenShot>>(*outcome));
    const auto& shots = std::get<QList<ScreenShot>>(*outcome);
    ASSERT_EQ(shots.size(), 1);
    EXPECT_TRUE(shots[0].screen.sameAs(s));
    EXPECT_EQ(shots[0].image.devicePixelRatio(), s.scale);
    EXPECT_EQ(shots[0].image.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(fake->lastExcluding(), (QList<quint32> {7, 9}));
    // A failure is told in its own words.
    fake->setFailure(QStringLiteral("无法连接到 X 服务器"));
    const auto failed = grab();
    ASSERT_TRUE(failed && std::holds_alternative<QString>(*failed));
    EXPECT_EQ(std::get<QString>(*failed), QStringLiteral("无法连接到 X 服务器"));
}

TEST(GrabberX11Targets, AsksForTheTruncatedDevicePixelSize)
{
    Screen s;
    s.name = QStringLiteral("made-up");
    s.frame = QRectF(0, 0, 1512, 982);
    s.scale = 2;
    Screen odd = s;
    odd.frame = QRectF(0, 0, 100.7, 50.9);
    odd.scale = 1.5;
    const QList<X11Grabber::Target> t = X11Grabber::targetsFor({s, odd});
    ASSERT_EQ(t.size(), 2);
    EXPECT_EQ(t[0].imageSize, QSize(3024, 1964));
    EXPECT_EQ(t[0].nativeRect.size(), QSize(3024, 1964));
    EXPECT_EQ(t[1].imageSize, QSize(151, 76));
}

TEST(GrabberX11Targets, FailsWithAReasonWithoutAServerOrOnWayland)
{
    const GrabResult r = X11Grabber::grabBlocking(":987654",
        {X11Grabber::Target {QRect(0, 0, 10, 10), QSize(10, 10)}}, X11Grabber::Method::Auto);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_TRUE(r.error->contains(QStringLiteral("无法连接到 X 服务器")));
    EXPECT_TRUE(r.images.isEmpty());
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY"), session = qgetenv("XDG_SESSION_TYPE");
    X11Grabber grabber;
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("XDG_SESSION_TYPE", "x11");
    EXPECT_TRUE(grabber.canRecordScreen());
    EXPECT_TRUE(grabber.unavailableReason().isEmpty());
    qputenv("XDG_SESSION_TYPE", "wayland");
    EXPECT_FALSE(grabber.canRecordScreen());
    EXPECT_TRUE(grabber.unavailableReason().contains(QStringLiteral("Wayland")));
    qunsetenv("XDG_SESSION_TYPE");
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_FALSE(grabber.canRecordScreen());
    for (const auto& [name, value] :
        {std::pair {"WAYLAND_DISPLAY", wayland}, std::pair {"XDG_SESSION_TYPE", session}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}

TEST(GrabberSelection, EnvironmentForcesTheFakeBackend)
{
    const QByteArray saved = qgetenv("QUILLET_GRABBER");
    qputenv("QUILLET_GRABBER", "fake");
    setScreenGrabber(nullptr);
    EXPECT_NE(dynamic_cast<FakeScreenGrabber*>(&screenGrabber()), nullptr);
    qunsetenv("QUILLET_GRABBER");
    setScreenGrabber(nullptr);
    EXPECT_EQ(dynamic_cast<FakeScreenGrabber*>(&screenGrabber()), nullptr);
    if (!saved.isNull())
        qputenv("QUILLET_GRABBER", saved);
    setScreenGrabber(nullptr);
}

// A capture right after another: under a compositor the old overlay stays in the picture until
// the compositor draws again, so the grab waits a frame; otherwise it starts at once.
TEST_F(GrabberFake, WaitsAFrameOnlyAfterTakingAFadingOverlayAway)
{
    setCompositorProbe([] { return true; });
    Grabber::grabAll({}, [](Grabber::GrabOutcome) {});
    EXPECT_EQ(fake->grabCount(), 1) << "nothing was fading: the grab starts within the call";

    auto f = test::oneScreen();
    f.session->show(false);
    f.session->finish(true);
    std::optional<Grabber::GrabOutcome> outcome;
    Grabber::grabAll({}, [&](Grabber::GrabOutcome o) { outcome = std::move(o); });
    EXPECT_EQ(fake->grabCount(), 1) << "the grab waits for the compositor's next frame";
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 5000));
    EXPECT_EQ(fake->grabCount(), 2);
    setCompositorProbe({});
}
