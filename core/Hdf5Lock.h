// The process-wide lock around every use of the HDF5 library. The library is built
// thread-safe, but its C++ objects are not, and columns are read on the GUI thread and
// on worker threads alike. The lock nests: the .rtdc writer holds it for one writing step
// (releasing it between steps, and between batches of events in the per-event steps) while
// it calls reader functions that take it again.
#pragma once

#include <mutex>

namespace Tervane3 {

// One recursive mutex for the whole process, usable before main() runs.
std::recursive_mutex& hdf5Mutex();

using Hdf5Locker = std::lock_guard<std::recursive_mutex>;

} // namespace Tervane3
