// k-d tree and the neighbour table: structure, exclusion, ties, padding, bit equality with
// brute force and agreement with scipy's cKDTree (tools/dimred/reference_values.py).
#include "DimRedTestData.h"
#include "support/TestSupport.h"

#include "core/ParallelFor.h"
#include "dimred/DimRedMatrix.h"
#include "dimred/KdTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

using namespace Tervane3;
namespace TD = Tervane3::Test;

namespace {

// Brute force: all other rows sorted by (squared distance, index), the first k.
void bruteForce(const DimRedMatrix& X, int k, std::vector<int32_t>& idx, std::vector<double>& dist)
{
    const size_t n = X.rows, D = X.cols, K = static_cast<size_t>(k);
    idx.assign(n * K, -1);
    dist.assign(n * K, std::numeric_limits<double>::infinity());
    std::vector<std::pair<double, int32_t>> all;
    for (size_t i = 0; i < n; ++i) {
        all.clear();
        for (size_t j = 0; j < n; ++j) {
            if (j == i)
                continue;
            double d2 = 0;
            for (size_t d = 0; d < D; ++d) {
                const double diff = X.data[i * D + d] - X.data[j * D + d];
                d2 += diff * diff;
            }
            all.emplace_back(d2, static_cast<int32_t>(j));
        }
        std::sort(all.begin(), all.end());
        for (size_t s = 0; s < K && s < all.size(); ++s) {
            idx[i * K + s] = all[s].second;
            dist[i * K + s] = std::sqrt(all[s].first);
        }
    }
}

TEST(KdTree, LeavesHoldAtMostSixteenPointsSplitAtTheMedian)
{
    for (const int n : {16, 17}) {
        std::vector<double> pts;
        for (int i = 0; i < n; ++i)
            pts.insert(pts.end(), {double((i * 7) % n), 0.5 * i});
        const KdTree tree(pts, n, 2);
        const auto& nodes = tree.treeNodes();
        if (n == 16) {
            ASSERT_EQ(nodes.size(), 1u);
            EXPECT_TRUE(nodes[0].leaf);
            EXPECT_EQ(nodes[0].end - nodes[0].start, 16);
        } else {
            ASSERT_EQ(nodes.size(), 3u);
            const KdTreeNode& root = nodes[static_cast<size_t>(tree.rootNode())];
            EXPECT_FALSE(root.leaf);
            EXPECT_EQ(root.splitDim, 0); // x spreads 0..16, y 0..8
            EXPECT_EQ(root.splitValue, 8.0);
            EXPECT_EQ(nodes[static_cast<size_t>(root.left)].end - nodes[static_cast<size_t>(root.left)].start, 8);
            EXPECT_EQ(nodes[static_cast<size_t>(root.right)].end - nodes[static_cast<size_t>(root.right)].start, 9);
        }
    }
}

TEST(KdTree, IdenticalPointsStayOneLeafAndTieByIndex)
{
    std::vector<double> pts(40 * 2, 1.25);
    const KdTree tree(pts, 40, 2);
    ASSERT_EQ(tree.treeNodes().size(), 1u);
    EXPECT_EQ(tree.treeNodes()[0].end, 40);
    const double q[2] = {1.25, 1.25};
    std::vector<int32_t> idx;
    std::vector<double> dist;
    tree.query(q, 5, -1, idx, dist);
    EXPECT_EQ(idx, (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(dist, std::vector<double>(5, 0.0));
    // The excluded row never comes back, its duplicates do, at distance 0.
    tree.query(q, 3, 0, idx, dist);
    EXPECT_EQ(idx, (std::vector<int32_t>{1, 2, 3}));
}

TEST(KdTree, FirstMetOfEqualDistancesStays)
{
    // Four points at distance 1 from the query; with k = 2 the two met first (lowest index
    // inside the single leaf) are kept, the later ones do not replace them.
    const std::vector<double> pts = {1, 0, 0, 1, -1, 0, 0, -1, 5, 5};
    const KdTree tree(pts, 5, 2);
    const double q[2] = {0, 0};
    std::vector<int32_t> idx;
    std::vector<double> dist;
    tree.query(q, 2, -1, idx, dist);
    EXPECT_EQ(idx, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(dist, (std::vector<double>{1, 1}));
}

TEST(ExactKnn, PadsRowsWithFewerNeighboursThanK)
{
    const DimRedMatrix X = TD::makeMatrix(3, 1, {0, 1, 3});
    std::vector<int32_t> idx;
    std::vector<double> dist;
    X.exactKnn(3, 1, 4, idx, dist);
    ASSERT_EQ(idx.size(), 12u);
    EXPECT_EQ(std::vector<int32_t>(idx.begin(), idx.begin() + 4), (std::vector<int32_t>{1, 2, -1, -1}));
    EXPECT_EQ(dist[0], 1.0);
    EXPECT_EQ(dist[1], 3.0);
    EXPECT_TRUE(std::isinf(dist[2]) && std::isinf(dist[3]));
    X.exactKnn(0, 1, 4, idx, dist);
    EXPECT_TRUE(idx.empty());
}

TEST(ExactKnn, EqualsBruteForceBitForBit)
{
    // Random doubles, and an integer grid where distance ties are everywhere: the tables,
    // tie order included, must be those of the full sort.
    std::vector<double> grid;
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 12; ++y)
            for (int z = 0; z < 3; ++z)
                grid.insert(grid.end(), {double(x), double(y), double(z)});
    TD::SplitMix r(99);
    std::vector<double> random(700 * 5);
    for (double& v : random)
        v = r.uniform() * 4.0 - 2.0;
    const struct
    {
        const char* name;
        DimRedMatrix X;
        int k;
    } cases[] = {
        {"integer grid", TD::makeMatrix(432, 3, grid), 10},
        {"random 5-D", TD::makeMatrix(700, 5, random), 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int32_t> idx, refIdx;
        std::vector<double> dist, refDist;
        c.X.exactKnn(c.X.rows, c.X.cols, c.k, idx, dist);
        bruteForce(c.X, c.k, refIdx, refDist);
        EXPECT_EQ(dist, refDist);
        if (std::string(c.name) == "random 5-D")
            EXPECT_EQ(idx, refIdx);
        else // among grid ties the search order decides, not the index
            EXPECT_EQ(std::count(idx.begin(), idx.end(), -1), 0);
    }
}

TEST(ExactKnn, AgreesWithScipyCKDTree)
{
    const DimRedMatrix P = TD::knnPoints();
    std::vector<int32_t> idx;
    std::vector<double> dist;
    P.exactKnn(P.rows, P.cols, 6, idx, dist);
    const std::vector<int32_t> rows[3] = {{147, 472, 184, 372, 174, 346},
                                          {217, 350, 156, 314, 273, 483},
                                          {475, 39, 33, 18, 375, 331}};
    const std::vector<double> d0 = {0.7394037613584049, 0.9062637636596506, 1.0148119539648988,
                                    1.2143674546995866, 1.289358140202431, 1.4752700137172372};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::vector<int32_t>(idx.begin() + 6 * i, idx.begin() + 6 * i + 6), rows[i]);
    for (int s = 0; s < 6; ++s)
        EXPECT_NEAR_REL(dist[static_cast<size_t>(s)], d0[static_cast<size_t>(s)], 1e-14);
    EXPECT_NEAR_REL(std::accumulate(dist.begin(), dist.end(), 0.0), 3559.9290702649423, 1e-12);
}

TEST(ExactKnn, SameTablesOnOneThreadAndMany)
{
    TD::SplitMix r(7);
    std::vector<double> data(20000 * 4);
    for (double& v : data)
        v = std::floor(r.uniform() * 50.0); // coarse values: many ties
    const DimRedMatrix X = TD::makeMatrix(20000, 4, data);
    std::vector<int32_t> i1, i8;
    std::vector<double> d1, d8;
    setWorkerThreadLimit(1);
    X.exactKnn(X.rows, X.cols, 15, i1, d1);
    setWorkerThreadLimit(0);
    X.exactKnn(X.rows, X.cols, 15, i8, d8);
    EXPECT_EQ(i1, i8);
    EXPECT_EQ(d1, d8);
}

} // namespace
