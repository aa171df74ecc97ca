#include "ProcessRig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace quillet::e2e {

QStringList ToolResult::errLines() const
{
    return QString::fromUtf8(err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void ProcessRig::TearDown()
{
    // Without a runtime folder of the test's own, `status` would ask the user's instance.
    const qint64 detached = m_env.contains(QStringLiteral("XDG_RUNTIME_DIR"))
        ? quilletStatus().value(QStringLiteral("pid")).toLongLong()
        : 0;
    if (std::none_of(m_processes.begin(), m_processes.end(),
            [&](const Child& c) { return c.process->processId() == detached; }))
        stopPid(detached);
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        if (it->withChildren && it->process->state() != QProcess::NotRunning)
            stopChildrenOf(it->process->processId());
        stop(it->process.get());
    }
    m_processes.clear();
}

QProcess* ProcessRig::spawn(const QProcessEnvironment& env, bool withChildren)
{
    m_processes.push_back({std::make_unique<QProcess>(), withChildren});
    QProcess* p = m_processes.back().process.get();
    p->setProcessEnvironment(env);
    return p;
}

void ProcessRig::stop(QProcess* p, int graceMs)
{
    if (!p || p->state() == QProcess::NotRunning)
        return;
    const qint64 pid = p->processId();
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!p->waitForFinished(graceMs)) {
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        p->waitForFinished(graceMs);
    }
}

void ProcessRig::stopPid(qint64 pid, int graceMs)
{
    if (pid <= 0)
        return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!waitFor([pid] { return !processAlive(pid); }, graceMs))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

void ProcessRig::stopChildrenOf(qint64 parent)
{
    QList<qint64> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            children.append(pid);
    }
    for (qint64 pid : children)
        stopPid(pid);
}

bool ProcessRig::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    constexpr int pollMs = 10;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, pollMs);
        QThread::msleep(pollMs);
    }
}

bool ProcessRig::processAlive(qint64 pid)
{
    if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
        return false;
    // A zombie has ended; only its parent has not collected it yet.
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.mid(close + 2, 1) != "Z";
}

ToolResult ProcessRig::runIn(const QProcessEnvironment& env, const QString& program,
    const QStringList& args, int timeoutMs, const QByteArray& input)
{
    ToolResult r;
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        r.timedOut = true;
        stop(&p, 1000);
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    if (!r.timedOut && p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    return r;
}

int ProcessRig::differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            n += (a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff);
    }
    return n;
}

void ProcessRig::writeSettings(const QMap<QString, QVariant>& values)
{
    const QString dir = m_env.value(QStringLiteral("XDG_CONFIG_HOME")) + QStringLiteral("/quillet");
    QDir().mkpath(dir);
    QSettings s(dir + QStringLiteral("/quillet.conf"), QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.value().isNull())
            s.remove(it.key());
        else
            s.setValue(it.key(), it.value());
    }
}

QString ProcessRig::status()
{
    const ToolResult r = quillet({"status"}, 5000);
    return r.exitCode == 0 ? QString::fromUtf8(r.out) : QString();
}

QMap<QString, QString> ProcessRig::quilletStatus()
{
    QMap<QString, QString> pairs;
    for (const QString& line : status().split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0)
            pairs.insert(line.left(colon), line.mid(colon + 1).trimmed());
    }
    return pairs;
}

} // namespace quillet::e2e
