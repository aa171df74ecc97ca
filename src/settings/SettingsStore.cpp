#include "settings/SettingsStore.h"

#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QSettings>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// What tells one version of the file from another without reading it.
struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    timespec changed {};

    bool operator==(const Stamp& o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size
            && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec
            && changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

Stamp stampOf(const struct stat& st)
{
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

struct FileState {
    std::optional<Stamp> readAt; // the version `entries` were read from; none: read again
    QSettings::SettingsMap entries;
    QString refusal; // why the file is neither read nor written; empty when it is
    QHash<QString, QVariant> unsaved; // changes not in the file; an invalid value is a removal
};

FileState& stateOf(const QString& path)
{
    static QHash<QString, FileState> states;
    return states[path];
}

QString& lastProblem()
{
    static QString problem;
    return problem;
}

std::function<bool(const QString&)>& listener()
{
    static std::function<bool(const QString&)> l;
    return l;
}

// Once per reason and run: the same reason at every change would bury everything else.
void sayOnce(const QString& line)
{
    static QSet<QString> said;
    if (said.contains(line))
        return;
    said.insert(line);
    std::fprintf(stderr, "墨钉: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

void report(const QString& problem)
{
    lastProblem() = problem;
    if (!(listener() && listener()(problem)))
        sayOnce(problem);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What is at `path`: a regular file (or a link to one) to read and replace, nothing yet, or
// something the program must leave alone, and why.
struct Found {
    std::optional<Stamp> stamp; // none: nothing there
    QString refusal;
    QString target; // the file to replace: the path, or where its link leads
};

Found look(const QString& path)
{
    Found out;
    out.target = path;
    const QByteArray p = QFile::encodeName(path);
    struct stat st { };
    if (::lstat(p.constData(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            out.refusal = QStringLiteral("无法读取（%1）").arg(systemError(errno));
        return out;
    }
    const bool link = S_ISLNK(st.st_mode);
    if (link) {
        if (::stat(p.constData(), &st) != 0) {
            out.refusal = QStringLiteral("是指向不存在的位置的链接");
            return out;
        }
        out.target = QFileInfo(path).canonicalFilePath();
    }
    // A FIFO would hold the program up until somebody writes to it, a device never ends, and
    // replacing either with a file of ours would break what the user set up on purpose.
    if (!S_ISREG(st.st_mode)) {
        out.refusal
            = link ? QStringLiteral("是指向非普通文件的链接") : QStringLiteral("不是普通文件");
        return out;
    }
    if (st.st_size > SettingsStore::maxFileBytes) {
        out.refusal = QStringLiteral("太大（%1 字节，最多 %2 字节）")
                          .arg(qint64(st.st_size))
                          .arg(SettingsStore::maxFileBytes);
        return out;
    }
    out.stamp = stampOf(st);
    return out;
}

void refuse(FileState& f, const QString& path, const QString& why)
{
    f.entries.clear();
    f.readAt.reset();
    if (f.refusal == why)
        return;
    f.refusal = why;
    sayOnce(QStringLiteral("设置文件 %1 %2；使用默认设置运行，不会改写这个文件").arg(path, why));
}

void refresh(FileState& f, const QString& path, Found* found = nullptr)
{
    Found here = look(path);
    if (!here.refusal.isEmpty()) {
        refuse(f, path, here.refusal);
        if (found)
            *found = std::move(here);
        return;
    }
    f.refusal.clear();
    const Stamp now = here.stamp.value_or(Stamp {});
    if (found)
        *found = std::move(here);
    if (f.readAt && *f.readAt == now)
        return;
    f.entries.clear();
    if (now.exists) {
        // Opened without waiting, and looked at again once open: what the path names may have
        // been swapped since.
        const int fd = ::open(
            QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            refuse(f, path, QStringLiteral("无法读取（%1）").arg(systemError(errno)));
            return;
        }
        struct stat st { };
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            refuse(f, path, QStringLiteral("不是普通文件"));
            return;
        }
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            refuse(f, path, QStringLiteral("无法读取（%1）").arg(file.errorString()));
            return;
        }
        const QByteArray bytes = file.read(SettingsStore::maxFileBytes + 1);
        if (bytes.size() > SettingsStore::maxFileBytes) {
            refuse(
                f, path, QStringLiteral("太大（超过 %1 字节）").arg(SettingsStore::maxFileBytes));
            return;
        }
        f.entries = SettingsFile::parse(bytes);
    }
    f.readAt = now;
}

// The whole file written beside `target` and renamed over it once complete.
std::optional<QString> writeFile(const QString& target, const QByteArray& bytes)
{
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("无法创建文件夹 %1").arg(folder);
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace

SettingsStore::SettingsStore(QString path)
    : m_path(std::move(path))
{ }

QVariant SettingsStore::value(const QString& key) const
{
    FileState& f = stateOf(m_path);
    refresh(f, m_path);
    if (const auto it = f.unsaved.constFind(key); it != f.unsaved.constEnd())
        return *it;
    return f.entries.value(key);
}

bool SettingsStore::contains(const QString& key) const
{
    return value(key).isValid();
}

bool SettingsStore::setValue(const QString& key, const QVariant& value)
{
    return change(key, value.isValid() ? value : QVariant(QString()));
}

bool SettingsStore::remove(const QString& key)
{
    return change(key, QVariant());
}

bool SettingsStore::change(const QString& key, const QVariant& value)
{
    FileState& f = stateOf(m_path);
    Found found;
    refresh(f, m_path, &found);
    // Held for this run whatever the file makes of it.
    f.unsaved.insert(key, value);
    if (!f.refusal.isEmpty()) {
        report(QStringLiteral("设置文件 %1 %2，更改没有保存；在这次运行中仍然有效")
                   .arg(m_path, f.refusal));
        return false;
    }
    QSettings::SettingsMap next = f.entries;
    for (auto it = f.unsaved.constBegin(); it != f.unsaved.constEnd(); ++it) {
        if (it->isValid())
            next.insert(it.key(), *it);
        else
            next.remove(it.key());
    }
    std::optional<QString> failure;
    if (const std::optional<QByteArray> bytes = SettingsFile::serialise(next))
        failure = writeFile(found.target, *bytes);
    else
        failure = QStringLiteral("无法生成设置内容");
    if (failure) {
        report(QStringLiteral("无法保存设置到 %1（%2）；更改在这次运行中仍然有效")
                   .arg(m_path, *failure));
        return false;
    }
    f.unsaved.clear();
    f.readAt.reset();
    if (!lastProblem().isEmpty()) {
        lastProblem().clear();
        if (listener())
            listener()(QString());
    }
    return true;
}

void SettingsStore::setFailureListener(std::function<bool(const QString&)> l)
{
    listener() = std::move(l);
}

QString SettingsStore::problem()
{
    return lastProblem();
}

} // namespace quillet
