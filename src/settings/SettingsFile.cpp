#include "settings/SettingsFile.h"

#include <QFile>
#include <QList>
#include <QTemporaryFile>

namespace quillet::SettingsFile {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text of `value` with Qt's INI escapes undone, closely enough to see every '@' and
// letter that Qt would see: \xHH… and \ooo become their character (kept to Latin-1, which is
// all the prefixes are made of), a continued line joins the next, any other escaped character
// stands for itself, quotes go.
QByteArray unescaped(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (c == '"')
            continue;
        if (c != '\\' || i + 1 >= value.size()) {
            out.append(c);
            continue;
        }
        const char e = value.at(++i);
        if (e == '\n' || e == '\r') {
            // A continued line: the value goes on at the start of the next.
            if (e == '\r' && i + 1 < value.size() && value.at(i + 1) == '\n')
                ++i;
        } else if (e == 'x' || e == 'X') {
            uint code = 0;
            while (i + 1 < value.size() && hexValue(value.at(i + 1)) >= 0)
                code = (code << 4 | uint(hexValue(value.at(++i)))) & 0xffff;
            out.append(char(code & 0xff));
        } else if (e >= '0' && e <= '7') {
            uint code = uint(e - '0');
            while (i + 1 < value.size() && value.at(i + 1) >= '0' && value.at(i + 1) <= '7')
                code = (code << 3 | uint(value.at(++i) - '0')) & 0xffff;
            out.append(char(code & 0xff));
        } else {
            out.append(e);
        }
    }
    return out;
}

bool serialised(const QByteArray& entry)
{
    const qsizetype eq = entry.indexOf('=');
    if (eq < 0)
        return false;
    const QByteArray value = unescaped(entry.mid(eq + 1));
    // Anywhere, not only at the start: each element of a comma-separated list is read alone.
    return value.contains("@Variant(") || value.contains("@DateTime(");
}

} // namespace

QSettings::SettingsMap parse(const QByteArray& ini)
{
    const QByteArray clean = withoutSerialisedValues(ini);
    // Qt's own parser, on the cleaned text: the format stays exactly Qt's.
    QSettings::SettingsMap map;
    QTemporaryFile file;
    if (!file.open() || file.write(clean) != clean.size() || !file.flush())
        return map;
    file.close();
    QSettings settings(file.fileName(), QSettings::IniFormat);
    for (const QString& key : settings.allKeys())
        map.insert(key, settings.value(key));
    return map;
}

std::optional<QByteArray> serialise(const QSettings::SettingsMap& map)
{
    QTemporaryFile file;
    if (!file.open())
        return std::nullopt;
    file.close();
    {
        QSettings settings(file.fileName(), QSettings::IniFormat);
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return std::nullopt;
    }
    QFile written(file.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return std::nullopt;
    return written.readAll();
}

QByteArray withoutSerialisedValues(const QByteArray& ini)
{
    QByteArray out;
    out.reserve(ini.size());
    qsizetype start = 0;
    while (start < ini.size()) {
        // One entry: up to a line end that no backslash continues.
        qsizetype end = start;
        while (end < ini.size()) {
            if (ini.at(end) == '\n') {
                qsizetype before = end - 1;
                if (before >= start && ini.at(before) == '\r')
                    --before;
                if (!(before >= start && ini.at(before) == '\\'))
                    break;
            }
            ++end;
        }
        const QByteArray entry = ini.mid(start, end - start);
        if (!serialised(entry)) {
            out.append(entry);
            if (end < ini.size())
                out.append('\n');
        }
        start = end + 1;
    }
    return out;
}

} // namespace quillet::SettingsFile
