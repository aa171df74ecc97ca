#include "output/Output.h"
#include "settings/Prefs.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace quillet;

namespace {

QImage testImage(int w = 64, int h = 48)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 0xff));
    return img;
}

// Noise compresses badly: a PNG of this is far larger than any small limit below.
QImage noisyImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    quint32 seed = 99;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<quint32*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = (seed = seed * 1664525u + 1013904223u);
    }
    return img;
}

// Pixel equality only: a decoded PNG also carries a colour space, which QImage's == compares.
bool sameRgb(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        if (std::memcmp(x.constScanLine(row), y.constScanLine(row), size_t(x.width()) * 4) != 0)
            return false;
    }
    return true;
}

QImage readPng(const QString& path)
{
    return QImage(path, "PNG");
}

// Save tests run against a folder of their own, with the modal pieces replaced by recorders.
class OutputSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setPref(Prefs::saveDirKey, dir.path());
        setPref(Prefs::quickSaveKey, true);
        auto& hooks = Output::saveInteraction();
        saved = hooks;
        hooks.choosePath = [this](const QString& d, const QString& name) {
            dialogCalls.append({d, name});
            return dialogAnswers.isEmpty() ? std::nullopt : dialogAnswers.takeFirst();
        };
        hooks.reportFailure = [this](const QString& path, const QString& reason) {
            failures.append({path, reason});
            return retryAfterFailure;
        };
    }
    void TearDown() override
    {
        Output::saveInteraction() = saved;
        auto s = Prefs::store();
        s->remove(QLatin1String(Prefs::saveDirKey));
        s->remove(QLatin1String(Prefs::quickSaveKey));
    }

    static void setPref(const char* key, const QVariant& v)
    {
        auto s = Prefs::store();
        s->setValue(QLatin1String(key), v);
        s->sync();
    }

    QStringList entries() const
    {
        return QDir(dir.path())
            .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir dir;
    Output::SaveInteraction saved;
    QList<std::pair<QString, QString>> dialogCalls;
    QList<std::optional<QString>> dialogAnswers;
    QList<std::pair<QString, QString>> failures;
    bool retryAfterFailure = false;
};

// Lowers the largest file this process may write, as a full disk would, for one scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN); // fail the write, not the process
        rlimit lowered = old;
        lowered.rlim_cur = bytes;
        ok = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
    }
    bool ok = false;

private:
    rlimit old {};
    void (*previousHandler)(int) = nullptr;
};

} // namespace

TEST(OutputTest, PngDataOfANullImageIsNothing)
{
    EXPECT_FALSE(Output::pngData(QImage()));
}

TEST(OutputTest, PngDataKeepsTheFullPixelSize)
{
    QImage img = testImage(80, 60);
    img.setDevicePixelRatio(2.0);
    const auto png = Output::pngData(img);
    ASSERT_TRUE(png);
    const QImage back = QImage::fromData(*png, "PNG");
    EXPECT_EQ(back.size(), QSize(80, 60));
    EXPECT_TRUE(sameRgb(img, back));
}

TEST(OutputTest, CopyOffersTheImageAndItsPngBytes)
{
    QImage img = testImage(70, 30);
    img.setDevicePixelRatio(2.0);
    Output::copy(img);
    // The caller's image may change or go away; the clipboard keeps its own pixels.
    img.fill(Qt::red);

    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    ASSERT_NE(mime, nullptr);
    EXPECT_TRUE(mime->formats().contains(QStringLiteral("image/png")));
    EXPECT_TRUE(mime->hasImage());
    EXPECT_TRUE(mime->hasFormat(QStringLiteral("image/png")));

    const QByteArray png = mime->data(QStringLiteral("image/png"));
    const QImage fromPng = QImage::fromData(png, "PNG");
    EXPECT_TRUE(sameRgb(testImage(70, 30), fromPng));
    // Asked again, the same bytes.
    EXPECT_EQ(mime->data(QStringLiteral("image/png")), png);

    const QImage fromImage = qvariant_cast<QImage>(mime->imageData());
    EXPECT_TRUE(sameRgb(testImage(70, 30), fromImage));
    EXPECT_TRUE(sameRgb(testImage(70, 30), QGuiApplication::clipboard()->image()));
}

TEST(OutputTest, CopyOfANullImageStillReplacesTheClipboard)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    Output::copy(QImage());
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_FALSE(mime->hasText());
    EXPECT_FALSE(mime->formats().contains(QStringLiteral("image/png")));
}

TEST(OutputTest, UniquePathNumbersTakenNames)
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    auto touch = [&](const QString& name) {
        QFile f(d.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };
    EXPECT_EQ(Output::uniquePath(dir.path(), "a.png"), d.filePath("a.png"));
    touch("a.png");
    EXPECT_EQ(Output::uniquePath(dir.path(), "a.png"), d.filePath("a-2.png"));
    touch("a-2.png");
    touch("a-3.png");
    EXPECT_EQ(Output::uniquePath(dir.path(), "a.png"), d.filePath("a-4.png"));
    touch("plain");
    EXPECT_EQ(Output::uniquePath(dir.path(), "plain"), d.filePath("plain-2"));
    touch("墨钉_20250314_093005.png");
    EXPECT_EQ(Output::uniquePath(dir.path(), "墨钉_20250314_093005.png"),
        d.filePath("墨钉_20250314_093005-2.png"));
}

TEST_F(OutputSaveTest, QuickSaveWritesTheNamedFileWithExactPixels)
{
    const QImage img = testImage();
    const auto path = Output::save(img);
    ASSERT_TRUE(path);
    const QFileInfo info(*path);
    EXPECT_EQ(info.absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(info.fileName().startsWith(QStringLiteral("墨钉_")));
    EXPECT_TRUE(info.fileName().endsWith(QStringLiteral(".png")));
    EXPECT_TRUE(sameRgb(img, readPng(*path)));
    EXPECT_TRUE(dialogCalls.isEmpty());
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(OutputSaveTest, QuickSaveInTheSameSecondNeverOverwrites)
{
    // Occupy the names of this second and the next, so the save below is sure to collide.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int s = 0; s < 2; ++s) {
        const QString name = QStringLiteral("墨钉_")
            + now.addSecs(s).toString(QStringLiteral("yyyyMMdd_HHmmss")) + QStringLiteral(".png");
        QFile f(QDir(dir.path()).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier capture");
        taken.append(f.fileName());
    }
    const QImage img = testImage();
    const auto path = Output::save(img);
    ASSERT_TRUE(path);
    EXPECT_FALSE(taken.contains(*path));
    EXPECT_TRUE(path->endsWith(QStringLiteral("-2.png"))) << path->toStdString();
    EXPECT_TRUE(sameRgb(img, readPng(*path)));
    for (const QString& t : taken) {
        QFile f(t);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "earlier capture");
    }

    // Two saves in a row both survive.
    const QImage second = testImage(10, 10);
    const auto again = Output::save(second);
    ASSERT_TRUE(again);
    EXPECT_NE(*again, *path);
    EXPECT_TRUE(sameRgb(img, readPng(*path)));
    EXPECT_TRUE(sameRgb(second, readPng(*again)));
}

TEST_F(OutputSaveTest, QuickSaveNeverReplacesAFileThatAppearsUnderItsChosenName)
{
    // Another program creates each chosen name just before the save would take it, twice.
    QStringList intruders;
    Output::saveInteraction().beforePlacing = [&](const QString& path) {
        if (intruders.size() >= 2)
            return;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::NewOnly));
        f.write("other program");
        intruders.append(path);
    };
    const QImage img = testImage();
    const auto path = Output::save(img);
    ASSERT_TRUE(path);
    ASSERT_EQ(intruders.size(), 2);
    EXPECT_FALSE(intruders.contains(*path));
    EXPECT_TRUE(path->endsWith(QStringLiteral("-3.png"))) << path->toStdString();
    EXPECT_TRUE(sameRgb(img, readPng(*path)));
    for (const QString& t : intruders) {
        QFile f(t);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "other program");
    }
    EXPECT_EQ(entries().size(), 3); // no temporary file left behind
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(OutputSaveTest, TwoQuickSavesInOneSecondGiveNameAndNameDashTwo)
{
    // Saves take milliseconds, so two in a row nearly always share a second; when a second
    // boundary falls between them, try again in a fresh folder.
    bool sameSecond = false;
    for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
        QTemporaryDir fresh;
        setPref(Prefs::saveDirKey, fresh.path());
        const QImage a = testImage(20, 20), b = testImage(30, 10);
        const auto first = Output::save(a);
        const auto second = Output::save(b);
        ASSERT_TRUE(first && second);
        ASSERT_NE(*first, *second);
        EXPECT_TRUE(sameRgb(a, readPng(*first)));
        EXPECT_TRUE(sameRgb(b, readPng(*second)));
        QString expected = *first;
        expected.insert(expected.size() - 4, QStringLiteral("-2"));
        sameSecond = *second == expected;
    }
    EXPECT_TRUE(sameSecond);
}

TEST_F(OutputSaveTest, UnwritableFolderIsReportedAndLeavesNothing)
{
    const QString locked = QDir(dir.path()).filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        QFile probe(QDir(locked).filePath("probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            GTEST_SKIP() << "running with permissions that write anywhere";
        }
    }
    setPref(Prefs::saveDirKey, locked);
    EXPECT_FALSE(Output::save(testImage()));
    EXPECT_EQ(failures.size(), 1);
    EXPECT_TRUE(QDir(locked).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QFile::setPermissions(
        locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(OutputSaveTest, FailedQuickSaveIsReportedAndLeavesNothing)
{
    // A save folder that is an ordinary file: no write can succeed, whoever runs the test.
    const QString notAFolder = QDir(dir.path()).filePath("plain");
    {
        QFile f(notAFolder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    setPref(Prefs::saveDirKey, notAFolder);

    EXPECT_FALSE(Output::save(testImage()));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].first.startsWith(notAFolder));
    EXPECT_FALSE(failures[0].second.isEmpty());
    EXPECT_TRUE(dialogCalls.isEmpty()); // the user declined another place
    EXPECT_EQ(entries(), QStringList {"plain"});
}

TEST_F(OutputSaveTest, FailedSaveOffersAnotherPlaceWithTheImageKept)
{
    const QString notAFolder = QDir(dir.path()).filePath("plain");
    {
        QFile f(notAFolder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    setPref(Prefs::saveDirKey, notAFolder);
    retryAfterFailure = true;
    const QString elsewhere = QDir(dir.path()).filePath("rescued");
    dialogAnswers = {elsewhere};

    const QImage img = testImage();
    const auto path = Output::save(img);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, elsewhere + ".png");
    EXPECT_EQ(failures.size(), 1);
    ASSERT_EQ(dialogCalls.size(), 1);
    // The dialog opens in a real folder, with the name that could not be written.
    EXPECT_TRUE(QFileInfo(dialogCalls[0].first).isDir()) << dialogCalls[0].first.toStdString();
    EXPECT_TRUE(dialogCalls[0].second.startsWith(QStringLiteral("墨钉_")));
    EXPECT_TRUE(sameRgb(img, readPng(*path)));
}

TEST_F(OutputSaveTest, FailedOverwriteKeepsTheOldFileIntact)
{
    const QString path = QDir(dir.path()).filePath("old.png");
    const QByteArray old(100, 'x');
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    std::optional<QString> error;
    {
        FileSizeLimit full(4096);
        ASSERT_TRUE(full.ok);
        error = Output::writePngAtomically(path, noisyImage(200, 200));
    }
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->isEmpty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), old);
    EXPECT_EQ(entries(), QStringList {"old.png"}); // no temporary left behind
}

TEST_F(OutputSaveTest, WriteThatFailsMidwayLeavesNoPartialFile)
{
    std::optional<QString> saved;
    {
        FileSizeLimit full(4096);
        ASSERT_TRUE(full.ok);
        saved = Output::save(noisyImage(200, 200));
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(failures.size(), 1);
    EXPECT_TRUE(entries().isEmpty()) << entries().join(',').toStdString();
}

TEST_F(OutputSaveTest, DialogStartsInTheSaveFolderWithTheDefaultName)
{
    setPref(Prefs::quickSaveKey, false);
    dialogAnswers = {QDir(dir.path()).filePath("chosen.PNG")};
    const QImage img = testImage();
    const auto path = Output::save(img);
    ASSERT_EQ(dialogCalls.size(), 1);
    EXPECT_EQ(QFileInfo(dialogCalls[0].first).absoluteFilePath(),
        QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(dialogCalls[0].second.startsWith(QStringLiteral("墨钉_")));
    EXPECT_TRUE(dialogCalls[0].second.endsWith(QStringLiteral(".png")));
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, QDir(dir.path()).filePath("chosen.PNG"));
    EXPECT_TRUE(sameRgb(img, readPng(*path)));
}

TEST_F(OutputSaveTest, CancelledDialogWritesNothingAndIsNoFailure)
{
    setPref(Prefs::quickSaveKey, false);
    EXPECT_FALSE(Output::save(testImage()));
    EXPECT_EQ(dialogCalls.size(), 1);
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(OutputSaveTest, NullImageSavesNothing)
{
    EXPECT_FALSE(Output::save(QImage()));
    setPref(Prefs::quickSaveKey, false);
    EXPECT_FALSE(Output::save(QImage()));
    EXPECT_TRUE(dialogCalls.isEmpty());
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_TRUE(entries().isEmpty());
}

// A saved picture is a file like any other: 0666 less the umask, on both ways of writing.
TEST_F(OutputSaveTest, SavedFilesTakeTheModeTheUmaskGives)
{
    struct Case {
        mode_t umask;
        bool quick;
        mode_t mode;
    };
    const Case cases[]
        = {{022, true, 0644}, {027, true, 0640}, {022, false, 0644}, {077, false, 0600}};
    for (const Case& c : cases) {
        const mode_t previous = ::umask(c.umask);
        setPref(Prefs::quickSaveKey, c.quick);
        dialogAnswers = {QDir(dir.path()).filePath(QStringLiteral("chosen-%1.png").arg(c.umask))};
        const auto path = Output::save(testImage());
        ::umask(previous);
        ASSERT_TRUE(path);
        struct stat st { };
        ASSERT_EQ(::stat(QFile::encodeName(*path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.mode)
            << "umask " << std::oct << c.umask << " quick " << c.quick;
    }
}
