// The process-wide HDF5 lock.
#include "core/Hdf5Lock.h"

namespace Tervane3 {

std::recursive_mutex& hdf5Mutex()
{
    // A function-local static is constructed thread-safely on first use, also before main().
    static std::recursive_mutex mutex;
    return mutex;
}

} // namespace Tervane3
