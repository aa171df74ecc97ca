#include "E2eEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quillet::e2e {
namespace {

class CorruptSettingsRunOnDefaults : public E2eEnv {
protected:
    QString settingsFile()
    {
        QDir(configHome()).mkpath("quillet");
        return configHome() + "/quillet/quillet.conf";
    }

    void expectRunningWithDefaultKeys(QProcess* program)
    {
        ASSERT_TRUE(waitForQuilletReady()) << quilletStderr().toStdString();
        EXPECT_EQ(program->state(), QProcess::Running);
        const auto status = quilletStatus();
        EXPECT_EQ(status.value("hotkeys-registered"), "4");
        EXPECT_EQ(status.value("hotkeys-failed"), "");
        for (const XKey& k : defaultHotKeys)
            EXPECT_EQ(grabStatus(k.keycode, k.mods), 3) << k.display;
    }
};

// Settings that cannot be read, that are no regular file, or that are far too large to be
// settings: the program neither waits on them nor replaces them, runs on its defaults, and says
// why once. Garbage is read for what it is worth, without a word.
TEST_F(CorruptSettingsRunOnDefaults, SettingsFileThatIsNoSettingsFile)
{
    const QString file = settingsFile();
    const QString aside = scratch("aside");
    ASSERT_TRUE(QDir().mkpath(aside));
    const auto write = [&](const QByteArray& bytes) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    struct Case {
        const char* what;
        std::function<bool()> make;
        int says;
    };
    const Case cases[] = {
        {"garbage",
            [&] {
                QByteArray junk(4096, '\0');
                QRandomGenerator gen(7);
                for (char& c : junk)
                    c = static_cast<char>(gen.bounded(256));
                return write("[General\nhotkey.capture.0={\"keyCode\":\"x\nhotkey.pin.0=[[[\n"
                             "hotkey.pin.1={\"keyCode\":99999999999,\"mods\":-1}\ndimAlpha=NaN\n"
                    + junk);
            },
            0},
        {"an unreadable file",
            [&] {
                // Permissions do not stop root: a folder where the file should be cannot be
                // read as a file by anyone.
                if (::geteuid() == 0)
                    return QDir().mkpath(file);
                return write("hotkey.capture.0={\"keyCode\":0,\"mods\":4096,\"label\":\"A\"}\n")
                    && ::chmod(QFile::encodeName(file).constData(), 0) == 0;
            },
            1},
        {"a link to a FIFO",
            [&] {
                return ::mkfifo(QFile::encodeName(aside + "/pipe").constData(), 0600) == 0
                    && QFile::link(aside + "/pipe", file);
            },
            1},
        {"a link to a device",
            [&] {
                // The null device's numbers in a folder of the test's own; where the container
                // gives no mknod, a FIFO stands in.
                const QByteArray at = QFile::encodeName(aside + "/null");
                return (::mknod(at.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0
                           || ::mkfifo(at.constData(), 0600) == 0)
                    && QFile::link(aside + "/null", file);
            },
            1},
        {"a file of 50 MB",
            [&] {
                QByteArray junk;
                for (int i = 0; i < 500000; ++i)
                    junk += QByteArray(99, 'x') + '\n';
                return write(junk);
            },
            1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(file).removeRecursively();
        QFile::remove(file);
        ASSERT_TRUE(c.make());
        const QFileInfo before(file);
        QProcess* program = startQuillet();
        expectRunningWithDefaultKeys(program);
        // A capture opens as usual, and the file is left as it was.
        EXPECT_EQ(quillet({"capture"}).exitCode, 0);
        ASSERT_TRUE(waitFor([&] { return sessionIs("open"); }));
        ASSERT_TRUE(key("Escape"));
        EXPECT_EQ(quillet({"quit"}).exitCode, 0);
        ASSERT_TRUE(waitFor([&] { return program->state() == QProcess::NotRunning; }));
        const QFileInfo after(file);
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        EXPECT_EQ(after.size(), before.size());
        EXPECT_EQ(quilletStderr().count(QStringLiteral("设置文件")), c.says)
            << quilletStderr().toStdString();
    }
}

} // namespace
} // namespace quillet::e2e
