// Inputs shared by the dimension-reduction tests and tools/dimred/reference_values.py: a
// splitmix64 stream both sides compute bit for bit, and the matrices built from it.
#pragma once

#include "dimred/DimRedMatrix.h"

#include <cstdint>
#include <vector>

namespace Tervane3::Test {

class SplitMix
{
public:
    explicit SplitMix(uint64_t seed) : state(seed) {}
    uint64_t next()
    {
        state += 0x9E3779B97F4A7C15ULL;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

private:
    uint64_t state;
};

inline DimRedMatrix makeMatrix(uint64_t rows, uint64_t cols, std::vector<double> data)
{
    DimRedMatrix m;
    m.rows = rows;
    m.cols = cols;
    m.data = std::move(data);
    return m;
}

// 300 x 4: correlated, skewed and offset columns.
inline DimRedMatrix pcaMatrix()
{
    SplitMix r(11);
    std::vector<double> data;
    for (int i = 0; i < 300; ++i) {
        double u[4];
        for (double& v : u)
            v = r.uniform();
        data.insert(data.end(), {u[0], 0.6 * u[0] + 0.4 * u[1], u[2] * u[2] * 5.0, u[3] + 0.3 * u[0] + 2.0});
    }
    return makeMatrix(300, 4, std::move(data));
}

// 500 x 3 uniform in [0, 10).
inline DimRedMatrix knnPoints()
{
    SplitMix r(5);
    std::vector<double> data(1500);
    for (double& v : data)
        v = r.uniform() * 10.0;
    return makeMatrix(500, 3, std::move(data));
}

// Three uniform squares (40, 30, 25 points) and 15 scattered points, interleaved x, y.
inline std::vector<double> dbscanPoints()
{
    SplitMix r(23);
    std::vector<double> pts;
    const double blobs[3][3] = {{0.0, 0.0, 40}, {5.0, 1.0, 30}, {2.0, 6.0, 25}};
    for (const auto& blob : blobs) {
        for (int i = 0; i < static_cast<int>(blob[2]); ++i) {
            const double x = blob[0] + r.uniform() * 1.5;
            const double y = blob[1] + r.uniform() * 1.5;
            pts.insert(pts.end(), {x, y});
        }
    }
    for (int i = 0; i < 15; ++i) {
        const double x = r.uniform() * 12.0 - 3.0;
        const double y = r.uniform() * 12.0 - 3.0;
        pts.insert(pts.end(), {x, y});
    }
    return pts;
}

// Gaussian-free blobs for UMAP tests: `clusters` groups of `perCluster` rows in `dims`
// columns, uniform in a unit cube around centres `separation` apart along the diagonal.
inline DimRedMatrix blobMatrix(int clusters, int perCluster, int dims, double separation, uint64_t seed)
{
    SplitMix r(seed);
    std::vector<double> data;
    for (int c = 0; c < clusters; ++c) {
        for (int i = 0; i < perCluster; ++i) {
            for (int d = 0; d < dims; ++d)
                data.push_back(c * separation + r.uniform());
        }
    }
    return makeMatrix(static_cast<uint64_t>(clusters) * perCluster, dims, std::move(data));
}

} // namespace Tervane3::Test
