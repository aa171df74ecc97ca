#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr int handOverTimeoutMs = 5000;
constexpr const char* answeredProperty = "quilletAnswered";

// The folder already keeps other users out; the kernel's word on who is calling keeps them out
// even where the folder was set up wrong.
bool fromThisUser(const QLocalSocket* socket)
{
    ucred cred {};
    socklen_t len = sizeof(cred);
    const int fd = static_cast<int>(socket->socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0
        && cred.uid == ::getuid();
}

} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

SingleInstance::Claim SingleInstance::claim(const QString& path, const Request& ask)
{
    // The lock decides who is the instance, not the socket: binding a local server replaces
    // a socket file even while its owner still listens, and two programs starting at the same
    // moment would both find no one there. The kernel drops the lock when the process ends,
    // however it ends, so a crashed instance never blocks the next one.
    const QByteArray lockPath = QFile::encodeName(path + QStringLiteral(".lock"));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = QStringLiteral("无法打开 %1：%2")
                      .arg(QFile::decodeName(lockPath), QString::fromLocal8Bit(strerror(errno)));
        return Claim::failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        // Whatever socket file is there belongs to an instance that is gone.
        QLocalServer::removeServer(path);
        if (m_server->listen(path))
            return Claim::listening;
        m_error = m_server->errorString();
        return Claim::failed;
    }
    ::close(fd);

    // Another instance holds the lock; it may still be on its way to listening.
    QDeadlineTimer deadline(handOverTimeoutMs);
    for (;;) {
        const auto sent = InstanceProtocol::send(path, ask, handOverTimeoutMs);
        if (sent.status == InstanceProtocol::SendStatus::answered) {
            m_takenReply = sent.reply;
            return Claim::taken;
        }
        if (sent.status == InstanceProtocol::SendStatus::noAnswer || deadline.hasExpired())
            break;
        QThread::msleep(5);
    }
    m_error = QStringLiteral("另一个墨钉实例没有响应");
    return Claim::failed;
}

void SingleInstance::close()
{
    m_server->close();
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (!fromThisUser(socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Clients that connect and say nothing must not pile up until the descriptors run
        // out: past the bound the oldest one goes, so the newest (a user's command) is heard.
        m_clients.removeIf([](const QPointer<QLocalSocket>& c) { return c.isNull(); });
        while (m_clients.size() >= maxClients) {
            if (QLocalSocket* oldest = m_clients.takeFirst())
                oldest->abort();
        }
        m_clients.append(socket);
        // What a request may hold is bounded; the socket need not read further ahead.
        socket->setReadBufferSize(InstanceProtocol::maxRequestBytes + 1);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        QPointer<QLocalSocket> weak(socket);
        QTimer::singleShot(clientTimeoutMs, socket, [weak] {
            if (weak)
                weak->abort();
        });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    if (socket->property(answeredProperty).toBool())
        return; // already answered
    QByteArray buffer = socket->property("quilletPending").toByteArray() + socket->readAll();
    const qsizetype nl = buffer.indexOf('\n');
    if (nl < 0) {
        if (buffer.size() > InstanceProtocol::maxRequestBytes) {
            socket->abort();
            return;
        }
        socket->setProperty("quilletPending", buffer);
        return;
    }
    socket->setProperty(answeredProperty, true);
    m_clients.removeAll(socket); // heard: no longer one that may be waiting to say something
    const std::optional<Request> request = InstanceProtocol::decodeRequest(buffer.left(nl));
    // A client that gave up (or was dropped at its deadline) is not written to.
    const QPointer<QLocalSocket> weak(socket);
    auto respond = [weak](const Reply& reply) {
        if (!weak)
            return;
        weak->write(InstanceProtocol::encodeReply(reply));
        weak->flush();
        weak->disconnectFromServer();
    };
    if (!request)
        respond({2, QStringLiteral("无法理解的请求")});
    else if (!m_handler)
        respond({1, QStringLiteral("墨钉还在启动")});
    else
        m_handler(*request, std::move(respond));
}

void SingleInstance::setHandler(std::function<Reply(const Request&)> handler)
{
    setDeferredHandler([handler = std::move(handler)](
                           const Request& r, const Responder& respond) { respond(handler(r)); });
}

} // namespace quillet
