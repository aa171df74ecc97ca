#include "settings/Prefs.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

TEST_F(PrefsTest, FreshStoreReadsEveryDefault)
{
    EXPECT_TRUE(Prefs::detectWindows());
    EXPECT_TRUE(Prefs::showMagnifier());
    EXPECT_EQ(Prefs::dimAlpha(), 0.42);
    EXPECT_EQ(Prefs::defaultColor(), 0);
    EXPECT_EQ(Prefs::defaultWidth(), 4.0);
    EXPECT_TRUE(Prefs::showToast());
    EXPECT_FALSE(Prefs::quickSave());
    EXPECT_TRUE(Prefs::pinShadow());
    EXPECT_EQ(Prefs::pinOpacity(), 1.0);
    EXPECT_EQ(Prefs::textStyle(), 1);
    EXPECT_EQ(Prefs::fontSize(), 48.0);
    EXPECT_EQ(Prefs::saveDir().toLocalFile(), Prefs::desktop());
    EXPECT_TRUE(Prefs::filePath().startsWith(home.path()));
}

TEST_F(PrefsTest, WritesArePreciseAndUnclamped)
{
    Prefs::setFontSize(30.0);
    Prefs::setDefaultColor(-3);
    Prefs::setDefaultWidth(7);
    Prefs::setTextStyle(2);
    EXPECT_EQ(Prefs::fontSize(), 30.0);
    EXPECT_EQ(Prefs::defaultColor(), -3);
    Prefs::setDefaultColor(99);
    EXPECT_EQ(Prefs::defaultColor(), 99);
    EXPECT_EQ(Prefs::defaultWidth(), 7.0);
    EXPECT_EQ(Prefs::textStyle(), 2);
    // A value stored earlier survives another registration of the defaults.
    Prefs::registerDefaults();
    EXPECT_EQ(Prefs::fontSize(), 30.0);
}

TEST_F(PrefsTest, SaveDirFallsBackToDesktopUnlessThePathExists)
{
    auto s = Prefs::store();
    s->setValue("saveDir", "");
    s->sync();
    EXPECT_EQ(Prefs::saveDir().toLocalFile(), Prefs::desktop());
    s->setValue("saveDir", home.path() + "/nowhere");
    s->sync();
    EXPECT_EQ(Prefs::saveDir().toLocalFile(), Prefs::desktop());
    // An existing ordinary file is taken as it is: there is no folder test.
    QFile file(home.path() + "/plain");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    s->setValue("saveDir", file.fileName());
    s->sync();
    EXPECT_EQ(Prefs::saveDir().toLocalFile(), file.fileName());
}

TEST_F(PrefsTest, CorruptFileReadsAsDefaults)
{
    writeRaw("\x01\x02garbage\n[General\ndimAlpha=lots\nquickSave=perhaps\nfontSize=nan\n"
             "defaultColor=red\n\xff\xfe");
    EXPECT_EQ(Prefs::dimAlpha(), 0.42);
    EXPECT_FALSE(Prefs::quickSave());
    EXPECT_EQ(Prefs::fontSize(), 48.0);
    EXPECT_EQ(Prefs::defaultColor(), 0);
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

TEST_F(PrefsTest, UnreadableFileReadsAsDefaults)
{
    writeRaw("[General]\nfontSize=20\n");
    QFile::setPermissions(Prefs::filePath(), QFileDevice::Permissions());
    if (QFile(Prefs::filePath()).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with permissions that read any file";
    EXPECT_EQ(Prefs::fontSize(), 48.0);
}

TEST_F(PrefsTest, FileNameHasTheDatedShape)
{
    const QRegularExpression shape(QStringLiteral("^墨钉_\\d{8}_\\d{6}\\.png$"));
    EXPECT_TRUE(shape.match(Prefs::fileName()).hasMatch()) << Prefs::fileName().toStdString();
}
