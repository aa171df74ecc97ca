#include "platform/wayland/SwayIpc.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtEndian>

#include <functional>
#include <unistd.h>

namespace quillet {

namespace {

constexpr char magic[] = "i3-ipc";
constexpr int headerBytes = 6 + 4 + 4;
constexpr int answerMs = 500;
constexpr int placeTries = 40; // every 25 ms: a window is normally mapped within a frame or two

// The window's container in sway's tree: ours by process, this window by title, the newest of
// them (the one just shown) when several share the title.
std::optional<QJsonObject> findContainer(QWidget* window)
{
    const std::optional<QJsonDocument> tree = SwayIpc::request(SwayIpc::getTree);
    if (!tree)
        return std::nullopt;
    const qint64 pid = ::getpid();
    const QString title = window->windowTitle();
    std::optional<QJsonObject> best;
    const std::function<void(const QJsonObject&)> walk = [&](const QJsonObject& node) {
        if (node.value(QLatin1String("pid")).toInteger() == pid
            && node.value(QLatin1String("name")).toString() == title
            && (!best
                || node.value(QLatin1String("id")).toInteger()
                    > best->value(QLatin1String("id")).toInteger()))
            best = node;
        for (const char* key : {"nodes", "floating_nodes"}) {
            for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
                walk(child.toObject());
        }
    };
    walk(tree->object());
    return best;
}

const char* containerProperty = "quillet-sway-container";

void placeSoon(QPointer<QWidget> window, QRect geometry, int triesLeft)
{
    if (!window || !window->isVisible())
        return;
    qint64 id = window->property(containerProperty).toLongLong();
    if (id == 0) {
        if (const std::optional<QJsonObject> node = findContainer(window)) {
            id = node->value(QLatin1String("id")).toInteger();
            window->setProperty(containerProperty, id);
        }
    }
    if (id == 0) {
        if (triesLeft > 0)
            QTimer::singleShot(25, window,
                [window, geometry, triesLeft] { placeSoon(window, geometry, triesLeft - 1); });
        return;
    }
    const bool moved = SwayIpc::command(
        QStringLiteral("[con_id=%1] move absolute position %2 %3, resize set %4 %5")
            .arg(id)
            .arg(geometry.x())
            .arg(geometry.y())
            .arg(geometry.width())
            .arg(geometry.height()));
    // A window hidden and shown again is a new container: look for it again.
    if (!moved && triesLeft > 0) {
        window->setProperty(containerProperty, QVariant());
        placeSoon(window, geometry, triesLeft - 1);
    }
}

} // namespace

bool SwayIpc::available()
{
    return !qEnvironmentVariableIsEmpty("SWAYSOCK") && request(getTree).has_value();
}

std::optional<QJsonDocument> SwayIpc::request(Message type, const QByteArray& payload)
{
    const QString path = qEnvironmentVariable("SWAYSOCK");
    if (path.isEmpty())
        return std::nullopt;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(answerMs))
        return std::nullopt;
    QByteArray message(magic, 6);
    quint32 fields[2] = {quint32(payload.size()), type};
    message.append(reinterpret_cast<const char*>(fields), sizeof fields); // native byte order
    message.append(payload);
    socket.write(message);
    if (!socket.waitForBytesWritten(answerMs))
        return std::nullopt;
    QByteArray answer;
    qsizetype want = headerBytes;
    while (answer.size() < want) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(answerMs))
            return std::nullopt;
        answer += socket.read(want - answer.size());
        if (answer.size() == headerBytes && want == headerBytes) {
            if (!answer.startsWith(magic))
                return std::nullopt;
            quint32 length = 0;
            memcpy(&length, answer.constData() + 6, sizeof length);
            // A tree of a few hundred windows is tens of kilobytes; anything near this is not sway.
            if (length > 64u * 1024 * 1024)
                return std::nullopt;
            want = headerBytes + qsizetype(length);
        }
    }
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(answer.mid(headerBytes), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return doc;
}

bool SwayIpc::command(const QString& command)
{
    const std::optional<QJsonDocument> answer = request(runCommand, command.toUtf8());
    if (!answer || !answer->isArray())
        return false;
    for (const QJsonValue& part : answer->array()) {
        if (!part.toObject().value(QLatin1String("success")).toBool())
            return false;
    }
    return true;
}

void SwayIpc::floatOwnWindows()
{
    // Rules, so that a pin never shows as a tile first; the place comes once it has mapped.
    // One command a rule: sway splits what it is sent at commas before the rule takes it, and
    // would run everything after the first comma at once, on whatever window has the focus.
    for (const char* title : {"墨钉贴图", "墨钉提示"}) {
        for (const char* what : {"floating enable", "sticky enable", "border none"}) {
            command(QStringLiteral("for_window [pid=%1 title=\"^%2$\"] %3")
                        .arg(::getpid())
                        .arg(QString::fromUtf8(title), QLatin1String(what)));
        }
    }
}

void SwayIpc::place(QWidget* window, const QRect& qtGeometry)
{
    placeSoon(window, qtGeometry, placeTries);
}

std::optional<QRect> SwayIpc::placed(QWidget* window)
{
    const qint64 id = window->property(containerProperty).toLongLong();
    if (id == 0)
        return std::nullopt;
    const std::optional<QJsonDocument> tree = request(getTree);
    if (!tree)
        return std::nullopt;
    std::optional<QRect> found;
    const std::function<void(const QJsonObject&)> walk = [&](const QJsonObject& node) {
        if (node.value(QLatin1String("id")).toInteger() == id) {
            const QJsonObject r = node.value(QLatin1String("rect")).toObject();
            found = QRect(r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
                r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt());
            return;
        }
        for (const char* key : {"nodes", "floating_nodes"}) {
            for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
                walk(child.toObject());
        }
    };
    walk(tree->object());
    return found;
}

QList<WindowRecord> SwayIpc::windows()
{
    const std::optional<QJsonDocument> tree = request(getTree);
    return tree ? windowsFromTree(tree->object(), ::getpid()) : QList<WindowRecord> {};
}

QList<WindowRecord> SwayIpc::windowsFromTree(const QJsonObject& tree, qint64 ownPid)
{
    QList<WindowRecord> fullScreen, floating, tiled;
    auto record = [](const QJsonObject& n) {
        const QJsonObject r = n.value(QLatin1String("rect")).toObject();
        WindowRecord w;
        w.qtBounds = QRect(r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
            r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt());
        w.windowId = quint32(n.value(QLatin1String("id")).toInteger());
        return w;
    };
    // Floating containers are listed bottom first; so are their children.
    const std::function<void(const QJsonObject&, bool)> walk
        = [&](const QJsonObject& n, bool isFloating) {
              const bool view = n.contains(QLatin1String("pid"))
                  && n.value(QLatin1String("nodes")).toArray().isEmpty();
              if (view && n.value(QLatin1String("visible")).toBool()
                  && n.value(QLatin1String("pid")).toInteger() != ownPid) {
                  if (n.value(QLatin1String("fullscreen_mode")).toInt() != 0)
                      fullScreen.append(record(n));
                  else if (isFloating)
                      floating.prepend(record(n));
                  else
                      tiled.append(record(n));
              }
              for (const QJsonValue& c : n.value(QLatin1String("nodes")).toArray())
                  walk(c.toObject(), isFloating);
              for (const QJsonValue& c : n.value(QLatin1String("floating_nodes")).toArray())
                  walk(c.toObject(), true);
          };
    walk(tree, false);
    return fullScreen + floating + tiled;
}

} // namespace quillet
