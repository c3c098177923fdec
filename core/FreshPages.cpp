#include "core/FreshPages.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace Tervane3 {

void mapPagesNow(const void* begin, std::size_t size)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr std::uintptr_t page = 4096;
    const auto from = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(page - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)begin;
    (void)size;
#endif
}

void prepareFreshPages(const void* begin, std::size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const auto from = (reinterpret_cast<std::uintptr_t>(begin) + huge - 1) & ~(huge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(huge - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
    mapPagesNow(begin, size);
}

} // namespace Tervane3
