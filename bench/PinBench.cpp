// Opening and closing many pins must give their memory back: every pin holds a window backing
// store the size of its frame, so a leak there is megabytes per pin.
#include "output/PinWindow.h"
#include "settings/Prefs.h"

#include "BenchApp.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>

#include <benchmark/benchmark.h>

using namespace quillet;

namespace {

// Resident memory in MiB, from /proc/self/status.
double residentMiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

QApplication& app()
{
    quillet::bench::ensureApp();
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

// Runs the event loop until `done` holds or the time is up.
template<typename F> bool waitFor(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QImage busyImage()
{
    QImage img(1000, 800, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            row[x] = qRgb(x * 7 % 256, y * 3 % 256, (x ^ y) % 256);
    }
    return img;
}

double startResident = 0;

// Opens `n` pins, waits until they have sprung into place and painted, closes them all and waits
// until every window is really gone.
double cycle(const QImage& image, int n, double* peak)
{
    QList<QPointer<PinWindow>> pins;
    for (int i = 0; i < n; ++i)
        pins.append(PinWindow::pin(image));
    waitFor(
        [&] {
            for (const QPointer<PinWindow>& p : pins)
                if (p && std::abs(p->windowOpacity() - p->opacity()) > 1.0 / 255)
                    return false;
            return true;
        },
        20000);
    QCoreApplication::processEvents();
    if (peak)
        *peak = residentMiB();
    PinWindow::closeAll();
    waitFor(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            for (const QPointer<PinWindow>& p : pins)
                if (p)
                    return false;
            return true;
        },
        20000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The pins hand their freed pages back a moment after the last close; give that up to a
    // second, and report whatever is resident then.
    const double start = startResident;
    waitFor([start] { return residentMiB() < start + 20; }, 1000);
    return residentMiB();
}

void openAndClose200Pins(benchmark::State& state)
{
    app();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QImage image = busyImage();
    cycle(image, 1, nullptr); // fonts, plugins and caches load once, not per pin
    const double before = residentMiB();
    startResident = before;
    double peak = 0, after = 0;
    for (auto _ : state)
        after = cycle(image, 200, &peak);
    const double again = cycle(image, 200, nullptr);
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_peak_MiB"] = peak;
    state.counters["rss_after_MiB"] = after;
    state.counters["rss_after_second_round_MiB"] = again;
}

} // namespace

BENCHMARK(openAndClose200Pins)->Iterations(1)->Unit(benchmark::kMillisecond);
