// Kept screen buffers ask for 2 MiB pages only where the kernel gives them to shared memory, and
// a segment rounded up for them still holds exactly the frame it was made for.
#include "platform/HugePages.h"
#include "platform/x11/ShmPool.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstring>

using namespace quillet;

TEST(HugePages, TheBracketedModeDecidesAndThePageSizeOverridesTheGlobalOne)
{
    struct Case {
        const char* global;
        const char* pmd;
        bool allowed;
    };
    const Case cases[] = {
        {"always within_size advise [never] deny force", "", false}, // Debian's default
        {"always within_size [advise] never deny force", "", true},
        {"[always] within_size advise never deny force", "", true},
        {"always [within_size] advise never deny force", "", true},
        {"always within_size advise never [deny] force", "", false},
        {"always within_size advise never deny [force]", "", true},
        {"always within_size [advise] never deny force",
            "always [inherit] within_size advise never", true},
        {"always within_size [advise] never deny force",
            "always inherit within_size advise [never]", false},
        {"always within_size advise [never] deny force",
            "always inherit within_size [advise] never", true},
        {"", "", false}, // no such file
        {"advise never", "", false}, // nothing selected
        {"[advise", "", false},
        {"[]", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shmemHugePagesAllowed(c.global, c.pmd), c.allowed) << c.global << " | " << c.pmd;
}

TEST(HugePages, OnlyWholePagesInsideTheRangeAreTouched)
{
    alignas(4096) static std::byte block[4 * 4096];
    struct Case {
        std::size_t offset, bytes, startOffset, length;
    };
    const Case cases[] = {
        {0, 4 * 4096, 0, 4 * 4096},
        {1, 4 * 4096 - 1, 4096, 3 * 4096},
        {0, 4096 - 1, 0, 0},
        {100, 4096, 0, 0},
        {4096, 2 * 4096 + 17, 4096, 2 * 4096},
    };
    for (const Case& c : cases) {
        const auto [start, length] = wholePagesIn(block + c.offset, c.bytes);
        EXPECT_EQ(length, c.length) << c.offset << "+" << c.bytes;
        if (c.length) {
            EXPECT_EQ(start, block + c.startOffset) << c.offset << "+" << c.bytes;
        }
    }
    EXPECT_EQ(wholePagesIn(nullptr, 8192).second, 0u);
    EXPECT_EQ(wholePagesIn(reinterpret_cast<void*>(UINTPTR_MAX - 4095), 8192).second, 0u);
}

namespace {

// The kB of the mapping holding `addr` that sit in 2 MiB shared-memory pages.
long pmdMappedKiB(const void* addr)
{
    QFile f(QStringLiteral("/proc/self/smaps"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const auto at = reinterpret_cast<quintptr>(addr);
    bool inside = false;
    // Read whole: /proc reports a size of 0, so reading line by line would stop at once.
    for (const QByteArray& line : f.readAll().split('\n')) {
        const qsizetype dash = line.indexOf('-');
        const qsizetype space = line.indexOf(' ');
        if (dash > 0 && space > dash && line[space - 1] != ':') {
            bool ok1 = false, ok2 = false;
            const quintptr from = line.left(dash).toULongLong(&ok1, 16);
            const quintptr to = line.mid(dash + 1, space - dash - 1).toULongLong(&ok2, 16);
            inside = ok1 && ok2 && at >= from && at < to;
        } else if (inside && line.startsWith("ShmemPmdMapped:")) {
            return line.mid(15).trimmed().split(' ').front().toLong();
        }
    }
    return -1;
}

} // namespace

TEST(HugePages, ASegmentHoldsItsFrameAndIsLargePagedWhereTheKernelAllows)
{
    const std::size_t frame = 1920 * 1080 * 4 + 4; // not a whole number of pages of either size
    const std::unique_ptr<ShmSegment> s = ShmSegment::create(frame);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->bytes, frame);
    std::memset(s->data(), 0x5a, frame);
    EXPECT_EQ(s->data()[frame - 1], 0x5a);
    if (!sharedMemoryCanBeHuge())
        GTEST_SKIP() << "shared memory has no 2 MiB pages on this kernel";
    EXPECT_GE(pmdMappedKiB(s->data()), long(frame / 2048 / 1024) * 2048);
}
