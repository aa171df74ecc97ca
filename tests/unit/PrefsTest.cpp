#include "settings/Prefs.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace quillet;

namespace {

// Each test works on a fresh settings file of its own.
class PrefsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        Prefs::registerDefaults();
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", old); }

    void writeRaw(const QByteArray& text)
    {
        QDir().mkpath(home.path() + "/quillet");
        QFile f(Prefs::filePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    QTemporaryDir home;
    QByteArray old;
};

} // namespace

// Writes are unclamped (readers clamp), and a value stored earlier survives another
// registration of the defaults.
TEST_F(PrefsTest, WritesAreUnclampedAndOutliveRegisteringTheDefaults)
{
    Prefs::setFontSize(30.0);
    Prefs::setDefaultColor(-3);
    EXPECT_EQ(Prefs::defaultColor(), -3);
    Prefs::registerDefaults();
    EXPECT_EQ(Prefs::fontSize(), 30.0);
}

TEST_F(PrefsTest, SaveDirFallsBackToDesktopUnlessThePathExists)
{
    // An existing ordinary file is taken as it is: there is no folder test.
    const QString plain = home.path() + "/plain";
    ASSERT_TRUE(QFile(plain).open(QIODevice::WriteOnly));
    const std::pair<QString, QString> cases[]
        = {{"", Prefs::desktop()}, {home.path() + "/nowhere", Prefs::desktop()}, {plain, plain}};
    for (const auto& [stored, used] : cases) {
        Prefs::store()->setValue("saveDir", stored);
        EXPECT_EQ(Prefs::saveDir().toLocalFile(), used) << stored.toStdString();
    }
}

TEST_F(PrefsTest, CorruptOrUnreadableFileReadsAsDefaults)
{
    writeRaw("\x01\x02garbage\n[General\ndimAlpha=lots\nquickSave=perhaps\nfontSize=nan\n"
             "defaultColor=red\n\xff\xfe");
    EXPECT_EQ(Prefs::dimAlpha(), 0.42);
    EXPECT_FALSE(Prefs::quickSave());
    EXPECT_EQ(Prefs::fontSize(), 48.0);
    EXPECT_EQ(Prefs::defaultColor(), 0);
    writeRaw("[General]\nfontSize=20\n");
    QFile::setPermissions(Prefs::filePath(), QFileDevice::Permissions());
    if (QFile(Prefs::filePath()).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with permissions that read any file";
    EXPECT_EQ(Prefs::fontSize(), 48.0);
}

// Values Qt would deserialise with QDataStream, which believes the lengths it reads: a damaged
// line had Qt allocate gigabytes. Those lines are left out, however Qt's escapes spell them,
// and the rest of the file reads and writes back as before.
TEST_F(PrefsTest, SerialisedValuesAreLeftOutAndTheRestKept)
{
    writeRaw("[General]\ndimAlpha=0.25\n"
             "textStyle=@Variant(\\0\\0\\0\\x7f\\xff\\xff\\xff\\xff)\n"
             "fontSize=\"\\x40Variant(\\0\\0\\0\\x7f\\xff)\"\n"
             "defaultWidth=1, @DateTime(\\0\\0\\0\\x10)\n"
             "quickSave=true\n"
             "saveDir=/tmp\n");
    EXPECT_EQ(Prefs::dimAlpha(), 0.25);
    EXPECT_EQ(
        Prefs::textStyle(), Prefs::defaultValue(QLatin1String(Prefs::textStyleKey)).toLongLong());
    EXPECT_EQ(Prefs::fontSize(), 48.0);
    EXPECT_EQ(Prefs::defaultWidth(), 4.0);
    EXPECT_TRUE(Prefs::quickSave());
    EXPECT_EQ(Prefs::saveDir().toLocalFile(), "/tmp");
    // A write keeps what was there and reads back in Qt's own format.
    Prefs::setDefaultColor(3);
    EXPECT_EQ(Prefs::defaultColor(), 3);
    EXPECT_EQ(Prefs::dimAlpha(), 0.25);
    QSettings plain(Prefs::filePath(), QSettings::IniFormat);
    EXPECT_EQ(plain.value("defaultColor").toLongLong(), 3);
    EXPECT_TRUE(plain.value("quickSave").toBool());
    EXPECT_FALSE(plain.contains("textStyle"));
}

// The entries left out, however the value is spelt, and those kept.
TEST(SettingsFile, LeavesOutOnlyWhatQtWouldDeserialise)
{
    struct Case {
        const char* ini;
        const char* kept;
    };
    const Case cases[] = {
        {"[General]\na=1\nb=@ByteArray(x)\n", "[General]\na=1\nb=@ByteArray(x)\n"},
        {"a=1\nb=@Variant(\\0)\nc=2", "a=1\nc=2"},
        {"b=\\x40Variant(\\0)\nc=2\n", "c=2\n"},
        {"b=\\100DateTime(\\0)\nc=2\n", "c=2\n"},
        {"b=\"@Vari\\\nant(\\0)\"\nc=2\n", "c=2\n"},
        {"b=x, @Variant(\\0)\r\nc=2\r\n", "c=2\r\n"},
        {"b=@Vari\\\r\nant(\\0)\r\nc=2\r\n", "c=2\r\n"},
        {"saveDir=/home/u/Variant(s)\n", "saveDir=/home/u/Variant(s)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        EXPECT_EQ(SettingsFile::withoutSerialisedValues(c.ini), QByteArray(c.kept));
    }
}

TEST_F(PrefsTest, FileNameHasTheDatedShape)
{
    const QRegularExpression shape(QStringLiteral("^墨钉_\\d{8}_\\d{6}\\.png$"));
    EXPECT_TRUE(shape.match(Prefs::fileName()).hasMatch()) << Prefs::fileName().toStdString();
}

// The settings file is read and replaced only where it is a regular file (or a link to one):
// anything else is left as it is, the program runs on its defaults without waiting on it, and a
// change holds for the run though it cannot be saved. So does a change a folder refuses.
TEST_F(PrefsTest, OnlyARegularSettingsFileIsReadOrReplaced)
{
    struct Case {
        const char* what;
        std::function<bool(const QString& file, const QString& aside)> make;
        bool saved;
        const char* kept; // what `file` still is afterwards: "link", "fifo", "device", "huge", ""
    };
    auto fifo
        = [](const QString& at) { return ::mkfifo(QFile::encodeName(at).constData(), 0600) == 0; };
    auto link = [](const QString& to, const QString& at) { return QFile::link(to, at); };
    const QByteArray huge = "fontSize=20\n" + QByteArray(SettingsStore::maxFileBytes, '#');
    const Case cases[] = {
        {"a link to a regular file",
            [&](const QString& file, const QString& aside) {
                QFile target(aside + "/real.conf");
                return target.open(QIODevice::WriteOnly) && target.write("fontSize=20\n") > 0
                    && (target.close(), link(target.fileName(), file));
            },
            true, "link"},
        {"a link to a FIFO",
            [&](const QString& file, const QString& aside) {
                return fifo(aside + "/pipe") && link(aside + "/pipe", file);
            },
            false, "link"},
        {"a link to a device",
            [&](const QString& file, const QString& aside) {
                // The null device's numbers, in a folder of the test's own.
                return ::mknod(QFile::encodeName(aside + "/null").constData(), S_IFCHR | 0600,
                           makedev(1, 3))
                    == 0
                    && link(aside + "/null", file);
            },
            false, "link"},
        {"a FIFO", [&](const QString& file, const QString&) { return fifo(file); }, false, "fifo"},
        {"a file over the size limit",
            [&](const QString& file, const QString&) {
                QFile f(file);
                return f.open(QIODevice::WriteOnly) && f.write(huge) == huge.size();
            },
            false, "huge"},
        {"a folder that takes no files",
            [&](const QString& file, const QString&) {
                const QString folder = QFileInfo(file).absolutePath();
                // Permissions do not stop root: a file where the folder should be does.
                if (::geteuid() == 0)
                    return QDir(folder).removeRecursively()
                        && QFile(folder).open(QIODevice::WriteOnly);
                return ::chmod(QFile::encodeName(folder).constData(), 0500) == 0;
            },
            false, ""},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString config = home.path() + QStringLiteral("/c%1").arg(++round);
        const QString aside = home.path() + QStringLiteral("/a%1").arg(round);
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        ASSERT_TRUE(QDir().mkpath(config + "/quillet") && QDir().mkpath(aside));
        const QString file = Prefs::filePath();
        if (!c.make(file, aside)) {
            // mknod needs a privilege a container may not give.
            EXPECT_STREQ(c.what, "a link to a device");
            continue;
        }
        EXPECT_EQ(Prefs::fontSize(), c.saved ? 20.0 : 48.0);
        EXPECT_EQ(Prefs::store()->setValue(QLatin1String(Prefs::fontSizeKey), 30.0), c.saved);
        EXPECT_EQ(Prefs::fontSize(), 30.0);
        EXPECT_EQ(SettingsStore::problem().isEmpty(), c.saved)
            << SettingsStore::problem().toStdString();
        const QFileInfo after(file);
        const QString kept = c.kept;
        const QString what = c.what;
        struct stat st { };
        const bool there = ::stat(QFile::encodeName(file).constData(), &st) == 0;
        EXPECT_EQ(after.isSymLink(), kept == "link");
        EXPECT_EQ(there && S_ISFIFO(st.st_mode), kept == "fifo" || what == "a link to a FIFO");
        EXPECT_EQ(there && S_ISCHR(st.st_mode), what == "a link to a device");
        EXPECT_EQ(after.size() == huge.size(), kept == "huge");
        const QSettings target(aside + "/real.conf", QSettings::IniFormat);
        EXPECT_EQ(target.value("fontSize").toDouble(), c.saved ? 30.0 : 0.0);
        ::chmod(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), 0700);
    }
}
