// The dense events-by-features matrix every projection starts from, row-major, and the
// exact k-nearest-neighbour table of its rows that the UMAP fit builds its graph from.
#pragma once

#include <cstdint>
#include <vector>

namespace Tervane3 {

struct DimRedMatrix
{
    // Element (row r, column c) at r * cols + c; rows * cols values.
    std::vector<double> data;
    uint64_t rows = 0;
    uint64_t cols = 0;

    // For each of the first n rows (dims columns each) its k nearest other rows, nearest
    // first, with Euclidean distances: row i of the two n x k tables. Missing entries are
    // index -1 and distance +infinity. Rows are searched on all cores; each row's answer
    // depends on nothing but the matrix, so the tables are the same at any thread count.
    void exactKnn(uint64_t n, uint64_t dims, int k, std::vector<int32_t>& indices,
                  std::vector<double>& distances) const;
};

} // namespace Tervane3
