// The command line: any arguments, NUL-separated in the input as they are in argv.
#include "FuzzSupport.h"

#include "app/CommandLine.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList args;
    const QByteArray all = fuzz::bytes(data, size);
    if (!all.isEmpty()) {
        for (const QByteArray& a : all.split('\0'))
            args.append(QString::fromLocal8Bit(a));
    }
    const ParseResult r = CommandLine::parse(args);
    if (!r.command) {
        // Bad input: one clear line, whatever the arguments held.
        FUZZ_CHECK(!r.error.isEmpty());
        for (const QChar c : r.error) {
            const QChar::Category cat = c.category();
            FUZZ_CHECK(cat != QChar::Other_Control && cat != QChar::Separator_Line
                && cat != QChar::Separator_Paragraph);
        }
        return 0;
    }
    FUZZ_CHECK(r.error.isEmpty());
    const Command& c = *r.command;
    if (c.kind == Command::Kind::pin && !c.file.isEmpty())
        FUZZ_CHECK(args.contains(c.file));
    if (c.kind == Command::Kind::settings && !c.page.isEmpty())
        FUZZ_CHECK(CommandLine::settingsPages().contains(c.page));
    return 0;
}
