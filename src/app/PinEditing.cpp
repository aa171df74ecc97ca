// The controller's side of sending a pin back into an annotation session.
#include "app/PinEditing.h"

#include "app/AppDelegate.h"
#include "capture/CaptureSession.h"
#include "capture/Grabber.h"
#include "output/PinWindow.h"
#include "platform/Geometry.h"
#include "platform/ScreenGrabber.h"

#include <QPointer>
#include <QTimer>

namespace quillet {

namespace PinEditing {

qreal zoomOf(qreal frameWidth, qreal baseWidth)
{
    return frameWidth / (baseWidth <= 1 ? 1.0 : baseWidth);
}

qreal pointWidth(const QImage& image)
{
    const qreal dpr = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0;
    return image.width() / dpr;
}

int screenIndexFor(const QList<ScreenShot>& shots, const QRectF& frame)
{
    if (shots.isEmpty())
        return -1;
    const QPointF centre(midX(frame), midY(frame));
    for (int i = 0; i < shots.size(); ++i) {
        if (containsPoint(shots[i].screen.frame, centre))
            return i;
    }
    return 0;
}

QList<Annotation> mapAnnotations(const QList<Annotation>& list, const QRectF& selection, qreal k)
{
    QList<Annotation> out = list;
    for (Annotation& a : out) {
        for (QPointF& p : a.points)
            p = QPointF(minX(selection) + k * p.x(), minY(selection) + k * p.y());
        a.width = a.tool == Tool::text ? (k * (2 * a.width + 12) - 12) / 2 : k * a.width;
    }
    return out;
}

std::function<void(PinWindow*)> callbackFor(AppDelegate* controller)
{
    QPointer<AppDelegate> weak(controller);
    return [weak](PinWindow* pin) {
        if (weak)
            weak->edit(pin);
    };
}

} // namespace PinEditing

namespace {

const QString captureFailed = QStringLiteral("截图失败");

// The pin comes back, above other windows, and takes input again.
void bringBack(PinWindow* pin)
{
    if (pin && !pin->isClosing())
        pin->orderFront();
}

} // namespace

void AppDelegate::edit(PinWindow* pin)
{
    // Refused without a word: the user is already busy with a capture, or cannot capture.
    if (!pin || pin->isClosing() || m_session || m_busy || !screenGrabber().canRecordScreen())
        return;
    m_busy = true;
    pin->setEditing(true);
    const QRectF frame = pin->globalFrame();
    const PinEdit edit = pin->edit().value_or(PinEdit {pin->image(), {}, {}});
    QPointer<AppDelegate> self(this);
    QPointer<PinWindow> target(pin);
    // The pin is named so that it never appears in the frozen picture; where the window system
    // cannot leave it out, the grab takes it off the screen first.
    Grabber::grabAll(
        {pin->windowNumber()}, [self, target, frame, edit](Grabber::GrabOutcome outcome) {
            if (!self)
                return;
            if (const QString* error = std::get_if<QString>(&outcome)) {
                bringBack(target);
                self->showAlert(captureFailed, *error, [self] {
                    if (self)
                        self->endBusy();
                });
                return;
            }
            QList<ScreenShot> shots = std::get<QList<ScreenShot>>(outcome);
            const int index = PinEditing::screenIndexFor(shots, frame);
            if (index < 0) {
                bringBack(target);
                self->endBusy();
                return;
            }
            const Screen screen = shots[index].screen;
            const QRectF selection = frame.translated(-screen.frame.topLeft());
            // The un-annotated content goes back where the pin was; should that fail, the region
            // shows the screen as it was beneath the pin.
            if (const auto composed
                = Grabber::compose(shots[index].image, edit.base, selection, screen.scale))
                shots[index] = ScreenShot {screen, *composed};
            const qreal k = PinEditing::zoomOf(frame.width(), PinEditing::pointWidth(edit.base));
            const QList<Annotation> mapped
                = PinEditing::mapAnnotations(edit.annotations, selection, k);
            AnnotationHistory history = edit.history;
            for (auto* lists : {&history.undo, &history.redo}) {
                for (QList<Annotation>& list : *lists)
                    list = PinEditing::mapAnnotations(list, selection, k);
            }

            // No window detection while editing: the region is the pin's.
            auto session = std::make_shared<CaptureSession>(shots, QList<QRectF> {}, [self] {
                if (!self || !self->m_session)
                    return;
                QTimer::singleShot(0, [ended = std::move(self->m_session)] {});
                self->openDeferredSettings();
            });
            session->editingPin = target;
            self->m_session = session;
            session->show(true);
            session->beginEdit(screen, selection, mapped, history);
            // The pin stays while the overlay fades in over it, then hides; a session ended before
            // then has already brought it back, so it stays.
            if (target) {
                QTimer::singleShot(PinEditing::hideAfterMs, target,
                    [weak = std::weak_ptr<CaptureSession>(session), target] {
                        const std::shared_ptr<CaptureSession> s = weak.lock();
                        if (s && s->isEditing() && target)
                            target->orderOut();
                    });
            }
            self->endBusy();
        });
}

} // namespace quillet
