#pragma once

#include "platform/PreludeGrab.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointF>
#include <memory>
#include <optional>

namespace quillet {

class CaptureSession;

// Bridges the moment between asking for a capture and its overlays being up: users press and
// drag the instant they hit the shortcut, while the screens are still being grabbed. The prelude
// catches that input from the start and replays it into the session once there is one; Escape
// in that moment cancels the capture. Positions are global points.
class CapturePrelude final : public std::enable_shared_from_this<CapturePrelude> {
public:
    // How long the prelude keeps following a press after the hand-off.
    struct Timing {
        int closeAfterHandOffMs = 1000;
        int recheckMs = 300; // while a forwarded press is held, and after its release
        int deadlineMs = 5000; // from the hand-off; a press held longer is left to the overlays
        int pollMs = 8; // 120 Hz, for a press the prelude never saw begin
    };

    // A prelude that catches nothing yet; start() begins.
    static std::shared_ptr<CapturePrelude> make();
    static std::shared_ptr<CapturePrelude> make(std::unique_ptr<PreludeGrab> grab, Timing timing);
    // Catches the input from now on, through the window system's grab.
    void start();
    ~CapturePrelude();

    CapturePrelude(const CapturePrelude&) = delete;
    CapturePrelude& operator=(const CapturePrelude&) = delete;

    // Windows the screen grab must leave out: none, the prelude shows nothing.
    QList<quint32> windowNumbers() const { return {}; }
    // False when the window system refused the grab: the capture opens without early input,
    // except a press already held when it does, which is still followed.
    bool catching() const { return m_catching; }
    // The user pressed Escape before the overlays were up.
    bool cancelled() const { return m_cancelled; }
    bool closed() const { return m_closed; }

    // The overlays have been shown; `taken` says whether one of them took the keyboard. Until
    // then the prelude holds it, so that keys pressed meanwhile (a hot key's own release among
    // them) are not delivered to whatever window has the focus.
    void overlaysShown(bool taken);
    // Replays what was caught into the session, and keeps forwarding a press still held.
    void handOff(const std::shared_ptr<CaptureSession>& session);
    // Lets go of everything; safe to call more than once.
    void close();

private:
    CapturePrelude(std::unique_ptr<PreludeGrab> grab, Timing timing);

    void onInput(PreludeGrab::Input input, QPointF qt);
    void record(PreludeGrab::Input input, QPointF p);
    void forwardLive(PreludeGrab::Input input, QPointF p);
    void pressEnded();
    void pollDrag();
    void scheduleClose(int afterMs);
    QPointF globalPoint(QPointF qt) const;

    std::unique_ptr<PreludeGrab> m_grab;
    Timing m_timing;
    bool m_catching = false;
    bool m_cancelled = false;
    bool m_closed = false;
    // The controller owns the session; one that has ended is not kept for the follow-up.
    std::weak_ptr<CaptureSession> m_target;
    bool m_handedOff = false;
    std::optional<QPointF> m_down;
    std::optional<QPointF> m_last;
    bool m_released = false;
    bool m_sentDown = false;
    QPointF m_hover;
    // Set during the hand-off: the prelude outlives the controller's reference until it closes.
    std::shared_ptr<CapturePrelude> m_keepAlive;
    QMetaObject::Connection m_quitting;
    QElapsedTimer m_sinceHandOff;
};

} // namespace quillet
