#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillet {

// One request from a command-line client to the running instance: a verb and at most one
// argument (a file path or a page name). On the wire: the verb, a space and the argument
// percent-encoded, then a newline.
struct Request {
    QString verb; // reopen, capture, pin, pin-file, settings, quit, status
    QString argument;

    bool operator==(const Request&) const = default;
};

// The instance's answer: the client prints `text` (on stdout when `exitCode` is 0, else on
// stderr) and exits with `exitCode`. On the wire: the exit code on the first line, the text
// after it.
struct Reply {
    int exitCode = 0;
    QString text;

    bool operator==(const Reply&) const = default;
};

namespace InstanceProtocol {

inline constexpr int maxRequestBytes = 64 * 1024;

QByteArray encodeRequest(const Request& r);
// `line` without its newline. Nothing for a malformed line.
std::optional<Request> decodeRequest(const QByteArray& line);
QByteArray encodeReply(const Reply& r);
std::optional<Reply> decodeReply(const QByteArray& data);

// Where this user's instance listens: $XDG_RUNTIME_DIR/quillet.socket when that folder is the
// user's alone, else /tmp/quillet-UID/quillet.socket in a folder only the user may enter. Nothing
// (and `error` set) when no safe place exists.
std::optional<QString> socketPath(QString* error = nullptr);

enum class SendStatus {
    answered, // the reply is in `reply`
    nobody, // no instance listens there (no socket, or a stale one)
    noAnswer, // an instance took the connection but did not answer in time
};

struct SendResult {
    SendStatus status = SendStatus::nobody;
    Reply reply;
};

// Blocking; meant for the command-line client, which has no event loop and no windows.
SendResult send(const QString& path, const Request& request, int timeoutMs);

} // namespace InstanceProtocol
} // namespace quillet
