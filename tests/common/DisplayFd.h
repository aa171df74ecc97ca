#pragma once

// Shared by the tests that start their own Xvfb with -displayfd.

#include <QByteArray>
#include <QDeadlineTimer>

#include <cerrno>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace quillet::test {

// Reads the display number Xvfb writes to its -displayfd descriptor once it accepts clients.
inline std::optional<int> readDisplayNumber(int fd, int timeoutMs)
{
    QByteArray line;
    QDeadlineTimer deadline(timeoutMs);
    while (!line.contains('\n') && !deadline.hasExpired()) {
        pollfd pfd {fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, static_cast<int>(deadline.remainingTime()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        char buf[32];
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n <= 0)
            break;
        line.append(buf, n);
    }
    bool ok = false;
    const int number = line.trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

} // namespace quillet::test
