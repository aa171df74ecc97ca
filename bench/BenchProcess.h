#pragma once

// Child processes for the benchmarks that drive a private X server and the built program.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <xcb/xcb.h>

#include <csignal>
#include <fcntl.h>
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

} // namespace quillet::bench
