#include "E2eEnv.h"

#include "app/Snapshot.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <iostream>
#include <unistd.h>

namespace quillet::e2e {
namespace {

const QStringList pictureNames = {"0-general.png", "1-shortcuts.png", "2-capture.png", "3-save.png",
    "4-pin.png", "5-about.png", "capture-none.png", "capture-text.png", "capture-arrow.png"};

struct SnapshotRun {
    int exitCode = -1; // -1: crashed or did not end in time
    QStringList missingLines; // the lines that report a picture not written
};

class SnapshotMode : public E2eEnv {
protected:
    // No X server at all: the offscreen platform with one 1280 × 800 screen at ratio 2.
    QProcessEnvironment offscreen()
    {
        QProcessEnvironment env = environment();
        env.remove("DISPLAY");
        const QString config = scratch("screen.json");
        QFile f(config);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": 1280, "height": 800,
            "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 2}]})");
        env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + config);
        return env;
    }

    SnapshotRun snapshot(
        QProcessEnvironment env, const QString& folder, const QString& workingDir = {})
    {
        env.insert(QString::fromLatin1(snapshotVariable), folder);
        QProcess p;
        p.setProcessEnvironment(env);
        if (!workingDir.isEmpty())
            p.setWorkingDirectory(workingDir);
        p.start(QUILLET_BINARY, {});
        SnapshotRun run;
        if (!p.waitForFinished(30000)) {
            stop(&p, 1000);
            return run;
        }
        if (p.exitStatus() == QProcess::NormalExit)
            run.exitCode = p.exitCode();
        for (const QString& line : QString::fromUtf8(p.readAllStandardError()).split('\n')) {
            if (line.contains(QStringLiteral("快照未写入")))
                run.missingLines.append(line);
        }
        return run;
    }

    static QStringList files(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // Every picture present, each a whole PNG of the size its kind has.
    static void expectNinePictures(const QString& folder, QSize page, QSize screen)
    {
        QStringList expected = pictureNames;
        expected.sort();
        EXPECT_EQ(files(folder), expected);
        for (const QString& name : pictureNames) {
            const QImage image(QDir(folder).filePath(name), "PNG");
            ASSERT_FALSE(image.isNull()) << name.toStdString();
            EXPECT_EQ(image.size(), name.startsWith("capture") ? screen : page)
                << name.toStdString();
        }
    }
};

TEST_F(SnapshotMode, OffscreenRunWritesNinePicturesOfTheSampleScene)
{
    const QString folder = scratch("pictures");
    ASSERT_TRUE(QDir().mkpath(folder));
    // Present but empty: the current folder.
    const SnapshotRun run = snapshot(offscreen(), QString(), folder);
    ASSERT_EQ(run.exitCode, 0) << run.missingLines.join('\n').toStdString();
    EXPECT_TRUE(run.missingLines.isEmpty());
    expectNinePictures(folder, QSize(1720, 1240), QSize(2560, 1600));

    // Every page and every state of the capture scene a picture of its own.
    QSet<QByteArray> pictures;
    for (const QString& name : pictureNames) {
        const QImage image(QDir(folder).filePath(name), "PNG");
        pictures.insert(
            QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(pictures.size(), 9) << "two pictures look the same";
}

TEST_F(SnapshotMode, RunBesideAResidentInstanceLeavesItsSocketAndKeys)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const QString pid = quilletStatus().value("pid");

    const QString folder = scratch("pictures");
    ASSERT_TRUE(QDir().mkpath(folder));
    const SnapshotRun run = snapshot(environment(), folder);
    ASSERT_EQ(run.exitCode, 0) << run.missingLines.join('\n').toStdString();
    expectNinePictures(folder, QSize(860, 620), QSize(1280, 800));

    const auto status = quilletStatus();
    EXPECT_EQ(status.value("pid"), pid);
    EXPECT_EQ(status.value("hotkeys-registered"), "4");
    for (const XKey& k : defaultHotKeys)
        EXPECT_EQ(grabStatus(k.keycode, k.mods), 3) << k.display << " is no longer held";
    EXPECT_FALSE(quilletStderr().contains("快照"));
}

// Mounts a small file system for the duration of a case; root only.
class Mount {
public:
    Mount(const QString& at, const QString& options)
        : m_at(at)
    {
        QDir().mkpath(at);
        QProcess p;
        p.start("mount", {"-t", "tmpfs", "-o", options, "tmpfs", at});
        m_ok = p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit
            && p.exitCode() == 0;
    }
    ~Mount()
    {
        if (m_ok)
            QProcess::execute("umount", {m_at});
    }
    bool ok() const { return m_ok; }

private:
    QString m_at;
    bool m_ok = false;
};

TEST_F(SnapshotMode, UnwritableFolderFailsWithALinePerMissingPicture)
{
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* name;
        bool someWritten; // those that fit before the disk was full
        const char* reason;
    };
    const Case cases[] = {
        {"missing", false, "不存在"},
        {"read-only", false, ""},
        {"full", true, "磁盘空间不足"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = scratch(c.name);
        std::unique_ptr<Mount> mount;
        if (QString(c.name) == "read-only") {
            if (root) {
                mount = std::make_unique<Mount>(folder, "ro,size=64k");
            } else {
                ASSERT_TRUE(QDir().mkpath(folder));
                ASSERT_TRUE(
                    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            }
        } else if (QString(c.name) == "full") {
            if (!root)
                continue; // no way to fill a disk without one to mount
            // Room for a page or two, not for the screen-sized pictures.
            mount = std::make_unique<Mount>(folder, "size=256k");
        }
        if (mount && !mount->ok()) {
            std::cout << "cannot mount here: the " << c.name << " case is left out\n";
            continue;
        }

        const SnapshotRun run = snapshot(offscreen(), folder);
        EXPECT_EQ(run.exitCode, 1);
        const QStringList present = files(folder);
        EXPECT_EQ(run.missingLines.size() + present.size(), 9)
            << run.missingLines.join('\n').toStdString();
        for (const QString& name : pictureNames) {
            const bool reported = std::any_of(run.missingLines.begin(), run.missingLines.end(),
                [&](const QString& l) { return l.contains(name); });
            EXPECT_NE(reported, present.contains(name)) << name.toStdString();
        }
        for (const QString& line : run.missingLines)
            EXPECT_TRUE(line.contains(QString::fromUtf8(c.reason))) << line.toStdString();
        if (!c.someWritten) {
            EXPECT_TRUE(present.isEmpty()) << present.join(' ').toStdString();
        } else {
            EXPECT_FALSE(run.missingLines.isEmpty());
            // What is there is whole: a full disk never leaves a cut-off picture.
            for (const QString& name : present) {
                EXPECT_FALSE(QImage(QDir(folder).filePath(name), "PNG").isNull())
                    << name.toStdString();
            }
        }
        if (QString(c.name) == "missing") {
            EXPECT_FALSE(QFileInfo::exists(folder));
        }
        if (!root && QString(c.name) == "read-only")
            QFile::setPermissions(
                folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

} // namespace
} // namespace quillet::e2e
