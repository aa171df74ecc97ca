#include "capture/CaptureReadiness.h"

#include "capture/CaptureView.h"
#include "capture/OverlayWindow.h"
#include "platform/Screen.h"
#include "platform/ScreenGrabber.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace quillet {

namespace {

// Paints a small overlay with a selection, its size label and the magnifier once per pixel
// ratio, so fonts, glyphs and the sprites the overlay caches are loaded before a capture needs
// them.
void paintSample(qreal scale)
{
    static QList<int> done;
    const int key = qRound(scale * 100);
    if (done.contains(key))
        return;
    done.append(key);
    Screen screen;
    screen.frame = QRectF(0, 0, 320, 240);
    screen.scale = scale;
    screen.name = QStringLiteral("sample");
    QImage frozen(int(320 * scale), int(240 * scale), QImage::Format_RGB32);
    frozen.fill(Qt::gray);
    frozen.setDevicePixelRatio(scale);
    CaptureView view(
        nullptr, ScreenShot {screen, frozen}, {QRectF(40, 40, 120, 90)}, QPointF(100, 100));
    QImage target(frozen.size(), QImage::Format_RGB32);
    target.setDevicePixelRatio(scale);
    QPainter p(&target);
    view.paint(p, QRegion(0, 0, 320, 240));
}

} // namespace

CaptureReadiness::CaptureReadiness(QObject* parent)
    : QObject(parent)
{ }

CaptureReadiness::~CaptureReadiness()
{
    OverlayWindow::dropSpares();
}

void CaptureReadiness::start()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    for (QScreen* s : QGuiApplication::screens())
        watch(s);
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* s) {
        watch(s);
        schedule(500);
    });
    connect(app, &QGuiApplication::screenRemoved, this, [this] { schedule(500); });
    connect(app, &QGuiApplication::primaryScreenChanged, this, [this] { schedule(500); });
    // Shortly after launch rather than during it: the program answers its first commands and
    // hot keys at once, and the work below follows while nothing else happens.
    schedule(1000);
}

void CaptureReadiness::watch(QScreen* screen)
{
    // A layout change arrives as a burst of signals; one preparation follows the last.
    connect(screen, &QScreen::geometryChanged, this, [this] { schedule(500); });
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, [this] { schedule(500); });
}

void CaptureReadiness::schedule(int delayMs)
{
    m_ready = false;
    if (m_pending)
        return;
    m_pending = true;
    QTimer::singleShot(delayMs, this, [this] {
        m_pending = false;
        prepareInSteps();
    });
}

void CaptureReadiness::prepareInSteps()
{
    // One piece per pass of the event loop, so a key press in between waits for one piece at
    // most, not for all of them.
    const QList<Screen> screens = currentScreens();
    if (screens.isEmpty())
        return;
    if (screenGrabber().canRecordScreen())
        screenGrabber().prepare(screens);
    QTimer::singleShot(0, this, [this, screens] {
        OverlayWindow::prepare(screens);
        for (const Screen& s : screens)
            QTimer::singleShot(0, this, [scale = s.scale] { paintSample(scale); });
        QTimer::singleShot(0, this, [this] { m_ready = !m_pending; });
    });
}

void CaptureReadiness::prepareNow()
{
    const QList<Screen> screens = currentScreens();
    if (screens.isEmpty())
        return;
    if (screenGrabber().canRecordScreen())
        screenGrabber().prepare(screens);
    OverlayWindow::prepare(screens);
    for (const Screen& s : screens)
        paintSample(s.scale);
}

} // namespace quillet
