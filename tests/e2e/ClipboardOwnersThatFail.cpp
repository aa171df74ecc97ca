// Clipboards that cannot be pinned: an owner that never answers, one that lists its formats and
// sends nothing, and a damaged picture. The program stays at the user's command throughout and
// says what went wrong.
#include "E2eEnv.h"

#include <QProcess>

namespace quillet::e2e {
namespace {

class ClipboardOwnersThatFail : public E2eEnv {
protected:
    // Takes the clipboard with tests/e2e/tools/xclipowner, which then never lets go of it.
    bool ownClipboard(const QString& mode)
    {
        return !startUntilSaid(QStringLiteral(XCLIPOWNER_BINARY), {mode}, "owned").isEmpty();
    }
};

TEST_F(ClipboardOwnersThatFail, PinSaysWhyAndNothingWaitsForTheOwner)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());
    const QString damagedFile = writeScratch("damaged.png",
        QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x40\0\0\0\x40\x08\x02", 24)
            + QByteArray(600, '\x5a'));

    struct Case {
        const char* what;
        std::function<bool()> own;
        const char* says;
    };
    const Case cases[] = {
        {"an owner that never answers", [&] { return ownClipboard("silent"); }, "没有响应"},
        {"an owner that lists formats only", [&] { return ownClipboard("formats"); }, "没有响应"},
        {"a damaged picture", [&] { return putClipboardFile(damagedFile, "image/png"); },
            "图片已损坏"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.own());
        QProcess pin;
        pin.setProcessEnvironment(environment());
        pin.start(QStringLiteral(QUILLET_BINARY), {QStringLiteral("pin")});
        ASSERT_TRUE(pin.waitForStarted());
        // While the clipboard is read, the program answers everybody else.
        const ToolResult status = quillet({"status"}, 5000);
        EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
        ASSERT_TRUE(pin.waitForFinished(15000));
        const QString err = QString::fromUtf8(pin.readAllStandardError());
        EXPECT_EQ(pin.exitCode(), 1);
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.says))) << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("墨钉没有响应"))) << err.toStdString();
        EXPECT_EQ(quilletStatus().value("pins"), "0");
    }
    // And a clipboard that answers pins as before.
    ASSERT_TRUE(putClipboardText("after all that"));
    EXPECT_EQ(quillet({"pin"}).exitCode, 0);
    EXPECT_EQ(quilletStatus().value("pins"), "1");
}

} // namespace
} // namespace quillet::e2e
