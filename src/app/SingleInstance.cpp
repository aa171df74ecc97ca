#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QVariant>

namespace quillet {

namespace {

constexpr int handOverTimeoutMs = 5000;
constexpr const char* answeredProperty = "quilletAnswered";

} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim(const QString& path, const Request& ask)
{
    // Two tries: the second follows the removal of a stale socket, or a race with another
    // instance starting at the same moment (then it answers on the second look).
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_server->listen(path))
            return Claim::listening;
        if (m_server->serverError() != QAbstractSocket::AddressInUseError) {
            m_error = m_server->errorString();
            return Claim::failed;
        }
        const auto sent = InstanceProtocol::send(path, ask, handOverTimeoutMs);
        if (sent.status == InstanceProtocol::SendStatus::answered) {
            m_takenReply = sent.reply;
            return Claim::taken;
        }
        if (sent.status == InstanceProtocol::SendStatus::noAnswer) {
            // Somebody holds the socket but does not answer: a hung instance. Taking its
            // socket away would leave two instances fighting over the hot keys.
            m_error = QStringLiteral("另一个墨钉实例没有响应");
            return Claim::failed;
        }
        QLocalServer::removeServer(path);
    }
    m_error = m_server->errorString();
    return Claim::failed;
}

void SingleInstance::close()
{
    m_server->close();
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
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
    const std::optional<Request> request = InstanceProtocol::decodeRequest(buffer.left(nl));
    Reply reply;
    if (!request)
        reply = {2, QStringLiteral("无法理解的请求")};
    else if (!m_handler)
        reply = {1, QStringLiteral("墨钉还在启动")};
    else
        reply = m_handler(*request);
    socket->write(InstanceProtocol::encodeReply(reply));
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace quillet
