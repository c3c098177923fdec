// Values at chosen positions of the ascending order of many values (quartiles, medians)
// without sorting them and without copying them all: the bandwidth of the density estimate
// and the statistics of the plotted points take them from a million values per update.
#pragma once

#include <cstddef>

namespace Tervane3 {

// out[k] = the value at position ranks[k] (0-based, each below n) of the n values in
// ascending order: exactly the value a full sort puts there. `lowest` and `highest` are the
// minimum and maximum of the values. One pass counts the values into equal-width buckets
// between them, a second gathers only the buckets that hold a wanted position, and those few
// values are put in order. The values are expected to be ordered (no NaN). Any thread.
void selectRanks(const double* values, size_t n, double lowest, double highest, const size_t* ranks,
                 double* out, size_t count);

} // namespace Tervane3
