#pragma once

#include "capture/Stitcher.h"
#include "platform/Screen.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <memory>

class QWidget;

namespace quillet {

class LongCapturePanel;
class ScrollSource;

// A long capture: the live screen with a thin frame around one region and a panel beside it,
// the region read each time it has changed and settled, and each such frame stitched below
// the last. The user scrolls the program under the region, or lets the program turn its wheel.
// Deletes itself when it ends.
class LongCapture final : public QObject {
    Q_OBJECT
public:
    // `region` in global points (y up) on `screen`, whole points; `pixels` the same rectangle in
    // the screen's image. False (and nothing shown) when the region cannot be read repeatedly.
    static bool start(const Screen& screen, const QRectF& region, const QRect& pixels);
    static LongCapture* current();
    // "auto 1234", "manual 1234", or "none", for scripts.
    static QString statusText();

    // The panel's actions.
    void copyAndFinish();
    void saveAndFinish();
    void pinAndFinish();
    void cancel();
    void toggleAuto();

    int height() const { return m_stitcher.height(); }
    bool autoScrolling() const { return m_auto; }

private:
    LongCapture(const Screen& screen, const QRectF& region, std::unique_ptr<ScrollSource> source);
    ~LongCapture() override;

    void poll();
    void stitch(const QImage& frame);
    void stepAuto(bool changed);
    void stopAuto(const QString& why);
    void say(const QString& text);
    void refreshPanel();
    void showChrome();
    void closeChrome();
    void end();
    // The image with its point size, and the capture ended; nothing (with a beep, the capture
    // going on) when nothing was gathered or there is no memory for the image.
    std::optional<QImage> takeResult();

    Screen m_screen;
    QRectF m_region; // global points
    std::unique_ptr<ScrollSource> m_source;
    Stitcher m_stitcher;
    QTimer m_poll;
    RowHashes m_seen; // the last frame read
    RowHashes m_stitched; // the last frame given to the stitcher
    int m_stableReads = 0;
    int m_failedReads = 0;

    bool m_auto = false;
    int m_notches = 1;
    bool m_changedSinceStep = false;
    int m_stepsWithoutRows = 0;
    int m_refusedInARow = 0;
    QElapsedTimer m_sinceStep;

    QString m_note;
    QPointer<LongCapturePanel> m_panel;
    QList<QPointer<QWidget>> m_frame;
};

} // namespace quillet
