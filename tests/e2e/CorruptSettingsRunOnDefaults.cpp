#include "E2eEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <sys/stat.h>
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

TEST_F(CorruptSettingsRunOnDefaults, GarbageFile)
{
    QFile f(settingsFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray junk(4096, '\0');
    QRandomGenerator gen(7);
    for (char& c : junk)
        c = static_cast<char>(gen.bounded(256));
    f.write("[General\nhotkey.capture.0={\"keyCode\":\"x\nhotkey.pin.0=[[[\n"
            "hotkey.pin.1={\"keyCode\":99999999999,\"mods\":-1}\ndimAlpha=NaN\n");
    f.write(junk);
    f.close();
    expectRunningWithDefaultKeys(startQuillet());
}

TEST_F(CorruptSettingsRunOnDefaults, UnreadableFile)
{
    const QString path = settingsFile();
    if (::geteuid() == 0) {
        // Permissions do not stop root: a folder where the file should be cannot be read
        // as a file by anyone.
        ASSERT_TRUE(QDir().mkpath(path));
    } else {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("hotkey.capture.0={\"keyCode\":0,\"mods\":4096,\"label\":\"A\"}\n");
        f.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    }
    expectRunningWithDefaultKeys(startQuillet());
}

} // namespace
} // namespace quillet::e2e
