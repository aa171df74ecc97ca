#include "capture/LongCapture.h"

#include "capture/LongCapturePanel.h"
#include "output/Output.h"
#include "output/PinWindow.h"
#include "output/Toast.h"
#include "platform/Geometry.h"
#include "platform/ScreenGrabber.h"
#include "platform/ScrollSource.h"
#include "platform/WindowSystem.h"
#include "ui/Accent.h"

#include <QApplication>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>

namespace quillet {

namespace {

// Often enough that a wheel step shows up within a frame or two of the program's own redraw.
constexpr int pollMs = 25;
// A frame is taken once one more read has found it the same: a program caught halfway through
// drawing is never stitched.
constexpr int confirmingReads = 1;
// A wheel step that changes nothing for this long has reached the end.
constexpr int endWaitMs = 700;
constexpr int maxNotches = 5;
constexpr int stepsWithoutRowsAtEnd = 3;
constexpr int failedReadsToGiveUp = 40;
constexpr int frameThickness = 2;

LongCapture*& running()
{
    static LongCapture* c = nullptr;
    return c;
}

// A thin strip of the accent colour that the pointer passes through.
QWidget* frameStrip(const QRect& r)
{
    auto* w = new QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus
            | Qt::WindowTransparentForInput);
    w->setAttribute(Qt::WA_ShowWithoutActivating);
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, accent());
    w->setPalette(p);
    w->setAutoFillBackground(true);
    w->setGeometry(r);
    w->show();
    placeWindow(w, r);
    return w;
}

// Right of the region, left of it, below, above; where none fits, the screen's bottom-right
// corner.
QPoint panelPlace(const QRect& region, const QRect& screen, QSize size)
{
    constexpr int gap = 10;
    const int y = std::clamp(region.top(), screen.top(), screen.bottom() + 1 - size.height());
    const int x = std::clamp(
        region.right() + 1 - size.width(), screen.left(), screen.right() + 1 - size.width());
    if (region.right() + 1 + gap + size.width() <= screen.right() + 1)
        return {region.right() + 1 + gap, y};
    if (region.left() - gap - size.width() >= screen.left())
        return {region.left() - gap - size.width(), y};
    if (region.bottom() + 1 + gap + size.height() <= screen.bottom() + 1)
        return {x, region.bottom() + 1 + gap};
    if (region.top() - gap - size.height() >= screen.top())
        return {x, region.top() - gap - size.height()};
    return {screen.right() + 1 - size.width(), screen.bottom() + 1 - size.height()};
}

} // namespace

bool LongCapture::start(const Screen& screen, const QRectF& region, const QRect& pixels)
{
    if (running())
        running()->cancel();
    std::unique_ptr<ScrollSource> source = screenGrabber().scrollSource(screen, pixels);
    if (!source)
        return false;
    running() = new LongCapture(screen, region, std::move(source));
    return true;
}

LongCapture* LongCapture::current()
{
    return running();
}

QString LongCapture::statusText()
{
    const LongCapture* c = running();
    if (!c)
        return QStringLiteral("none");
    return QStringLiteral("%1 %2").arg(c->m_auto ? "auto" : "manual").arg(c->height());
}

LongCapture::LongCapture(
    const Screen& screen, const QRectF& region, std::unique_ptr<ScrollSource> source)
    : m_screen(screen)
    , m_region(region)
    , m_source(std::move(source))
{
    showChrome();
    say(QStringLiteral("滚动框里的内容，或按「自动滚动」"));
    m_poll.setInterval(pollMs);
    connect(&m_poll, &QTimer::timeout, this, &LongCapture::poll);
    m_poll.start();
}

LongCapture::~LongCapture()
{
    if (running() == this)
        running() = nullptr;
    closeChrome();
}

void LongCapture::closeChrome()
{
    for (const QPointer<QWidget>& w : std::as_const(m_frame)) {
        if (w)
            w->close();
    }
    m_frame.clear();
    if (m_panel)
        m_panel->close();
}

void LongCapture::showChrome()
{
    const QRectF primary = primaryQtGeometry();
    const QRect r = qtFromGlobal(m_region, primary).toAlignedRect();
    const QRect screen = qtFromGlobal(m_screen.frame, primary).toAlignedRect();
    // Outside the region by one point, so no part of it is ever in a frame that is read.
    const QRect outer = r.adjusted(
        -1 - frameThickness, -1 - frameThickness, 1 + frameThickness, 1 + frameThickness);
    const int t = frameThickness;
    m_frame = {frameStrip(QRect(outer.left(), outer.top(), outer.width(), t)),
        frameStrip(QRect(outer.left(), outer.bottom() + 1 - t, outer.width(), t)),
        frameStrip(QRect(outer.left(), outer.top() + t, t, outer.height() - 2 * t)),
        frameStrip(QRect(outer.right() + 1 - t, outer.top() + t, t, outer.height() - 2 * t))};

    auto* panel = new LongCapturePanel(m_source->canScroll());
    m_panel = panel;
    connect(panel, &LongCapturePanel::finishClicked, this, &LongCapture::copyAndFinish);
    connect(panel, &LongCapturePanel::cancelClicked, this, &LongCapture::cancel);
    connect(panel, &LongCapturePanel::saveClicked, this, &LongCapture::saveAndFinish);
    connect(panel, &LongCapturePanel::pinClicked, this, &LongCapture::pinAndFinish);
    connect(panel, &LongCapturePanel::autoClicked, this, &LongCapture::toggleAuto);
    panel->adjustSize();
    panel->move(panelPlace(outer, screen, panel->size()));
    panel->show();
    placeWindow(panel, panel->geometry());
    panel->raise();
    panel->activateWindow();
}

void LongCapture::poll()
{
    QImage frame = m_source->grab();
    if (frame.isNull()) {
        if (++m_failedReads == failedReadsToGiveUp)
            say(QStringLiteral("读不到这块屏幕了"));
        return;
    }
    m_failedReads = 0;
    RowHashes hashes = rowHashes(frame);
    if (hashes != m_seen) {
        m_seen = std::move(hashes);
        m_stableReads = 0;
        m_changedSinceStep = true;
    } else {
        ++m_stableReads;
    }
    if (m_stableReads == confirmingReads && m_seen != m_stitched)
        stitch(frame);
    if (m_auto)
        stepAuto(m_stableReads >= confirmingReads && m_seen == m_stitched);
}

void LongCapture::stitch(const QImage& frame)
{
    const Stitcher::Outcome out = m_stitcher.add(frame, m_seen);
    m_stitched = m_seen;
    switch (out.step) {
    case Stitcher::Step::appended:
    case Stitcher::Step::first:
        m_refusedInARow = 0;
        if (m_auto && out.step == Stitcher::Step::appended && out.rowsAdded > 0) {
            // Steps of under half the region keep a wide overlap however far a notch goes.
            const double perNotch = double(out.rowsAdded) / m_notches;
            m_notches = std::clamp(int(frame.height() * 0.4 / perNotch), 1, maxNotches);
        }
        if (m_note.startsWith(QStringLiteral("画面")))
            say(QString());
        break;
    case Stitcher::Step::refused:
        ++m_refusedInARow;
        say(QStringLiteral("画面自己在变，这一帧没有拼上"));
        break;
    case Stitcher::Step::limit:
        m_poll.stop();
        stopAuto(QString());
        say(QStringLiteral("已到最大长度"));
        break;
    case Stitcher::Step::unchanged:
    case Stitcher::Step::back:
        break;
    }
    if (out.step != Stitcher::Step::first && out.step != Stitcher::Step::appended
        && out.step != Stitcher::Step::limit)
        ++m_stepsWithoutRows;
    else
        m_stepsWithoutRows = 0;
    refreshPanel();
}

void LongCapture::stepAuto(bool settled)
{
    if (m_source->userActed()) {
        stopAuto(QStringLiteral("鼠标或键盘动了，自动滚动已停下"));
        return;
    }
    if (m_stitcher.isEmpty())
        return; // the first frame comes before the first step
    if (settled && m_changedSinceStep) {
        if (m_stepsWithoutRows >= stepsWithoutRowsAtEnd) {
            stopAuto(m_refusedInARow ? m_note : QStringLiteral("已滚到底"));
            return;
        }
    } else if (m_changedSinceStep || m_sinceStep.elapsed() < endWaitMs) {
        return;
    } else {
        stopAuto(QStringLiteral("已滚到底"));
        return;
    }
    m_changedSinceStep = false;
    m_sinceStep.restart();
    if (!m_source->scroll(m_notches))
        stopAuto(QStringLiteral("无法发送滚轮"));
}

void LongCapture::toggleAuto()
{
    if (m_auto) {
        stopAuto(QString());
        return;
    }
    if (!m_source->canScroll() || !m_poll.isActive()) {
        QApplication::beep();
        return;
    }
    m_auto = true;
    m_source->watchUser();
    m_notches = 1;
    m_stepsWithoutRows = 0;
    m_refusedInARow = 0;
    // The first step goes as soon as the current frame is in.
    m_changedSinceStep = true;
    say(QStringLiteral("自动滚动中，动一下鼠标或按任意键停下"));
    refreshPanel();
}

void LongCapture::stopAuto(const QString& why)
{
    if (!m_auto)
        return;
    m_auto = false;
    if (!why.isEmpty())
        say(why);
    refreshPanel();
}

void LongCapture::say(const QString& text)
{
    m_note = text;
    if (m_panel)
        m_panel->setNote(text);
}

void LongCapture::refreshPanel()
{
    if (!m_panel)
        return;
    m_panel->setHeight(m_stitcher.height());
    m_panel->setAuto(m_auto);
    m_panel->setPreview(m_stitcher.overview(LongCapturePanel::previewBox()));
}

std::optional<QImage> LongCapture::takeResult()
{
    if (m_stitcher.isEmpty()) {
        QApplication::beep();
        return std::nullopt;
    }
    QImage image = m_stitcher.takeImage();
    if (image.isNull()) {
        // Nothing is lost: the rows stay, and the capture with them.
        QApplication::beep();
        say(QStringLiteral("内存不够，拿不出拼好的图片"));
        return std::nullopt;
    }
    image.setDevicePixelRatio(m_screen.scale);
    // Off the screen first, so a save dialog is not covered by the panel.
    end();
    return image;
}

void LongCapture::end()
{
    m_poll.stop();
    m_auto = false;
    if (running() == this)
        running() = nullptr;
    closeChrome();
    deleteLater();
}

void LongCapture::copyAndFinish()
{
    const std::optional<QImage> image = takeResult();
    if (!image)
        return;
    Output::copy(*image);
    Toast::show(QStringLiteral("已复制到剪贴板"), *image, std::nullopt, m_screen);
}

void LongCapture::saveAndFinish()
{
    const std::optional<QImage> image = takeResult();
    if (!image)
        return;
    const Screen screen = m_screen;
    if (const auto path = Output::save(*image))
        Toast::show(
            QStringLiteral("已保存 ") + QFileInfo(*path).fileName(), *image, std::nullopt, screen);
}

void LongCapture::pinAndFinish()
{
    const std::optional<QImage> image = takeResult();
    if (!image)
        return;
    // As tall as the screen allows, scaled down to it; zooming makes it larger again.
    const QRectF visible = m_screen.visibleFrame.isEmpty() ? m_screen.frame : m_screen.visibleFrame;
    QSizeF size = image->deviceIndependentSize();
    if (size.height() > visible.height())
        size *= visible.height() / size.height();
    const qreal x = std::clamp(
        m_region.x(), visible.x(), std::max(visible.x(), maxX(visible) - size.width()));
    const qreal y = std::clamp(maxY(m_region) - size.height(), visible.y(),
        std::max(visible.y(), maxY(visible) - size.height()));
    PinWindow::pin(*image, QRectF(QPointF(x, y), size));
}

void LongCapture::cancel()
{
    end();
}

} // namespace quillet
