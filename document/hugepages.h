#pragma once
// Large blocks of memory (the text of a document, tables over a million instances) are faulted
// in page by page as they are first written. Asking the kernel for huge pages for them, before
// the first write, makes that one fault per 2 MiB instead of one per 4 KiB, and spares the
// walks over them most misses of the address cache. Linux only; elsewhere nothing happens.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quillon {

// Advises huge pages for the whole 2 MiB pages inside [data, data + size).
inline void adviseHugePages(const void *data, size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    const uintptr_t begin = (uintptr_t(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (uintptr_t(data) + size) & ~(kHuge - 1);
    if (data && end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

// v.reserve(n), with huge pages advised for the room reserved.
template <class T> void reserveHuge(std::vector<T> &v, size_t n)
{
    v.reserve(n);
    adviseHugePages(v.data(), v.capacity() * sizeof(T));
}

// Faults in the whole pages inside [data, data + size) for writing, a call per 16 MiB instead
// of a fault per page (Linux 5.14 on). False when the kernel cannot.
// The kernel holds the process's map of memory for the whole of one call, and any other
// thread that changes the map (malloc growing the heap, mmap, munmap) waits meanwhile: for a
// gigabyte in one call, a window would stop for a third of a second. Between two calls it
// gets its turn.
inline bool populate(const void *data, size_t size)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr uintptr_t kPage = 4096;
    constexpr uintptr_t kStep = uintptr_t(16) << 20;
    const uintptr_t begin = (uintptr_t(data) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (uintptr_t(data) + size) & ~(kPage - 1);
    if (!data || end <= begin)
        return false;
    for (uintptr_t at = begin; at < end; at += kStep)
        if (madvise(reinterpret_cast<void *>(at), std::min<uintptr_t>(kStep, end - at), MADV_POPULATE_WRITE) != 0)
            return false;
    return true;
#else
    (void)data;
    (void)size;
    return false;
#endif
}

} // namespace quillon
