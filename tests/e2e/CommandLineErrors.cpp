#include "E2eEnv.h"

#include <QFile>
#include <QProcess>

namespace quillet::e2e {
namespace {

class CommandLineErrors : public E2eEnv { };

TEST_F(CommandLineErrors, UsageErrorsExitTwoWithOneLineAndStartNothing)
{
    const QList<QStringList> cases = {{"bogus"}, {"--frobnicate"}, {"capture", "now"},
        {"settings", "colours"}, {"pin", "a", "b"}};
    for (const QStringList& args : cases) {
        const ToolResult r = quillet(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.errLines().size(), 1) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(quillet({"status"}).exitCode, 3);
}

TEST_F(CommandLineErrors, HelpAndVersion)
{
    const ToolResult help = quillet({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("capture"));
    EXPECT_TRUE(help.err.isEmpty());
    const ToolResult version = quillet({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("quillet "));
    EXPECT_EQ(quillet({"status"}).exitCode, 3);
}

TEST_F(CommandLineErrors, FilesThatAreNoImagesAreRefusedBeforeAnythingIsPinned)
{
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

    const QString text = scratch("notes.txt");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("just words, no picture\n");
    f.close();
    const QString fake = scratch("fake.png");
    QFile g(fake);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write("\x89PNG\r\n\x1a\n truncated");
    g.close();

    for (const QString& file : {QString("/nonexistent/picture.png"), text, fake, scratch("")}) {
        const ToolResult r = quillet({"pin", file});
        EXPECT_NE(r.exitCode, 0) << file.toStdString();
        EXPECT_NE(r.exitCode, -1) << file.toStdString();
        EXPECT_EQ(r.errLines().size(), 1) << r.err.toStdString();
    }
    EXPECT_EQ(quilletStatus().value("pins"), "0");
}

TEST_F(CommandLineErrors, NoDisplayIsOneLineNotACrash)
{
    QProcessEnvironment env = environment();
    env.remove("DISPLAY");
    for (const QStringList& args : {QStringList {}, QStringList {"capture"}}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QUILLET_BINARY, args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 1);
        const QStringList lines
            = QString::fromUtf8(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(lines.size(), 1) << lines.join('|').toStdString();
    }
}

} // namespace
} // namespace quillet::e2e
