#include "app/CommandLine.h"
#include "app/InstanceProtocol.h"
#include "app/SingleInstance.h"

#include "WaitUntil.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quillet;

namespace {

using K = Command::Kind;

struct GoodCase {
    QStringList args;
    Command expected;
};

TEST(CommandLine, ParsesEveryCommand)
{
    const QList<GoodCase> cases = {
        {{}, {K::start, {}, {}}},
        {{"capture"}, {K::capture, {}, {}}},
        {{"pin"}, {K::pin, {}, {}}},
        {{"pin", "shot.png"}, {K::pin, "shot.png", {}}},
        {{"pin", "/tmp/带 空格.png"}, {K::pin, "/tmp/带 空格.png", {}}},
        {{"pin", "--", "-dash.png"}, {K::pin, "-dash.png", {}}},
        {{"ocr", "shot.png"}, {K::ocr, "shot.png", {}}},
        {{"ocr", "--", "-dash.png"}, {K::ocr, "-dash.png", {}}},
        {{"settings"}, {K::settings, {}, {}}},
        {{"quit"}, {K::quit, {}, {}}},
        {{"status"}, {K::status, {}, {}}},
        {{"--help"}, {K::help, {}, {}}},
        {{"-h"}, {K::help, {}, {}}},
        {{"pin", "--help"}, {K::help, {}, {}}},
        {{"bogus", "--help"}, {K::help, {}, {}}},
        {{"--version"}, {K::version, {}, {}}},
        {{"capture", "--version"}, {K::version, {}, {}}},
    };
    QList<GoodCase> all = cases;
    for (const char* page : {"general", "shortcuts", "capture", "save", "pin", "about"})
        all.append({{"settings", page}, {K::settings, {}, page}});
    for (const GoodCase& c : all) {
        const ParseResult r = CommandLine::parse(c.args);
        ASSERT_TRUE(r.command.has_value())
            << c.args.join(' ').toStdString() << ": " << r.error.toStdString();
        EXPECT_EQ(*r.command, c.expected) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.error.isEmpty());
    }
}

TEST(CommandLine, RejectsBadArgumentsWithOneLine)
{
    const QList<QStringList> cases = {
        {"bogus"},
        {"Capture"},
        {"--frobnicate"},
        {"-x"},
        {"capture", "now"},
        {"quit", "-f"},
        {"status", "--all"},
        {"pin", "a.png", "b.png"},
        {"pin", ""},
        {"pin", "-x.png"},
        {"ocr"},
        {"ocr", "a.png", "b.png"},
        {"ocr", "-x.png"},
        {"settings", "colours"},
        {"settings", "general", "shortcuts"},
        {""},
        // Arguments echoed in the message can neither break its line nor drive the terminal.
        {"pin", "a.png", "b\nc.png"},
        {"capture", "\x1b[2J\x1b]0;title\x07"},
        {QStringLiteral("sett\u2028ings\u202e")},
        {"status", QStringLiteral("\r\t\u0085\u2029")},
    };
    for (const QStringList& args : cases) {
        const ParseResult r = CommandLine::parse(args);
        EXPECT_FALSE(r.command.has_value()) << args.join(' ').toStdString();
        EXPECT_FALSE(r.error.isEmpty()) << args.join(' ').toStdString();
        for (const QChar c : r.error) {
            EXPECT_NE(c.category(), QChar::Other_Control) << r.error.toStdString();
            EXPECT_NE(c.category(), QChar::Separator_Line) << r.error.toStdString();
            EXPECT_NE(c.category(), QChar::Separator_Paragraph) << r.error.toStdString();
            EXPECT_NE(c, QChar(0x202e)) << r.error.toStdString();
        }
    }
    EXPECT_EQ(CommandLine::parse({"\x1bx"}).error, QStringLiteral("未知命令：\\x1bx"));
    EXPECT_EQ(CommandLine::printable(QStringLiteral("a\nb\u202ec"), true),
        QStringLiteral("a\nb\\u202ec"));
}

TEST(CommandLine, OnlyActingCommandsStartAnInstance)
{
    const QList<std::pair<K, bool>> cases = {{K::start, false}, {K::capture, true}, {K::pin, true},
        {K::ocr, false}, {K::settings, true}, {K::quit, false}, {K::status, false},
        {K::help, false}, {K::version, false}};
    for (const auto& [kind, starts] : cases)
        EXPECT_EQ((Command {kind, {}, {}}).startsInstance(), starts) << static_cast<int>(kind);
}

TEST(CommandLine, UsageNamesEveryCommandAndPage)
{
    const QString text = CommandLine::usage();
    for (const char* word :
        {"capture", "pin", "ocr", "settings", "quit", "status", "--help", "--version"})
        EXPECT_TRUE(text.contains(QLatin1String(word))) << word;
    for (const QString& page : CommandLine::settingsPages())
        EXPECT_TRUE(text.contains(page)) << page.toStdString();
    EXPECT_TRUE(CommandLine::versionText().startsWith("quillet "));
}

TEST(InstanceProtocol, RequestsSurviveTheWireAndMalformedOnesAreRejected)
{
    const QList<Request> cases = {
        {"status", {}},
        {"pin-file", "/tmp/a b/图片 100%.png"},
        {"pin-file", "/tmp/line\nbreak.png"},
        {"settings", "shortcuts"},
    };
    for (const Request& r : cases) {
        QByteArray wire = InstanceProtocol::encodeRequest(r);
        ASSERT_TRUE(wire.endsWith('\n'));
        wire.chop(1);
        EXPECT_FALSE(wire.contains('\n'));
        const auto back = InstanceProtocol::decodeRequest(wire);
        ASSERT_TRUE(back.has_value()) << wire.toStdString();
        EXPECT_EQ(*back, r);
    }
    for (const QByteArray& bad :
        {QByteArray(), QByteArray(" status"), QByteArray("STATUS"), QByteArray("pin-file "),
            QByteArray("st\x01tus"), QByteArray(InstanceProtocol::maxRequestBytes + 1, 'a')})
        EXPECT_FALSE(InstanceProtocol::decodeRequest(bad).has_value())
            << bad.left(20).toStdString();
    for (const QByteArray& bad : {QByteArray(), QByteArray("0"), QByteArray("x\ntext"),
             QByteArray("-1\n"), QByteArray("256\n")})
        EXPECT_FALSE(InstanceProtocol::decodeReply(bad).has_value()) << bad.toStdString();
    const Reply r {3, "running: 0\n多行\n"};
    EXPECT_EQ(InstanceProtocol::decodeReply(InstanceProtocol::encodeReply(r)), r);
}

class SocketFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", saved); }

    // Runs a blocking client on another thread while this thread serves the event loop.
    template<typename F> static auto served(F client)
    {
        auto future = std::async(std::launch::async, client);
        test::waitUntil(
            [&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            5000);
        return future.get();
    }
    static InstanceProtocol::SendResult ask(const QString& path, const Request& r)
    {
        return served([path, r] { return InstanceProtocol::send(path, r, 5000); });
    }

    QTemporaryDir dir;
    QByteArray saved;
};

TEST_F(SocketFolder, RuntimeFolderOthersMayEnterOrTooDeepIsNotUsed)
{
    const QList<QFileDevice::Permissions> opened = {
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther,
        QFileDevice::ExeGroup,
    };
    for (const QFileDevice::Permissions open : opened) {
        ASSERT_TRUE(QFile::setPermissions(dir.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | open));
        const auto path = InstanceProtocol::socketPath();
        if (path) {
            EXPECT_FALSE(path->startsWith(dir.path())) << path->toStdString();
        }
    }
    QFile::setPermissions(
        dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Ours and closed, but deeper than a socket's address can hold: nobody could listen there.
    const QString deep = dir.filePath(QString(110, QLatin1Char('r')));
    ASSERT_TRUE(QDir().mkpath(deep));
    QFile::setPermissions(
        deep, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", deep.toUtf8());
    const auto path = InstanceProtocol::socketPath();
    if (path) {
        EXPECT_FALSE(path->startsWith(deep)) << path->toStdString();
        EXPECT_LT(QFile::encodeName(*path).size(), 108);
    }
}

TEST_F(SocketFolder, SocketLivesInTheRuntimeFolderAndNobodyAnswersWithoutAnInstance)
{
    const auto path = InstanceProtocol::socketPath();
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, dir.filePath("quillet.socket"));
    EXPECT_EQ(InstanceProtocol::send(*path, {"status", {}}, 1000).status,
        InstanceProtocol::SendStatus::nobody);
}

TEST_F(SocketFolder, InstanceAnswersItsClientsAndASecondOneHandsOver)
{
    const QString path = dir.filePath("quillet.socket");
    SingleInstance first;
    ASSERT_EQ(first.claim(path, {"reopen", {}}), SingleInstance::Claim::listening);
    QList<Request> seen;
    first.setHandler([&seen](const Request& r) {
        seen << r;
        return Reply {r.verb == "status" ? 0 : 1, "heard " + r.verb + " " + r.argument};
    });

    const auto status = ask(path, {"status", {}});
    ASSERT_EQ(status.status, InstanceProtocol::SendStatus::answered);
    EXPECT_EQ(status.reply, (Reply {0, "heard status "}));

    const auto pin = ask(path, {"pin-file", "/tmp/x y.png"});
    ASSERT_EQ(pin.status, InstanceProtocol::SendStatus::answered);
    EXPECT_EQ(pin.reply.exitCode, 1);
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen.at(1).argument, "/tmp/x y.png");

    // A second instance finds the first one listening and gets its answer instead. The
    // first answers from its event loop, so the claim runs on another thread.
    const auto [claim, reply] = served([path] {
        SingleInstance other;
        const auto claim = other.claim(path, {"reopen", {}});
        return std::make_pair(claim, other.takenReply());
    });
    EXPECT_EQ(claim, SingleInstance::Claim::taken);
    EXPECT_EQ(reply.text, "heard reopen ");
}

// An instance that holds the lock but never listens (hung before its socket was up): the next
// start asks again until its time is up, then fails with a word instead of waiting for ever.
TEST_F(SocketFolder, LockHolderThatNeverAnswersFailsTheClaimInTime)
{
    const QString path = dir.filePath("quillet.socket");
    const int lock = ::open(QFile::encodeName(path + ".lock").constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    SingleInstance late;
    EXPECT_EQ(late.claim(path, {"reopen", {}}), SingleInstance::Claim::failed);
    EXPECT_FALSE(late.errorString().isEmpty());
    ::close(lock);
}

TEST_F(SocketFolder, StaleSocketIsReplaced)
{
    const QString path = dir.filePath("quillet.socket");
    {
        // The socket file of a process that died: bound, never listening again.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        const QByteArray p = path.toLocal8Bit();
        std::memcpy(addr.sun_path, p.constData(), static_cast<size_t>(p.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(InstanceProtocol::send(path, {"status", {}}, 1000).status,
        InstanceProtocol::SendStatus::nobody);

    SingleInstance fresh;
    EXPECT_EQ(fresh.claim(path, {"reopen", {}}), SingleInstance::Claim::listening)
        << fresh.errorString().toStdString();
    fresh.setHandler([](const Request&) { return Reply {0, "fresh"}; });
    const auto r = ask(path, {"status", {}});
    EXPECT_EQ(r.reply.text, "fresh");
}

TEST_F(SocketFolder, SilentClientsAreDroppedAndOthersStillServed)
{
    const QString path = dir.filePath("quillet.socket");
    SingleInstance server;
    ASSERT_EQ(server.claim(path, {"reopen", {}}), SingleInstance::Claim::listening);
    server.setHandler([](const Request&) { return Reply {0, "ok"}; });
    QLocalSocket silent;
    silent.connectToServer(path);
    ASSERT_TRUE(silent.waitForConnected(1000));
    // The silent client does not hold up anyone else.
    EXPECT_EQ(ask(path, {"status", {}}).reply.text, "ok");
}

} // namespace
