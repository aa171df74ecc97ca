#pragma once

// Child processes for the benchmarks that drive a private X server and the built program.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <xcb/xcb.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillet::bench {

// Starts a program with exactly `env`; stdout and stderr go to /dev/null unless `errFd` names
// where stderr goes. `keepFd` survives into the child (Xvfb's -displayfd).
//
// vfork, not fork: this process may hold gigabytes of images from the benchmarks before, and
// copying its page tables would add milliseconds to every client the latency figures include.
// Everything is prepared before; the child only rearranges descriptors and execs.
inline pid_t launch(const std::vector<std::string>& argv, const std::vector<std::string>& env,
    int keepFd = -1, int errFd = -1)
{
    std::vector<char*> a;
    for (const std::string& s : argv)
        a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    std::vector<char*> e;
    for (const std::string& s : env)
        e.push_back(const_cast<char*>(s.c_str()));
    e.push_back(nullptr);
    const int devnull = ::open("/dev/null", O_RDWR);
    const pid_t pid = ::vfork();
    if (pid == 0) {
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(errFd >= 0 ? errFd : devnull, 2);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != keepFd)
                ::close(fd);
        }
        ::execvpe(a[0], a.data(), e.data());
        ::_exit(127);
    }
    ::close(devnull);
    return pid;
}

// SIGTERM, a bounded wait, then SIGKILL.
inline void terminate(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        QThread::msleep(10);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// The display number comes before the server takes clients: wait until one gets in.
inline bool serverAnswers(const std::string& display)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
        const bool ok = !xcb_connection_has_error(c);
        xcb_disconnect(c);
        if (ok)
            return true;
        QThread::msleep(5);
    }
    return false;
}

// This process's environment without anything that would point a child at the developer's own
// display, session bus, settings or Qt platform.
inline std::vector<std::string> cleanEnvironment()
{
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string s = *e;
        if (s.rfind("DISPLAY=", 0) == 0 || s.rfind("WAYLAND_DISPLAY=", 0) == 0
            || s.rfind("XDG_", 0) == 0 || s.rfind("QT_", 0) == 0
            || s.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0)
            continue;
        out.push_back(s);
    }
    return out;
}

// "runtime" (0700, as a runtime folder must be) and "config" inside `base`.
inline void makePrivateFolders(const QString& base)
{
    QDir(base).mkpath(QStringLiteral("runtime"));
    QDir(base).mkpath(QStringLiteral("config"));
    ::chmod(QFile::encodeName(QDir(base).filePath(QStringLiteral("runtime"))).constData(), 0700);
}

// A private Xvfb of one size, on a display number it picks itself; gone with this object.
class PrivateServer {
public:
    PrivateServer(int w, int h, const std::vector<std::string>& env)
    {
        // Several servers may start at once on this machine and race for a display number: a
        // server that lost the race goes away, so try again.
        for (int attempt = 0; attempt < 3 && m_display.empty(); ++attempt)
            m_display = start(w, h, env);
    }
    ~PrivateServer() { terminate(m_xvfb); }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // ":N", or empty when no server could be started.
    const std::string& display() const { return m_display; }

private:
    std::string start(int w, int h, const std::vector<std::string>& env)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        m_xvfb = launch({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                            std::to_string(w) + "x" + std::to_string(h) + "x24", "-noreset",
                            "-nolisten", "tcp"},
            env, fds[1]);
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

    pid_t m_xvfb = -1;
    std::string m_display;
};

} // namespace quillet::bench
