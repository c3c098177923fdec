// Bucket selection (see OrderStatistics.h). The bucket of a value, (v - lowest) * scale
// truncated and clamped, never decreases as v grows (every rounding step is monotone), so
// the values of one bucket occupy one contiguous stretch of the sorted order and the
// bucket counts tell which stretch that is.
#include "core/OrderStatistics.h"

#include "core/DensityBinning.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace Tervane3 {

namespace {

// 64 KB of counts: small enough to come from the thread's free store without a fresh mapping
// of memory on every call, fine enough that a bucket holds a few hundred of a million values.
constexpr int kBuckets = 16384;

} // namespace

void selectRanks(const double* values, size_t n, double lowest, double highest, const size_t* ranks,
                 double* out, size_t count)
{
    if (n == 0 || count == 0)
        return;
    if (!(highest > lowest)) {
        std::fill(out, out + count, lowest);
        return;
    }
    const double scale = kBuckets / (highest - lowest);
    const auto bucketOf = [lowest, scale](double v) { return binIndex((v - lowest) * scale, kBuckets); };

    std::vector<std::uint32_t> counts(kBuckets, 0);
    std::vector<size_t> wide;
    if (n > UINT32_MAX) {
        wide.assign(kBuckets, 0);
        for (size_t i = 0; i < n; ++i)
            ++wide[static_cast<size_t>(bucketOf(values[i]))];
    } else {
        for (size_t i = 0; i < n; ++i)
            ++counts[static_cast<size_t>(bucketOf(values[i]))];
    }
    const auto countOf = [&](size_t b) { return wide.empty() ? counts[b] : wide[b]; };

    // For every wanted position: its bucket and its place among that bucket's values.
    std::vector<int> bucketOfRank(count);
    std::vector<size_t> placeInBucket(count);
    for (size_t k = 0; k < count; ++k) {
        const size_t rank = std::min(ranks[k], n - 1);
        size_t before = 0;
        size_t b = 0;
        while (before + countOf(b) <= rank)
            before += countOf(b++);
        bucketOfRank[k] = static_cast<int>(b);
        placeInBucket[k] = rank - before;
    }

    // The values of the wanted buckets, one list per distinct bucket.
    std::vector<int> wanted(bucketOfRank);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::vector<int> listOf(kBuckets, -1);
    std::vector<std::vector<double>> lists(wanted.size());
    for (size_t w = 0; w < wanted.size(); ++w) {
        listOf[static_cast<size_t>(wanted[w])] = static_cast<int>(w);
        lists[w].reserve(countOf(static_cast<size_t>(wanted[w])));
    }
    for (size_t i = 0; i < n; ++i) {
        const int list = listOf[static_cast<size_t>(bucketOf(values[i]))];
        if (list >= 0)
            lists[static_cast<size_t>(list)].push_back(values[i]);
    }
    for (size_t k = 0; k < count; ++k) {
        std::vector<double>& list = lists[static_cast<size_t>(listOf[static_cast<size_t>(bucketOfRank[k])])];
        const auto place = list.begin() + static_cast<std::ptrdiff_t>(placeInBucket[k]);
        std::nth_element(list.begin(), place, list.end());
        out[k] = *place;
    }
}

} // namespace Tervane3
