#include "platform/HugePages.h"

#include <QFile>

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace quillet {

namespace {

QByteArrayView selectedMode(QByteArrayView modes)
{
    const qsizetype open = modes.indexOf('[');
    const qsizetype close = open < 0 ? -1 : modes.indexOf(']', open);
    if (close < 0)
        return {};
    return modes.sliced(open + 1, close - open - 1);
}

QByteArray readSysFile(const char* path)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

bool shmemHugePagesAllowed(QByteArrayView global, QByteArrayView pmdSize)
{
    const QByteArrayView pmd = selectedMode(pmdSize);
    if (!pmd.isEmpty() && pmd != "inherit")
        return pmd == "always" || pmd == "within_size" || pmd == "advise";
    const QByteArrayView mode = selectedMode(global);
    return mode == "always" || mode == "within_size" || mode == "advise" || mode == "force";
}

bool sharedMemoryCanBeHuge()
{
    static const bool allowed
        = shmemHugePagesAllowed(readSysFile("/sys/kernel/mm/transparent_hugepage/shmem_enabled"),
            readSysFile("/sys/kernel/mm/transparent_hugepage/hugepages-2048kB/shmem_enabled"));
    return allowed;
}

std::pair<std::byte*, std::size_t> wholePagesIn(void* addr, std::size_t bytes)
{
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto from = reinterpret_cast<std::uintptr_t>(addr);
    if (from > UINTPTR_MAX - bytes)
        return {nullptr, 0};
    const std::uintptr_t start = (from + page - 1) & ~(page - 1);
    const std::uintptr_t end = (from + bytes) & ~(page - 1);
    if (!addr || end <= start)
        return {nullptr, 0};
    return {reinterpret_cast<std::byte*>(start), std::size_t(end - start)};
}

bool backWithHugePages(void* addr, std::size_t bytes)
{
    if (!sharedMemoryCanBeHuge())
        return false;
    const auto [start, length] = wholePagesIn(addr, bytes);
    if (!length || madvise(start, length, MADV_HUGEPAGE) != 0)
        return false;
    // Kernels before 5.14 lack the call; the first writer then has the pages, as without it.
    madvise(start, length, MADV_POPULATE_WRITE);
    return true;
}

} // namespace quillet
