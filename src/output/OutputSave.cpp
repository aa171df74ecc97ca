// Saving a finished image as a PNG file: quick save into the save folder, or a save dialog.
#include "output/Output.h"

#include "output/PngEncoder.h"
#include "settings/Prefs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

int savesInProgress = 0;

// Counts the save under way for its whole length, whichever way it returns.
struct SaveInProgress {
    SaveInProgress() { ++savesInProgress; }
    ~SaveInProgress() { --savesInProgress; }
    SaveInProgress(const SaveInProgress&) = delete;
    SaveInProgress& operator=(const SaveInProgress&) = delete;
};

bool pathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink(); // a dangling link is taken too
}

QString withPngSuffix(const QString& path)
{
    if (path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return path;
    return path + QLatin1String(".png");
}

// The mode any new file of this process gets: 0666 less the umask. Read from the kernel's
// process status, as setting the umask to learn it would race with other threads creating files.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok)
                return static_cast<mode_t>(0666 & ~mask);
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// The first of `candidates` that is a folder, else the Desktop: the save folder preference may
// name an ordinary file, and a dialog must open somewhere sensible.
QString existingFolder(const QStringList& candidates)
{
    for (const QString& c : candidates) {
        if (QFileInfo(c).isDir())
            return c;
    }
    return Prefs::desktop();
}

std::optional<QString> runSaveDialog(const QString& dir, const QString& name)
{
    QFileDialog dialog(nullptr, QStringLiteral("保存截图"), existingFolder({dir}));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PNG 图片 (*.png)"));
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(name);
    // The overlays are gone by now and the program has no window of its own: without this the
    // dialog could open behind whatever the user was working in.
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.first();
}

bool runFailureAlert(const QString& path, const QString& reason)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("保存失败"),
        QStringLiteral("截图未能保存到“%1”。").arg(QDir::toNativeSeparators(path)));
    box.setInformativeText(reason + QStringLiteral("\n\n截图仍保留着，可以另选位置保存。"));
    QPushButton* other = box.addButton(QStringLiteral("另选位置…"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("不保存"), QMessageBox::RejectRole);
    box.setDefaultButton(other);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return box.clickedButton() == other;
}

std::optional<QString> choosePath(const QString& dir, const QString& name)
{
    auto& hook = Output::saveInteraction().choosePath;
    const auto chosen = hook ? hook(dir, name) : runSaveDialog(dir, name);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    return withPngSuffix(*chosen);
}

bool reportFailure(const QString& path, const QString& reason)
{
    auto& hook = Output::saveInteraction().reportFailure;
    return hook ? hook(path, reason) : runFailureAlert(path, reason);
}

// Why a write stopped; `error` is errno taken at once after the failing call. Qt reports a
// failed flush as an unknown error, yet a full disk is what the user most needs to hear about.
QString writeFailure(int error, const QString& folder, qint64 needed, const QString& qtReason)
{
    const QStorageInfo storage(folder);
    if (error == ENOSPC || (storage.isValid() && storage.bytesAvailable() < needed))
        return QStringLiteral("写入失败：磁盘空间不足。");
    return QStringLiteral("写入失败：%1").arg(qtReason);
}

} // namespace

Output::SaveInteraction& Output::saveInteraction()
{
    static SaveInteraction interaction;
    return interaction;
}

QString Output::uniquePath(const QString& dir, const QString& name)
{
    const QDir folder(dir);
    QString path = folder.filePath(name);
    if (!pathTaken(path))
        return path;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    for (int n = 2;; ++n) {
        path = folder.filePath(stem + QLatin1Char('-') + QString::number(n) + ext);
        if (!pathTaken(path))
            return path;
    }
}

std::optional<QString> Output::writePngAtomically(const QString& path, const QImage& image)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists())
        return QStringLiteral("文件夹“%1”不存在。")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isDir())
        return QStringLiteral("“%1”不是文件夹。").arg(QDir::toNativeSeparators(folder.filePath()));
    if (info.isDir())
        return QStringLiteral("同名的文件夹已经存在。");
    const auto png = pngData(image);
    if (!png)
        return QStringLiteral("无法把图像编码为 PNG（内存不足？）。");

    // The bytes go to a temporary file beside the target and are renamed over it only when
    // complete, so a full disk or a vanished folder never leaves a truncated PNG, nor damages a
    // file that was there before.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("无法创建文件：%1").arg(file.errorString());
    if (file.write(*png) != png->size()) {
        const int error = errno;
        const QString why = writeFailure(error, folder.filePath(), png->size(), file.errorString());
        file.cancelWriting();
        return why;
    }
    if (!file.commit()) {
        const int error = errno;
        return writeFailure(error, folder.filePath(), png->size(), file.errorString());
    }
    return std::nullopt;
}

Output::NewFile Output::writePngAsNew(const QString& dir, const QString& name, const QImage& image)
{
    const QFileInfo folder(dir);
    if (!folder.exists())
        return {
            std::nullopt, QStringLiteral("文件夹“%1”不存在。").arg(QDir::toNativeSeparators(dir))};
    if (!folder.isDir())
        return {
            std::nullopt, QStringLiteral("“%1”不是文件夹。").arg(QDir::toNativeSeparators(dir))};
    const auto png = pngData(image);
    if (!png)
        return {std::nullopt, QStringLiteral("无法把图像编码为 PNG（内存不足？）。")};

    // Written in full under a hidden temporary name first, so a full disk never leaves a part
    // under the real name. It then takes its name with link(), which fails rather than replaces
    // when another program has created that name since it was found free.
    QTemporaryFile temp(QDir(dir).filePath(QStringLiteral(".quillet-XXXXXX.png")));
    if (!temp.open())
        return {std::nullopt, QStringLiteral("无法创建文件：%1").arg(temp.errorString())};
    // A temporary file is the owner's alone; the picture it becomes is a file like any other.
    ::fchmod(temp.handle(), newFileMode());
    if (temp.write(*png) != png->size() || !temp.flush() || ::fsync(temp.handle()) != 0) {
        const int error = errno;
        return {std::nullopt, writeFailure(error, dir, png->size(), temp.errorString())};
    }
    const QByteArray from = QFile::encodeName(temp.fileName());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString path = uniquePath(dir, name);
        if (auto& hook = saveInteraction().beforePlacing)
            hook(path);
        if (::link(from.constData(), QFile::encodeName(path).constData()) == 0)
            return {path, {}}; // the temporary name goes when `temp` does
        if (errno != EEXIST)
            return {std::nullopt,
                QStringLiteral("写入失败：%1").arg(QString::fromLocal8Bit(std::strerror(errno)))};
    }
    return {std::nullopt, QStringLiteral("找不到可用的文件名。")};
}

bool Output::saveInProgress()
{
    return savesInProgress > 0;
}

std::optional<QString> Output::save(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    const SaveInProgress holding;

    const QString dir = Prefs::saveDir().toLocalFile();
    std::optional<QString> target;
    if (Prefs::quickSave()) {
        // File names count seconds; a second save within the same second must not replace the
        // first one.
        const NewFile written = writePngAsNew(dir, Prefs::fileName(), image);
        if (written.path)
            return written.path;
        const QString failedAt = QDir(dir).filePath(Prefs::fileName());
        if (!reportFailure(failedAt, written.error))
            return std::nullopt;
        target = choosePath(existingFolder({dir}), Prefs::fileName());
    } else {
        target = choosePath(dir, Prefs::fileName());
    }

    // The overlay is gone by the time a write can fail, so the image only survives in this
    // loop: keep offering another place until a write succeeds or the user lets it go.
    while (target) {
        const auto error = writePngAtomically(*target, image);
        if (!error)
            return target;
        if (!reportFailure(*target, *error))
            return std::nullopt;
        const QFileInfo failed(*target);
        target = choosePath(existingFolder({failed.absolutePath(), dir}), failed.fileName());
    }
    return std::nullopt; // cancelled
}

} // namespace quillet
