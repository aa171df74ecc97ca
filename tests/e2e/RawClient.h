#pragma once

// A client of the program's command socket that speaks the bytes itself, so that tests can
// send what the command line never would: any path, a garbled line, a flood, or nothing.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quillet::e2e {

class RawClient {
public:
    explicit RawClient(const QString& socketPath)
    {
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(socketPath);
        if (p.size() >= static_cast<qsizetype>(sizeof(addr.sun_path)))
            return;
        std::memcpy(addr.sun_path, p.constData(), static_cast<size_t>(p.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RawClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_fd >= 0; }

    // The request line the command line would send for `verb` and `argument`.
    static QByteArray line(const QByteArray& verb, const QString& argument = {})
    {
        QByteArray out = verb;
        if (!argument.isEmpty())
            out += ' ' + QUrl::toPercentEncoding(argument);
        return out + '\n';
    }

    // Writes `bytes` until done, the peer closes, or `timeoutMs` passes; the bytes written.
    qsizetype send(const QByteArray& bytes, int timeoutMs = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        qsizetype written = 0;
        while (m_fd >= 0 && written < bytes.size()) {
            pollfd pfd {m_fd, POLLOUT, 0};
            const int left = timeoutMs - static_cast<int>(clock.elapsed());
            if (left <= 0 || ::poll(&pfd, 1, left) <= 0 || !(pfd.revents & POLLOUT))
                break;
            const ssize_t n = ::send(m_fd, bytes.constData() + written,
                static_cast<size_t>(bytes.size() - written), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                break;
            written += n;
        }
        return written;
    }

    // Everything the other side sends until it closes; nothing when it is still open after
    // `timeoutMs`.
    std::optional<QByteArray> readToEnd(int timeoutMs = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        QByteArray in;
        while (m_fd >= 0) {
            pollfd pfd {m_fd, POLLIN, 0};
            const int left = timeoutMs - static_cast<int>(clock.elapsed());
            if (left <= 0 || ::poll(&pfd, 1, left) <= 0)
                return std::nullopt;
            char buf[4096];
            const ssize_t n = ::read(m_fd, buf, sizeof(buf));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) // closed (a reset counts as closed too)
                return in;
            in.append(buf, n);
        }
        return std::nullopt;
    }

private:
    int m_fd = -1;
};

} // namespace quillet::e2e
