#pragma once

// Screens, frozen images and sessions made up for the overlay tests: no display needed.

#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "platform/Screen.h"

#include <QCursor>
#include <QImage>
#include <QTest>
#include <memory>

namespace quillet::test {

inline Screen fakeScreen(const QString& name, const QRectF& frame, qreal scale = 1.0)
{
    Screen s;
    s.name = name;
    s.frame = frame;
    s.visibleFrame = frame;
    s.scale = scale;
    return s;
}

// Every pixel differs from its neighbours, so a shifted or resampled copy never matches.
inline QImage patternImage(int w, int h, qreal dpr = 1.0)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = qRgb((x * 7 + y) & 0xff, (y * 5 + x / 3) & 0xff, (x ^ y) & 0xff);
    }
    img.setDevicePixelRatio(dpr);
    return img;
}

inline ScreenShot shotOf(const Screen& s)
{
    return ScreenShot {s, patternImage(s.pixelWidth(), s.pixelHeight(), s.scale)};
}

// Keeps the pointer away from every made-up screen, so no view starts with a hover.
inline void parkPointer()
{
    QCursor::setPos(-5000, -5000);
}

struct SessionFixture {
    std::shared_ptr<CaptureSession> session;
    std::shared_ptr<int> ends = std::make_shared<int>(0);

    CaptureView& view(int i = 0) { return *session->views().at(i); }
};

inline SessionFixture makeSession(
    const QList<Screen>& screens, const QList<QRectF>& windowRects = {})
{
    parkPointer();
    SessionFixture f;
    QList<ScreenShot> shots;
    for (const Screen& s : screens)
        shots.append(shotOf(s));
    auto ends = f.ends;
    f.session = std::make_shared<CaptureSession>(shots, windowRects, [ends] { ++*ends; });
    return f;
}

inline SessionFixture oneScreen(
    qreal scale = 1.0, const QList<QRectF>& windowRects = {}, QSizeF size = QSizeF(800, 600))
{
    return makeSession(
        {fakeScreen(QStringLiteral("A"), QRectF(QPointF(0, 0), size), scale)}, windowRects);
}

// Drags from a to b as the pointer would: move, press, drag, release.
inline void dragSelect(CaptureView& v, QPointF a, QPointF b)
{
    v.mouseMovedAt(a);
    v.mouseDownAt(a);
    v.mouseDraggedAt(b);
    v.mouseUpAt(b);
}

} // namespace quillet::test
