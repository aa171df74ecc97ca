#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace quillet::test {

// A session bus configuration for `dbus-daemon --config-file` that starts no services: only the
// programs a test starts answer on it, never the distribution's own portal.
inline QByteArray bareSessionBusConfig()
{
    return "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
           "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";
}

// Such a bus, run for as long as the object lives. address() is empty when it did not start.
class BareBus {
public:
    BareBus()
    {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) || file.write(bareSessionBusConfig()) < 0)
            return;
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        QByteArray address;
        const QDeadlineTimer deadline(5000);
        while (!address.contains('\n') && !deadline.hasExpired()
            && m_daemon.state() != QProcess::NotRunning) {
            m_daemon.waitForReadyRead(20);
            address += m_daemon.readAllStandardOutput();
        }
        if (address.contains('\n'))
            m_address = QString::fromUtf8(address.trimmed());
    }
    ~BareBus()
    {
        if (m_daemon.state() == QProcess::NotRunning)
            return;
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000))
            m_daemon.kill();
        m_daemon.waitForFinished();
    }
    BareBus(const BareBus&) = delete;
    BareBus& operator=(const BareBus&) = delete;

    const QString& address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

} // namespace quillet::test
