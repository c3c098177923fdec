// Buffers of millions of elements that are written once from start to end: in a virtual
// machine each first touch of a fresh page is a costly fault. Mapping the pages in one call
// before the writes leaves one system call instead of a fault per 4 KiB, without changing
// how much memory the buffer holds.
#pragma once

#include <cstddef>
#include <vector>

namespace Tervane3 {

// Maps the whole pages of [begin, begin + size) now; does nothing where the system cannot
// (kernels before 5.14, other systems).
void mapPagesNow(const void* begin, std::size_t size);

// Asks for huge pages on the whole 2 MiB pages inside [begin, begin + size), which must not
// be touched yet, then maps all of it now. For storage that lives as long as its dataset
// (a cached column); buffers that come and go take mapPagesNow alone (with huge pages they
// left more memory resident after Clear Session in a trial).
void prepareFreshPages(const void* begin, std::size_t size);

// Room for count elements in out: where it must grow, new storage mapped in one call (the
// elements held are dropped then).
template <typename T>
void reserveFreshPages(std::vector<T>& out, std::size_t count)
{
    if (out.capacity() < count) {
        std::vector<T>().swap(out);
        out.reserve(count);
        mapPagesNow(out.data(), count * sizeof(T));
    }
}

// out = [first, first + count), in storage mapped in one call where out must grow.
template <typename T>
void copyToFreshPages(std::vector<T>& out, const T* first, std::size_t count)
{
    reserveFreshPages(out, count);
    out.assign(first, first + count);
}

} // namespace Tervane3
