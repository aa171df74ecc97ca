#pragma once

#include "E2eEnv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QSettings>

#include <cmath>

namespace quillet::e2e {

// Helpers for journeys through a capture: the program started with the timing trace (so a test
// knows when every overlay has painted), the overlay opened and closed, and exported images
// compared with the screen pattern pixel by pixel.
class CaptureJourney : public E2eEnv {
protected:
    // Starts the program with extra environment ("NAME=value"). The shell and env both exec, so
    // the process started (and stopped by PID) is the program itself; its stderr goes to log().
    // `program`: the built program unless a test names another build of it.
    QProcess* startTraced(
        const QStringList& extraEnv = {}, const QString& program = QStringLiteral(QUILLET_BINARY))
    {
        m_log = scratch("traced-quillet.log");
        QStringList args {
            "-c", "log=$1; shift; exec env \"$@\" 2>\"$log\"", "sh", m_log, "QUILLET_TRACE=1"};
        args << extraEnv << program;
        return startBackground("/bin/sh", args);
    }

    // The screen pattern up and the traced program ready.
    bool startOnPattern(const QStringList& extraEnv = {})
    {
        return screenPattern() && startTraced(extraEnv) && waitForQuilletReady();
    }

    // Opens a capture, drags out `r` and copies it with Return: the image that reaches the
    // clipboard (null when a step failed).
    QImage copyRegion(const QRect& r, const QString& hotKey = {})
    {
        const QByteArray before = clipboardPng();
        if (!openCapture(hotKey) || !dragRect(r) || !key("Return") || !waitSessionGone())
            return {};
        return waitClipboardImage(before);
    }

    QString log() const
    {
        QFile f(m_log);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    int paintedOverlays() const { return int(log().count("overlay-painted")); }

    // Opens a capture through the command line (or a key through xdotool) and waits until every
    // overlay has painted its first frame.
    bool openCapture(const QString& hotKey = {})
    {
        const int before = paintedOverlays();
        if (hotKey.isEmpty()) {
            if (quillet({"capture"}).exitCode != 0)
                return false;
        } else if (!key(hotKey)) {
            return false;
        }
        return waitFor([&] { return paintedOverlays() > before; }, 10000) && sessionIs("open");
    }

    // Maps a plain window (tests/e2e/tools/xwin) and returns its id once it is on screen.
    QString mapWindow(const QRect& r, const QString& colour)
    {
        return QString::fromLatin1(
            startUntilSaid(QStringLiteral(XWIN_BINARY),
                {"map", QString::number(r.x()), QString::number(r.y()), QString::number(r.width()),
                    QString::number(r.height()), colour},
                "\n"))
            .trimmed();
    }

    bool waitSessionGone()
    {
        return waitFor([&] { return sessionIs("none"); }, 10000);
    }

    // The clipboard's image once it differs from `previous` (empty: once there is one).
    QImage waitClipboardImage(const QByteArray& previous = {})
    {
        QByteArray png;
        waitFor(
            [&] {
                png = clipboardPng();
                return !png.isEmpty() && png != previous;
            },
            10000);
        return QImage::fromData(png, "PNG");
    }

    // How many pixels of `image` differ from the pattern at `screenRect` (device pixels);
    // -1 when the sizes do not match.
    static qint64 patternDiff(const QImage& image, const QRect& screenRect)
    {
        if (image.size() != screenRect.size())
            return -1;
        return patternDiffOutside(image, screenRect.topLeft(), {});
    }

    // Pixels differing from the pattern outside `keepOut` (image coordinates).
    static qint64 patternDiffOutside(
        const QImage& image, const QPoint& origin, const QRegion& keepOut)
    {
        const QImage img = image.convertToFormat(QImage::Format_RGB32);
        qint64 differ = 0;
        for (int y = 0; y < img.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x) {
                differ += (row[x] & 0xFFFFFF)
                        != (patternColor(origin.x() + x, origin.y() + y) & 0xFFFFFF)
                    && !keepOut.contains(QPoint(x, y));
            }
        }
        return differ;
    }

    // Close to the palette's red (#FF4545) within an anti-aliasing tolerance.
    static bool isPaletteRed(QRgb c, int tolerance = 40)
    {
        return std::abs(qRed(c) - 0xFF) <= tolerance && std::abs(qGreen(c) - 0x45) <= tolerance
            && std::abs(qBlue(c) - 0x45) <= tolerance;
    }

private:
    QString m_log;
};

} // namespace quillet::e2e
