#include "platform/XdgAutostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillet {

namespace {

// A desktop-entry string value: backslashes and line breaks escaped.
QString escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else
            out += c;
    }
    return out;
}

bool isTrue(const QString& value)
{
    return value.trimmed() == QLatin1String("true");
}

bool isFalse(const QString& value)
{
    return value.trimmed() == QLatin1String("false");
}

} // namespace

XdgAutostart::XdgAutostart(QString folder, QString executable)
    : m_folder(std::move(folder))
    , m_executable(std::move(executable))
{ }

XdgAutostart XdgAutostart::forThisProgram()
{
    // QStandardPaths already falls back to ~/.config when XDG_CONFIG_HOME is unset or relative.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (exe.isEmpty())
        exe = QCoreApplication::applicationFilePath();
    return XdgAutostart(config + QStringLiteral("/autostart"), exe);
}

QString XdgAutostart::filePath() const
{
    return m_folder + QLatin1Char('/') + QLatin1String(fileName);
}

QString XdgAutostart::quotedExec(const QString& executable)
{
    // Inside double quotes the Exec key wants ", `, $ and \ escaped with a backslash; a
    // percent sign would start a field code.
    QString arg = QStringLiteral("\"");
    for (QChar c : executable) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
            || c == QLatin1Char('\\'))
            arg += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            arg += QLatin1Char('%');
        arg += c;
    }
    arg += QLatin1Char('"');
    return arg;
}

QByteArray XdgAutostart::entryText(const QString& executable)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=墨钉\n"
                                        "Comment=截图、标注并把图片钉在屏幕上\n"
                                        "Exec=%1\n"
                                        "Icon=app.quillet.Quillet\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeValue(quotedExec(executable)));
    return text.toUtf8();
}

bool XdgAutostart::enabled() const
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        // Either key turns the entry off while leaving it in place.
        if (key == QLatin1String("Hidden") && isTrue(value))
            return false;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && isFalse(value))
            return false;
    }
    return true;
}

bool XdgAutostart::setEnabled(bool on) const
{
    const QString path = filePath();
    if (!on)
        return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(m_folder))
        return false;
    // Written beside the entry and renamed over it, so a desktop reading the folder at login
    // never finds half an entry.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = entryText(m_executable);
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace quillet
