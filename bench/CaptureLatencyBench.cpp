// From the capture's trigger to the overlays on screen, and the program's memory around a
// capture, on private X servers.
// Run: build/bench/quillet_bench --benchmark_filter='CaptureLatency|CaptureMemory'
//
// CaptureLatency: the program runs with QUILLET_TRACE=1 and writes a monotonic time stamp when
// every overlay of a new session has finished its first paint and the X server has carried out
// the flush that puts it on screen (a round trip after it). The clock starts here just
// before `xdotool key F1` (the hot key) or `quillet capture` (the command line) is started, so
// both figures include starting that client process. Escape ends each capture; medians of
// several runs per screen layout.
// CaptureMemory: resident memory at idle (the buffers kept ready for a capture included),
// while a capture is open, and once the session has gone, at 1920×1080 and 3840×2160.
#include "BenchProcess.h"
#include "app/InstanceProtocol.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using quillet::bench::launch;
using quillet::bench::serverAnswers;
using quillet::bench::terminate;

using quillet::InstanceProtocol::SendStatus;

constexpr int runs = 9;

qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int runToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    const pid_t pid = launch(argv, env);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// VmRSS, or RssAnon (memory that is the program's own, not mapped files such as fonts).
double rssMiB(pid_t pid, const char* field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : status.readAll().split('\n')) {
            if (l.startsWith(field))
                return l.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toDouble()
                    / 1024.0;
        }
    }
    return 0;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// A private X server of one size (optionally split in two monitors) with the program running
// on it, its trace read from a pipe.
class Desk {
public:
    Desk(int w, int h, bool twoMonitors)
    {
        quillet::bench::makePrivateFolders(m_dir.path());
        m_env = quillet::bench::cleanEnvironment();
        // Several servers may start at once on this machine and race for a display number: a
        // server that lost the race goes away, so try again.
        std::string display;
        for (int attempt = 0; attempt < 3 && display.empty(); ++attempt)
            display = startServer(w, h);
        if (display.empty()) {
            std::fprintf(stderr, "no X server\n");
            return;
        }
        m_env.push_back("DISPLAY=" + display);
        m_env.push_back(
            "XDG_RUNTIME_DIR=" + m_dir.filePath(QStringLiteral("runtime")).toStdString());
        m_env.push_back(
            "XDG_CONFIG_HOME=" + m_dir.filePath(QStringLiteral("config")).toStdString());
        m_env.push_back("QT_QPA_PLATFORM=xcb");
        if (twoMonitors) {
            runToEnd({"xrandr", "--setmonitor", "LEFT", "1280/339x800/212+0+0", "screen"}, m_env);
            runToEnd({"xrandr", "--setmonitor", "RIGHT", "1024/271x768/203+1280+0", "none"}, m_env);
        }
        std::vector<std::string> env = m_env;
        env.push_back("QUILLET_TRACE=1");
        int err[2];
        if (::pipe(err) != 0)
            return;
        m_program = launch({QUILLET_BINARY}, env, -1, err[1]);
        ::close(err[1]);
        m_trace = err[0];
        ::fcntl(m_trace, F_SETFL, O_NONBLOCK);
        // Measured once the program has made ready what captures use, as it does after launch.
        m_ok = waitFor([&] {
            const QString s = status();
            return s.contains(QLatin1String("hotkeys-registered: 4"))
                && s.contains(QLatin1String("capture-ready: 1"));
        });
        if (!m_ok)
            std::fprintf(stderr, "no answer: %s\n", qPrintable(status()));
    }
    ~Desk()
    {
        terminate(m_program);
        if (m_trace >= 0)
            ::close(m_trace);
        terminate(m_xvfb);
    }

    bool ok() const { return m_ok; }
    pid_t program() const { return m_program; }
    const std::vector<std::string>& env() const { return m_env; }

    // When the program last accepted a capture (its grab began), as it traced it.
    qint64 lastCommand = 0;

    QString status()
    {
        const auto sent = quillet::InstanceProtocol::send(
            m_dir.filePath(QStringLiteral("runtime/quillet.socket")),
            {QStringLiteral("status"), {}}, 5000);
        return sent.status == SendStatus::answered ? sent.reply.text : QString();
    }

    // The time stamp of the next "overlay-painted" line, or nothing after `timeoutMs`.
    std::optional<qint64> nextPainted(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const qsizetype nl = m_pending.indexOf('\n');
            if (nl >= 0) {
                const QByteArray line = m_pending.left(nl);
                m_pending.remove(0, nl + 1);
                if (line.startsWith("quillet-trace command "))
                    lastCommand = line.mid(22).trimmed().toLongLong();
                if (line.startsWith("quillet-trace overlay-painted "))
                    return line.mid(30).trimmed().toLongLong();
                continue;
            }
            pollfd pfd {m_trace, POLLIN, 0};
            if (::poll(&pfd, 1, 5) > 0) {
                char buf[4096];
                const ssize_t n = ::read(m_trace, buf, sizeof(buf));
                if (n > 0)
                    m_pending.append(buf, n);
            }
        }
        return std::nullopt;
    }

    bool endCapture()
    {
        runToEnd({"xdotool", "key", "Escape"}, m_env);
        return waitFor([&] { return status().contains(QLatin1String("session: none")); });
    }

    template<typename F> static bool waitFor(F done, int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (done())
                return true;
            QThread::msleep(2);
        }
        return false;
    }

private:
    std::string startServer(int w, int h)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        m_xvfb = launch({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                            std::to_string(w) + "x" + std::to_string(h) + "x24", "-noreset",
                            "-nolisten", "tcp"},
            m_env, fds[1]);
        ::close(fds[1]);
        char buf[32] = {};
        pollfd pfd {fds[0], POLLIN, 0};
        std::string display;
        if (::poll(&pfd, 1, 10000) > 0) {
            const ssize_t n = ::read(fds[0], buf, sizeof(buf) - 1);
            if (n > 0)
                display = ":" + QByteArray(buf, n).trimmed().toStdString();
        }
        ::close(fds[0]);
        // A server that lost the race for its number exits; whoever answers then is somebody
        // else's server, never to be used.
        if (!display.empty() && serverAnswers(display) && ::waitpid(m_xvfb, nullptr, WNOHANG) == 0)
            return display;
        terminate(m_xvfb);
        m_xvfb = -1;
        return {};
    }

    QTemporaryDir m_dir;
    std::vector<std::string> m_env;
    pid_t m_xvfb = -1;
    pid_t m_program = -1;
    int m_trace = -1;
    QByteArray m_pending;
    bool m_ok = false;
};

// Milliseconds from just before `trigger` starts to the overlays' first paint; `inside` gets the
// part from the program accepting the capture to that paint.
std::optional<double> timeOne(
    Desk& desk, const std::vector<std::string>& trigger, std::vector<double>& inside)
{
    const qint64 t0 = monotonicNs();
    const pid_t pid = launch(trigger, desk.env());
    const std::optional<qint64> painted = desk.nextPainted(10000);
    ::waitpid(pid, nullptr, 0);
    if (!painted) {
        std::fprintf(stderr, "%s: no overlay painted\n", trigger.front().c_str());
        return std::nullopt;
    }
    if (!desk.endCapture()) {
        std::fprintf(stderr, "%s: the capture did not end\n", trigger.front().c_str());
        return std::nullopt;
    }
    if (desk.lastCommand > t0)
        inside.push_back(double(*painted - desk.lastCommand) / 1e6);
    return double(*painted - t0) / 1e6;
}

void CaptureLatency(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const bool two = state.range(2) != 0;
    Desk desk(w, h, two);
    if (!desk.ok()) {
        state.SkipWithError("Xvfb or the program did not start");
        return;
    }
    std::vector<double> hotKey, command, inside;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            const auto k = timeOne(desk, {"xdotool", "key", "F1"}, inside);
            const auto c = timeOne(desk, {QUILLET_BINARY, "capture"}, inside);
            if (!k || !c) {
                state.SkipWithError("a capture did not open or close");
                return;
            }
            hotKey.push_back(*k);
            command.push_back(*c);
        }
    }
    state.counters["hotkey_median_ms"] = median(hotKey);
    state.counters["command_median_ms"] = median(command);
    state.counters["grab_to_painted_median_ms"] = median(inside);
    state.counters["hotkey_min_ms"] = *std::min_element(hotKey.begin(), hotKey.end());
    state.counters["command_min_ms"] = *std::min_element(command.begin(), command.end());
    state.SetLabel(
        two ? "two monitors 1280x800 + 1024x768" : std::to_string(w) + "x" + std::to_string(h));
}
BENCHMARK(CaptureLatency)
    ->Args({1920, 1080, 0})
    ->Args({3840, 2160, 0})
    ->Args({2304, 800, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void CaptureMemory(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    Desk desk(w, h, false);
    if (!desk.ok()) {
        state.SkipWithError("Xvfb or the program did not start");
        return;
    }
    for (auto _ : state) {
        const double idle = rssMiB(desk.program());
        const double idleAnon = rssMiB(desk.program(), "RssAnon:");
        double during = 0;
        double afterFirst = 0;
        for (int i = 0; i < 3; ++i) {
            runToEnd({"xdotool", "key", "F1"}, desk.env());
            if (!desk.nextPainted(10000)) {
                state.SkipWithError("the capture did not open");
                return;
            }
            // A region with its toolbar and magnifier, as a user has it.
            runToEnd({"xdotool", "mousemove", "400", "300", "mousedown", "1", "mousemove", "900",
                         "700", "mousemove", "1400", "1000", "mouseup", "1"},
                desk.env());
            QThread::msleep(300);
            during = std::max(during, rssMiB(desk.program()));
            if (!desk.endCapture()) {
                state.SkipWithError("the capture did not close");
                return;
            }
            if (i == 0) {
                QThread::msleep(1000);
                afterFirst = rssMiB(desk.program());
            }
        }
        // The fade-out ends and the windows are deleted shortly after the session.
        QThread::msleep(1000);
        const double after = rssMiB(desk.program());
        state.counters["idle_anon_MiB"] = idleAnon;
        state.counters["after_anon_MiB"] = rssMiB(desk.program(), "RssAnon:");
        state.counters["idle_MiB"] = idle;
        state.counters["during_MiB"] = during;
        state.counters["after_MiB"] = after;
        // What the first capture loads for good (fonts, code, glyph caches) against what each
        // capture leaves behind.
        state.counters["after_first_MiB"] = afterFirst;
        state.counters["after_vs_idle_pct"] = (after - idle) / idle * 100.0;
        state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    }
}
BENCHMARK(CaptureMemory)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
