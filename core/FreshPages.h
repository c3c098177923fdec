// Buffers of millions of elements that are written once from start to end: in a virtual
// machine each first touch of a fresh page is a costly fault. Mapping the pages in one call
// before the writes leaves a handful of faults instead of one per 4 KiB.
#pragma once

#include <cstddef>

namespace Tervane3 {

// Maps the whole pages of [begin, begin + size) now; does nothing where the system cannot
// (kernels before 5.14, other systems).
void mapPagesNow(const void* begin, std::size_t size);

} // namespace Tervane3
