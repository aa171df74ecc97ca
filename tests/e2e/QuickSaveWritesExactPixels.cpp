#include "CaptureJourney.h"

#include <QDateTime>
#include <QRegularExpression>

namespace quillet::e2e {
namespace {

class QuickSaveWritesExactPixels : public CaptureJourney {
protected:
    QString folder() const { return scratch("saved"); }
    QStringList pngs() const
    {
        return QDir(folder()).entryList({"*.png"}, QDir::Files, QDir::Name);
    }
    QImage saveRegion(const QRect& r, const QStringList& before, QString* name)
    {
        if (!openCapture() || !dragRect(r) || !key("ctrl+s"))
            return {};
        QStringList added;
        waitFor([&] {
            added = pngs();
            for (const QString& b : before)
                added.removeAll(b);
            return added.size() == 1;
        });
        if (added.size() != 1)
            return {};
        *name = added.first();
        return QImage(QDir(folder()).filePath(*name));
    }
};

// Ctrl+S with quick save writes "墨钉_yyyyMMdd_HHmmss.png" to the save folder with the region's
// exact pixels; a name already taken in that second gets "-2" and the other file is left alone.
TEST_F(QuickSaveWritesExactPixels, NamedByTheSecondAndNeverReplaced)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    writeSettings({{"quickSave", true}, {"saveDir", folder()}});
    ASSERT_TRUE(startOnPattern());

    QString first;
    const QImage a = saveRegion(QRect(50, 60, 120, 90), {}, &first);
    ASSERT_FALSE(a.isNull());
    EXPECT_TRUE(QRegularExpression("^墨钉_\\d{8}_\\d{6}\\.png$").match(first).hasMatch())
        << first.toStdString();
    EXPECT_EQ(patternDiff(a, QRect(50, 60, 120, 90)), 0);
    ASSERT_TRUE(waitSessionGone());

    // Take every name the next seconds can have, so the second save meets a file of its own
    // second whenever it lands.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken = pngs();
    for (int s = -1; s < 30; ++s) {
        const QString name = "墨钉_" + now.addSecs(s).toString("yyyyMMdd_HHmmss") + ".png";
        QFile f(QDir(folder()).filePath(name));
        if (!f.exists() && f.open(QIODevice::WriteOnly))
            f.write("taken");
        taken << name;
    }
    taken.removeDuplicates();
    QString second;
    const QImage b = saveRegion(QRect(700, 400, 64, 48), pngs(), &second);
    ASSERT_FALSE(b.isNull());
    EXPECT_TRUE(QRegularExpression("^墨钉_\\d{8}_\\d{6}-2\\.png$").match(second).hasMatch())
        << second.toStdString();
    EXPECT_EQ(patternDiff(b, QRect(700, 400, 64, 48)), 0);
    // The first file and the placeholders are untouched.
    EXPECT_EQ(patternDiff(QImage(QDir(folder()).filePath(first)), QRect(50, 60, 120, 90)), 0);
    for (const QString& t : taken) {
        if (t == first)
            continue;
        QFile f(QDir(folder()).filePath(t));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "taken");
    }
}

} // namespace
} // namespace quillet::e2e
