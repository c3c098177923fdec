// Neighbour table of a whole matrix: one k-d tree, rows queried in the tree's leaf order
// (neighbouring queries touch the same leaves) on all cores, each row written by one task.
#include "dimred/DimRedMatrix.h"

#include "core/ParallelFor.h"
#include "dimred/KdTree.h"

#include <cmath>
#include <limits>

namespace Tervane3 {

void DimRedMatrix::exactKnn(uint64_t n, uint64_t dims, int k, std::vector<int32_t>& indices,
                            std::vector<double>& distances) const
{
    const size_t K = k > 0 ? static_cast<size_t>(k) : 0;
    indices.assign(n * K, -1);
    distances.assign(n * K, std::numeric_limits<double>::infinity());
    if (n == 0 || dims == 0 || K == 0 || data.size() < n * dims)
        return;
    const KdTree tree(data, n, dims);
    const std::vector<int32_t>& order = tree.order();
    parallelFor(n, 1024, [&](size_t begin, size_t end) {
        KdTree::Candidates candidates(k);
        for (size_t pos = begin; pos < end; ++pos) {
            const int32_t row = order[pos];
            tree.search(&data[static_cast<size_t>(row) * dims], row, candidates);
            const size_t base = static_cast<size_t>(row) * K;
            for (int j = 0; j < candidates.size(); ++j) {
                indices[base + static_cast<size_t>(j)] = candidates.indexAt(j);
                distances[base + static_cast<size_t>(j)] = std::sqrt(candidates.distance2(j));
            }
        }
    });
}

} // namespace Tervane3
