// Screen grabbing and window listing on the X server named by DISPLAY (run it against Xvfb at the
// sizes of interest). Without DISPLAY every case reports itself skipped.
#include "platform/Screen.h"
#include "platform/x11/X11Grabber.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <benchmark/benchmark.h>
#include <memory>
#include <unistd.h>

using quillet::GrabResult;
using quillet::X11Grabber;

namespace {

// One application for the whole run, on the real X server; made by the first case that needs it.
bool ensureXcbApplication(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("DISPLAY is not set");
        return false;
    }
    static std::unique_ptr<QApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "quillet_bench";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "xcb");
        app = std::make_unique<QApplication>(argc, argv);
    }
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("not running on xcb");
        return false;
    }
    return true;
}

void describe(benchmark::State& state, const QList<quillet::Screen>& screens)
{
    double pixels = 0;
    for (const quillet::Screen& s : screens)
        pixels += double(s.pixelWidth()) * s.pixelHeight();
    state.counters["Mpx"] = pixels / 1e6;
    if (!screens.isEmpty())
        state.SetLabel(QStringLiteral("%1x%2")
                           .arg(screens.first().pixelWidth())
                           .arg(screens.first().pixelHeight())
                           .toStdString());
}

// The whole asynchronous path as the program uses it: worker thread, own connection, hand-back.
void grabAll(benchmark::State& state, X11Grabber::Method method)
{
    if (!ensureXcbApplication(state))
        return;
    X11Grabber grabber(method);
    const QList<quillet::Screen> screens = quillet::currentScreens();
    for (auto _ : state) {
        std::optional<GrabResult> result;
        grabber.grabAll(screens, {}, [&](GrabResult r) { result = std::move(r); });
        while (!result)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (result->error) {
            state.SkipWithError(result->error->toStdString().c_str());
            return;
        }
        benchmark::DoNotOptimize(result->images.constFirst().constBits());
    }
    describe(state, screens);
}

// The reading alone, on the calling thread, as a first capture: connection set-up, fresh frame,
// transfer.
void grabBlocking(benchmark::State& state, X11Grabber::Method method)
{
    if (!ensureXcbApplication(state))
        return;
    const QList<quillet::Screen> screens = quillet::currentScreens();
    const auto targets = X11Grabber::targetsFor(screens);
    const QByteArray display = qgetenv("DISPLAY");
    for (auto _ : state) {
        GrabResult r = X11Grabber::grabBlocking(display, targets, method);
        if (r.error) {
            state.SkipWithError(r.error->toStdString().c_str());
            return;
        }
        benchmark::DoNotOptimize(r.images.constFirst().constBits());
    }
    describe(state, screens);
}

qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// A frame of the size the arguments give at the root window's top-left corner, when it fits.
std::optional<X11Grabber::Target> sizedTarget(benchmark::State& state)
{
    const QSize size(int(state.range(0)), int(state.range(1)));
    const QRect root = QGuiApplication::primaryScreen()->virtualGeometry();
    if (!root.contains(QRect(QPoint(0, 0), size))) {
        state.SkipWithError("the X screen is smaller than this size");
        return std::nullopt;
    }
    state.SetLabel(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
    return X11Grabber::Target {QRect(QPoint(0, 0), size), size};
}

// From the request to the image on the main thread; nullopt when the grab failed.
std::optional<double> timedGrab(
    benchmark::State& state, X11Grabber& grabber, const QList<X11Grabber::Target>& targets)
{
    std::optional<GrabResult> result;
    QElapsedTimer t;
    t.start();
    grabber.grabTargets(targets, [&](GrabResult r) { result = std::move(r); });
    while (!result)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    if (result->error) {
        state.SkipWithError(result->error->toStdString().c_str());
        return std::nullopt;
    }
    benchmark::DoNotOptimize(result->images.constFirst().constBits());
    return seconds;
}

// The first capture after start-up without preparing: thread, connection, fresh frame.
void grabCold(benchmark::State& state)
{
    if (!ensureXcbApplication(state))
        return;
    const std::optional<X11Grabber::Target> target = sizedTarget(state);
    if (!target)
        return;
    for (auto _ : state) {
        X11Grabber grabber(X11Grabber::Method::SharedMemory);
        const std::optional<double> seconds = timedGrab(state, grabber, {*target});
        if (!seconds)
            return;
        state.SetIterationTime(*seconds);
    }
}

// Every capture after the grabber was prepared: a frame already attached and mapped.
void grabWarm(benchmark::State& state)
{
    if (!ensureXcbApplication(state))
        return;
    const std::optional<X11Grabber::Target> target = sizedTarget(state);
    if (!target)
        return;
    X11Grabber grabber(X11Grabber::Method::SharedMemory);
    grabber.prepareTargets({*target});
    while (grabber.poolStats().segments < 1 || grabber.poolStats().leased > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (!timedGrab(state, grabber, {*target}))
        return;
    const qint64 rssBefore = residentBytes();
    for (auto _ : state) {
        const std::optional<double> seconds = timedGrab(state, grabber, {*target});
        if (!seconds)
            return;
        state.SetIterationTime(*seconds);
    }
    // Kept frames are the memory a capture needs anyway; repeated captures must not add more.
    state.counters["idleMiB"] = double(grabber.poolStats().bytes) / (1 << 20);
    state.counters["rssGrowthMiB"] = double(residentBytes() - rssBefore) / (1 << 20);
}

void windowList(benchmark::State& state)
{
    if (!ensureXcbApplication(state))
        return;
    X11Grabber grabber;
    qsizetype count = 0;
    for (auto _ : state)
        count = grabber.windowList().size();
    state.counters["windows"] = double(count);
}

} // namespace

BENCHMARK_CAPTURE(grabAll, shm, X11Grabber::Method::SharedMemory)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(grabAll, getImage, X11Grabber::Method::GetImage)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(grabBlocking, shm, X11Grabber::Method::SharedMemory)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(grabBlocking, getImage, X11Grabber::Method::GetImage)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(grabCold)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(grabWarm)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(windowList)->Unit(benchmark::kMillisecond)->UseRealTime();
