#include "E2eEnv.h"

#include "../common/DisplayFd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <xcb/xcb.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet::e2e {

namespace {

QString utf8Locale()
{
    // The interface is Chinese; a Chinese locale also makes the fonts pick Chinese glyphs.
    static const QString chosen = [] {
        QProcess p;
        p.start("locale", {"-a"});
        if (p.waitForFinished(3000)) {
            const QString all = QString::fromLocal8Bit(p.readAllStandardOutput()).toLower();
            if (all.contains(QLatin1String("zh_cn.utf8")))
                return "zh_CN.UTF-8";
        }
        return "C.UTF-8";
    }();
    return chosen;
}

} // namespace

void E2eEnv::SetUp()
{
    const EnvOptions o = options();
    m_longRuntimeDir = o.longRuntimeDir;
    m_dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(m_dir->isValid());
    ASSERT_TRUE(QDir(m_dir->path()).mkpath("config"));
    ASSERT_TRUE(QDir().mkpath(runtimeDir()));
    ::chmod(QFile::encodeName(runtimeDir()).constData(), 0700);

    m_env = QProcessEnvironment::systemEnvironment();
    for (const char* drop : {"WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS",
             "QT_QPA_PLATFORMTHEME", "XAUTHORITY", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS"})
        m_env.remove(drop);
    m_env.insert("XDG_CONFIG_HOME", configHome());
    m_env.insert("XDG_RUNTIME_DIR", runtimeDir());
    m_env.insert("QT_QPA_PLATFORM", "xcb");
    m_env.insert("LANG", utf8Locale());
    m_env.insert("LC_ALL", utf8Locale());

    // Servers started elsewhere at the same moment can race for a display number; the loser
    // exits, and another try picks the next free one.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt)
        started = startX(o);
    ASSERT_TRUE(started) << "Xvfb did not start";
    ASSERT_TRUE(!o.windowManager || startWindowManager()) << "openbox did not take the screen";
    ASSERT_TRUE(!o.twoMonitors || splitMonitors()) << "xrandr did not list two monitors";
    ASSERT_TRUE(!o.compositor || startCompositor()) << "xcompmgr did not take the screen";
    ASSERT_TRUE(!o.accessibility || startAccessibilityBus()) << "the AT-SPI bus did not start";
}

void E2eEnv::TearDown()
{
    ProcessRig::TearDown(); // the X server last: it was the first started
    m_dir.reset();
}

void E2eEnv::killXServer()
{
    if (!m_xServer || m_xServer->state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(m_xServer->processId()), SIGKILL);
    m_xServer->waitForFinished(5000);
}

QString E2eEnv::runtimeDir() const
{
    if (m_longRuntimeDir)
        return m_dir->filePath("runtime/" + QString(110, QLatin1Char('r')));
    return m_dir->filePath("runtime");
}

bool E2eEnv::startX(const EnvOptions& o)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    // The write end is handed to Xvfb by number; the read end stays here.
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    QProcess* x = spawn(m_env);
    x->setStandardOutputFile(QProcess::nullDevice());
    x->setStandardErrorFile(scratch("xvfb.log"));
    x->start("Xvfb",
        {"-displayfd", QString::number(fds[1]), "-screen", "0",
            QString("%1x%2x24").arg(o.size.width()).arg(o.size.height()), "-noreset", "-nolisten",
            "tcp"});
    const bool started = x->waitForStarted(5000);
    ::close(fds[1]);
    std::optional<int> number;
    if (started)
        number = test::readDisplayNumber(fds[0], 10000);
    ::close(fds[0]);
    if (!number) {
        stop(x);
        return false;
    }
    m_xServer = x;
    m_display = QString(":%1").arg(*number);
    m_env.insert("DISPLAY", m_display);
    // The number is written before the server takes clients: wait until one gets in.
    const QByteArray name = m_display.toLatin1();
    const bool answers = waitFor([&name] {
        xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
        const bool ok = !xcb_connection_has_error(c);
        xcb_disconnect(c);
        return ok;
    });
    if (!answers)
        stop(x);
    return answers;
}

bool E2eEnv::startWindowManager()
{
    startBackground("openbox", {"--sm-disable"});
    return waitFor([this] { return xprobe({"wm"}).exitCode == 0; }, 10000);
}

bool E2eEnv::startCompositor()
{
    startBackground("xcompmgr", {});
    return waitFor([this] { return xprobe({"cm"}).exitCode == 0; }, 10000);
}

bool E2eEnv::splitMonitors()
{
    const ToolResult left
        = runTool("xrandr", {"--setmonitor", "LEFT", "1280/339x800/212+0+0", "screen"});
    const ToolResult right
        = runTool("xrandr", {"--setmonitor", "RIGHT", "1024/271x768/203+1280+0", "none"});
    if (left.exitCode != 0 || right.exitCode != 0)
        return false;
    return waitFor([this] {
        const ToolResult r = runTool("xrandr", {"--listmonitors"});
        return r.exitCode == 0 && r.out.startsWith("Monitors: 2");
    });
}

bool E2eEnv::startAccessibilityBus()
{
    // The session bus first, then the AT-SPI bus launcher on it, both started here so that
    // both are stopped by PID. The launcher ends the accessibility bus it started when it goes.
    const QString socket = scratch("session-bus");
    const QString address = "unix:path=" + socket;
    startBackground(
        "dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=" + address});
    if (!waitFor([&] { return QFileInfo::exists(socket); }))
        return false;
    m_env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    m_env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    startBackground("/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"});
    return waitFor(
        [&] {
            const ToolResult r = runTool("dbus-send",
                {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                    "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"});
            return r.exitCode == 0 && r.out.contains("boolean true");
        },
        10000);
}

ToolResult E2eEnv::a11y(qint64 pid, const QStringList& args, int timeoutMs)
{
    // The system's Python: it is the one with the GObject bindings Debian installs.
    const QStringList all = QStringList {QString::fromUtf8(A11Y_TOOL), QString::number(pid)} + args;
    return runTool("/usr/bin/python3", all, timeoutMs);
}

QProcess* E2eEnv::startBackground(const QString& program, const QStringList& args)
{
    const QString log
        = scratch(QString("%1-%2.log").arg(QFileInfo(program).fileName()).arg(spawned()));
    QProcess* p = spawn(m_env);
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardErrorFile(log);
    p->start(program, args);
    p->waitForStarted(5000);
    return p;
}

QByteArray E2eEnv::startUntilSaid(
    const QString& program, const QStringList& args, const QByteArray& word)
{
    QProcess* p = startBackground(program, args);
    QByteArray out;
    const bool said = waitFor([&] {
        p->waitForReadyRead(10);
        out += p->readAllStandardOutput();
        return out.contains(word);
    });
    return said ? out : QByteArray();
}

QString E2eEnv::writeScratch(const QString& name, const QByteArray& bytes)
{
    const QString path = scratch(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size())
        << name.toStdString();
    return path;
}

QStringList E2eEnv::visibleWindows(const QStringList& search)
{
    const ToolResult r = runTool("xdotool", QStringList {"search", "--onlyvisible"} + search);
    return QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool E2eEnv::startTray()
{
    startBackground("trayer",
        {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100", "--height",
            "24"});
    return waitFor([&] { return quilletStatus().value("tray") == "1"; });
}

bool E2eEnv::chooseFromTray(int downs, const std::function<bool()>& done)
{
    // The icon sits at the right end of the panel. The panel may not have placed it yet when
    // the first click comes, so the whole choice is made again until it takes.
    return waitFor(
        [&] {
            mouseMove({1268, 12});
            click(1);
            for (int i = 0; i < downs; ++i)
                key("Down");
            return key("Return") && waitFor(done, 1000);
        },
        10000);
}

QProcess* E2eEnv::startQuillet(const QStringList& args)
{
    QProcess* p = startBackground(QStringLiteral(QUILLET_BINARY), args);
    m_quilletLog = scratch(QString("quillet-%1.log").arg(spawned() - 1));
    return p;
}

QString E2eEnv::quilletStderr() const
{
    QFile f(m_quilletLog);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

bool E2eEnv::xdotool(const QStringList& args)
{
    return runTool("xdotool", args).exitCode == 0;
}

bool E2eEnv::drag(QPoint from, QPoint to, int steps)
{
    if (!mouseMove(from) || !xdotool({"mousedown", "1"}))
        return false;
    for (int i = 1; i <= steps; ++i) {
        if (!mouseMove(from + (to - from) * i / steps))
            return false;
    }
    return xdotool({"mouseup", "1"});
}

QByteArray E2eEnv::clipboardAs(const QString& target)
{
    const ToolResult r = runTool("xclip", {"-selection", "clipboard", "-t", target, "-o"}, 5000);
    return r.exitCode == 0 ? r.out : QByteArray();
}

bool E2eEnv::putClipboardFile(const QString& path, const QString& mimeType)
{
    // -quiet keeps xclip in the foreground as the selection's owner, so its PID is ours to
    // stop; it serves the data until another client takes the selection.
    startBackground("xclip", {"-quiet", "-selection", "clipboard", "-t", mimeType, "-i", path});
    return waitFor([&] { return clipboardTargets().contains(mimeType); });
}

bool E2eEnv::putClipboardText(const QString& text)
{
    const QString file = writeScratch(QString("clipboard-%1.txt").arg(spawned()), text.toUtf8());
    return putClipboardFile(file, "UTF8_STRING");
}

QImage E2eEnv::screenShot()
{
    const ToolResult r = runTool("import", {"-window", "root", "png:-"}, 15000);
    QImage shot;
    if (r.exitCode != 0 || !shot.loadFromData(r.out, "PNG"))
        return {};
    return shot.convertToFormat(QImage::Format_RGB32);
}

QRgb E2eEnv::patternColor(int x, int y)
{
    const int r = x & 255;
    const int g = y & 255;
    const int b = ((x >> 8) & 15) | (((y >> 8) << 4) & 255);
    return qRgb(r, g, b);
}

} // namespace quillet::e2e
