#include "output/Output.h"
#include "Pixels.h"
#include "settings/Prefs.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
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
    return a.size() == b.size() && test::worstChannel(a, b) == 0;
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
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    // A file of `bytes` in the folder (an empty one by default); its path.
    QString write(const QString& name, const QByteArray& bytes = {}) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray read(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }
    // Saves and checks that the file holds exactly `img`.
    std::optional<QString> saveExactly(const QImage& img)
    {
        const auto saved = Output::save(img);
        if (saved) {
            EXPECT_TRUE(sameRgb(img, QImage(*saved, "PNG"))) << saved->toStdString();
        }
        return saved;
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

TEST(OutputTest, CopyOffersTheImageAndItsPngBytesAndANullImageStillReplaces)
{
    QImage img = testImage(70, 30);
    img.setDevicePixelRatio(2.0);
    Output::copy(img);
    // The caller's image may change or go away; the clipboard keeps its own pixels.
    img.fill(Qt::red);

    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    ASSERT_NE(mime, nullptr);
    EXPECT_TRUE(mime->hasImage());
    const QByteArray png = mime->data(QStringLiteral("image/png"));
    EXPECT_TRUE(sameRgb(testImage(70, 30), QImage::fromData(png, "PNG")));
    EXPECT_EQ(mime->data(QStringLiteral("image/png")), png) << "asked again, the same bytes";
    EXPECT_TRUE(sameRgb(testImage(70, 30), qvariant_cast<QImage>(mime->imageData())));
    EXPECT_TRUE(sameRgb(testImage(70, 30), QGuiApplication::clipboard()->image()));

    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    Output::copy(QImage());
    mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_FALSE(mime->hasText());
    EXPECT_FALSE(mime->formats().contains(QStringLiteral("image/png")));
}

TEST(OutputTest, UniquePathNumbersTakenNames)
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    const QString stamp = "墨钉_20250314_093005";
    // Names already there, the name asked for, the one given.
    const struct {
        QStringList taken;
        QString asked, given;
    } cases[] = {
        {{}, "a.png", "a.png"},
        {{"a.png"}, "a.png", "a-2.png"},
        {{"a-2.png", "a-3.png"}, "a.png", "a-4.png"},
        {{"plain"}, "plain", "plain-2"},
        {{stamp + ".png"}, stamp + ".png", stamp + "-2.png"},
    };
    for (const auto& c : cases) {
        for (const QString& name : c.taken)
            ASSERT_TRUE(QFile(d.filePath(name)).open(QIODevice::WriteOnly));
        EXPECT_EQ(Output::uniquePath(dir.path(), c.asked), d.filePath(c.given));
    }
}

// A quick save goes to the save folder under the time of day, and never over a file there.
TEST_F(OutputSaveTest, QuickSaveInTheSameSecondNeverOverwrites)
{
    // Occupy the names of this second and the next, so the save below is sure to collide.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int s = 0; s < 2; ++s)
        taken << write("墨钉_" + now.addSecs(s).toString("yyyyMMdd_HHmmss") + ".png", "earlier");
    const QImage img = testImage();
    const auto first = saveExactly(img);
    ASSERT_TRUE(first);
    EXPECT_FALSE(taken.contains(*first));
    EXPECT_TRUE(first->endsWith(QStringLiteral("-2.png"))) << first->toStdString();
    EXPECT_EQ(QFileInfo(*first).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(dialogCalls.isEmpty()); // nobody is asked
    for (const QString& t : taken)
        EXPECT_EQ(read(t), "earlier");
    // Two saves in a row both survive.
    const auto again = saveExactly(testImage(10, 10));
    ASSERT_TRUE(again);
    EXPECT_NE(*again, *first);
    EXPECT_TRUE(sameRgb(img, QImage(*first, "PNG")));
    EXPECT_TRUE(failures.isEmpty());
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
    const auto saved = saveExactly(testImage());
    ASSERT_TRUE(saved);
    ASSERT_EQ(intruders.size(), 2);
    EXPECT_FALSE(intruders.contains(*saved));
    EXPECT_TRUE(saved->endsWith(QStringLiteral("-3.png"))) << saved->toStdString();
    for (const QString& t : intruders)
        EXPECT_EQ(read(t), "other program");
    EXPECT_EQ(entries().size(), 3); // no temporary file left behind
    EXPECT_TRUE(failures.isEmpty());
}

// A save that cannot be written, from the start or midway, is reported once and leaves no
// file (nor a temporary) behind.
TEST_F(OutputSaveTest, FailedSavesAreReportedAndLeaveNothing)
{
    // A save folder that is an ordinary file: no write can succeed, whoever runs the test.
    const QString notAFolder = write("plain");
    setPref(Prefs::saveDirKey, notAFolder);
    EXPECT_FALSE(Output::save(testImage()));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].first.startsWith(notAFolder));
    EXPECT_FALSE(failures[0].second.isEmpty());
    EXPECT_TRUE(dialogCalls.isEmpty()); // the user declined another place
    EXPECT_EQ(entries(), QStringList {"plain"});

    // A write that fails midway, as on a full disk.
    setPref(Prefs::saveDirKey, dir.path());
    ASSERT_TRUE(QFile::remove(notAFolder));
    std::optional<QString> saved;
    {
        FileSizeLimit full(4096);
        ASSERT_TRUE(full.ok);
        saved = Output::save(noisyImage(200, 200));
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(failures.size(), 2);
    EXPECT_TRUE(entries().isEmpty()) << entries().join(',').toStdString();
}

TEST_F(OutputSaveTest, FailedSaveOffersAnotherPlaceWithTheImageKept)
{
    setPref(Prefs::saveDirKey, write("plain"));
    retryAfterFailure = true;
    dialogAnswers = {path("rescued")};
    EXPECT_EQ(saveExactly(testImage()), path("rescued.png"));
    EXPECT_EQ(failures.size(), 1);
    ASSERT_EQ(dialogCalls.size(), 1);
    // The dialog opens in a real folder, with the name that could not be written.
    EXPECT_TRUE(QFileInfo(dialogCalls[0].first).isDir()) << dialogCalls[0].first.toStdString();
    EXPECT_TRUE(dialogCalls[0].second.startsWith(QStringLiteral("墨钉_")));
}

TEST_F(OutputSaveTest, FailedOverwriteKeepsTheOldFileIntact)
{
    const QString old = write("old.png", QByteArray(100, 'x'));
    std::optional<QString> error;
    {
        FileSizeLimit full(4096);
        ASSERT_TRUE(full.ok);
        error = Output::writePngAtomically(old, noisyImage(200, 200));
    }
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->isEmpty());
    EXPECT_EQ(read(old), QByteArray(100, 'x'));
    EXPECT_EQ(entries(), QStringList {"old.png"}); // no temporary left behind
}

TEST_F(OutputSaveTest, DialogStartsInTheSaveFolderAndCancelWritesNothing)
{
    // A null image saves nothing, asking nobody, either way.
    EXPECT_FALSE(Output::save(QImage()));
    setPref(Prefs::quickSaveKey, false);
    EXPECT_FALSE(Output::save(QImage()));
    EXPECT_TRUE(dialogCalls.isEmpty());

    // Cancelled: nothing written, and no failure.
    EXPECT_FALSE(Output::save(testImage()));
    EXPECT_EQ(dialogCalls.size(), 1);
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_TRUE(entries().isEmpty());

    dialogAnswers = {path("chosen.PNG")};
    EXPECT_EQ(saveExactly(testImage()), path("chosen.PNG"));
    ASSERT_EQ(dialogCalls.size(), 2);
    EXPECT_EQ(QFileInfo(dialogCalls[1].first).absoluteFilePath(),
        QFileInfo(dir.path()).absoluteFilePath());
    EXPECT_TRUE(dialogCalls[1].second.startsWith(QStringLiteral("墨钉_")));
    EXPECT_TRUE(dialogCalls[1].second.endsWith(QStringLiteral(".png")));
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
        dialogAnswers = {path(QStringLiteral("chosen-%1.png").arg(c.umask))};
        const auto saved = Output::save(testImage());
        ::umask(previous);
        ASSERT_TRUE(saved);
        struct stat st { };
        ASSERT_EQ(::stat(QFile::encodeName(*saved).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.mode)
            << "umask " << std::oct << c.umask << " quick " << c.quick;
    }
}
