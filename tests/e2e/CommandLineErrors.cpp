#include "E2eEnv.h"

#include <QProcess>

namespace quillet::e2e {
namespace {

class CommandLineErrors : public E2eEnv { };

TEST_F(CommandLineErrors, UsageErrorsExitTwoWithOneLineAndStartNothing)
{
    const QList<QStringList> cases = {{"bogus"}, {"--frobnicate"}, {"capture", "now"},
        {"settings", "colours"}, {"pin", "a", "b"}, {"ocr"}, {"ocr", "a.png", "b.png"}};
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
