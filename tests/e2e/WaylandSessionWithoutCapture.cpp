// The program in a Wayland session that offers it no way to read the screen or to hold global
// keys: a headless sway (wlroots) compositor started by the test, the program on Qt's Wayland
// platform. It says so, holds no keys it cannot hold, and pins still work.
#include "E2eEnv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quillet::e2e {
namespace {

class WaylandSessionWithoutCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(
            runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
        QFile conf(m_dir.filePath(QStringLiteral("sway.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("output HEADLESS-1 resolution 1280x720 position 0 0\n"
                   "default_border none\n");
        conf.close();

        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        m_sway = new QProcess;
        m_sway->setProcessEnvironment(env);
        m_sway->setProcessChannelMode(QProcess::MergedChannels);
        const QStringList swayArgs
            = {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("sway.conf"))};
        // sway refuses to run as root; a user namespace makes this process someone else.
        if (::getuid() == 0) {
            m_sway->start(QStringLiteral("unshare"),
                QStringList {QStringLiteral("--user"), QStringLiteral("--map-user=1000"),
                    QStringLiteral("--map-group=1000"), QStringLiteral("sway")}
                    + swayArgs);
        } else {
            m_sway->start(QStringLiteral("sway"), swayArgs);
        }
        const bool up = E2eEnv::waitFor(
            [&] {
                m_display = socketName();
                return !m_display.isEmpty() || m_sway->state() == QProcess::NotRunning;
            },
            15000);
        if (!up || m_display.isEmpty()) {
            m_sway->waitForFinished(200);
            GTEST_SKIP() << "headless sway did not start here: "
                         << m_sway->readAll().right(600).toStdString();
        }

        m_env = env;
        m_env.remove(QStringLiteral("WLR_BACKENDS"));
        m_env.remove(QStringLiteral("WLR_RENDERER"));
        m_env.remove(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"));
        m_env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_display);
        m_env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    }

    void TearDown() override
    {
        if (m_program)
            E2eEnv::stop(m_program);
        if (m_sway)
            E2eEnv::stop(m_sway);
        delete m_program;
        delete m_sway;
    }

    QString runtime() const { return m_dir.filePath(QStringLiteral("runtime")); }

    QString socketName() const
    {
        const QStringList sockets = QDir(runtime()).entryList(
            {QStringLiteral("wayland-*")}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        for (const QString& s : sockets) {
            if (!s.endsWith(QLatin1String(".lock")))
                return s;
        }
        return {};
    }

    ToolResult run(const QString& program, const QStringList& args, int timeoutMs = 10000)
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program, args);
        ToolResult r;
        if (!p.waitForStarted(timeoutMs))
            return r;
        r.timedOut = !p.waitForFinished(timeoutMs);
        if (r.timedOut) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }

    QString status()
    {
        return QString::fromUtf8(run(QStringLiteral(QUILLET_BINARY), {"status"}).out);
    }

    // The compositor's own picture of its output, through wlr-screencopy.
    QImage screen()
    {
        const QString file = m_dir.filePath(QStringLiteral("screen.png"));
        QFile::remove(file);
        if (run(QStringLiteral("grim"), {file}).exitCode != 0)
            return {};
        return QImage(file);
    }

    QTemporaryDir m_dir;
    QProcess* m_sway = nullptr;
    QProcess* m_program = nullptr;
    QString m_display;
    QProcessEnvironment m_env;
};

TEST_F(WaylandSessionWithoutCapture, SaysSoHoldsNoKeysAndStillPins)
{
    m_program = new QProcess;
    m_program->setProcessEnvironment(m_env);
    m_program->start(QStringLiteral(QUILLET_BINARY), QStringList());
    ASSERT_TRUE(E2eEnv::waitFor([&] { return status().contains(QLatin1String("pid: ")); }, 15000))
        << m_program->readAllStandardError().toStdString();
    const QString s = status();
    EXPECT_TRUE(s.contains(QLatin1String("wayland: 1"))) << s.toStdString();
    // No key is claimed that would never fire.
    EXPECT_TRUE(s.contains(QLatin1String("hotkeys-registered: 0"))) << s.toStdString();
    // The settings window shows why, on the general page.
    EXPECT_TRUE(
        E2eEnv::waitFor([&] { return status().contains(QLatin1String("settings-window: 1")); }));
    EXPECT_TRUE(status().contains(QLatin1String("settings-page: general")));
    // And says on stderr why, and what to bind in the desktop instead of hot keys.
    QString err;
    EXPECT_TRUE(E2eEnv::waitFor([&] {
        m_program->waitForReadyRead(50);
        err += QString::fromUtf8(m_program->readAllStandardError());
        return err.contains(QStringLiteral("Wayland 会话"))
            && err.contains(QStringLiteral("quillet capture"));
    })) << err.toStdString();

    // A pin of a picture in one colour shows that colour on the compositor's output.
    QImage picture(240, 160, QImage::Format_RGB32);
    picture.fill(0xff3366cc);
    const QString file = m_dir.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(picture.save(file));
    const ToolResult pinned = run(QStringLiteral(QUILLET_BINARY), {"pin", file});
    EXPECT_EQ(pinned.exitCode, 0) << pinned.err.toStdString();
    EXPECT_TRUE(E2eEnv::waitFor([&] { return status().contains(QLatin1String("pins: 1")); }));
    qint64 shown = 0;
    EXPECT_TRUE(E2eEnv::waitFor(
        [&] {
            const QImage shot = screen().convertToFormat(QImage::Format_RGB32);
            shown = 0;
            for (int y = 0; y < shot.height(); ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
                for (int x = 0; x < shot.width(); ++x)
                    shown += (line[x] & 0xffffff) == 0x3366cc;
            }
            return shown >= 200 * 140;
        },
        10000))
        << shown << " pixels of the pin's colour";

    // The program still ends on request.
    EXPECT_EQ(run(QStringLiteral(QUILLET_BINARY), {"quit"}).exitCode, 0);
    EXPECT_TRUE(m_program->waitForFinished(10000));
}

} // namespace
} // namespace quillet::e2e
