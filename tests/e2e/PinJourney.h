#pragma once

// What the pin journeys share: finding pin windows on the server as a user's tools see them,
// reading the screen back, and comparing pixels.

#include "E2eEnv.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <optional>

namespace quillet::e2e {

// One pin as the X server shows it: its window and where that window is, in root pixels.
struct ShownPin {
    QString id;
    QRect geometry;
};

// One pin as the program reports it: where it belongs once it has sprung into place (Qt's
// screen coordinates, y down), its zoom and its own opacity.
struct PinState {
    QRectF frame;
    double zoom = 0;
    double opacity = 0;

    // The window a frame turns into: edges rounded, as the program places it.
    QRect window() const
    {
        const int left = qRound(frame.left()), top = qRound(frame.top());
        return QRect(QPoint(left, top),
            QPoint(qRound(frame.left() + frame.width()) - 1,
                qRound(frame.top() + frame.height()) - 1));
    }
};

// Pixels that differ between the screen and what should be there.
struct PixelDiff {
    int count = 0;
    QPoint first {-1, -1};
    QRgb got = 0;
    QRgb want = 0;

    std::string describe() const
    {
        return QString("%1 pixels differ, first at %2,%3: got #%4 want #%5")
            .arg(count)
            .arg(first.x())
            .arg(first.y())
            .arg(got & 0xffffff, 6, 16, QLatin1Char('0'))
            .arg(want & 0xffffff, 6, 16, QLatin1Char('0'))
            .toStdString();
    }
};

class PinJourney : public E2eEnv {
protected:
    // Pins are ordinary managed windows on a desktop with a window manager.
    EnvOptions options() const override { return {.windowManager = true}; }

    bool waitForPins(int n, int timeoutMs = 5000)
    {
        return waitFor([&] { return pins() == n; }, timeoutMs);
    }

    // Every mapped pin window, found by the program's window class and the pins' title.
    QList<ShownPin> shownPins()
    {
        QList<ShownPin> found;
        for (const QString& id : visibleWindows({"--class", "quillet"})) {
            const ToolResult info = runTool("xwininfo", {"-id", id.trimmed()});
            const QString text = QString::fromUtf8(info.out);
            if (info.exitCode != 0 || !text.contains("\"墨钉贴图\"")
                || !text.contains("IsViewable"))
                continue;
            const auto field = [&text](const char* name) {
                const QRegularExpression re(QString("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
                return re.match(text).captured(1).toInt();
            };
            found.append({id.trimmed(),
                QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"),
                    field("Width"), field("Height"))});
        }
        return found;
    }

    // The "pin:" lines of `quillet status`, in the program's list order.
    QList<PinState> pinStates()
    {
        QList<PinState> states;
        const ToolResult r = quillet({"status"}, 5000);
        for (const QString& line : QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts)) {
            if (!line.startsWith(QLatin1String("pin: ")))
                continue;
            const QStringList f = line.mid(5).split(' ', Qt::SkipEmptyParts);
            if (f.size() != 6)
                continue;
            states.append(
                {QRectF(f[0].toDouble(), f[1].toDouble(), f[2].toDouble(), f[3].toDouble()),
                    f[4].toDouble(), f[5].toDouble()});
        }
        return states;
    }

    // Waits until exactly one pin is open, its window shows where the program says it belongs
    // (so it has finished springing into place or zooming), and `wanted` holds for it. The last
    // one seen is returned either way, so a failure can say what it was.
    std::optional<ShownPin> waitForPinWindow(const std::function<bool(const QRect&)>& wanted,
        bool* met, int timeoutMs = 5000, PinState* state = nullptr)
    {
        std::optional<ShownPin> last;
        *met = waitFor(
            [&] {
                const QList<PinState> states = pinStates();
                const QList<ShownPin> shown = shownPins();
                if (shown.size() != 1 || states.size() != 1)
                    return false;
                last = shown.first();
                if (state)
                    *state = states.first();
                return last->geometry == states.first().window() && wanted(last->geometry);
            },
            timeoutMs);
        return last;
    }

    // Waits until a settled pin window of exactly this geometry shows (others may show too).
    bool waitForPinAt(const QRect& expected, ShownPin* pin = nullptr, int timeoutMs = 5000)
    {
        QList<ShownPin> seen;
        const bool met = waitFor(
            [&] {
                const QList<PinState> states = pinStates();
                const bool belongs = std::any_of(states.begin(), states.end(),
                    [&](const PinState& s) { return s.window() == expected; });
                seen = shownPins();
                for (const ShownPin& p : seen) {
                    if (!belongs || p.geometry != expected)
                        continue;
                    if (pin)
                        *pin = p;
                    return true;
                }
                return false;
            },
            timeoutMs);
        if (!met) {
            std::string shown;
            for (const ShownPin& p : seen)
                shown += " " + describe(p.geometry);
            ADD_FAILURE() << "expected a pin window " << describe(expected) << ", shown:" << shown;
        }
        return met;
    }

    bool waitForNoPinWindow(int timeoutMs = 5000)
    {
        return waitFor([&] { return shownPins().isEmpty(); }, timeoutMs);
    }

    bool waitForActive(const QString& id, int timeoutMs = 5000)
    {
        return waitFor([&] { return activeWindow() == id; }, timeoutMs);
    }

    // _NET_WM_WINDOW_OPACITY as a fraction; 1 when the window does not set it.
    std::optional<double> windowOpacity(const QString& id)
    {
        const ToolResult r = runTool("xprop", {"-id", id, "_NET_WM_WINDOW_OPACITY"});
        if (r.exitCode != 0)
            return std::nullopt;
        const QString text = QString::fromUtf8(r.out);
        const QRegularExpressionMatch m = QRegularExpression("=\\s*(\\d+)").match(text);
        if (!m.hasMatch())
            return 1.0;
        return m.captured(1).toDouble() / 4294967295.0;
    }

    // An image in which neighbouring pixels differ in every channel, saved as PNG.
    QImage gradientImage(QSize size) const
    {
        QImage img(size, QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, qRgb((x * 7 + y) & 255, (y * 5 + x * 3) & 255, (x ^ y) & 255));
        }
        return img;
    }

    QString savedImage(const QImage& img, const QString& name, const char* format = nullptr)
    {
        const QString path = scratch(name);
        EXPECT_TRUE(img.save(path, format, 100)) << path.toStdString();
        return path;
    }

    // Compares `shot` inside `area` (root pixels) with `want` (given root coordinates), leaving
    // out a ring `ring` pixels wide along the area's edge; a channel off by up to `tolerance`
    // still counts as the same.
    static PixelDiff compare(const QImage& shot, const QRect& area,
        const std::function<QRgb(QPoint)>& want, int ring = 0, int tolerance = 0)
    {
        PixelDiff d;
        const QRect inner = area.adjusted(ring, ring, -ring, -ring);
        for (int y = inner.top(); y <= inner.bottom(); ++y) {
            for (int x = inner.left(); x <= inner.right(); ++x) {
                const QPoint p(x, y);
                // Off the screenshot: an alpha that no wanted colour has.
                const QRgb got = shot.rect().contains(p) ? shot.pixel(p) & 0xffffff : 0xff000000;
                const QRgb expected = want(p) & 0xffffff;
                if (std::abs(qRed(got) - qRed(expected)) <= tolerance
                    && std::abs(qGreen(got) - qGreen(expected)) <= tolerance
                    && std::abs(qBlue(got) - qBlue(expected)) <= tolerance && qAlpha(got) == 0)
                    continue;
                if (!d.count++) {
                    d.first = p;
                    d.got = got;
                    d.want = expected;
                }
            }
        }
        return d;
    }

    static std::string describe(const QRect& r)
    {
        return QString("%1x%2+%3+%4")
            .arg(r.width())
            .arg(r.height())
            .arg(r.x())
            .arg(r.y())
            .toStdString();
    }
};

} // namespace quillet::e2e
