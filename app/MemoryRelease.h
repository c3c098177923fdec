// Giving freed heap memory back to the system once datasets have closed.
#pragma once

namespace Tervane3 {

// Returns the free pages of every malloc arena to the system (glibc's malloc_trim); does
// nothing with other C libraries. The allocator keeps freed blocks for reuse and gives back
// only what lies at the top of a heap, so the columns of closed datasets (about 0.5 GB per
// million events, many of them read on pool threads into arenas of their own) otherwise
// stay resident. Also empties the HDF5 library's free lists. Takes milliseconds after
// gigabytes were freed; any thread.
void releaseFreedMemory();

} // namespace Tervane3
