// Ending a capture with a result: the region rendered at full device resolution, then copied,
// saved or pinned.
#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "capture/LongCapture.h"
#include "capture/Trace.h"
#include "output/Output.h"
#include "output/PinWindow.h"
#include "output/TextRecognition.h"
#include "output/Toast.h"
#include "platform/Geometry.h"
#include "platform/ScreenGrabber.h"

#include <QApplication>
#include <QColorSpace>
#include <QFileInfo>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quillet {

std::optional<QImage> CaptureView::render(bool annotated)
{
    m_annotator->commitText();
    const QRectF r = integralRect(m_selection);
    const qreal s = m_screen.scale;
    const int pw = int(r.width() * s), ph = int(r.height() * s);
    if (pw < 1 || ph < 1)
        return std::nullopt;
    const qreal h = bounds().height();

    // The region's place in the frozen image, in pixels (rows from the top).
    const QRectF source(r.x() * s, (h - maxY(r)) * s, pw, ph);
    QImage out;
    const QRect whole = source.toRect();
    if (QRectF(whole) == source && m_image.rect().contains(whole)) {
        // Whole pixels: the region is an exact copy, no resampling anywhere.
        out = m_image.copy(whole);
    } else {
        out = QImage(pw, ph,
            m_image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        if (out.isNull())
            return std::nullopt;
        out.fill(Qt::black);
        QPainter p(&out);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(0, 0, pw, ph), m_image, source);
    }
    if (out.isNull())
        return std::nullopt;
    out.setColorSpace(m_image.colorSpace().isValid() ? m_image.colorSpace() : QColorSpace::SRgb);
    out.setDevicePixelRatio(s);
    if (annotated && !m_annotator->annotations.isEmpty()) {
        if (out.format() != QImage::Format_RGB32
            && out.format() != QImage::Format_ARGB32_Premultiplied)
            out.convertTo(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&out);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        // View points, y up, with the region's bottom-left corner at the image's bottom-left.
        p.translate(-r.x(), 0);
        flipPainter(p, maxY(r));
        m_annotator->drawForExport(p);
    }
    return out;
}

void CaptureView::copyAndFinish()
{
    const auto image = render(true);
    if (!image)
        return;
    Output::copy(*image);
    endWith(*image, true);
}

void CaptureView::endWith(const QImage& image, bool fade)
{
    if (m_session->editingPin)
        repin(image); // the edited capture is pinned again
    else
        m_session->finish(fade);
}

void CaptureView::copy()
{
    if (CaptureView* key = keyHolder()) {
        key->copy();
        return;
    }
    if (live() && m_selected)
        copyAndFinish();
}

void CaptureView::saveAndFinish()
{
    const auto image = render(true);
    if (!image)
        return;
    // The overlay goes first, so a save dialog opens over the desktop, not under the overlay.
    const Screen screen = m_screen;
    endWith(*image, false);
    trace::mark("save-begin");
    if (const auto path = Output::save(*image))
        Toast::show(
            QStringLiteral("已保存 ") + QFileInfo(*path).fileName(), *image, std::nullopt, screen);
}

void CaptureView::saveImage()
{
    if (CaptureView* key = keyHolder()) {
        key->saveImage();
        return;
    }
    if (live() && m_selected)
        saveAndFinish();
}

void CaptureView::undo()
{
    stepHistory(false);
}

void CaptureView::redo()
{
    stepHistory(true);
}

void CaptureView::stepHistory(bool forward)
{
    if (CaptureView* key = keyHolder()) {
        key->stepHistory(forward);
        return;
    }
    if (!live() || !m_selected)
        return;
    if (forward)
        m_annotator->redo();
    else
        m_annotator->undo();
    redraw();
}

void CaptureView::pinAndFinish()
{
    if (!m_selected)
        return;
    if (const auto image = render(true))
        repin(*image);
}

void CaptureView::recogniseText()
{
    if (!live() || !m_selected)
        return;
    // Refused while the capture stays open, so nothing the user selected is lost.
    if (!TextRecognition::ready(m_screen))
        return;
    const auto image = render(true);
    if (!image)
        return;
    const Screen screen = m_screen;
    endWith(*image, true);
    TextRecognition::start(*image, screen);
}

void CaptureView::repin(const QImage& image)
{
    const QRectF r = integralRect(m_selection);
    const QImage base = render(false).value_or(image);
    m_annotator->settle();
    PinEdit edit {base, m_annotator->annotations, m_annotator->history};
    const auto toBase = [o = r.topLeft()](Annotation& a) {
        for (QPointF& pt : a.points)
            pt -= o; // y up: (minX, minY)
    };
    std::for_each(edit.annotations.begin(), edit.annotations.end(), toBase);
    edit.history.forEachAnnotation(toBase);
    const QRectF frame = r.translated(m_screen.frame.topLeft());
    m_session->consumePin();
    m_session->finish(false);
    PinWindow::pin(image, frame, edit);
}

QString CaptureView::hostLongCaptureUnavailable() const
{
    if (m_session && m_session->editingPin)
        return QStringLiteral("编辑贴图时不能长截图");
    return screenGrabber().longCaptureUnavailable();
}

void CaptureView::startLongCapture()
{
    if (!m_selected || !hostLongCaptureUnavailable().isEmpty()) {
        QApplication::beep();
        return;
    }
    const QRectF r = integralRect(m_selection);
    const QRect pixels = pixelRectFromView(r, m_image.height(), m_screen.scale).toRect();
    const Screen screen = m_screen;
    const QRectF region = r.translated(m_screen.frame.topLeft());
    // The overlay leaves at once: the first frame is read from the live screen.
    m_session->finish(false);
    if (!LongCapture::start(screen, region, pixels))
        QApplication::beep();
}

} // namespace quillet
