// Stand-in until pins land: pinning is not available yet and says so by doing nothing.
#include "output/PinWindow.h"

namespace quillet {

std::function<void(PinWindow*)> PinWindow::onEdit;

PinWindow* PinWindow::pin(const QImage&, std::optional<QRectF>, std::optional<PinEdit>)
{
    return nullptr;
}
QImage PinWindow::renderText(const QString&, qreal) { return {}; }
int PinWindow::count() { return 0; }
void PinWindow::closeAll() { }
QList<PinWindow*> PinWindow::all() { return {}; }
void PinWindow::setZoom(qreal) { }
QRectF PinWindow::globalFrame() const { return {}; }
quint32 PinWindow::windowNumber() const { return 0; }
void PinWindow::closePin() { }
void PinWindow::orderFront() { }
void PinWindow::orderOut() { }
PinWindow::PinWindow(const QImage& image, const QRectF&)
    : m_image(image)
{
}
PinWindow::~PinWindow() = default;

} // namespace quillet
