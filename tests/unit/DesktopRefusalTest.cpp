// A desktop that remembers a "no" to screenshots: the portal answers a refusal and a failure
// alike, the permission store tells them apart, and the program can take the "no" back. Against
// a stand-in portal and store served on a bus of the test's own.
#include "platform/wayland/PortalGrabber.h"

#include "../common/BareBus.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

using namespace quillet;
using quillet::test::waitUntil;

namespace {

using Permissions = QMap<QString, QStringList>;

// The portal's Screenshot interface, answering every request with `code`.
class StandInScreenshot final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
    Q_PROPERTY(uint version READ version)
public:
    explicit StandInScreenshot(const QDBusConnection& bus)
        : m_bus(bus)
    { }
    uint version() const { return 2; }
    std::optional<uint> code = 2; // none: the user never answers
    QString lastRequest;

    void answer(const QString& request, uint with, const QVariantMap& results = {})
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << with << results;
        m_bus.send(signal);
    }

public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString&, const QVariantMap& options, const QDBusMessage& msg)
    {
        const QString request
            = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                  .arg(msg.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                      options.value(QStringLiteral("handle_token")).toString());
        lastRequest = request;
        if (code)
            QTimer::singleShot(0, this, [this, request] { answer(request, *code); });
        return QDBusObjectPath(request);
    }

private:
    QDBusConnection m_bus;
};

// The store the portal keeps answers in: one table, one entry.
class StandInStore final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.PermissionStore")
public:
    explicit StandInStore(const QDBusConnection& bus)
        : m_bus(bus)
    { }
    Permissions screenshot; // app id → what it may do
    QStringList deleted;

public Q_SLOTS:
    void Lookup(const QString& table, const QString& id, const QDBusMessage& msg)
    {
        msg.setDelayedReply(true);
        if (table != QLatin1String("screenshot") || id != QLatin1String("screenshot")
            || screenshot.isEmpty()) {
            m_bus.send(msg.createErrorReply(
                QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("none")));
            return;
        }
        m_bus.send(msg.createReply(
            {QVariant::fromValue(screenshot), QVariant::fromValue(QDBusVariant(0))}));
    }
    void DeletePermission(const QString& table, const QString& id, const QString& app)
    {
        deleted << table + '/' + id + '/' + app;
        if (table == QLatin1String("screenshot") && id == QLatin1String("screenshot"))
            screenshot.remove(app);
    }

private:
    QDBusConnection m_bus;
};

class DesktopRefusalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<Permissions>();
        ASSERT_FALSE(m_bus.address().isEmpty()) << "no dbus-daemon";
        const int n = ++s_connections;
        m_desktopName = QStringLiteral("refusal-desktop-%1").arg(n);
        m_programName = QStringLiteral("refusal-program-%1").arg(n);
        QDBusConnection desktop = QDBusConnection::connectToBus(m_bus.address(), m_desktopName);
        m_screenshot = std::make_unique<StandInScreenshot>(desktop);
        m_store = std::make_unique<StandInStore>(desktop);
        ASSERT_TRUE(desktop.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"),
            m_screenshot.get(),
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(
            desktop.registerObject(QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
                m_store.get(), QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        ASSERT_TRUE(
            desktop.registerService(QStringLiteral("org.freedesktop.impl.portal.PermissionStore")));
        m_grabber = std::make_unique<PortalGrabber>(
            QDBusConnection::connectToBus(m_bus.address(), m_programName));
    }
    void TearDown() override
    {
        m_grabber.reset();
        QDBusConnection::disconnectFromBus(m_programName);
        QDBusConnection::disconnectFromBus(m_desktopName);
    }

    // The error of one grab, once it comes.
    QString grabError()
    {
        std::optional<GrabResult> result;
        m_grabber->grabAll({}, {}, [&](GrabResult r) { result = std::move(r); });
        if (!waitUntil([&] { return result.has_value(); }))
            return QStringLiteral("(no answer)");
        return result->error.value_or(QString());
    }

    quillet::test::BareBus m_bus;
    QString m_desktopName, m_programName;
    std::unique_ptr<StandInScreenshot> m_screenshot;
    std::unique_ptr<StandInStore> m_store;
    std::unique_ptr<PortalGrabber> m_grabber;
    static inline int s_connections = 0;
};

TEST_F(DesktopRefusalTest, AStoredNoIsSaidPlainlyAndCanBeTakenBack)
{
    // A failure with nothing stored is no refusal; neither is another program's "no".
    for (const Permissions& stored : {Permissions(), Permissions {{"org.example.App", {"no"}}}}) {
        m_store->screenshot = stored;
        EXPECT_EQ(grabError(), QStringLiteral("截图门户没能截图"));
        EXPECT_FALSE(m_grabber->refusedByDesktop());
    }

    m_store->screenshot = {{QString(), {QStringLiteral("no")}}};
    EXPECT_TRUE(grabError().contains(QStringLiteral("桌面拒绝了墨钉截图")));
    EXPECT_TRUE(m_grabber->refusedByDesktop());

    std::optional<bool> taken;
    m_grabber->askAgain([&](bool ok) { taken = ok; });
    ASSERT_TRUE(waitUntil([&] { return taken.has_value(); }));
    EXPECT_TRUE(*taken);
    // Only this program's answer goes.
    EXPECT_EQ(m_store->deleted, QStringList {QStringLiteral("screenshot/screenshot/")});
    EXPECT_FALSE(m_grabber->refusedByDesktop());
}

// The user may leave the desktop's question standing: the capture key again stops the wait, and
// the picture an answer brings after that is removed all the same.
TEST_F(DesktopRefusalTest, AWaitTheUserStopsEndsQuietlyAndALateAnswerLeavesNothing)
{
    m_screenshot->code.reset();
    std::optional<GrabResult> result;
    m_grabber->grabAll({}, {}, [&](GrabResult r) { result = std::move(r); });
    ASSERT_TRUE(waitUntil([&] { return !m_screenshot->lastRequest.isEmpty(); }));
    EXPECT_TRUE(m_grabber->waitingForDesktop());
    m_grabber->stopWaiting();
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->error.has_value());
    EXPECT_TRUE(result->images.isEmpty());
    EXPECT_FALSE(m_grabber->waitingForDesktop());

    QTemporaryDir pictures;
    const QString left = pictures.filePath(QStringLiteral("Screenshot.png"));
    QImage(8, 8, QImage::Format_RGB32).save(left);
    m_screenshot->answer(m_screenshot->lastRequest, 0,
        {{QStringLiteral("uri"), QUrl::fromLocalFile(left).toString()}});
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(left); }));
}

} // namespace

#include "DesktopRefusalTest.moc"
