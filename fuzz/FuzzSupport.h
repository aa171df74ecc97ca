#pragma once
// What every fuzz target shares: a Qt application object made once, a private settings
// folder, and a check that stops the run on a broken promise (libFuzzer keeps the input).

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace quillet::fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Text and images need a GUI application (fonts, image plugins); the parsers of plain data
// make do with a core one. Either lives for the whole run.
enum class AppKind { core, gui };

inline void makeApp(AppKind kind)
{
    static int argc = 1;
    static char name[] = "quillet-fuzz";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own warnings about the inputs (damaged files) would drown the fuzzer's output.
    qputenv("QT_LOGGING_RULES", "*=false");
    static std::unique_ptr<QCoreApplication> app = kind == AppKind::gui
        ? std::unique_ptr<QCoreApplication>(new QGuiApplication(argc, argv))
        : std::make_unique<QCoreApplication>(argc, argv);
}

// A settings folder of the run's own, so a fuzz run never touches the user's settings.
inline void privateConfigHome()
{
    // In memory where there is a place for it: the settings file is written with fsync, which
    // on a disk would slow every input down to a few a second.
    char dir[] = "/dev/shm/quillet-fuzz-XXXXXX";
    if (!::mkdtemp(dir) && !::mkdtemp(std::strcpy(dir, "/tmp/quillet-fuzz-XXXXXX")))
        std::abort();
    qputenv("XDG_CONFIG_HOME", dir);
    static const QString home = QString::fromLocal8Bit(dir);
    QDir().mkpath(home + QStringLiteral("/quillet"));
    std::atexit([] { QDir(home).removeRecursively(); });
}

// Replaces the settings file with `contents`. Its time stamp moves on by a second each call:
// Qt keeps parsed settings files and reads one again only when its size or time changes, and
// two inputs of the same length written within a millisecond would otherwise look the same.
inline void writeSettingsFile(const QString& path, const QByteArray& contents)
{
    static qint64 tick = 1'000'000'000;
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(contents) == contents.size());
    f.close();
    const struct timespec times[2] = {{++tick, 0}, {tick, 0}};
    FUZZ_CHECK(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
}

} // namespace quillet::fuzz
