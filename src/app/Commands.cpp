#include "capture/CaptureReadiness.h"
#include "capture/Trace.h"
// The controller's commands: capture, pin, and the requests of the command line.
#include "app/AppDelegate.h"

#include "capture/CapturePrelude.h"
#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "capture/Grabber.h"
#include "capture/LongCapture.h"
#include "output/Output.h"
#include "output/OutsideImage.h"
#include "output/PinWindow.h"
#include "output/Toast.h"
#include "platform/ClipboardReader.h"
#include "platform/Geometry.h"
#include "platform/Screen.h"
#include "platform/ScreenGrabber.h"
#include "platform/SystemServices.h"
#include "platform/TrayHost.h"
#include "settings/Prefs.h"
#include "settings/window/SettingsModel.h"
#include "ui/AppIcons.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QMimeData>
#include <QScreen>
#include <QTimer>

#include <unistd.h>

namespace quillet {

namespace {

const QString captureFailed = QStringLiteral("截图失败");
constexpr int waitingHintMs = 30000;

qreal scaleUnderPointer()
{
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

// The desktop remembers a "no" to screenshots; where the program may take it back, the alert
// offers to, so that one hasty answer in the desktop's dialog is not for good.
AppDelegate::AlertAction askAgainAction()
{
    if (!screenGrabber().refusedByDesktop())
        return {};
    return {QStringLiteral("让桌面再问一次"), [] {
                screenGrabber().askAgain([](bool ok) {
                    Toast::show(ok ? QStringLiteral("下次截图时桌面会再询问")
                                   : QStringLiteral("没能撤回桌面记住的拒绝"));
                });
            }};
}

} // namespace

void AppDelegate::startCapture()
{
    if (m_session) {
        m_session->pinSelectionIfAny();
        return;
    }
    // As with a selection on the overlay: the capture key again pins what was gathered.
    if (LongCapture* running = LongCapture::current()) {
        running->pinAndFinish();
        return;
    }
    if (m_busy) {
        // Waiting for the desktop, which may be asking the user: the key again stops waiting.
        if (screenGrabber().waitingForDesktop())
            screenGrabber().stopWaiting();
        return;
    }
    if (Output::saveInProgress()) {
        // The save dialog or the failure alert holds the last capture, and it is modal: a new
        // overlay would get none of the keys, and the Escape meant for it would dismiss the
        // alert and drop the capture it keeps. Point at the alert instead.
        QApplication::beep();
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
        return;
    }
    // Without the screen there is nothing to capture: the general page says why and what
    // can be done about it.
    if (!screenGrabber().canRecordScreen()) {
        openSettings(SettingsPage::general);
        return;
    }
    m_busy = true;
    const std::shared_ptr<CapturePrelude> prelude = CapturePrelude::make();
    // Filled in below, while the screens are being read; the result comes back only after this
    // call has returned.
    const auto rects = std::make_shared<QList<QRectF>>();
    QPointer<AppDelegate> self(this);
    // A desktop that asks first may have put its question where the user has not seen it.
    const int capture = ++m_captures;
    QTimer::singleShot(waitingHintMs, this, [self, capture] {
        if (self && self->m_busy && self->m_captures == capture
            && screenGrabber().waitingForDesktop())
            Toast::show(QStringLiteral("还在等桌面回应：请在桌面的询问里选择；再按截图键可不再等"));
    });
    Grabber::grabAll(
        prelude->windowNumbers(), [self, rects, prelude](Grabber::GrabOutcome outcome) {
            if (!self) {
                prelude->close();
                return;
            }
            if (const QString* error = std::get_if<QString>(&outcome)) {
                prelude->close();
                self->showAlert(
                    captureFailed, *error,
                    [self] {
                        if (self)
                            self->endBusy();
                    },
                    askAgainAction());
                return;
            }
            trace::mark("delivered");
            const QList<ScreenShot>& shots = std::get<QList<ScreenShot>>(outcome);
            if (shots.isEmpty() || prelude->cancelled()) {
                prelude->close();
                self->endBusy();
                return;
            }
            auto session = std::make_shared<CaptureSession>(shots, *rects, [self] {
                if (!self || !self->m_session)
                    return;
                // The session usually ends from inside one of its own event handlers: let the
                // last reference go once that call has returned.
                QTimer::singleShot(0, [ended = std::move(self->m_session)] {});
                self->openDeferredSettings();
            });
            trace::mark("session-made");
            self->m_session = session;
            // The overlay takes the keyboard over from the prelude as it is shown.
            prelude->overlaysShown(session->show(false));
            trace::mark("shown");
            prelude->handOff(session);
            self->endBusy();
        });
    // The screens are read on the grabbing thread from here on. Meanwhile a press, a drag or
    // Escape is caught, and the windows that clicks can select are listed; neither waits for
    // the other or delays the picture.
    prelude->start();
    if (Prefs::detectWindows())
        *rects = Grabber::windowRects();
}

void AppDelegate::pinClipboard()
{
    pinClipboardThen({});
}

void AppDelegate::pinClipboardThen(std::function<void(PinOutcome)> done)
{
    if (m_session) {
        m_session->pinSelectionIfAny();
        if (done)
            done(PinOutcome::selection);
        return;
    }
    // Another program answers for the clipboard, maybe never: hot keys, captures and commands go
    // on meanwhile.
    readClipboard(this, [this, done = std::move(done)](const ClipboardRead& read) {
        const PinOutcome outcome = pinFrom(read);
        if (done)
            done(outcome);
    });
}

AppDelegate::PinOutcome AppDelegate::pinFrom(const ClipboardRead& read)
{
    m_pinFailure.clear();
    if (read.noAnswer) {
        m_pinFailure = QStringLiteral("剪贴板所属的程序没有响应，无法读取剪贴板");
        QApplication::beep();
        return PinOutcome::failed;
    }
    if (m_session) {
        // A capture opened while the clipboard was read: a pin now would come up over it.
        m_pinFailure = QStringLiteral("截图正在进行，没有贴出剪贴板的内容");
        return PinOutcome::failed;
    }
    const QMimeData* data = read.data;
    const OutsideImage::Loaded image = OutsideImage::fromClipboard(data);
    if (!image.image.isNull() || image.tooLarge) {
        if (!image.image.isNull() && pinImage(image.image))
            return PinOutcome::image;
        m_pinFailure = image.error;
        QApplication::beep();
        return PinOutcome::failed;
    }
    const QString text = data && data->hasText() ? data->text() : QString();
    if (!text.isEmpty()) {
        if (pinText(text, scaleUnderPointer()))
            return PinOutcome::text;
        QApplication::beep();
        return PinOutcome::failed;
    }
    QApplication::beep();
    if (!image.error.isEmpty()) {
        // An image was there, damaged: saying there was none would mislead.
        m_pinFailure = QStringLiteral("剪贴板里的图片已损坏，无法读取");
        return PinOutcome::failed;
    }
    return PinOutcome::nothing;
}

bool AppDelegate::pinFile(const QString& path, QString* error)
{
    OutsideImage::Loaded loaded = OutsideImage::readFile(path);
    if (loaded.image.isNull()) {
        if (error)
            *error = loaded.error;
        return false;
    }
    // A file has no point size of its own: one pixel is one point.
    loaded.image.setDevicePixelRatio(1.0);
    if (!pinImage(loaded.image)) {
        if (error)
            *error = QStringLiteral("贴图功能还不可用");
        return false;
    }
    return true;
}

QString AppDelegate::statusText() const
{
    QStringList lines;
    lines << QStringLiteral("pid: %1").arg(::getpid());
    lines << QStringLiteral("hotkeys-registered: %1").arg(m_hotKeysRegistered);
    lines << (QStringLiteral("hotkeys-failed: ") + m_hotKeyFailures.join(QStringLiteral(", ")))
                 .trimmed();
    lines << QStringLiteral("session: %1").arg(m_session ? "open" : "none");
    lines << QStringLiteral("overlays: %1").arg(m_session ? m_session->windows().size() : 0);
    // The screen whose overlay takes the keys: the one the pointer last came into.
    if (m_session && m_session->keyView())
        lines << QStringLiteral("key-screen: %1").arg(m_session->keyView()->screen().name);
    lines << QStringLiteral("busy: %1").arg(m_busy ? 1 : 0);
    lines << QStringLiteral("long-capture: %1").arg(LongCapture::statusText());
    // Whether the buffers a capture uses are made (shortly after launch and screen changes).
    lines << QStringLiteral("capture-ready: %1").arg(m_readiness && m_readiness->isReady() ? 1 : 0);
    // The layout the program sees (Qt's coordinates, device pixels), so that scripts changing
    // monitors can tell when the change has arrived.
    const QRectF primary = primaryQtGeometry();
    for (const Screen& screen : currentScreens()) {
        const QRectF q = qtFromGlobal(screen.frame, primary);
        lines << QStringLiteral("screen: %1 %2 %3 %4x%5 %6")
                     .arg(screen.name)
                     .arg(qRound(q.x() * screen.scale))
                     .arg(qRound(q.y() * screen.scale))
                     .arg(screen.pixelWidth())
                     .arg(screen.pixelHeight())
                     .arg(screen.scale);
    }
    lines << QStringLiteral("pins: %1").arg(PinWindow::count());
    // Where each pin belongs once its appearing has ended, in Qt's screen coordinates, so that
    // scripts can tell a settled pin from one still springing into place.
    for (const PinWindow* pin : PinWindow::all()) {
        const QRectF q = qtFromGlobal(pin->globalFrame(), primary);
        lines << QStringLiteral("pin: %1 %2 %3 %4 %5 %6")
                     .arg(q.x())
                     .arg(q.y())
                     .arg(q.width())
                     .arg(q.height())
                     .arg(pin->zoom())
                     .arg(pin->opacity());
    }
    lines << QStringLiteral("tray: %1").arg(trayHost().present() ? 1 : 0);
    // Where the tray and window icons came from: "theme" once installed, "built-in" otherwise.
    auto from = [](bool theme) { return theme ? "theme" : "built-in"; };
    lines << QStringLiteral("tray-icon: %1").arg(from(trayIconFromTheme()));
    lines << QStringLiteral("app-icon: %1").arg(from(appIconFromTheme()));
    // Whether the settings window is on screen, and the page it shows (or would show).
    lines << QStringLiteral("settings-window: %1")
                 .arg(m_settingsWindow && m_settingsWindow->isVisible() ? 1 : 0);
    lines << QStringLiteral("settings-page: %1").arg(rawValue(SettingsModel::shared().shownPage()));
    lines << QStringLiteral("wayland: %1").arg(quillet::waylandSession() ? 1 : 0);
    lines << QStringLiteral("capture-route: %1")
                 .arg(screenGrabber().canRecordScreen() ? screenGrabber().routeName()
                                                        : QStringLiteral("none"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void AppDelegate::handleRequest(const Request& request, std::function<void(const Reply&)> respond)
{
    if (request.verb != QLatin1String("pin") || !request.argument.isEmpty()) {
        respond(answer(request));
        return;
    }
    pinClipboardThen([this, respond = std::move(respond)](PinOutcome outcome) {
        switch (outcome) {
        case PinOutcome::nothing:
            respond({1, QStringLiteral("剪贴板里没有图片或文字\n")});
            return;
        case PinOutcome::failed:
            if (!m_pinFailure.isEmpty())
                respond({1, m_pinFailure + QLatin1Char('\n')});
            else
                respond({1, QStringLiteral("无法贴出剪贴板的内容\n")});
            return;
        case PinOutcome::image:
        case PinOutcome::text:
        case PinOutcome::selection:
            respond({0, {}});
            return;
        }
    });
}

Reply AppDelegate::answer(const Request& request)
{
    const QString& verb = request.verb;
    if (verb == QLatin1String("status"))
        return {0, statusText()};
    if (verb == QLatin1String("quit")) {
        quit();
        return {0, QStringLiteral("pid: %1\n").arg(::getpid())};
    }
    const QString afterCapture = QStringLiteral("截图结束后打开设置窗口\n");
    if (verb == QLatin1String("reopen")) {
        openSettings(std::nullopt);
        if (settingsDeferred())
            return {0, QStringLiteral("墨钉已在运行，") + afterCapture};
        return {0, QStringLiteral("墨钉已在运行，已打开设置窗口\n")};
    }
    if (verb == QLatin1String("settings")) {
        if (request.argument.isEmpty()) {
            openSettings(std::nullopt);
            return {0, settingsDeferred() ? afterCapture : QString()};
        }
        // The command line checked the name; a client of its own may not have.
        const std::optional<SettingsPage> page = settingsPageFromRaw(request.argument);
        if (!page)
            return {2, QStringLiteral("没有这个设置页面：%1\n").arg(request.argument)};
        openSettings(page);
        return {0, settingsDeferred() ? afterCapture : QString()};
    }
    if (verb == QLatin1String("capture")) {
        if (!screenGrabber().canRecordScreen()) {
            startCapture(); // the settings window says the same on screen
            return {1, QStringLiteral("无法截图：%1\n").arg(screenGrabber().unavailableReason())};
        }
        if (Output::saveInProgress()) {
            startCapture(); // beeps and raises the alert
            return {1, QStringLiteral("上一张截图还在等待保存，请先回应保存提示\n")};
        }
        startCapture();
        return {0, {}};
    }
    if (verb == QLatin1String("pin-file") && !request.argument.isEmpty()) {
        QString error;
        if (!pinFile(request.argument, &error))
            return {1, error + QLatin1Char('\n')};
        return {0, {}};
    }
    return {2, QStringLiteral("未知请求：%1\n").arg(verb)};
}

} // namespace quillet
