#include "capture/OverlayWindow.h"

#include "capture/CaptureView.h"
#include "capture/NativePointer.h"
#include "platform/Geometry.h"

#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

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
    winId(); // the native window exists before it is placed, so setScreen sticks
    if (screen.qscreen && windowHandle())
        windowHandle()->setScreen(screen.qscreen);
    setGeometry(qtGeometryOf(screen));
}

OverlayWindow::~OverlayWindow()
{
    // A capture leaves many smaller allocations behind (paint engine state, glyphs, layers):
    // hand their free pages back once the last overlay has gone and the loop is idle again.
    if (--liveOverlays() == 0) {
        QTimer::singleShot(0, [] {
            if (liveOverlays() == 0)
                malloc_trim(0);
        });
    }
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

void OverlayWindow::dismissLeaving()
{
    bool hidden = false;
    for (const QPointer<OverlayWindow>& w : std::exchange(leaving(), {})) {
        if (!w || !w->isVisible())
            continue;
        w->hide();
        w->deleteLater();
        hidden = true;
    }
    if (hidden)
        NativePointer::syncWithServer();
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

void OverlayWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
}

} // namespace quillet
