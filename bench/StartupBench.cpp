// Start-up and idle cost of the resident program, on a private X server.
// Run: build/bench/quillet_bench --benchmark_filter='Startup|Idle'
//
// StartupToHotKeys: from exec of `quillet` to the first answer of its status request, which the
// program gives only after launch has finished (hot keys registered). The socket is polled
// every 1 ms, so the figure is exact to about a millisecond.
// IdleFootprint: resident memory after launch, and CPU time and context switches over three
// seconds of doing nothing (ideally none at all: no timers run while idle).
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

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
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
using quillet::bench::terminate;
using quillet::InstanceProtocol::SendStatus;

// One private X server and the settings and runtime folders for the whole run.
class Desk {
public:
    static Desk& get()
    {
        static Desk desk;
        return desk;
    }

    bool ok() const { return !m_server.display().empty(); }
    const std::vector<std::string>& env() const { return m_env; }
    QString socket() const { return m_dir.filePath(QStringLiteral("runtime/quillet.socket")); }

private:
    Desk()
    {
        quillet::bench::makePrivateFolders(m_dir.path());
        m_env.push_back("DISPLAY=" + m_server.display());
        m_env.push_back(
            "XDG_RUNTIME_DIR=" + m_dir.filePath(QStringLiteral("runtime")).toStdString());
        m_env.push_back(
            "XDG_CONFIG_HOME=" + m_dir.filePath(QStringLiteral("config")).toStdString());
        m_env.push_back("QT_QPA_PLATFORM=xcb");
    }

    QTemporaryDir m_dir;
    std::vector<std::string> m_env = quillet::bench::cleanEnvironment();
    quillet::bench::PrivateServer m_server {1920, 1080, m_env};
};

// Polls the status request every millisecond until its answer holds `line`; the time that took,
// or nothing.
std::optional<double> waitForStatus(const QString& socket, const QElapsedTimer& since,
    int timeoutMs, QLatin1String line = QLatin1String("hotkeys-registered: 4"))
{
    while (since.elapsed() < timeoutMs) {
        const auto sent
            = quillet::InstanceProtocol::send(socket, {QStringLiteral("status"), {}}, 5000);
        if (sent.status == SendStatus::answered && sent.reply.exitCode == 0
            && sent.reply.text.contains(line))
            return static_cast<double>(since.nsecsElapsed()) / 1e9;
        QThread::usleep(1000);
    }
    return std::nullopt;
}

void quitProgram(const QString& socket, pid_t pid)
{
    quillet::InstanceProtocol::send(socket, {QStringLiteral("quit"), {}}, 5000);
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        QThread::msleep(2);
    }
    terminate(pid);
}

struct ProcSample {
    double cpuSeconds = 0;
    double rssKiB = 0;
    double switches = 0;
};

ProcSample sample(pid_t pid)
{
    ProcSample s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
        if (f.size() > 12)
            s.cpuSeconds = (f[11].toDouble() + f[12].toDouble()) / ticks;
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : status.readAll().split('\n')) {
            if (l.startsWith("VmRSS:"))
                s.rssKiB = l.mid(6).trimmed().split(' ').first().toDouble();
        }
    }
    // Every thread's context switches: each wake-up of any thread counts.
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile ts(tasks.filePath(t + QStringLiteral("/status")));
        if (!ts.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& l : ts.readAll().split('\n')) {
            if (l.contains("ctxt_switches:"))
                s.switches += l.mid(l.indexOf(':') + 1).trimmed().toDouble();
        }
    }
    return s;
}

void StartupToHotKeys(benchmark::State& state)
{
    Desk& desk = Desk::get();
    if (!desk.ok()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const pid_t pid = launch({QUILLET_BINARY}, desk.env());
        const std::optional<double> ready = waitForStatus(desk.socket(), clock, 10000);
        if (!ready) {
            terminate(pid);
            state.SkipWithError("the program did not answer");
            return;
        }
        state.SetIterationTime(*ready);
        quitProgram(desk.socket(), pid);
    }
    state.counters["poll_ms"] = 1.0;
}
BENCHMARK(StartupToHotKeys)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void IdleFootprint(benchmark::State& state)
{
    Desk& desk = Desk::get();
    if (!desk.ok()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const pid_t pid = launch({QUILLET_BINARY}, desk.env());
        if (!waitForStatus(desk.socket(), clock, 10000)) {
            terminate(pid);
            state.SkipWithError("the program did not answer");
            return;
        }
        // Let launch's deferred work (the buffers made ready for a capture) finish, then watch
        // three idle seconds.
        waitForStatus(desk.socket(), clock, 10000, QLatin1String("capture-ready: 1"));
        QThread::msleep(200);
        const ProcSample before = sample(pid);
        QThread::sleep(3);
        const ProcSample after = sample(pid);
        state.counters["rss_MiB"] = after.rssKiB / 1024.0;
        state.counters["idle_cpu_ms_per_3s"] = (after.cpuSeconds - before.cpuSeconds) * 1000.0;
        state.counters["idle_wakeups_per_3s"] = after.switches - before.switches;
        quitProgram(desk.socket(), pid);
    }
}
BENCHMARK(IdleFootprint)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
