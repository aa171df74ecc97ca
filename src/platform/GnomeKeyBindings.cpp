#include "platform/GnomeKeyBindings.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

namespace quillet::GnomeKeyBindings {

namespace {

const QString listSchema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString listKey = QStringLiteral("custom-keybindings");
const QString entrySchema
    = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
const QString entryPrefix
    = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/quillet-");
constexpr int toolMs = 5000;

struct Run {
    bool ok = false;
    QString out;
    QString err;
};

Run gsettings(const QStringList& args)
{
    Run r;
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (tool.isEmpty()) {
        r.err = QStringLiteral("找不到 gsettings");
        return r;
    }
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(toolMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("gsettings 没有回应");
        return r;
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    r.err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return r;
}

// GVariant's text form of a string array: ['a', 'b'], or @as [] when empty. The paths in it
// never hold quotes.
QStringList parseList(const QString& text)
{
    QStringList out;
    static const QRegularExpression item(QStringLiteral("'([^']*)'"));
    for (const QRegularExpressionMatch& m : item.globalMatch(text))
        out.append(m.captured(1));
    return out;
}

QString formatList(const QStringList& items)
{
    QStringList quoted;
    for (const QString& i : items)
        quoted.append(QLatin1Char('\'') + i + QLatin1Char('\''));
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// A GVariant string: single quotes, with backslash and quote escaped.
QString variantString(QString s)
{
    s.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    s.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

bool isOurs(const QString& path)
{
    return path.startsWith(entryPrefix);
}

std::optional<QStringList> currentList(QString* why)
{
    const Run r = gsettings({QStringLiteral("get"), listSchema, listKey});
    if (!r.ok) {
        *why = r.err.isEmpty() ? QStringLiteral("读不到 GNOME 的自定义快捷键") : r.err;
        return std::nullopt;
    }
    return parseList(r.out);
}

bool write(const QString& schema, const QString& key, const QString& value, QString* why)
{
    const Run r = gsettings({QStringLiteral("set"), schema, key, value});
    if (!r.ok)
        *why = r.err.isEmpty() ? QStringLiteral("GNOME 的自定义快捷键写不进去") : r.err;
    return r.ok;
}

// Resets the program's own entries and returns the others, the user's.
QStringList dropOurs(const QStringList& paths)
{
    QStringList kept;
    for (const QString& p : paths) {
        if (isOurs(p))
            gsettings({QStringLiteral("reset-recursively"), entrySchema + QLatin1Char(':') + p});
        else
            kept.append(p);
    }
    return kept;
}

} // namespace

bool available()
{
    const QStringList desktops
        = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (!desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive))
        return false;
    const Run r = gsettings({QStringLiteral("writable"), listSchema, listKey});
    return r.ok && r.out == QLatin1String("true");
}

bool installed()
{
    QString why;
    const std::optional<QStringList> list = currentList(&why);
    return list && std::any_of(list->begin(), list->end(), isOurs);
}

QString commandFor(const QString& arguments)
{
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (exe.isEmpty())
        exe = QStringLiteral("quillet");
    // GNOME splits the command as a shell would.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
    if (!plain.match(exe).hasMatch())
        exe = QLatin1Char('\'') + QString(exe).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
            + QLatin1Char('\'');
    return exe + QLatin1Char(' ') + arguments;
}

bool install(const QList<Entry>& entries, QString* why)
{
    const std::optional<QStringList> list = currentList(why);
    if (!list)
        return false;
    QStringList paths = dropOurs(*list);
    for (const Entry& e : entries) {
        const QString path = entryPrefix + e.id + QLatin1Char('/');
        const QString at = entrySchema + QLatin1Char(':') + path;
        if (!write(at, QStringLiteral("name"), variantString(e.name), why)
            || !write(at, QStringLiteral("command"), variantString(commandFor(e.arguments)), why)
            || !write(at, QStringLiteral("binding"), variantString(e.binding), why))
            return false;
        paths.append(path);
    }
    return write(listSchema, listKey, formatList(paths), why);
}

bool uninstall(QString* why)
{
    const std::optional<QStringList> list = currentList(why);
    if (!list)
        return false;
    const QStringList kept = dropOurs(*list);
    return kept.size() == list->size() || write(listSchema, listKey, formatList(kept), why);
}

} // namespace quillet::GnomeKeyBindings
