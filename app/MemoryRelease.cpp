// Giving freed heap memory back to the system.
#include "app/MemoryRelease.h"

#include "core/Hdf5Lock.h"

#include <H5public.h>

// Any C library header defines __GLIBC__ where glibc is the C library.
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Tervane3 {

void releaseFreedMemory()
{
    // The HDF5 library keeps the blocks of closed files on free lists of its own (a few MB
    // after ten large files). Skipped while a worker reads a file: that may take seconds,
    // and the lists are bounded.
    {
        std::unique_lock<std::recursive_mutex> lock(hdf5Mutex(), std::try_to_lock);
        if (lock.owns_lock())
            H5garbage_collect();
    }
#if defined(__GLIBC__)
    // 0: keep no padding at the top of the heaps; every arena is walked and whole free
    // pages in the middle are released too (glibc 2.8 and later).
    malloc_trim(0);
#endif
}

} // namespace Tervane3
