// Starting layout of UMAP: Lanczos eigenvectors on graphs with known spectra, the
// component layout, MDS, the small Jacobi solver and the curve parameters (umap-learn's
// values from tools/dimred/reference_values.py).
#include "DimRedTestData.h"
#include "support/TestSupport.h"

#include "core/ParallelFor.h"
#include "dimred/UmapGraph.h"
#include "dimred/UmapSpectral.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Tervane3;
namespace TD = Tervane3::Test;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<UmapEdge> cycleEdges(int n, int offset = 0)
{
    std::vector<UmapEdge> edges;
    for (int i = 0; i < n; ++i)
        edges.push_back({offset + i, offset + (i + 1) % n, 1.0});
    return edges;
}

TEST(SpectralEmbedding, CycleLiesOnACircleInEvenSteps)
{
    // The normalised Laplacian of a cycle has the eigenvectors cos and sin of 2 pi i / n:
    // as unit vectors they put vertex i at radius sqrt(2 / n), 2 pi / n from the next.
    // n = 5 and 6 are the smallest Krylov sizes (2 and 3) the solver accepts.
    for (const int n : {100, 6, 5}) {
        SCOPED_TRACE(n);
        std::vector<double> out;
        ASSERT_TRUE(spectralEmbedding(buildCsrGraph(cycleEdges(n), static_cast<uint64_t>(n)), 2, 42, out));
        ASSERT_EQ(out.size(), static_cast<size_t>(2 * n));
        const double radius = std::sqrt(2.0 / n);
        double orientation = 0.0;
        for (int i = 0; i < n; ++i) {
            const double x = out[2 * i], y = out[2 * i + 1];
            EXPECT_NEAR(std::hypot(x, y), radius, 1e-9);
            const int j = (i + 1) % n;
            double step = std::atan2(out[2 * j + 1], out[2 * j]) - std::atan2(y, x);
            step = std::remainder(step, 2 * kPi);
            if (i == 0)
                orientation = step > 0 ? 1.0 : -1.0;
            EXPECT_NEAR(step, orientation * 2 * kPi / n, 1e-8);
        }
    }
}

TEST(SpectralEmbedding, RefusesTooSmallOrDegreelessGraphs)
{
    std::vector<double> out;
    EXPECT_FALSE(spectralEmbedding(buildCsrGraph(cycleEdges(3), 3), 2, 1, out));
    // n = 4 allows a Krylov size of 1 only.
    EXPECT_FALSE(spectralEmbedding(buildCsrGraph(cycleEdges(4), 4), 2, 1, out));
    // Vertex 5 has no edge: degree 0.
    EXPECT_FALSE(spectralEmbedding(buildCsrGraph(cycleEdges(5), 6), 2, 1, out));
}

TEST(SpectralEmbedding, SameLayoutOnOneThreadAndMany)
{
    // The 10-neighbour graph of 1500 random points on a sphere spans two row blocks.
    TD::SplitMix r(17);
    std::vector<double> pts;
    for (int i = 0; i < 1500; ++i) {
        const double z = 2 * r.uniform() - 1, phi = 2 * kPi * r.uniform(), s = std::sqrt(1 - z * z);
        pts.insert(pts.end(), {s * std::cos(phi), s * std::sin(phi), z});
    }
    const DimRedMatrix X = TD::makeMatrix(1500, 3, pts);
    std::vector<int32_t> idx;
    std::vector<double> dist;
    X.exactKnn(1500, 3, 10, idx, dist);
    const CsrGraph g = buildCsrGraph(umapFuzzyUnion(idx, std::vector<double>(idx.size(), 0.5), 1500, 10), 1500);
    std::vector<double> one, many;
    setWorkerThreadLimit(1);
    const bool okOne = spectralEmbedding(g, 2, 3, one);
    setWorkerThreadLimit(0);
    const bool okMany = spectralEmbedding(g, 2, 3, many);
    EXPECT_TRUE(okOne);
    EXPECT_TRUE(okMany);
    EXPECT_EQ(one, many);
}

TEST(JacobiEigenSmall, AscendingValuesWithMatchingVectors)
{
    std::vector<double> A = {4, 1, 2, 1, 3, 0, 2, 0, 5};
    const std::vector<double> original = A;
    std::vector<double> values, vectors;
    jacobiEigenSmall(A, 3, values, vectors);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_NEAR(values[0] + values[1] + values[2], 12.0, 1e-12);
    for (int k = 0; k < 3; ++k) {
        for (int r = 0; r < 3; ++r) {
            double av = 0;
            for (int c = 0; c < 3; ++c)
                av += original[r * 3 + c] * vectors[c * 3 + k];
            EXPECT_NEAR(av, values[k] * vectors[r * 3 + k], 1e-12);
        }
    }
}

TEST(ClassicalMds, ReproducesPlanarDistances)
{
    const double pts[4][2] = {{0, 0}, {3, 0}, {0, 4}, {1, 1}};
    std::vector<double> D(16);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            D[i * 4 + j] = std::hypot(pts[i][0] - pts[j][0], pts[i][1] - pts[j][1]);
    const std::vector<double> c = classicalMds(D, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(std::hypot(c[2 * i] - c[2 * j], c[2 * i + 1] - c[2 * j + 1]), D[i * 4 + j], 1e-9);
}

TEST(ComponentLayout, SmallComponentsFillSquaresAroundTheirPositions)
{
    // Components of 3 and 4 points never get a spectral layout; their centres are 2 apart
    // on the x axis, so MDS places them at +-1 and each fills the square of half-width 1.
    std::vector<UmapEdge> edges = {{0, 1, 1}, {1, 2, 1}, {3, 4, 1}, {4, 5, 1}, {5, 6, 1}};
    const DimRedMatrix X = TD::makeMatrix(7, 1, {0, 0, 0, 2, 2, 2, 2});
    const CsrGraph g = buildCsrGraph(edges, 7);
    std::vector<int32_t> labels;
    ASSERT_EQ(connectedComponents(g, labels), 2);
    std::vector<double> layout;
    ASSERT_TRUE(componentLayout(g, X, labels, 2, 42, layout));
    const double sideA = layout[0] > 0 ? 1.0 : -1.0; // MDS fixes the axis up to sign
    for (int v = 0; v < 7; ++v) {
        const double centre = v < 3 ? sideA : -sideA;
        EXPECT_LE(std::fabs(layout[2 * v] - centre), 1.0);
        EXPECT_LE(std::fabs(layout[2 * v + 1]), 1.0);
    }
    EXPECT_NE(layout[0], layout[2]);
}

TEST(UmapSpectralInit, TwoComponentsLandOnTwoSidesScaledToTen)
{
    // Two cycles of 30 around centres 2 apart: each component's own layout has largest
    // coordinate 1 around +-1, so the whole spans [-10, 10] on x before the 1e-4 noise.
    std::vector<UmapEdge> edges = cycleEdges(30);
    const std::vector<UmapEdge> second = cycleEdges(30, 30);
    edges.insert(edges.end(), second.begin(), second.end());
    std::vector<double> x(60, 0.0);
    std::fill(x.begin() + 30, x.end(), 2.0);
    const DimRedMatrix X = TD::makeMatrix(60, 1, x);
    std::vector<double> layout;
    ASSERT_TRUE(umapSpectralInit(edges, X, 42, layout));
    double mx = 0;
    for (double v : layout)
        mx = std::max(mx, std::fabs(v));
    EXPECT_NEAR(mx, 10.0, 1e-3);
    const double sideA = layout[0] > 0 ? 1.0 : -1.0;
    for (int v = 0; v < 60; ++v)
        EXPECT_GT((v < 30 ? sideA : -sideA) * layout[2 * v], -1e-3) << v;
}

TEST(UmapSpectralInit, FailsWhereNoSpectralLayoutExists)
{
    std::vector<double> layout;
    // More than 256 components: 257 joined pairs.
    std::vector<UmapEdge> pairs;
    for (int c = 0; c < 257; ++c)
        pairs.push_back({2 * c, 2 * c + 1, 1.0});
    EXPECT_FALSE(umapSpectralInit(pairs, TD::makeMatrix(514, 1, std::vector<double>(514, 0.0)), 1, layout));
    EXPECT_EQ(layout.size(), 1028u);
    // Four points, an edge out of range, no edges.
    EXPECT_FALSE(umapSpectralInit(cycleEdges(4), TD::makeMatrix(4, 1, {0, 1, 2, 3}), 1, layout));
    EXPECT_FALSE(umapSpectralInit({{0, 7, 1.0}}, TD::makeMatrix(6, 1, std::vector<double>(6, 0.0)), 1, layout));
    EXPECT_FALSE(umapSpectralInit({}, TD::makeMatrix(6, 1, std::vector<double>(6, 0.0)), 1, layout));
}

TEST(UmapFindAbParams, AgreesWithUmapLearn)
{
    const struct
    {
        double spread, minDist, a, b;
    } cases[] = {
        {1.0, 0.1, 1.5769434601962196, 0.8950608779914887},
        {1.0, 0.0, 1.9328083975546724, 0.7904949734010681},
        {1.0, 0.5, 0.583030020479462, 1.3341669929263487},
        {2.0, 0.3, 0.3794946888755375, 0.9488152190879922},
        {1.0, 0.99, 0.11930530006447332, 1.9163904159174419},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minDist);
        double a = 0, b = 0;
        umapFindAbParams(c.minDist, c.spread, a, b);
        EXPECT_NEAR_REL(a, c.a, 1e-5);
        EXPECT_NEAR_REL(b, c.b, 1e-5);
    }
}

} // namespace
