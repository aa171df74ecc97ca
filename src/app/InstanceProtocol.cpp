#include "app/InstanceProtocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quillet::InstanceProtocol {

namespace {

// Closes the descriptor on every path out of `send`.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

int remaining(const QElapsedTimer& clock, int timeoutMs)
{
    return std::max(0, timeoutMs - static_cast<int>(clock.elapsed()));
}

// A folder of our own: created 0700, or already there, ours, a real folder and closed to
// everybody else. Anything else could let another user put a socket in our way.
bool privateFolder(const QString& path, QString* error)
{
    const QByteArray p = QFile::encodeName(path);
    if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("无法创建 %1：%2")
                         .arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat st { };
    if (::lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & 077) != 0) {
        if (error)
            *error = QStringLiteral("%1 不是只属于当前用户的文件夹").arg(path);
        return false;
    }
    return true;
}

// $XDG_RUNTIME_DIR is meant to be the user's own, but it is only a variable: use it when it
// really is a folder of ours that nobody else may enter.
bool privateRuntimeDir(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

bool fitsSocketAddress(const QString& path)
{
    return QFile::encodeName(path).size() < static_cast<qsizetype>(sizeof(sockaddr_un::sun_path));
}

} // namespace

QByteArray encodeRequest(const Request& r)
{
    QByteArray out = r.verb.toUtf8();
    if (!r.argument.isEmpty())
        out += ' ' + QUrl::toPercentEncoding(r.argument);
    out += '\n';
    return out;
}

std::optional<Request> decodeRequest(const QByteArray& line)
{
    if (line.isEmpty() || line.size() > maxRequestBytes || line.contains('\n'))
        return std::nullopt;
    const qsizetype space = line.indexOf(' ');
    Request r;
    r.verb = QString::fromUtf8(space < 0 ? line : line.left(space));
    if (r.verb.isEmpty())
        return std::nullopt;
    for (const QChar c : r.verb) {
        if (!(c.isLower() || c == QLatin1Char('-')))
            return std::nullopt;
    }
    if (space >= 0) {
        r.argument = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(space + 1)));
        if (r.argument.isEmpty())
            return std::nullopt;
    }
    return r;
}

QByteArray encodeReply(const Reply& r)
{
    return QByteArray::number(r.exitCode) + '\n' + r.text.toUtf8();
}

std::optional<Reply> decodeReply(const QByteArray& data)
{
    const qsizetype nl = data.indexOf('\n');
    if (nl <= 0)
        return std::nullopt;
    bool ok = false;
    const int code = data.left(nl).toInt(&ok);
    if (!ok || code < 0 || code > 255)
        return std::nullopt;
    return Reply {code, QString::fromUtf8(data.mid(nl + 1))};
}

std::optional<QString> socketPath(QString* error)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (privateRuntimeDir(runtime)) {
        // A socket's address holds a little over a hundred bytes: a deeper runtime folder
        // cannot be listened at, so it is passed over as if it were unsafe.
        const QString path = QDir(runtime).filePath(QStringLiteral("quillet.socket"));
        if (fitsSocketAddress(path))
            return path;
    }
    const QString folder = QStringLiteral("/tmp/quillet-%1").arg(::getuid());
    if (!privateFolder(folder, error))
        return std::nullopt;
    return folder + QStringLiteral("/quillet.socket");
}

SendResult send(const QString& path, const Request& request, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();

    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    if (p.size() >= static_cast<qsizetype>(sizeof(addr.sun_path)))
        return {};
    std::memcpy(addr.sun_path, p.constData(), static_cast<size_t>(p.size()));

    Fd s {::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (s.fd < 0)
        return {};
    // A listening socket accepts into its backlog at once; refusal or absence means nobody
    // is there (a socket file left behind by a process that died).
    if (::connect(s.fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        return {};

    const QByteArray out = encodeRequest(request);
    qsizetype written = 0;
    while (written < out.size()) {
        const ssize_t n = ::send(s.fd, out.constData() + written,
            static_cast<size_t>(out.size() - written), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {SendStatus::noAnswer, {}};
        written += n;
    }

    QByteArray in;
    for (;;) {
        pollfd pfd {s.fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, remaining(clock, timeoutMs));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return {SendStatus::noAnswer, {}};
        char buf[4096];
        const ssize_t n = ::read(s.fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {SendStatus::noAnswer, {}};
        if (n == 0)
            break;
        in.append(buf, n);
        if (in.size() > 1024 * 1024)
            return {SendStatus::noAnswer, {}};
    }
    const std::optional<Reply> reply = decodeReply(in);
    if (!reply)
        return {SendStatus::noAnswer, {}};
    return {SendStatus::answered, *reply};
}

} // namespace quillet::InstanceProtocol
