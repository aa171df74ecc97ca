#pragma once

// A headless sway (wlroots) compositor started by a test, the way the X11 tests start Xvfb: a
// private runtime folder, one output per picture given (each shown 1:1 as its background, side
// by side from the left), and the program on Qt's Wayland platform. Input comes from a virtual
// pointer (wlpointer) and virtual keyboards (wtype); the clipboard is read with wl-paste.
#include "../common/BareBus.h"
#include "ProcessRig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace quillet::e2e {

class WaylandRig : public ProcessRig {
protected:
    // Starts sway with these outputs, each at its scale in `scales` (1 where none is given), so
    // that its background fills it pixel for pixel; skips the test where sway cannot run here.
    void startCompositor(const QList<QImage>& backgrounds, const QList<int>& scales = {})
    {
        ASSERT_TRUE(m_dir.isValid());
        // sway runs as another user (see below) and must read its files.
        QFile::setPermissions(m_dir.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                | QFileDevice::ReadOther | QFileDevice::ExeOther);
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(
            runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
        QByteArray conf = "default_border none\nfocus_follows_mouse no\n";
        int x = 0;
        for (int i = 0; i < backgrounds.size(); ++i) {
            const QImage& bg = backgrounds[i];
            const int scale = scales.value(i, 1);
            m_scales.insert(QStringLiteral("HEADLESS-%1").arg(i + 1), scale);
            const QString file = m_dir.filePath(QStringLiteral("output-%1.png").arg(i + 1));
            ASSERT_TRUE(bg.save(file));
            QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadOther);
            conf
                += QStringLiteral(
                    "output HEADLESS-%1 resolution %2x%3 position %4 0 scale %5 bg %6 %7\n")
                       .arg(i + 1)
                       .arg(bg.width())
                       .arg(bg.height())
                       .arg(x)
                       .arg(scale)
                       .arg(file, scale == 1 ? QStringLiteral("center") : QStringLiteral("stretch"))
                       .toUtf8();
            const QSize points = bg.size() / scale;
            m_layout = m_layout.united(QRect(QPoint(x, 0), points));
            x += points.width();
        }
        QFile f(m_dir.filePath(QStringLiteral("sway.conf")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(conf);
        f.close();
        QFile::setPermissions(f.fileName(), QFileDevice::ReadOwner | QFileDevice::ReadOther);

        m_env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        m_env.insert(QStringLiteral("HOME"), m_dir.path());
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        env.insert(QStringLiteral("WLR_HEADLESS_OUTPUTS"),
            QString::number(std::max<qsizetype>(1, backgrounds.size())));
        m_sway = spawn(env);
        m_sway->setProcessChannelMode(QProcess::MergedChannels);
        // Without scan-out: a full-screen buffer sway hands to the output as it is never reaches
        // the picture grim reads, which keeps showing the frame before it.
        const QStringList swayArgs = {QStringLiteral("-D"), QStringLiteral("noscanout"),
            QStringLiteral("-c"), m_dir.filePath(QStringLiteral("sway.conf"))};
        // sway refuses to run as root; a user namespace makes this process someone else.
        if (::getuid() == 0) {
            m_sway->start(QStringLiteral("unshare"),
                QStringList {QStringLiteral("--user"), QStringLiteral("--map-user=1000"),
                    QStringLiteral("--map-group=1000"), QStringLiteral("sway")}
                    + swayArgs);
        } else {
            m_sway->start(QStringLiteral("sway"), swayArgs);
        }
        const bool up = waitFor(
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

        // A sanitized build's programs report where the test pass collects reports. Not leaks:
        // Qt's Wayland plugin leaves its Wayland objects (and what they hold, such as the
        // clipboard's last offer) to the end of the process, and unloads its shell plugin
        // first, so those leaks cannot even be named for a suppression.
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (qEnvironmentVariableIsSet(name))
                m_env.insert(QLatin1String(name), qEnvironmentVariable(name));
        }
        if (m_env.contains(QStringLiteral("ASAN_OPTIONS")))
            m_env.insert(QStringLiteral("ASAN_OPTIONS"),
                m_env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        m_env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_display);
        // What sway gives the programs it starts, and a desktop session passes on.
        const QStringList ipc = QDir(runtime()).entryList(
            {QStringLiteral("sway-ipc.*.sock")}, QDir::System | QDir::NoDotAndDotDot);
        if (!ipc.isEmpty())
            m_env.insert(QStringLiteral("SWAYSOCK"), QDir(runtime()).filePath(ipc.first()));
        m_env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        // Without a tray or keys the first start opens the shortcuts page over the outputs the
        // tests compare: here every start is a later one unless a test says otherwise.
        setFirstStart(false);

        // Every background drawn: the screen shows what the test compares with.
        for (int i = 0; i < backgrounds.size(); ++i) {
            const QString name = QStringLiteral("HEADLESS-%1").arg(i + 1);
            const QImage want = backgrounds[i].convertToFormat(QImage::Format_RGB32);
            ASSERT_TRUE(waitFor([&] { return outputImage(name) == want; }, 10000))
                << name.toStdString() << " never showed its background";
        }
    }

    // A session bus of the test's own with the session's usual services, started with `env`.
    void startSessionBus(const QProcessEnvironment& env)
    {
        m_bus = spawn(env, true);
        m_bus->start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                QStringLiteral("--print-address=1")});
        QByteArray address;
        ASSERT_TRUE(waitFor([&] {
            m_bus->waitForReadyRead(50);
            address += m_bus->readAllStandardOutput();
            return address.contains('\n');
        })) << "no session bus";
        m_env.insert(
            QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address.trimmed()));
    }

    // A stand-in for a desktop's GlobalShortcuts portal on a bus of its own (tools/fakeshortcuts).
    void startShortcutsPortal(const QStringList& args = {})
    {
        // A bare bus: nothing of the distribution's answers on it.
        m_bareBus.emplace();
        ASSERT_FALSE(m_bareBus->address().isEmpty()) << "no session bus";
        m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bareBus->address());
        m_shortcuts = startReady(QStringLiteral(FAKE_SHORTCUTS_BINARY), args);
        ASSERT_TRUE(m_shortcuts) << "the stand-in portal did not start";
    }

    // The stand-in portal's next report.
    QByteArray shortcutsLine(int timeoutMs = 10000) { return nextLine(m_shortcuts, timeoutMs); }

    // The next line a helper program prints, or nothing after a while.
    static QByteArray nextLine(QProcess* p, int timeoutMs = 10000)
    {
        QByteArray line;
        waitFor(
            [&] {
                p->waitForReadyRead(50);
                if (!p->canReadLine())
                    return false;
                line = p->readLine().trimmed();
                return true;
            },
            timeoutMs);
        return line;
    }

    // A helper program in the compositor's session, once it says it is ready; null if it never
    // does. The test's TearDown stops it by PID.
    QProcess* startReady(const QString& program, const QStringList& args)
    {
        QProcess* p = spawn(m_env);
        p->start(program, args);
        return nextLine(p).startsWith("ready") ? p : nullptr;
    }

    // A session bus of the test's own with the desktop portal on it (xdg-desktop-portal, its
    // wlroots backend, and PipeWire, without which that backend will not start). The services the
    // bus starts end with it.
    void startPortal()
    {
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("sway"));
        // The GTK backend (which only lends its Access dialog) would otherwise wait for an
        // accessibility bus nobody started.
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        env.insert(QStringLiteral("GTK_A11Y"), QStringLiteral("none"));
        startSessionBus(env);
        ASSERT_FALSE(HasFatalFailure());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
            m_env.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")));
        spawn(env)->start(QStringLiteral("pipewire"), QStringList());
        ASSERT_TRUE(waitFor([&] {
            return QFileInfo::exists(QDir(runtime()).filePath(QStringLiteral("pipewire-0")));
        })) << "PipeWire did not start";
        // The portal starts on the first call, in a fraction of a second mostly; sometimes it
        // waits out a 25 s D-Bus timeout inside before it answers.
        const ToolResult ask = runTool("gdbus",
            {"call", "--session", "--dest", "org.freedesktop.portal.Desktop", "--object-path",
                "/org/freedesktop/portal/desktop", "--method",
                "org.freedesktop.DBus.Properties.Get", "org.freedesktop.portal.Screenshot",
                "version", "--timeout", "40"},
            45000);
        ASSERT_EQ(ask.exitCode, 0)
            << "the portal has no Screenshot interface: " << ask.err.toStdString();
    }

    // A virtual pointer and a keyboard made before the program starts, so that the seat has both
    // when the program binds them. Each wtype run adds a keyboard of its own for a moment; one
    // that appeared only then would lose its first keys while the program binds it.
    void startInput()
    {
        m_pointer = startReady(QStringLiteral(WLPOINTER_BINARY),
            {QString::number(m_layout.width()), QString::number(m_layout.height())});
        ASSERT_TRUE(m_pointer) << "no virtual pointer";
        spawn(m_env)->start(
            QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("86400000")});
        // 1 pointer, 2 keyboard
        ASSERT_TRUE(waitFor([&] {
            return (swayQuery("get_seats")
                           .array()
                           .at(0)
                           .toObject()
                           .value(QLatin1String("capabilities"))
                           .toInt()
                       & 3)
                == 3;
        })) << "the seat never got the virtual pointer and keyboard";
    }

    bool pointer(const QByteArray& line)
    {
        m_pointer->write(line + '\n');
        return nextLine(m_pointer, 5000).startsWith("ok");
    }

    bool moveTo(QPoint p)
    {
        return pointer(QStringLiteral("move %1 %2").arg(p.x()).arg(p.y()).toLatin1());
    }

    bool drag(QPoint from, QPoint to)
    {
        return moveTo(from) && pointer("press") && moveTo((from + to) / 2) && moveTo(to)
            && pointer("release");
    }

    bool key(const QStringList& wtypeArgs)
    {
        return runTool(QStringLiteral("wtype"), wtypeArgs).exitCode == 0;
    }

    void setFirstStart(bool first)
    {
        writeSettings(
            {{QStringLiteral("shortcutsShownAtFirstStart"), first ? QVariant() : QVariant(true)}});
    }

    // `readErrors`: the test reads the program's stderr; otherwise it goes to the test's own.
    void startProgram(const QProcessEnvironment& extra = {}, bool readErrors = false)
    {
        QProcessEnvironment env = m_env;
        for (const QString& k : extra.keys())
            env.insert(k, extra.value(k));
        m_program = spawn(env);
        if (!readErrors)
            m_program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program->start(QStringLiteral(QUILLET_BINARY), QStringList());
        ASSERT_TRUE(waitFor([&] { return status().contains(QLatin1String("pid: ")); }, 15000))
            << m_program->readAllStandardError().toStdString();
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

    // Asks for a capture and waits until it is shown: one full-screen overlay per output.
    bool openCapture(int outputs)
    {
        return quillet({"capture"}).exitCode == 0 && waitFor([&] {
            return status().contains(QLatin1String("session: open"))
                && visibleViews().fullScreen == outputs;
        });
    }

    // Whether the program has said all of `parts` on its stderr (read by the test).
    bool programSaid(const QStringList& parts)
    {
        return waitFor([&] {
            m_program->waitForReadyRead(50);
            m_said += QString::fromUtf8(m_program->readAllStandardError());
            return std::all_of(
                parts.begin(), parts.end(), [&](const QString& p) { return m_said.contains(p); });
        });
    }

    // The compositor's own picture of an output (or of them all), through grim.
    QImage outputImage(const QString& output = {})
    {
        const QString file = m_dir.filePath(QStringLiteral("screen.png"));
        QFile::remove(file);
        QStringList args;
        // Each output at its own scale: grim's default is the largest of them.
        if (!output.isEmpty())
            args << QStringLiteral("-s") << QString::number(m_scales.value(output, 1))
                 << QStringLiteral("-o") << output;
        if (runTool(QStringLiteral("grim"), args << file).exitCode != 0)
            return {};
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

    // The program's windows sway shows now, from its IPC tree: full-screen ones and others.
    struct Views {
        int fullScreen = 0;
        int other = 0;
        QList<QRect> floating; // where the floating ones are, in layout coordinates
    };
    QJsonDocument swayQuery(const char* type)
    {
        const QStringList sockets = QDir(runtime()).entryList(
            {QStringLiteral("sway-ipc.*.sock")}, QDir::System | QDir::NoDotAndDotDot);
        if (sockets.isEmpty())
            return {};
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("SWAYSOCK"), QDir(runtime()).filePath(sockets.first()));
        return QJsonDocument::fromJson(
            runIn(env, "swaymsg", {"-t", QString::fromLatin1(type)}, 5000).out);
    }

    // Calls `visit` for every node of sway's tree, saying whether it floats.
    void walkTree(const std::function<void(const QJsonObject&, bool floating)>& visit)
    {
        const std::function<void(const QJsonObject&, bool)> walk
            = [&](const QJsonObject& n, bool floating) {
                  visit(n, floating);
                  for (const QJsonValue& c : n.value(QLatin1String("nodes")).toArray())
                      walk(c.toObject(), floating);
                  for (const QJsonValue& c : n.value(QLatin1String("floating_nodes")).toArray())
                      walk(c.toObject(), true);
              };
        walk(swayQuery("get_tree").object(), false);
    }

    static QRect rectOf(const QJsonObject& node)
    {
        const QJsonObject r = node.value(QLatin1String("rect")).toObject();
        return QRect(r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
            r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt());
    }

    Views visibleViews()
    {
        Views v;
        walkTree([&](const QJsonObject& n, bool floating) {
            if (n.value(QLatin1String("pid")).toInteger() != m_program->processId()
                || !n.value(QLatin1String("visible")).toBool())
                return;
            ++(n.value(QLatin1String("fullscreen_mode")).toInt() ? v.fullScreen : v.other);
            if (floating)
                v.floating.append(rectOf(n));
        });
        return v;
    }

    // Where sway shows the view of process `pid`.
    QRect viewRect(qint64 pid)
    {
        QRect found;
        walkTree([&](const QJsonObject& n, bool) {
            if (n.value(QLatin1String("pid")).toInteger() == pid)
                found = rectOf(n);
        });
        return found;
    }

    static QImage filled(QSize size, QRgb colour)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }

    // A picture no two regions of which look alike, so that any offset shows.
    static QImage noise(QSize size, quint32 seed)
    {
        QImage image(size, QImage::Format_RGB32);
        QRandomGenerator random(seed);
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                line[x] = 0xff000000 | (random.generate() & 0xffffff);
        }
        return image;
    }

    QImage clipboardPng()
    {
        const ToolResult r
            = runTool(QStringLiteral("wl-paste"), {"--no-newline", "-t", "image/png"});
        return r.exitCode == 0
            ? QImage::fromData(r.out, "PNG").convertToFormat(QImage::Format_RGB32)
            : QImage();
    }
    QImage waitClipboardPng()
    {
        QImage copied;
        waitFor([&] { return !(copied = clipboardPng()).isNull(); });
        return copied;
    }

    // Once the capture has ended, what it put on the clipboard.
    QImage copiedAfterEnd() { return waitStatus("session: none") ? waitClipboardPng() : QImage(); }

    QTemporaryDir m_dir;
    QProcess* m_sway = nullptr;
    QProcess* m_program = nullptr;
    QProcess* m_pointer = nullptr;
    QProcess* m_shortcuts = nullptr;
    QProcess* m_bus = nullptr; // with the session's services
    std::optional<quillet::test::BareBus> m_bareBus;
    QString m_said; // the program's stderr so far
    QString m_display;
    QRect m_layout;
    QHash<QString, int> m_scales; // by output name
};

} // namespace quillet::e2e
