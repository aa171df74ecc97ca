#pragma once

#include <QString>
#include <QVariant>
#include <functional>

namespace quillet {

// The settings file as the program reads and writes it. It is parsed once per change on disk
// (its identity, size and modification time), not at every read. Only a regular file, or a
// link to one, is read or replaced, and one larger than maxFileBytes is not read at all: the
// program then runs on its defaults and leaves the file alone. A change that cannot be written
// still holds for the rest of the run. Either is said once, with the reason.
//
// Handles are cheap; every one of them sees the same file, at the path given when it was made.
class SettingsStore {
public:
    explicit SettingsStore(QString path);

    QVariant value(const QString& key) const;
    bool contains(const QString& key) const;
    // Written at once. False when the file could not take it; the value holds for this run.
    bool setValue(const QString& key, const QVariant& value);
    bool remove(const QString& key);
    // Writes happen as values are set; nothing waits for this.
    void sync() { }

    const QString& path() const { return m_path; }

    static constexpr qint64 maxFileBytes = qint64(1) << 20;

    // Where a failed write is said: true when `reason` was shown to the user (the settings
    // window's warning line), false to have it said once on stderr. None: stderr.
    static void setFailureListener(std::function<bool(const QString& reason)> listener);
    // Why the last write failed, or why the file is left alone; empty when all is well.
    static QString problem();

private:
    bool change(const QString& key, const QVariant& value);

    QString m_path;
};

} // namespace quillet
