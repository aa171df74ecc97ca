#pragma once

// A private X server with the program running on it, for the benchmarks that drive the
// program from outside: its status over the socket, its trace marks read from a pipe, and its
// resident memory.
#include "BenchProcess.h"
#include "app/InstanceProtocol.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillet::bench {

inline qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

inline int runToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    const pid_t pid = launch(argv, env);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A "Field:   N kB" line of a /proc file, in MiB; 0 when absent.
inline double procMiB(const QString& path, const char* field)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : file.readAll().split('\n')) {
            if (l.startsWith(field))
                return l.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toDouble()
                    / 1024.0;
        }
    }
    return 0;
}

// VmRSS, or RssAnon (memory that is the program's own, not mapped files such as fonts).
inline double rssMiB(pid_t pid, const char* field = "VmRSS:")
{
    return procMiB(QStringLiteral("/proc/%1/status").arg(pid), field);
}

// Proportional set size: shared pages count by the share of each process that maps them.
inline double pssMiB(pid_t pid)
{
    return procMiB(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss:");
}

// How long the idle benchmarks wait: 60 s, or QUILLET_BENCH_IDLE_S for a quick look.
inline int idleSeconds()
{
    const char* s = std::getenv("QUILLET_BENCH_IDLE_S");
    const int n = s ? std::atoi(s) : 0;
    return n > 0 ? n : 60;
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The time stamp of the next "quillet-trace WHAT" line the program writes to `fd`, or nothing
// after `timeoutMs`; `pending` keeps what was read past it. `lastCommand`, when given, gets the
// time stamp of each "command" mark passed on the way.
inline std::optional<qint64> readTrace(
    int fd, QByteArray& pending, const char* what, int timeoutMs, qint64* lastCommand = nullptr)
{
    const QByteArray wanted = QByteArray("quillet-trace ") + what + ' ';
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const qsizetype nl = pending.indexOf('\n');
        if (nl >= 0) {
            const QByteArray line = pending.left(nl);
            pending.remove(0, nl + 1);
            if (lastCommand && line.startsWith("quillet-trace command "))
                *lastCommand = line.mid(22).trimmed().toLongLong();
            if (line.startsWith(wanted))
                return line.mid(wanted.size()).trimmed().toLongLong();
            continue;
        }
        pollfd pfd {fd, POLLIN, 0};
        if (::poll(&pfd, 1, 5) > 0) {
            char buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof(buf));
            if (n > 0)
                pending.append(buf, n);
        }
    }
    return std::nullopt;
}

// Starts the program with its trace on: the marks come on stderr, read back through `trace`
// (non-blocking). -1 when no pipe could be made.
inline pid_t launchTraced(std::vector<std::string> env, int* trace)
{
    env.push_back("QUILLET_TRACE=1");
    int err[2];
    if (::pipe(err) != 0)
        return -1;
    const pid_t pid = launch({QUILLET_BINARY}, env, -1, err[1]);
    ::close(err[1]);
    *trace = err[0];
    ::fcntl(*trace, F_SETFL, O_NONBLOCK);
    return pid;
}

// A private X server of one size (optionally split in two monitors) with the program running
// on it, its trace read from a pipe; `prefs` are written to its settings file before it starts.
class Desk {
public:
    Desk(int w, int h, bool twoMonitors, const QList<QPair<QString, QVariant>>& prefs = {})
    {
        makePrivateFolders(m_dir.path());
        if (!prefs.isEmpty()) {
            QDir().mkpath(m_dir.filePath(QStringLiteral("config/quillet")));
            QSettings file(m_dir.filePath(QStringLiteral("config/quillet/quillet.conf")),
                QSettings::IniFormat);
            for (const auto& [key, value] : prefs)
                file.setValue(key, value);
        }
        m_env = cleanEnvironment();
        m_server.emplace(w, h, m_env);
        const std::string display = m_server->display();
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
        m_program = launchTraced(m_env, &m_trace);
        if (m_program < 0)
            return;
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
    }

    bool ok() const { return m_ok; }
    // A folder of this desk's own, removed with it.
    QString path(const QString& name) const { return m_dir.filePath(name); }
    pid_t program() const { return m_program; }
    const std::vector<std::string>& env() const { return m_env; }

    // When the program last accepted a capture (its grab began), as it traced it.
    qint64 lastCommand = 0;

    QString status()
    {
        const auto sent = quillet::InstanceProtocol::send(
            m_dir.filePath(QStringLiteral("runtime/quillet.socket")),
            {QStringLiteral("status"), {}}, 5000);
        return sent.status == InstanceProtocol::SendStatus::answered ? sent.reply.text : QString();
    }

    // The time stamp of the next "quillet-trace WHAT" line, or nothing after `timeoutMs`.
    std::optional<qint64> nextTrace(const char* what, int timeoutMs)
    {
        return readTrace(m_trace, m_pending, what, timeoutMs, &lastCommand);
    }

    // The time stamp of the next paint of every overlay of a new session.
    std::optional<qint64> nextPainted(int timeoutMs)
    {
        return nextTrace("overlay-painted", timeoutMs);
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
    QTemporaryDir m_dir;
    std::vector<std::string> m_env;
    std::optional<PrivateServer> m_server;
    pid_t m_program = -1;
    int m_trace = -1;
    QByteArray m_pending;
    bool m_ok = false;
};

} // namespace quillet::bench
