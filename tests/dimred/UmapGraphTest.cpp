// Neighbour-graph pieces of UMAP: smoothing (closed forms and umap-learn's values), the
// fuzzy union, the compressed adjacency and its components.
#include "DimRedTestData.h"
#include "support/TestSupport.h"

#include "dimred/UmapGraph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Tervane3;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

TEST(SmoothKnnDistances, ClosedFormsAndFloors)
{
    struct Case
    {
        const char* name;
        std::vector<double> row;
        double sigma;
        double rho;
    };
    const Case cases[] = {
        // Two copies of the point and distances 1, 2: every sum is at least 3 > log2(4),
        // so the search halves sigma to 2^-64 and the floor 0.001 x mean (0.75) decides.
        {"duplicates", {0, 0, 1, 2}, 0.00075, 1.0},
        // k = 2, target 1, two equal distances sum to 2 for every sigma: floor of the mean.
        {"two equal", {0.5, 0.5}, 0.0005, 0.5},
        // No finite distance: the sum stays 0 below the target and sigma doubles 64 times.
        {"no neighbours", {kInf, kInf, kInf}, 0x1.0p64, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> sigma, rho;
        umapSmoothKnnDistances(c.row, 1, static_cast<int>(c.row.size()), sigma, rho);
        EXPECT_NEAR_REL(sigma[0], c.sigma, 1e-12);
        EXPECT_EQ(rho[0], c.rho);
    }
}

TEST(SmoothKnnDistances, AgreesWithUmapLearn)
{
    // Rows whose sigma is set by the search, not by the floor (umap-learn takes the floor's
    // mean over the point itself too).
    const struct
    {
        std::vector<double> row;
        double sigma;
        double rho;
    } cases[] = {
        {{0.5, 0.875, 1.25, 2.0, 2.25}, 0.8264312744140625, 0.5},
        {{0.125, 0.125, 0.375, 3.0, 3.5}, 0.2205657958984375, 0.125},
        {{0.25, 0.6875, 0.75, 0.8125, 5.0}, 0.607269287109375, 0.25},
        {{1.5, 1.75, 2.0, 2.5, 4.0}, 0.6141357421875, 1.5},
    };
    std::vector<double> table;
    for (const auto& c : cases)
        table.insert(table.end(), c.row.begin(), c.row.end());
    std::vector<double> sigma, rho;
    umapSmoothKnnDistances(table, 4, 5, sigma, rho);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR_REL(sigma[i], cases[i].sigma, 1e-6) << i;
        EXPECT_EQ(rho[i], cases[i].rho) << i;
    }
}

TEST(FuzzyUnion, OneEdgePerPairInRowAndSlotOrder)
{
    // Row 0: 1 (0.5), 2 (0.4); row 1: 0 (0.5), 3 (1.0); row 2: 3 (0.2), -1; row 3: 2 (0.6), 0 (0.3).
    const std::vector<int32_t> idx = {1, 2, 0, 3, 3, -1, 2, 0};
    const std::vector<double> w = {0.5, 0.4, 0.5, 1.0, 0.2, 0.0, 0.6, 0.3};
    const std::vector<UmapEdge> edges = umapFuzzyUnion(idx, w, 4, 2);
    const struct
    {
        int head, tail;
        double weight;
    } expected[] = {
        {0, 1, 0.75},                  // mutual 0.5 and 0.5
        {0, 2, 0.4},                   // one-sided
        {1, 3, 1.0},                   // one-sided, weight 1
        {2, 3, 0.2 + 0.6 - 0.2 * 0.6}, // mutual, started by row 2
        {3, 0, 0.3},                   // one-sided from the later row
    };
    ASSERT_EQ(edges.size(), 5u);
    for (size_t e = 0; e < edges.size(); ++e) {
        SCOPED_TRACE(e);
        EXPECT_EQ(edges[e].head, expected[e].head);
        EXPECT_EQ(edges[e].tail, expected[e].tail);
        EXPECT_DOUBLE_EQ(edges[e].weight, expected[e].weight);
    }
}

TEST(FuzzyUnion, ZeroWeightsGiveNoEdge)
{
    const std::vector<int32_t> idx = {1, 0};
    const std::vector<double> w = {0.0, 0.0};
    EXPECT_TRUE(umapFuzzyUnion(idx, w, 2, 1).empty());
}

TEST(CsrGraph, StoresEachEdgeTwiceAndDropsSelfLoops)
{
    const std::vector<UmapEdge> edges = {{0, 1, 0.5}, {3, 3, 0.9}, {1, 3, 0.25}, {2, 0, 1.0}};
    const CsrGraph g = buildCsrGraph(edges, 4);
    EXPECT_EQ(g.vertexCount(), 4u);
    EXPECT_EQ(g.offsets, (std::vector<uint64_t>{0, 2, 4, 5, 6}));
    // Within a row the entries follow the edge list.
    EXPECT_EQ(g.neighbours, (std::vector<int32_t>{1, 2, 0, 3, 0, 1}));
    EXPECT_EQ(g.weights, (std::vector<double>{0.5, 1.0, 0.5, 0.25, 1.0, 0.25}));
}

TEST(CsrGraph, ComponentsAndSubgraph)
{
    // {0, 2, 4} joined, {1, 3} joined, {5} alone.
    const std::vector<UmapEdge> edges = {{0, 2, 0.5}, {3, 1, 0.7}, {2, 4, 0.9}};
    const CsrGraph g = buildCsrGraph(edges, 6);
    std::vector<int32_t> labels;
    EXPECT_EQ(connectedComponents(g, labels), 3);
    EXPECT_EQ(labels, (std::vector<int32_t>{0, 1, 0, 1, 0, 2}));

    std::vector<int32_t> vertices;
    const CsrGraph sub = componentSubgraph(g, labels, 0, vertices);
    EXPECT_EQ(vertices, (std::vector<int32_t>{0, 2, 4}));
    EXPECT_EQ(sub.offsets, (std::vector<uint64_t>{0, 1, 3, 4}));
    EXPECT_EQ(sub.neighbours, (std::vector<int32_t>{1, 0, 2, 1}));
    EXPECT_EQ(sub.weights, (std::vector<double>{0.5, 0.5, 0.9, 0.9}));

    const CsrGraph single = componentSubgraph(g, labels, 2, vertices);
    EXPECT_EQ(vertices, (std::vector<int32_t>{5}));
    EXPECT_EQ(single.offsets, (std::vector<uint64_t>{0, 0}));
}

} // namespace
