// Screen grabbing and window listing on the X server named by DISPLAY (run it against Xvfb at the
// sizes of interest). Without DISPLAY every case reports itself skipped.
#include "platform/Screen.h"
#include "platform/x11/X11Grabber.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <memory>

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

// The reading alone, on the calling thread: connection set-up plus transfer plus copy.
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
BENCHMARK(windowList)->Unit(benchmark::kMillisecond)->UseRealTime();
