#include "E2eEnv.h"
#include "RawClient.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillet::e2e {
namespace {

class CommandSocketHoldsUp : public E2eEnv {
protected:
    QString socket() const { return runtimeDir() + "/quillet.socket"; }

    static qint64 residentKiB(qint64 pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
        return -1;
    }
};

TEST_F(CommandSocketHoldsUp, TenStartedAtOnceLeaveExactlyOne)
{
    QList<QProcess*> started;
    for (int i = 0; i < 10; ++i)
        started << startQuillet();
    const auto running = [&] {
        QList<QProcess*> r;
        for (QProcess* p : started) {
            if (p->state() != QProcess::NotRunning)
                r << p;
        }
        return r;
    };
    ASSERT_TRUE(waitFor([&] { return running().size() == 1; }, 30000))
        << running().size() << " still running";
    for (QProcess* p : started) {
        if (p->state() == QProcess::NotRunning) {
            EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p->exitCode(), 0);
        }
    }
    ASSERT_TRUE(waitForQuilletReady());
    EXPECT_EQ(quilletStatus().value("pid").toLongLong(), running().first()->processId());
    EXPECT_EQ(quilletStatus().value("hotkeys-failed"), "");
}

// Any program of the user's can write to the socket. Whatever it sends, the program answers
// what it understands, refuses the rest, drops what goes on too long, and keeps serving.
TEST_F(CommandSocketHoldsUp, MalformedHugeAndSilentClientsAreRefusedWithoutHarm)
{
    QProcess* resident = startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const qint64 pid = resident->processId();
    const qint64 rssBefore = residentKiB(pid);

    struct Case {
        const char* name;
        QByteArray bytes;
        QByteArray replyStart; // empty: the program closes without a reply
    };
    const QByteArray garbage(100 * 1024 * 1024, '\x07');
    const QList<Case> cases = {
        {"a garbled line", "\x01\xff\xfe junk\n", "2\n"},
        {"an unknown verb", RawClient::line("STATUS"), "2\n"},
        {"a verb with an empty argument", "pin-file \n", "2\n"},
        {"100 MB without a line end", garbage, {}},
        {"100 MB in one line", garbage + '\n', {}},
        {"a line longer than any request", RawClient::line("pin-file", QString(70000, 'a')), {}},
        {"half a request, then silence", "stat", {}},
        {"nothing at all", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawClient client(socket());
        ASSERT_TRUE(client.connected());
        const qsizetype sent = client.send(c.bytes, 10000);
        // While this client hangs on, others are still served.
        EXPECT_EQ(quillet({"status"}, 5000).exitCode, 0);
        const std::optional<QByteArray> reply = client.readToEnd(10000);
        ASSERT_TRUE(reply) << "still connected after 10 s";
        if (c.replyStart.isEmpty()) {
            EXPECT_TRUE(reply->isEmpty()) << reply->data();
        } else {
            EXPECT_TRUE(reply->startsWith(c.replyStart)) << reply->data();
            EXPECT_EQ(sent, c.bytes.size());
        }
        if (c.bytes.size() > 1024 * 1024) {
            EXPECT_LT(sent, c.bytes.size()); // cut off long before the end
        }
    }

    // Many that say nothing, then one that asks.
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 100; ++i)
        silent.push_back(std::make_unique<RawClient>(socket()));
    const ToolResult status = quillet({"status"}, 5000);
    EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
    // They did not all stay connected until their time ran out: the oldest made room.
    EXPECT_TRUE(silent.front()->readToEnd(2000));
    silent.clear();

    EXPECT_EQ(resident->state(), QProcess::Running);
    EXPECT_EQ(quilletStatus().value("pid").toLongLong(), pid);
    // The 100 MB floods were never held in memory (the bound leaves room for a sanitizer's
    // allocator, which keeps freed blocks for a while).
    EXPECT_LT(residentKiB(pid) - rssBefore, 64 * 1024);
}

TEST_F(CommandSocketHoldsUp, OtherUsersCanNeitherConnectNorReplaceIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs to become another user for a moment";
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    struct stat st { };
    ASSERT_EQ(::stat(QFile::encodeName(runtimeDir()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);

    const QByteArray path = QFile::encodeName(socket());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As "nobody": each step that succeeds sets a bit.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(64);
        int got = 0;
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0)
            got |= 1;
        if (::unlink(path.constData()) == 0)
            got |= 2;
        const int t = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(t, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0)
            got |= 4;
        ::_exit(got);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bits: 1 connected, 2 removed, 4 replaced";
    EXPECT_FALSE(quilletStatus().isEmpty());
}

} // namespace
} // namespace quillet::e2e
