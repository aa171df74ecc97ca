// Stand-in until the overlay lands: a session that shows nothing and ends at once.
#include "capture/CaptureSession.h"

namespace quillet {

class CaptureView { };

CaptureSession::CaptureSession(const QList<ScreenShot>&, const QList<QRectF>&, std::function<void()> onEnd)
    : m_onEnd(std::move(onEnd))
{
}
CaptureSession::~CaptureSession() = default;
void CaptureSession::show(bool) { finish(false); }
void CaptureSession::activate(CaptureView*) { }
void CaptureSession::resetActive() { }
void CaptureSession::forward(MouseEventType, QPointF) { }
void CaptureSession::finish(bool)
{
    if (m_onEnd)
        m_onEnd();
}
void CaptureSession::pinSelectionIfAny() { }
void CaptureSession::beginEdit(const Screen&, const QRectF&, const QList<Annotation>&) { }
void CaptureSession::consumePin() { }
CaptureView* CaptureSession::active() const { return nullptr; }

} // namespace quillet
