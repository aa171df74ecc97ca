#include "capture/OverlayWindow.h"

#include "capture/CaptureView.h"
#include "capture/NativePointer.h"
#include "platform/Geometry.h"
#include "platform/HugePages.h"
#include "platform/WindowSystem.h"

#include <QBackingStore>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <malloc.h>

namespace quillet {

namespace {

QRect qtGeometryOf(const Screen& s)
{
    if (s.qscreen)
        return s.qscreen->geometry();
    return qtFromGlobal(s.frame, primaryQtGeometry()).toAlignedRect();
}

int& liveOverlays()
{
    static int count = 0;
    return count;
}

// Windows whose capture has ended, kept for the next one. A window keeps its pixel buffer while
// hidden; a new one pays for a screen-sized buffer the first time it is painted, which at 4K
// costs tens of milliseconds of page faults between the key press and the overlay.
QList<QPointer<OverlayWindow>>& spares()
{
    static QList<QPointer<OverlayWindow>> windows;
    return windows;
}

bool fits(const OverlayWindow& w, const Screen& s)
{
    if (w.screen().qscreen != s.qscreen || !qFuzzyCompare(w.screen().scale, s.scale))
        return false;
    return w.geometry() == qtGeometryOf(s);
}

void trimWhenIdle()
{
    // A capture leaves many smaller allocations behind (paint engine state, glyphs, layers):
    // hand their free pages back once no overlay is in use and the loop is idle again.
    QTimer::singleShot(0, [] {
        if (liveOverlays() == 0)
            malloc_trim(0);
    });
}

QList<QPointer<OverlayWindow>>& leaving()
{
    static QList<QPointer<OverlayWindow>> windows;
    return windows;
}

} // namespace

OverlayWindow::OverlayWindow(const Screen& screen)
    : QWidget(nullptr,
        Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint)
    , m_screen(screen)
{
    ++liveOverlays();
    // The frozen image covers every pixel: nothing to clear, nothing to blend.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QStringLiteral("墨钉"));
    // Screen and place are set before the native window exists: on Wayland that window takes
    // its buffer scale from the screen it is made on (the one its geometry lies on), and learns
    // the output's own only once its surface has entered it, after the first frame.
    setGeometry(qtGeometryOf(screen));
    if (screen.qscreen)
        setScreen(screen.qscreen);
    winId(); // the native window exists before it is placed, so the screen sticks
    if (screen.qscreen && windowHandle())
        windowHandle()->setScreen(screen.qscreen);
    setGeometry(qtGeometryOf(screen));
}

OverlayWindow::~OverlayWindow()
{
    spares().removeAll(this);
    if (!m_retired && --liveOverlays() == 0)
        trimWhenIdle();
}

OverlayWindow* OverlayWindow::acquire(const Screen& screen)
{
    QList<QPointer<OverlayWindow>>& pool = spares();
    pool.removeAll(nullptr);
    for (int i = 0; i < pool.size(); ++i) {
        OverlayWindow* w = pool[i];
        if (!fits(*w, screen))
            continue;
        pool.removeAt(i);
        w->m_screen = screen;
        w->m_retired = false;
        ++liveOverlays();
        // What the last capture's ending switched off.
        w->setAttribute(Qt::WA_TransparentForMouseEvents, false);
        if (QWindow* handle = w->windowHandle())
            handle->setFlag(Qt::WindowTransparentForInput, false);
        if (windowOpacitySupported())
            w->setWindowOpacity(1.0);
        return w;
    }
    return new OverlayWindow(screen);
}

void OverlayWindow::retire()
{
    if (m_retired)
        return;
    // A fade cut short must not end later on the window's next capture.
    for (auto* fade : findChildren<QPropertyAnimation*>(Qt::FindDirectChildrenOnly)) {
        fade->disconnect(this);
        fade->stop();
        fade->deleteLater();
    }
    hide();
    leaving().removeAll(this);
    if (m_view) {
        CaptureView* view = m_view;
        m_view = nullptr;
        setFocusProxy(nullptr);
        view->hide();
        // The frozen frame goes back to the grabber now, not when the view is deleted: a
        // capture that follows at once reuses its memory.
        view->releaseFrame();
        // The view holds the capture (its frozen image and its session); when it has gone, the
        // memory it used can go back to the system.
        connect(view, &QObject::destroyed, [] { trimWhenIdle(); });
        view->deleteLater();
    }
    m_retired = true;
    --liveOverlays();
    QList<QPointer<OverlayWindow>>& pool = spares();
    pool.removeAll(nullptr);
    // One spare per screen: two captures that overlapped must not leave two buffers behind.
    const bool twin = std::any_of(pool.begin(), pool.end(),
        [this](const QPointer<OverlayWindow>& w) { return fits(*w, m_screen); });
    if (twin)
        deleteLater();
    else
        pool.append(this);
}

void OverlayWindow::prepare(const QList<Screen>& screens)
{
    QList<QPointer<OverlayWindow>>& pool = spares();
    pool.removeAll(nullptr);
    // Windows for screens that went away (or changed) are of no further use.
    for (const QPointer<OverlayWindow>& w : QList(pool)) {
        const bool wanted = std::any_of(
            screens.begin(), screens.end(), [&](const Screen& s) { return fits(*w, s); });
        if (!wanted) {
            pool.removeAll(w);
            w->deleteLater();
        }
    }
    for (const Screen& s : screens) {
        const bool have = std::any_of(pool.begin(), pool.end(),
            [&](const QPointer<OverlayWindow>& w) { return fits(*w, s); });
        if (have)
            continue;
        auto* w = new OverlayWindow(s);
        w->fillBuffer();
        w->retire();
    }
}

void OverlayWindow::dropSpares()
{
    for (const QPointer<OverlayWindow>& w : std::exchange(spares(), {}))
        delete w.data();
}

int OverlayWindow::spareCount()
{
    spares().removeAll(nullptr);
    return int(spares().size());
}

void OverlayWindow::fillBuffer()
{
    // Sizing the window's buffer now and writing every page of it: the first capture then
    // paints into memory that is already there, as every later one does.
    QBackingStore* store = backingStore();
    if (!store)
        return;
    store->resize(size());
    const QRegion all(rect());
    store->beginPaint(all);
    if (auto* image = dynamic_cast<QImage*>(store->paintDevice())) {
        // Still untouched: this is the one moment its pages can be made large.
        backWithHugePages(const_cast<uchar*>(image->constBits()), size_t(image->sizeInBytes()));
        image->fill(Qt::black);
    }
    store->endPaint();
}

void OverlayWindow::setView(CaptureView* view)
{
    m_view = view;
    view->setParent(this);
    view->setGeometry(rect());
    setFocusProxy(view);
}

void OverlayWindow::present()
{
    if (!clientPlacesWindows()) {
        // Only the compositor places windows: full screen on the output set above is the one
        // way to cover it exactly.
        showFullScreen();
        raise();
        return;
    }
    setGeometry(qtGeometryOf(m_screen));
    show();
    raise();
}

bool OverlayWindow::takeKeyboard()
{
    if (!isVisible())
        return false;
    // A bypassed window gets keys only by asking: the grab sends every key here, activation makes
    // Qt route them to this window's focus widget.
    activateWindow();
    if (m_view)
        m_view->setFocus(Qt::OtherFocusReason);
    QWindow* w = windowHandle();
    return w && w->setKeyboardGrabEnabled(true);
}

void OverlayWindow::releaseKeyboard()
{
    if (QWindow* w = windowHandle())
        w->setKeyboardGrabEnabled(false);
}

void OverlayWindow::ignoreInput()
{
    releaseKeyboard();
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (m_view)
        m_view->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (QWindow* w = windowHandle())
        w->setFlag(Qt::WindowTransparentForInput, true);
}

void OverlayWindow::markLeaving()
{
    leaving().removeAll(nullptr);
    leaving().append(this);
}

bool OverlayWindow::dismissLeaving()
{
    bool hidden = false;
    for (const QPointer<OverlayWindow>& w : std::exchange(leaving(), {})) {
        if (!w)
            continue;
        hidden = hidden || w->isVisible();
        w->retire();
    }
    if (hidden)
        NativePointer::syncWithServer();
    return hidden;
}

void OverlayWindow::copy()
{
    if (m_view)
        m_view->copy();
}

void OverlayWindow::saveImage()
{
    if (m_view)
        m_view->saveImage();
}

void OverlayWindow::undo()
{
    if (m_view)
        m_view->undo();
}

void OverlayWindow::redo()
{
    if (m_view)
        m_view->redo();
}

void OverlayWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
}

} // namespace quillet
