#include "app/CommandLine.h"

namespace quillet {

bool Command::startsInstance() const
{
    return kind == Kind::capture || kind == Kind::pin || kind == Kind::settings;
}

namespace CommandLine {

namespace {

ParseResult fail(const QString& message)
{
    return ParseResult {std::nullopt, message};
}

ParseResult ok(Command c)
{
    return ParseResult {std::move(c), {}};
}

bool reordersText(char16_t c)
{
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e
        || c == 0x200f || c == 0x061c;
}

} // namespace

const QStringList& settingsPages()
{
    static const QStringList pages
        = {QStringLiteral("general"), QStringLiteral("shortcuts"), QStringLiteral("capture"),
            QStringLiteral("save"), QStringLiteral("pin"), QStringLiteral("about")};
    return pages;
}

QString printable(const QString& text, bool keepNewlines)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category cat = c.category();
        const bool hidden = cat == QChar::Other_Control || cat == QChar::Separator_Line
            || cat == QChar::Separator_Paragraph || reordersText(c.unicode());
        if (!hidden || (keepNewlines && c == QLatin1Char('\n')))
            out += c;
        else if (c.unicode() < 0x100)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

ParseResult parse(const QStringList& args)
{
    if (args.isEmpty())
        return ok({});

    const QString& first = args.first();
    QStringList rest = args.mid(1);

    // Help and version win wherever they stand before "--", as with most tools, so
    // `quillet pin --help` explains instead of pinning a file called "--help".
    const qsizetype optionsEnd = args.indexOf(QStringLiteral("--"));
    const QStringList options = optionsEnd < 0 ? args : args.mid(0, optionsEnd);
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h")))
        return ok({Command::Kind::help, {}, {}});
    if (options.contains(QStringLiteral("--version")))
        return ok({Command::Kind::version, {}, {}});

    auto noArguments = [&](Command::Kind kind) {
        if (!rest.isEmpty())
            return fail(QStringLiteral("“%1”不需要参数：%2")
                            .arg(printable(first), printable(rest.first())));
        return ok({kind, {}, {}});
    };

    if (first == QLatin1String("capture"))
        return noArguments(Command::Kind::capture);
    if (first == QLatin1String("quit"))
        return noArguments(Command::Kind::quit);
    if (first == QLatin1String("status"))
        return noArguments(Command::Kind::status);
    if (first == QLatin1String("pin") || first == QLatin1String("ocr")) {
        const bool literal = !rest.isEmpty() && rest.first() == QLatin1String("--");
        if (literal)
            rest.removeFirst();
        if (rest.size() > 1)
            return fail(QStringLiteral("“%1”只接受一个文件：%2").arg(first, printable(rest.at(1))));
        if (rest.size() == 1 && rest.first().isEmpty())
            return fail(QStringLiteral("“%1”的文件名是空的").arg(first));
        // "--" lets a file whose name starts with a dash through.
        if (!literal && rest.size() == 1 && rest.first().startsWith(QLatin1Char('-')))
            return fail(QStringLiteral("未知选项：%1").arg(printable(rest.first())));
        if (first == QLatin1String("pin"))
            return ok({Command::Kind::pin, rest.value(0), {}});
        if (rest.isEmpty())
            return fail(QStringLiteral("“ocr”需要一个图片文件"));
        return ok({Command::Kind::ocr, rest.first(), {}});
    }
    if (first == QLatin1String("settings")) {
        if (rest.size() > 1)
            return fail(QStringLiteral("“settings”只接受一个页面：%1").arg(printable(rest.at(1))));
        if (rest.size() == 1 && !settingsPages().contains(rest.first()))
            return fail(
                QStringLiteral("没有这个设置页面：%1（可用：%2）")
                    .arg(printable(rest.first()), settingsPages().join(QStringLiteral(", "))));
        return ok({Command::Kind::settings, {}, rest.value(0)});
    }
    if (first.startsWith(QLatin1Char('-')))
        return fail(QStringLiteral("未知选项：%1").arg(printable(first)));
    return fail(QStringLiteral("未知命令：%1").arg(printable(first)));
}

QString usage()
{
    return QStringLiteral(
        "用法：quillet [命令]\n"
        "\n"
        "墨钉：截图、标注并把图片钉在屏幕上。\n"
        "\n"
        "命令：\n"
        "  （无）             启动墨钉；已在运行时请它打开设置窗口\n"
        "  capture            开始截图\n"
        "  pin                把剪贴板里的图片或文字钉到屏幕上\n"
        "  pin [--] FILE      把图片文件钉到屏幕上（指针所在位置）\n"
        "  ocr [--] FILE      识别图片文件里的中英文文字，输出到标准输出\n"
        "  settings [PAGE]    打开设置窗口（PAGE：general, shortcuts, capture, save, pin, about）\n"
        "  quit               退出正在运行的墨钉，等它结束后返回\n"
        "  status             以“名称: 值”逐行输出运行状态，供脚本读取\n"
        "\n"
        "capture、pin 和 settings 在墨钉未运行时会先启动它。\n"
        "\n"
        "选项：\n"
        "  -h, --help         显示本帮助\n"
        "  --version          显示版本\n"
        "\n"
        "退出状态：0 成功；1 操作未能完成；2 用法错误；\n"
        "          3 （仅 status）墨钉没有在运行。\n");
}

QString versionText()
{
    return QStringLiteral("quillet %1").arg(QStringLiteral(QUILLET_VERSION));
}

} // namespace CommandLine
} // namespace quillet
