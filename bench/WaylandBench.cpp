// A capture on a Wayland compositor (headless sway, one 1920×1080 output), beside grim reading
// the same screen through the same screen-copy protocol and writing it to a file, in one run.
// Run: build/bench/quillet_bench --benchmark_filter=Wayland
//
// WaylandCapture/screencopy and /portal: from just before `quillet capture` starts to the
// overlay's first paint (the program's trace mark), Escape ending each capture. The portal
// route has its own session bus with xdg-desktop-portal, its wlroots backend and PipeWire.
// WaylandGrim: from just before `grim FILE` starts to its end (grab, PNG encoding, writing).
// Medians of several runs; skipped where sway cannot start.
#include "BenchDesk.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

using namespace quillet::bench;

constexpr int runs = 9;

class WaylandDesk {
public:
    explicit WaylandDesk(bool portal)
    {
        const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(
            runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir().mkpath(m_dir.filePath(QStringLiteral("config")));
        QFile conf(m_dir.filePath(QStringLiteral("sway.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return;
        conf.write("output HEADLESS-1 resolution 1920x1080 position 0 0 bg #336699 solid_color\n"
                   "default_border none\nfocus_follows_mouse no\n");
        conf.close();
        const std::string home = m_dir.path().toStdString();
        std::vector<std::string> swayEnv = {"PATH=" + qEnvironmentVariable("PATH").toStdString(),
            "HOME=" + home, "XDG_RUNTIME_DIR=" + runtime.toStdString(), "WLR_BACKENDS=headless",
            "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"};
        std::vector<std::string> swayArgs = {"sway", "-c", conf.fileName().toStdString()};
        // sway refuses root; a user namespace makes this process someone else.
        if (::getuid() == 0)
            swayArgs.insert(
                swayArgs.begin(), {"unshare", "--user", "--map-user=1000", "--map-group=1000"});
        m_sway = launch(swayArgs, swayEnv);
        QString display;
        Desk::waitFor([&] {
            for (const QString& s : QDir(runtime).entryList(
                     {QStringLiteral("wayland-*")}, QDir::System | QDir::NoDotAndDotDot)) {
                if (!s.endsWith(QLatin1String(".lock")))
                    display = s;
            }
            return !display.isEmpty();
        });
        if (display.isEmpty())
            return;
        m_env = {"PATH=" + qEnvironmentVariable("PATH").toStdString(), "HOME=" + home,
            "XDG_RUNTIME_DIR=" + runtime.toStdString(), "WAYLAND_DISPLAY=" + display.toStdString(),
            "XDG_SESSION_TYPE=wayland", "QT_QPA_PLATFORM=wayland",
            "XDG_CONFIG_HOME=" + m_dir.filePath(QStringLiteral("config")).toStdString()};
        if (portal && !startPortal())
            return;
        // A keyboard that stays, so the program's is bound before the first Escape.
        m_keyboard = launch({"wtype", "-s", "86400000"}, m_env);
        std::vector<std::string> env = m_env;
        env.push_back(std::string("QUILLET_WAYLAND_GRAB=") + (portal ? "portal" : "screencopy"));
        m_program = launchTraced(env, &m_trace);
        if (m_program < 0)
            return;
        m_ok = Desk::waitFor([&] {
            return status().contains(
                QLatin1String(portal ? "capture-route: portal" : "capture-route: screencopy"));
        });
    }

    ~WaylandDesk()
    {
        terminate(m_program);
        terminate(m_keyboard);
        terminate(m_pipewire);
        terminate(m_bus);
        terminate(m_sway);
        if (m_trace >= 0)
            ::close(m_trace);
    }

    bool ok() const { return m_ok; }
    const std::vector<std::string>& env() const { return m_env; }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString status()
    {
        const auto sent = quillet::InstanceProtocol::send(
            m_dir.filePath(QStringLiteral("runtime/quillet.socket")),
            {QStringLiteral("status"), {}}, 5000);
        return sent.status == quillet::InstanceProtocol::SendStatus::answered ? sent.reply.text
                                                                              : QString();
    }

    // Milliseconds from `quillet capture` to the overlay painted; the capture is then ended.
    std::optional<double> captureOnce()
    {
        const qint64 t0 = monotonicNs();
        const pid_t pid = launch({QUILLET_BINARY, "capture"}, m_env);
        const std::optional<qint64> painted = nextTrace("overlay-painted", 30000);
        ::waitpid(pid, nullptr, 0);
        if (!painted)
            return std::nullopt;
        runToEnd({"wtype", "-k", "Escape"}, m_env);
        if (!Desk::waitFor([&] { return status().contains(QLatin1String("session: none")); }))
            return std::nullopt;
        return double(*painted - t0) / 1e6;
    }

private:
    bool startPortal()
    {
        std::vector<std::string> env = m_env;
        env.push_back("XDG_CURRENT_DESKTOP=sway");
        env.push_back("NO_AT_BRIDGE=1");
        env.push_back("GTK_A11Y=none");
        const std::string address
            = "unix:path=" + m_dir.filePath(QStringLiteral("runtime/bus")).toStdString();
        m_bus = launch(
            {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address}, env);
        if (!Desk::waitFor(
                [&] { return QFileInfo::exists(m_dir.filePath(QStringLiteral("runtime/bus"))); }))
            return false;
        env.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
        m_env.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
        m_pipewire = launch({"pipewire"}, env);
        if (!Desk::waitFor([&] {
                return QFileInfo::exists(m_dir.filePath(QStringLiteral("runtime/pipewire-0")));
            }))
            return false;
        // Started and answering before the program asks (it may take a D-Bus timeout inside).
        return runToEnd({"gdbus", "call", "--session", "--dest", "org.freedesktop.portal.Desktop",
                            "--object-path", "/org/freedesktop/portal/desktop", "--method",
                            "org.freedesktop.DBus.Properties.Get",
                            "org.freedesktop.portal.Screenshot", "version", "--timeout", "40"},
                   m_env)
            == 0;
    }

    std::optional<qint64> nextTrace(const char* what, int timeoutMs)
    {
        return readTrace(m_trace, m_pending, what, timeoutMs);
    }

    QTemporaryDir m_dir;
    std::vector<std::string> m_env;
    pid_t m_sway = -1, m_bus = -1, m_pipewire = -1, m_keyboard = -1, m_program = -1;
    int m_trace = -1;
    QByteArray m_pending;
    bool m_ok = false;
};

void WaylandCapture(benchmark::State& state)
{
    const bool portal = state.range(0) != 0;
    WaylandDesk desk(portal);
    if (!desk.ok()) {
        state.SkipWithError("sway, the portal or the program did not start");
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            const std::optional<double> t = desk.captureOnce();
            if (!t) {
                state.SkipWithError("a capture did not open or close");
                return;
            }
            times.push_back(*t);
        }
    }
    state.counters["command_median_ms"] = median(times);
    state.counters["command_min_ms"] = *std::min_element(times.begin(), times.end());
    state.SetLabel(portal ? "portal, 1920x1080" : "screen copy, 1920x1080");
}
BENCHMARK(WaylandCapture)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"portal"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void WaylandGrim(benchmark::State& state)
{
    WaylandDesk desk(false);
    if (!desk.ok()) {
        state.SkipWithError("sway or the program did not start");
        return;
    }
    // PNG as grim writes by default, and PPM, which is its grab with next to no encoding.
    std::vector<double> png, ppm;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            for (auto [type, times] : {std::pair {"png", &png}, std::pair {"ppm", &ppm}}) {
                const std::string file
                    = desk.path(QStringLiteral("grim.") + QLatin1String(type)).toStdString();
                const qint64 t0 = monotonicNs();
                if (runToEnd({"grim", "-t", type, file}, desk.env()) != 0) {
                    state.SkipWithError("grim failed");
                    return;
                }
                times->push_back(double(monotonicNs() - t0) / 1e6);
            }
        }
    }
    state.counters["grim_png_median_ms"] = median(png);
    state.counters["grim_ppm_median_ms"] = median(ppm);
    state.SetLabel("grim to a file, 1920x1080");
}
BENCHMARK(WaylandGrim)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
