#pragma once

#include "app/InstanceProtocol.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace quillet {

// Keeps this user to one running instance and answers the command-line clients. The socket
// is reachable by the user only. Requests are read without ever blocking the event loop, and
// are bounded in size; a client that connects and says nothing is dropped after a few seconds.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    using Responder = std::function<void(const Reply&)>;
    // Answers through `respond`, now or later; the client waits until then.
    using Handler = std::function<void(const Request&, Responder respond)>;

    enum class Claim {
        listening, // this process is the instance now
        taken, // another instance answered; its reply is in `takenReply`
        failed, // no socket could be made; `errorString` says why
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the instance and listens at `path` (a socket left by a dead instance is
    // replaced). When another instance runs, `ask` is sent to it instead.
    Claim claim(const QString& path, const Request& ask);

    void setDeferredHandler(Handler handler) { m_handler = std::move(handler); }
    // A handler that answers at once.
    void setHandler(std::function<Reply(const Request&)> handler);
    // Stops accepting new clients and removes the socket file.
    void close();

    const QString& errorString() const { return m_error; }
    const Reply& takenReply() const { return m_takenReply; }

    static constexpr int clientTimeoutMs = 5000;
    static constexpr int maxClients = 32; // connected at once

private:
    void accept();
    void readFrom(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
    QList<QPointer<QLocalSocket>> m_clients; // oldest first
    Handler m_handler;
    QString m_error;
    Reply m_takenReply;
    int m_lockFd = -1; // held for the life of the instance
};

} // namespace quillet
