#include "platform/wayland/PortalGrabber.h"

#include "platform/wayland/PortalBus.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/WaylandGrabChoice.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QScreen>
#include <QThreadPool>
#include <QUrl>

namespace quillet {

namespace {

using portal::requestInterface;
const QString& portalService = portal::service;
const QString& portalPath = portal::path;
const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");

// A desktop that asks the user first waits for the answer, for as long as a dialog may stand
// unanswered; the user can stop waiting sooner (the capture key again).
constexpr int answerMs = 600000;

// Where the portal keeps what the user answered: a "no" for programs outside a sandbox (app
// id "") makes every later screenshot fail at once, without a dialog.
const QString storeService = QStringLiteral("org.freedesktop.impl.portal.PermissionStore");
const QString storePath = QStringLiteral("/org/freedesktop/impl/portal/PermissionStore");
const QString storeTable = QStringLiteral("screenshot");
const QString storeId = QStringLiteral("screenshot");
constexpr int storeMs = 5000;

// Pictures from the portal are read with the same bound as any picture from outside.
constexpr int largestSide = 32768;

QImage readPicture(const QString& file, QString* why)
{
    QImageReader reader(file);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > largestSide || size.height() > largestSide)) {
        *why = QStringLiteral("截图门户给出的图片大得不合理");
        return {};
    }
    const QImage image = reader.read();
    if (image.isNull())
        *why = QStringLiteral("读不了截图门户给出的图片：%1").arg(reader.errorString());
    return image;
}

// The portal leaves its picture where the desktop keeps screenshots (~/Pictures on GNOME and
// KDE): the whole screen, with what the user crops out or hides under a mosaic. Only the file this
// answer named goes, and only once it has been read.
QImage takePicture(const QString& file, QString* why)
{
    const QImage image = readPicture(file, why);
    if (QFileInfo(file).isFile() && !QFile::remove(file))
        qWarning("quillet: could not remove the portal's picture %s", qPrintable(file));
    return image;
}

// An answer that comes after the program stopped waiting still leaves a picture behind; this
// stays on the request a while longer only to remove it.
class LateAnswer final : public QObject {
    Q_OBJECT
public:
    LateAnswer(const QDBusConnection& bus, const QString& requestPath)
        : QObject(QCoreApplication::instance())
        , m_bus(bus)
        , m_path(requestPath)
    {
        m_bus.connect(portalService, m_path, requestInterface, QStringLiteral("Response"), this,
            SLOT(answered(uint, QVariantMap)));
        QTimer::singleShot(lateAnswerMs, this, &QObject::deleteLater);
    }
    ~LateAnswer() override
    {
        m_bus.disconnect(portalService, m_path, requestInterface, QStringLiteral("Response"), this,
            SLOT(answered(uint, QVariantMap)));
    }

public Q_SLOTS:
    void answered(uint, const QVariantMap& results)
    {
        const QUrl uri(results.value(QStringLiteral("uri")).toString());
        if (uri.isLocalFile() && QFileInfo(uri.toLocalFile()).isFile())
            QFile::remove(uri.toLocalFile());
        deleteLater();
    }

private:
    static constexpr int lateAnswerMs = 600000;
    QDBusConnection m_bus;
    QString m_path;
};

} // namespace

PortalGrabber::PortalGrabber(const QDBusConnection& bus)
    : m_bus(bus)
{
    qDBusRegisterMetaType<QMap<QString, QStringList>>();
    portal::registerApp(m_bus);
    checkInterface();
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(answerMs);
    connect(&m_deadline, &QTimer::timeout, this,
        [this] { abandon(QStringLiteral("截图门户一直没有回应")); });
}

PortalGrabber::~PortalGrabber()
{
    stopListening();
}

bool PortalGrabber::available(QString* why)
{
    // Only whether the bus has or can start a portal; whether it has a Screenshot interface is
    // asked once the grabber exists, without waiting.
    if (portal::offered(QDBusConnection::sessionBus(), why))
        return true;
    if (why && QDBusConnection::sessionBus().isConnected())
        *why = QStringLiteral("桌面没有提供截图门户（xdg-desktop-portal）");
    return false;
}

void PortalGrabber::checkInterface()
{
    QDBusMessage ask = QDBusMessage::createMethodCall(portalService, portalPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    ask << screenshotInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, answerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        // A portal that is there but has no Screenshot interface (no backend for this desktop)
        // can never capture; one that was slow to answer may still.
        if (reply.type() == QDBusMessage::ErrorMessage
            && reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.NoReply"))
            m_missing = QStringLiteral(
                "桌面的门户没有截图接口（xdg-desktop-portal 找不到这个桌面的截图后端）。"
                "贴图仍可使用。");
    });
}

QList<QImage> PortalGrabber::split(
    const QImage& desktop, const QList<QRect>& qtRects, const QList<QSize>& pixelSizes)
{
    QList<QImage> out;
    QRect layout;
    for (const QRect& r : qtRects)
        layout = layout.united(r);
    if (desktop.isNull() || layout.isEmpty()) {
        for (qsizetype i = 0; i < qtRects.size(); ++i)
            out.append(QImage());
        return out;
    }
    // The picture spans the layout at one scale, the largest screen's, on every desktop seen.
    const qreal fx = qreal(desktop.width()) / layout.width();
    const qreal fy = qreal(desktop.height()) / layout.height();
    for (qsizetype i = 0; i < qtRects.size(); ++i) {
        const QRect& r = qtRects[i];
        const QRect source(qRound((r.x() - layout.x()) * fx), qRound((r.y() - layout.y()) * fy),
            qRound(r.width() * fx), qRound(r.height() * fy));
        if (!desktop.rect().contains(source)) {
            out.append(QImage());
            continue;
        }
        QImage part = desktop.copy(source).convertToFormat(QImage::Format_RGB32);
        const QSize want = i < pixelSizes.size() ? pixelSizes[i] : QSize();
        if (!want.isEmpty() && part.size() != want)
            part = part.scaled(want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        out.append(part);
    }
    return out;
}

void PortalGrabber::grabAll(const QList<Screen>& screens, const QList<quint32>&, Done done)
{
    if (m_pending) {
        // One question to the desktop at a time; the program asks for the next capture only
        // after this one's answer.
        GrabResult r;
        r.error = QStringLiteral("上一次截图还在等桌面回应");
        done(r);
        return;
    }
    QDBusConnection& bus = m_bus;
    Pending p;
    for (const Screen& s : screens) {
        p.qtRects.append(s.qscreen ? s.qscreen->geometry() : s.frame.toRect());
        p.pixelSizes.append(QSize(s.pixelWidth(), s.pixelHeight()));
    }
    p.done = std::move(done);
    // The portal answers on a request object whose path it derives from our bus name and this
    // token; listening before asking means no answer can come too early to be heard.
    const QString token = QStringLiteral("quillet%1").arg(++m_serial);
    p.requestPath = portal::requestPath(bus, token);
    bus.connect(portalService, p.requestPath, requestInterface, QStringLiteral("Response"), this,
        SLOT(responded(uint, QVariantMap)));
    m_pending = std::move(p);
    m_deadline.start();

    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, screenshotInterface, QStringLiteral("Screenshot"));
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("interactive"), false);
    call << QString() << options;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000), this);
    const int serial = m_serial;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, serial](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *w;
            if (reply.isError() && m_pending && serial == m_serial)
                fail(QStringLiteral("截图门户拒绝了请求：%1").arg(reply.error().message()));
        });
}

void PortalGrabber::responded(uint code, const QVariantMap& results)
{
    if (!m_pending)
        return;
    if (code == 1) {
        fail(QStringLiteral("截图被取消了"));
        return;
    }
    if (code != 0) {
        refusedOrFailed();
        return;
    }
    m_refused = false;
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    if (!uri.isLocalFile()) {
        fail(QStringLiteral("截图门户没能截图"));
        return;
    }
    Pending p = std::move(*m_pending);
    stopListening();
    // Decoding a whole desktop takes a while at 4K: off the main thread.
    QThreadPool::globalInstance()->start([p = std::move(p), file = uri.toLocalFile()]() mutable {
        QString why;
        const QImage desktop = takePicture(file, &why);
        GrabResult result;
        if (desktop.isNull())
            result.error = why;
        else
            result.images = split(desktop, p.qtRects, p.pixelSizes);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [done = std::move(p.done), result = std::move(result)]() mutable {
                done(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

void PortalGrabber::refusedOrFailed()
{
    // The portal answers a refusal and a failure alike; the store tells them apart.
    QDBusMessage lookup = QDBusMessage::createMethodCall(
        storeService, storePath, storeService, QStringLiteral("Lookup"));
    lookup << storeTable << storeId;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(lookup, storeMs), this);
    const int serial = m_serial;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, serial](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (!m_pending || serial != m_serial)
                return;
            const QDBusPendingReply<QMap<QString, QStringList>, QDBusVariant> reply = *w;
            m_refused = !reply.isError()
                && reply.argumentAt<0>().value(QString()).contains(QStringLiteral("no"));
            fail(m_refused ? QStringLiteral(
                     "桌面拒绝了墨钉截图：之前在桌面的询问里选了拒绝，桌面记住了这个"
                     "回答。点“让桌面再问一次”，下次截图时桌面会再询问。")
                           : QStringLiteral("截图门户没能截图"));
        });
}

void PortalGrabber::askAgain(std::function<void(bool)> done)
{
    QDBusMessage forget = QDBusMessage::createMethodCall(
        storeService, storePath, storeService, QStringLiteral("DeletePermission"));
    forget << storeTable << storeId << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(forget, storeMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, done = std::move(done)](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const bool ok = !w->isError();
            if (ok)
                m_refused = false;
            else
                qWarning("quillet: could not take back the desktop's screenshot refusal: %s",
                    qPrintable(w->error().message()));
            done(ok);
        });
}

void PortalGrabber::stopWaiting()
{
    abandon(std::nullopt);
}

void PortalGrabber::abandon(const std::optional<QString>& why)
{
    if (m_pending)
        new LateAnswer(m_bus, m_pending->requestPath);
    fail(why);
}

void PortalGrabber::fail(const std::optional<QString>& why)
{
    if (!m_pending)
        return;
    Done done = std::move(m_pending->done);
    stopListening();
    GrabResult r;
    r.error = why;
    done(r);
}

void PortalGrabber::stopListening()
{
    m_deadline.stop();
    if (!m_pending)
        return;
    m_bus.disconnect(portalService, m_pending->requestPath, requestInterface,
        QStringLiteral("Response"), this, SLOT(responded(uint, QVariantMap)));
    m_pending.reset();
}

QList<WindowRecord> PortalGrabber::windowList()
{
    return SwayIpc::windows();
}

QString PortalGrabber::routeDescription() const
{
    return waylandRouteDescription(WaylandGrabRoute::portal);
}

} // namespace quillet

#include "PortalGrabber.moc"
