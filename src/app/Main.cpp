#include "app/Main.h"

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/InstanceProtocol.h"
#include "app/SingleInstance.h"
#include "app/Snapshot.h"
#include "app/Termination.h"
#include "ocr/OcrEngine.h"
#include "output/OutsideImage.h"
#include "output/PinWindow.h"
#include "platform/AppIdentity.h"
#include "platform/HotKeyBackend.h"
#include "platform/ScreenGrabber.h"
#include "platform/SystemServices.h"
#include "platform/TrayHost.h"
#include "platform/wayland/WaylandPlatform.h"
#include "platform/x11/X11Platform.h"
#include "ui/AppIcons.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLibraryInfo>
#include <QProcess>
#include <QThread>
#include <QTranslator>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillet {

namespace {

// How long a restarted instance waits for its predecessor to end before it goes on anyway.
constexpr int handOverTimeoutMs = 10000;

// The process a restart replaces, when this process is that restart. The variable is taken
// out of the environment so that nothing this program starts inherits it.
std::optional<pid_t> takeHandOverPredecessor()
{
    const QByteArray value = qgetenv(handOverVariable);
    qunsetenv(handOverVariable);
    bool ok = false;
    const qlonglong pid = value.toLongLong(&ok);
    if (!ok || pid <= 1 || pid == ::getpid())
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

// Waits until `pid` has ended, so that its single-instance socket and lock are free; a
// predecessor that hangs costs at most the timeout, after which the usual hand-over applies.
void waitForExit(pid_t pid, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        pollfd p {fd, POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) < 0 && errno == EINTR) { }
        ::close(fd);
        return;
    }
    // Kernels before 5.3: look again now and then.
    while (::kill(pid, 0) == 0 || errno == EPERM) {
        if (deadline.hasExpired())
            return;
        QThread::msleep(20);
    }
}

// Set in the environment of an instance a command starts, to that command's verb. The command
// itself follows through the socket, so such an instance that finds another already running (two
// commands started one each) has nothing to hand over: a plain start would open the settings
// window, over a capture the other command has opened.
constexpr char startedForVariable[] = "QUILLET_STARTED_FOR";

bool takeStartedForCommand()
{
    const bool set = qEnvironmentVariableIsSet(startedForVariable);
    qunsetenv(startedForVariable);
    return set;
}

constexpr int replyTimeoutMs = 10000;
constexpr int startTimeoutMs = 10000;
constexpr int quitTimeoutMs = 5000;

// Texts may quote file names and arguments: what reaches the terminal is printable.
void printLine(FILE* to, const QString& text)
{
    QByteArray bytes = CommandLine::printable(text, true).toUtf8();
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    std::fputs(bytes.constData(), to);
    std::fflush(to);
}

void complain(const QString& text)
{
    printLine(stderr, QStringLiteral("quillet: ") + text);
}

int printReply(const Reply& reply)
{
    printLine(reply.exitCode == 0 ? stdout : stderr, reply.text);
    return reply.exitCode;
}

QStringList arguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

QString selfExecutable()
{
    // The running binary, not argv[0], which a shell may have resolved through PATH.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return exe.isEmpty() ? QStringLiteral("quillet") : exe;
}

// Qt aborts when it finds no display; say it in one line instead, before trying.
bool displayAvailable()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")))
        return true; // another platform plugin chosen on purpose (tests use offscreen)
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return true;
    // A Wayland session needs no X display, unless xcb was asked for by name.
    if (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    complain(platform.isEmpty()
            ? QStringLiteral("没有图形显示（DISPLAY 和 WAYLAND_DISPLAY 都未设置），无法启动墨钉")
            : QStringLiteral("没有图形显示（DISPLAY 未设置），无法启动墨钉"));
    return false;
}

// Starts the resident program in the background. Its stdout goes nowhere, so that
// `$(quillet capture)` returns; stderr stays on the terminal when there is one, where its
// one-line notices are useful.
bool spawnResident(const Request& request)
{
    QProcess p;
    p.setProgram(selfExecutable());
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    // A resident instance, not a snapshot run, whatever the command was started with.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QString::fromLatin1(snapshotVariable));
    env.insert(QString::fromLatin1(startedForVariable), request.verb);
    p.setProcessEnvironment(env);
    if (!::isatty(STDERR_FILENO))
        p.setStandardErrorFile(QProcess::nullDevice());
    return p.startDetached();
}

// Sends `request`, starting the resident program first when none answers. Polls the socket
// with a short pause between tries until the new instance listens or the time is up.
InstanceProtocol::SendResult sendStarting(const QString& path, const Request& request, bool* said)
{
    auto sent = InstanceProtocol::send(path, request, replyTimeoutMs);
    if (sent.status != InstanceProtocol::SendStatus::nobody)
        return sent;
    if (!displayAvailable()) {
        *said = true;
        return sent;
    }
    if (!spawnResident(request))
        return sent;
    QDeadlineTimer deadline(startTimeoutMs);
    while (!deadline.hasExpired()) {
        sent = InstanceProtocol::send(path, request, replyTimeoutMs);
        if (sent.status != InstanceProtocol::SendStatus::nobody)
            return sent;
        QThread::msleep(5);
    }
    return sent;
}

// Gone, or a zombie waiting for a parent that has not looked yet (it holds nothing anymore).
bool ended(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

bool waitForExit(pid_t pid)
{
    QDeadlineTimer deadline(quitTimeoutMs);
    while (!ended(pid)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

Request requestFor(const Command& c)
{
    switch (c.kind) {
    case Command::Kind::capture:
        return {QStringLiteral("capture"), {}};
    case Command::Kind::pin:
        if (!c.file.isEmpty())
            return {QStringLiteral("pin-file"), QFileInfo(c.file).absoluteFilePath()};
        return {QStringLiteral("pin"), {}};
    case Command::Kind::settings:
        return {QStringLiteral("settings"), c.page};
    case Command::Kind::quit:
        return {QStringLiteral("quit"), {}};
    case Command::Kind::status:
        return {QStringLiteral("status"), {}};
    default:
        return {QStringLiteral("reopen"), {}};
    }
}

// Checked before anything is sent, so a typo never starts the program or reaches it.
bool checkImageFile(const QString& file)
{
    const QFileInfo info(file);
    if (!info.exists()) {
        complain(QStringLiteral("文件不存在：%1").arg(CommandLine::printable(file)));
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        complain(QStringLiteral("无法读取文件：%1").arg(CommandLine::printable(file)));
        return false;
    }
    QImageReader reader(file);
    if (!reader.canRead()) {
        complain(QStringLiteral("不是可以读取的图片：%1").arg(CommandLine::printable(file)));
        return false;
    }
    return true;
}

// Recognition in this process: scripts get the text without a display or a resident program.
int runOcr(int argc, char** argv, const QString& file)
{
    if (!checkImageFile(file))
        return 1;
    if (const std::optional<QString> missing = OcrEngine::missingData()) {
        complain(*missing);
        return 1;
    }
    const QCoreApplication app(argc, argv);
    const OutsideImage::Loaded loaded = OutsideImage::readFile(file);
    if (loaded.image.isNull()) {
        complain(loaded.error.isEmpty()
                ? QStringLiteral("不是可以读取的图片：%1").arg(CommandLine::printable(file))
                : loaded.error);
        return 1;
    }
    OcrEngine engine;
    const OcrResult result = engine.recognise(loaded.image);
    switch (result.status) {
    case OcrResult::Status::text:
        printLine(stdout, result.text);
        return 0;
    case OcrResult::Status::empty:
        complain(QStringLiteral("没有识别到文字"));
        return 1;
    default:
        complain(result.error);
        return 1;
    }
}

int runClient(const Command& command)
{
    if (command.kind == Command::Kind::pin && !command.file.isEmpty()
        && !checkImageFile(command.file))
        return 1;
    QString error;
    const std::optional<QString> path = InstanceProtocol::socketPath(&error);
    if (!path) {
        complain(error);
        return 1;
    }
    const Request request = requestFor(command);
    InstanceProtocol::SendResult sent;
    bool said = false;
    if (command.startsInstance())
        sent = sendStarting(*path, request, &said);
    else
        sent = InstanceProtocol::send(*path, request, replyTimeoutMs);

    switch (sent.status) {
    case InstanceProtocol::SendStatus::nobody:
        if (command.kind == Command::Kind::status) {
            printLine(stdout, QStringLiteral("running: 0"));
            return 3;
        }
        if (command.kind == Command::Kind::quit)
            return 0; // nothing to end
        if (!said)
            complain(QStringLiteral("无法启动墨钉"));
        return 1;
    case InstanceProtocol::SendStatus::noAnswer:
        complain(QStringLiteral("墨钉没有响应"));
        return 1;
    case InstanceProtocol::SendStatus::answered:
        break;
    }
    if (command.kind == Command::Kind::quit) {
        // Returns once the program has ended, so `quillet quit && quillet` starts afresh
        // instead of handing over to the instance that is on its way out.
        const QString text = sent.reply.text.trimmed();
        if (sent.reply.exitCode == 0 && text.startsWith(QLatin1String("pid: "))
            && !waitForExit(static_cast<pid_t>(text.mid(5).toLongLong()))) {
            complain(QStringLiteral("墨钉没有退出"));
            return 1;
        }
        return sent.reply.exitCode;
    }
    return printReply(sent.reply);
}

// What every process that shows windows sets up first.
void prepareApplication(QApplication& app, QTranslator& qtTranslator)
{
    app.setQuitOnLastWindowClosed(false);
    // Portals and the window manager match our windows to the installed desktop entry by this.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(appId));
    // The settings window, task bar and alerts show the installed icon, found from the icon
    // theme even when the program is started with a bare environment.
    addInstalledIconPaths();
    app.setWindowIcon(appIcon());
    // The interface is Chinese whatever the locale, so Qt's own dialogs (the save dialog's
    // buttons, standard alert buttons) must speak it too.
    if (qtTranslator.load(
            QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);
    if (!installX11Platform())
        installWaylandPlatform();
}

// The screen reader and the tray keep bus connections and window-system objects that must go
// while the application and its connections are still there, not among the static destructors.
void releasePlatform()
{
    setScreenGrabber(nullptr);
    setTrayHost(nullptr);
}

// The settings snapshot mode: a process of its own that never claims or calls the
// single-instance socket, so a resident instance goes on undisturbed beside it.
int runSnapshot(int argc, char** argv)
{
    if (!displayAvailable())
        return 1;
    QApplication app(argc, argv);
    QTranslator qtTranslator;
    prepareApplication(app, qtTranslator);
    // No global keys at all, whatever asks for them: the resident instance holds them.
    setHotKeyBackendFactory({});
    const Termination termination;
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    const int status = app.exec();
    releasePlatform();
    return status;
}

int runResident(int argc, char** argv, bool forCommand)
{
    if (!displayAvailable())
        return 1;
    QApplication app(argc, argv);
    QTranslator qtTranslator;
    prepareApplication(app, qtTranslator);
    const Termination termination;

    // Started for a command that follows on its own: only ask whether the other one is there.
    const Request ask {forCommand ? QStringLiteral("status") : QStringLiteral("reopen"), {}};
    SingleInstance instance;
    QString error;
    const std::optional<QString> path = InstanceProtocol::socketPath(&error);
    // An instance nobody can reach would be joined by another at every command, each holding
    // the same keys: without the socket this process does not stay.
    if (!path) {
        complain(error + QStringLiteral("；无法启动墨钉"));
        return 1;
    }
    switch (instance.claim(*path, ask)) {
    case SingleInstance::Claim::taken:
        return forCommand ? 0 : printReply(instance.takenReply());
    case SingleInstance::Claim::failed:
        complain(instance.errorString() + QStringLiteral("；无法启动墨钉"));
        return 1;
    case SingleInstance::Claim::listening:
        break;
    }

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    // Requests wait in the socket's queue until the loop runs, so every client sees a
    // program that has finished launching.
    instance.setDeferredHandler([&delegate](const Request& r, SingleInstance::Responder respond) {
        delegate.handleRequest(r, std::move(respond));
    });
    const int status = app.exec();
    instance.close();
    // Nothing owns a pin but the list of open ones; they go before the application does.
    PinWindow::destroyAll();
    releasePlatform();
    return status;
}

} // namespace

int runMain(int argc, char** argv)
{
    const ParseResult parsed = CommandLine::parse(arguments(argc, argv));
    if (!parsed.command) {
        complain(parsed.error);
        return 2;
    }
    const Command& command = *parsed.command;
    switch (command.kind) {
    case Command::Kind::help:
        printLine(stdout, CommandLine::usage());
        return 0;
    case Command::Kind::version:
        printLine(stdout, CommandLine::versionText());
        return 0;
    case Command::Kind::start: {
        if (snapshotFolder())
            return runSnapshot(argc, argv);
        const bool forCommand = takeStartedForCommand();
        // A restart must not hand over to the instance it replaces, which is still ending.
        if (const std::optional<pid_t> predecessor = takeHandOverPredecessor()) {
            waitForExit(*predecessor, handOverTimeoutMs);
            return runResident(argc, argv, false);
        }
        // Hand over without touching the display when an instance already runs.
        if (const std::optional<QString> path = InstanceProtocol::socketPath()) {
            const Request ask {
                forCommand ? QStringLiteral("status") : QStringLiteral("reopen"), {}};
            const auto sent = InstanceProtocol::send(*path, ask, replyTimeoutMs);
            if (sent.status == InstanceProtocol::SendStatus::answered)
                return forCommand ? 0 : printReply(sent.reply);
        }
        return runResident(argc, argv, forCommand);
    }
    case Command::Kind::ocr:
        return runOcr(argc, argv, command.file);
    default:
        return runClient(command);
    }
}

} // namespace quillet
