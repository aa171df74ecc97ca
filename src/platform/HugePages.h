#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <utility>

namespace quillet {

// Screen-sized buffers that wait between captures stay quick to reach only in 2 MiB pages. In
// 4 KiB pages, a virtual machine's host drops its own mapping of guest pages left alone for a
// while, and the first capture after a pause pays again for every page of every buffer; fewer,
// larger pages also spare the processor's page walks when a frame is copied.

constexpr std::size_t hugePageBytes = std::size_t(2) << 20;

// Whether the kernel gives 2 MiB pages to shared memory whose mapping asks for them, from the
// text of transparent_hugepage/shmem_enabled and, where the kernel has one, of
// hugepages-2048kB/shmem_enabled (empty when it has none). The mode in use is the bracketed one.
bool shmemHugePagesAllowed(QByteArrayView global, QByteArrayView pmdSize = {});
// The same for this machine, read once.
bool sharedMemoryCanBeHuge();

// The whole pages inside [addr, addr + bytes): start and length, length 0 when there is none.
std::pair<std::byte*, std::size_t> wholePagesIn(void* addr, std::size_t bytes);

// Asks for 2 MiB pages on the shared memory at [addr, addr + bytes), and has every page there
// at once, while this mapping is the one asking: the X server touching it first through its own
// mapping would get small ones. Does nothing and answers false where shared memory cannot be huge.
bool backWithHugePages(void* addr, std::size_t bytes);

} // namespace quillet
