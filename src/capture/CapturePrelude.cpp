#include "capture/CapturePrelude.h"

#include "capture/CaptureSession.h"
#include "capture/Trace.h"
#include "platform/Geometry.h"
#include "platform/Screen.h"

#include <QCoreApplication>
#include <QTimer>

namespace quillet {

using Input = PreludeGrab::Input;
using MouseEventType = CaptureSession::MouseEventType;

namespace {

void send(const std::weak_ptr<CaptureSession>& target, MouseEventType type, QPointF p)
{
    if (const std::shared_ptr<CaptureSession> session = target.lock())
        session->forward(type, p);
}

} // namespace

std::shared_ptr<CapturePrelude> CapturePrelude::make()
{
    return make(makePreludeGrab(), Timing {});
}

std::shared_ptr<CapturePrelude> CapturePrelude::make(
    std::unique_ptr<PreludeGrab> grab, Timing timing)
{
    return std::shared_ptr<CapturePrelude>(new CapturePrelude(std::move(grab), timing));
}

void CapturePrelude::start()
{
    if (m_closed || m_catching)
        return;
    PointerState now;
    m_catching = m_grab->start(
        [weak = weak_from_this()](Input input, QPointF p) {
            if (const std::shared_ptr<CapturePrelude> self = weak.lock())
                self->onInput(input, p);
        },
        now);
    m_hover = globalPoint(now.qtPos);
    trace::mark(m_catching ? "prelude-catching" : "prelude-refused");
}

CapturePrelude::CapturePrelude(std::unique_ptr<PreludeGrab> grab, Timing timing)
    : m_grab(std::move(grab))
    , m_timing(timing)
{ }

CapturePrelude::~CapturePrelude()
{
    m_grab->stop();
}

QPointF CapturePrelude::globalPoint(QPointF qt) const
{
    return globalFromQt(qt, primaryQtGeometry());
}

void CapturePrelude::onInput(Input input, QPointF qt)
{
    if (m_closed)
        return;
    const QPointF p = globalPoint(qt);
    if (input == Input::escape) {
        // After the hand-off Escape belongs to the overlays, which have the keyboard by then.
        if (!m_handedOff) {
            m_cancelled = true;
            close();
        }
        return;
    }
    if (m_handedOff)
        forwardLive(input, p);
    else
        record(input, p);
}

void CapturePrelude::record(Input input, QPointF p)
{
    switch (input) {
    case Input::down:
        m_down = p;
        m_last = p;
        m_released = false;
        break;
    case Input::dragged:
        m_last = p;
        break;
    case Input::up:
        m_last = p;
        m_released = true;
        break;
    case Input::moved:
        m_hover = p;
        break;
    case Input::escape:
        break;
    }
}

void CapturePrelude::forwardLive(Input input, QPointF p)
{
    switch (input) {
    case Input::down:
        send(m_target, MouseEventType::down, p);
        m_sentDown = true;
        break;
    case Input::up:
        if (!m_sentDown)
            break;
        send(m_target, MouseEventType::up, p);
        pressEnded();
        scheduleClose(m_timing.recheckMs);
        break;
    case Input::moved:
        m_hover = p;
        break;
    case Input::dragged:
        if (!m_sentDown) {
            send(m_target, MouseEventType::down, m_hover);
            m_sentDown = true;
        }
        send(m_target, MouseEventType::dragged, p);
        break;
    case Input::escape:
        break;
    }
}

void CapturePrelude::pressEnded()
{
    m_sentDown = false;
    // The overlays take the pointer from here: the next press lands on them directly.
    m_grab->releasePointer();
}

void CapturePrelude::overlaysShown(bool taken)
{
    if (taken)
        m_grab->keyboardTaken();
    else
        m_grab->releaseKeyboard();
}

void CapturePrelude::handOff(const std::shared_ptr<CaptureSession>& session)
{
    if (m_closed || !session)
        return;
    m_target = session;
    m_handedOff = true;
    m_keepAlive = shared_from_this();
    // A program ending within the follow-up time lets go now, while its connection to the
    // window system still exists to undo the grab with.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        m_quitting
            = QObject::connect(app, &QCoreApplication::aboutToQuit, [weak = weak_from_this()] {
                  if (const std::shared_ptr<CapturePrelude> self = weak.lock())
                      self->close();
              });
    }
    m_grab->releaseKeyboard();
    if (!m_down || !m_last) {
        // No press seen; one may have begun before the prelude could catch it.
        if (m_grab->pointer().leftHeld) {
            send(m_target, MouseEventType::down, m_hover);
            m_sentDown = true;
            pollDrag();
        }
    } else {
        send(m_target, MouseEventType::down, *m_down);
        m_sentDown = true;
        if (*m_last != *m_down)
            send(m_target, MouseEventType::dragged, *m_last);
        if (m_released) {
            send(m_target, MouseEventType::up, *m_last);
            m_sentDown = false;
        }
    }
    if (!m_sentDown)
        m_grab->releasePointer();
    scheduleClose(m_timing.closeAfterHandOffMs);
}

void CapturePrelude::pollDrag()
{
    if (!m_sentDown || m_closed)
        return;
    // The session ended under a held press: nothing is left to follow it for.
    if (m_target.expired()) {
        close();
        return;
    }
    const PointerState now = m_grab->pointer();
    const QPointF p = globalPoint(now.qtPos);
    if (!now.leftHeld) {
        send(m_target, MouseEventType::up, p);
        pressEnded();
        return;
    }
    send(m_target, MouseEventType::dragged, p);
    QTimer::singleShot(
        m_timing.pollMs, Qt::PreciseTimer, QCoreApplication::instance(), [weak = weak_from_this()] {
            if (const std::shared_ptr<CapturePrelude> self = weak.lock())
                self->pollDrag();
        });
}

void CapturePrelude::scheduleClose(int afterMs)
{
    if (!m_sinceHandOff.isValid())
        m_sinceHandOff.start();
    QTimer::singleShot(afterMs, QCoreApplication::instance(), [weak = weak_from_this()] {
        const std::shared_ptr<CapturePrelude> self = weak.lock();
        if (!self || !self->m_keepAlive)
            return;
        if (self->m_sentDown && !self->m_target.expired()
            && self->m_sinceHandOff.elapsed() < self->m_timing.deadlineMs)
            self->scheduleClose(self->m_timing.recheckMs);
        else
            self->close();
    });
}

void CapturePrelude::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_grab->stop();
    QObject::disconnect(m_quitting);
    m_target.reset();
    m_sentDown = false;
    // Last: this may be the final reference, and the prelude goes with it once this returns.
    const std::shared_ptr<CapturePrelude> last = std::move(m_keepAlive);
}

} // namespace quillet
