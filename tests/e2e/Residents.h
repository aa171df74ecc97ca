#pragma once

#include "E2eEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillet::e2e {

// Every live process of the built program whose environment holds `entry` (such as
// "DISPLAY=:5"): the programs a test's commands started, not those of other checkouts or tests.
inline QList<qint64> programsWith(const QByteArray& entry)
{
    QList<qint64> pids;
    const QString binary = QFileInfo(QStringLiteral(QUILLET_BINARY)).canonicalFilePath();
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        const QString dir = QStringLiteral("/proc/") + name;
        if (!number || !E2eEnv::processAlive(pid)
            || QFileInfo(dir + QStringLiteral("/exe")).canonicalFilePath() != binary)
            continue;
        QFile environ(dir + QStringLiteral("/environ"));
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(entry))
            pids << pid;
    }
    return pids;
}

} // namespace quillet::e2e
