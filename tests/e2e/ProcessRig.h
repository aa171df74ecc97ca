#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

class QImage;
class QProcess;

namespace quillet::e2e {

struct ToolResult {
    int exitCode = -1; // -1 when the tool could not start, crashed or timed out
    QByteArray out;
    QByteArray err;
    bool timedOut = false;

    QStringList errLines() const;
};

// What the X11 and the Wayland fixtures share: one environment for every child, tools run in
// it to their end, the program's status, the ways to stop what a test started, by PID, and
// pictures compared pixel for pixel.
class ProcessRig : public ::testing::Test {
public:
    // SIGTERM, a bounded wait, then SIGKILL.
    static void stop(QProcess* p, int graceMs = 3000);
    static void stopPid(qint64 pid, int graceMs = 3000);
    // The processes `parent` started (a bus's activated services).
    static void stopChildrenOf(qint64 parent);
    // Polls `done` with short pauses (processing events) until it holds or the time is up.
    static bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);
    // False once the process has ended, a zombie included.
    static bool processAlive(qint64 pid);
    // Runs a tool to its end with this environment.
    static ToolResult runIn(const QProcessEnvironment& env, const QString& program,
        const QStringList& args, int timeoutMs = 10000, const QByteArray& input = {});
    // How many pixels two pictures differ in, their colour alone counted; -1 for other sizes.
    static int differingPixels(const QImage& a, const QImage& b);

protected:
    // Stops every process spawned, the last first, and an instance of the program a command
    // started on its own (detached, so not spawned here).
    void TearDown() override;
    // A process of the test's own, not started yet, in `env`. TearDown stops it by PID, with
    // `withChildren` what it started too (a bus's activated services) just before it.
    QProcess* spawn(const QProcessEnvironment& env, bool withChildren = false);
    std::size_t spawned() const { return m_processes.size(); }

    ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs = 10000,
        const QByteArray& input = {})
    {
        return runIn(m_env, program, args, timeoutMs, input);
    }
    // The program under test, as a command.
    ToolResult quillet(const QStringList& args, int timeoutMs = 15000)
    {
        return runTool(QStringLiteral(QUILLET_BINARY), args, timeoutMs);
    }
    // `quillet status` as printed, and as key/value pairs; empty when no instance answers.
    QString status();
    QMap<QString, QString> quilletStatus();
    bool waitStatus(const char* line, int timeoutMs = 5000)
    {
        return waitFor([&] { return status().contains(QLatin1String(line)); }, timeoutMs);
    }

    // Preferences written before the program starts (the INI file QSettings reads); a null
    // value removes its key.
    void writeSettings(const QMap<QString, QVariant>& values);

    QProcessEnvironment m_env;

private:
    struct Child {
        std::unique_ptr<QProcess> process;
        bool withChildren;
    };
    std::vector<Child> m_processes;
};

} // namespace quillet::e2e
