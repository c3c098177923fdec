// Event densities: the bin-count choice, the kernel grid and its interpolation (against an
// independent numpy computation of the same estimator), the histogram and the
// nearest-neighbour estimates (against a literal ring-by-ring search), and the handling
// of non-finite events.
#include "core/DensityEstimator.h"
#include "core/ParallelFor.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

using namespace Tervane3;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Ten events; the reference values below come from a numpy implementation of the same
// estimator that smooths by a direct two-dimensional sum.
const std::vector<double> kSmallX{1.0, 2.0, 2.5, 3.0, 3.2, 4.0, 5.5, 2.2, 2.8, 3.9};
const std::vector<double> kSmallY{10.0, 12.0, 11.0, 15.0, 14.0, 13.5, 20.0, 11.5, 12.5, 16.0};

// Bell-shaped data from a Park-Miller generator; numpy reproduces it bit for bit.
void lcgData(size_t n, std::vector<double>& x, std::vector<double>& y)
{
    int64_t s = 12345;
    const auto u = [&s]() {
        s = (s * 48271) % 2147483647;
        return static_cast<double>(s) / 2147483647.0;
    };
    x.resize(n);
    y.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const double a = u(), b = u(), c = u(), d = u();
        const double e = u(), f = u(), g = u(), h = u();
        x[i] = 60.0 + 20.0 * (((a + b) + c) + d - 2.0);
        y[i] = 0.02 + 0.01 * (((e + f) + g) + h - 2.0) + 0.0002 * x[i];
    }
}

// The nearest-neighbour estimate searched literally: ring after ring of a hashed grid,
// listing every distance, then selecting the m-th.
std::vector<double> knnByRings(const std::vector<double>& x, const std::vector<double>& y)
{
    const size_t n = x.size();
    if (n <= 1)
        return std::vector<double>(n, 1.0);
    const int k = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(n))));
    const int G = std::max(1, static_cast<int>(std::sqrt(n / 20.0)));
    const double minX = *std::min_element(x.begin(), x.end());
    const double minY = *std::min_element(y.begin(), y.end());
    double rx = *std::max_element(x.begin(), x.end()) - minX;
    double ry = *std::max_element(y.begin(), y.end()) - minY;
    if (rx <= 0)
        rx = 1;
    if (ry <= 0)
        ry = 1;
    const double wx = rx / G, wy = ry / G;
    std::vector<int> col(n), row(n);
    std::vector<std::vector<size_t>> cells(static_cast<size_t>(G) * G);
    for (size_t i = 0; i < n; ++i) {
        col[i] = std::clamp(static_cast<int>((x[i] - minX) / wx), 0, G - 1);
        row[i] = std::clamp(static_cast<int>((y[i] - minY) / wy), 0, G - 1);
        cells[static_cast<size_t>(row[i]) * G + col[i]].push_back(i);
    }
    std::vector<double> out(n);
    for (size_t i = 0; i < n; ++i) {
        std::vector<double> d2;
        for (int r = 0; static_cast<int>(d2.size()) < k && r <= G; ++r) {
            for (int rr = row[i] - r; rr <= row[i] + r; ++rr) {
                for (int cc = col[i] - r; cc <= col[i] + r; ++cc) {
                    if (rr < 0 || cc < 0 || rr >= G || cc >= G)
                        continue;
                    if (std::max(std::abs(rr - row[i]), std::abs(cc - col[i])) != r)
                        continue;
                    for (const size_t j : cells[static_cast<size_t>(rr) * G + cc]) {
                        if (j == i)
                            continue;
                        const double dx = x[i] - x[j];
                        const double dy = y[i] - y[j];
                        d2.push_back(dx * dx + dy * dy);
                    }
                }
            }
        }
        if (d2.empty()) {
            out[i] = 0.0;
            continue;
        }
        const size_t m = std::min(static_cast<size_t>(k), d2.size());
        std::nth_element(d2.begin(), d2.begin() + static_cast<ptrdiff_t>(m - 1), d2.end());
        const double d = d2[m - 1];
        out[i] = d > 0 ? m / (M_PI * d) : static_cast<double>(m);
    }
    return out;
}

void expectSameValues(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < actual.size(); ++i) {
        const bool same = actual[i] == expected[i] || (std::isnan(actual[i]) && std::isnan(expected[i]));
        if (!same && ++mismatches <= 5)
            ADD_FAILURE() << "event " << i << ": " << actual[i] << " != " << expected[i];
    }
    EXPECT_EQ(mismatches, 0u);
}

} // namespace

TEST(DensityEstimator, Quantile)
{
    EXPECT_DOUBLE_EQ(DensityEstimator::quantile({1, 2, 3, 4}, 0.25), 1.75);
    EXPECT_DOUBLE_EQ(DensityEstimator::quantile({1, 2, 3, 4}, 0.75), 3.25);
    EXPECT_DOUBLE_EQ(DensityEstimator::quantile({1, 2, 3, 4}, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(DensityEstimator::quantile({1, 2, 3, 4}, 1.0), 4.0);
    EXPECT_DOUBLE_EQ(DensityEstimator::quantile({7}, 0.5), 7.0);
    EXPECT_EQ(DensityEstimator::quantile({}, 0.5), 0.0);
}

TEST(DensityEstimator, ChooseBinCount)
{
    EXPECT_EQ(DensityEstimator::chooseBinCount({1, 2, 3}, {4, 5, 6}), 32);
    EXPECT_EQ(DensityEstimator::chooseBinCount(kSmallX, kSmallY), 32);
    std::vector<double> x, y;
    lcgData(100000, x, y);
    ASSERT_EQ(x[0], 72.84405869098569); // the same events as numpy made
    ASSERT_EQ(y[99999], 0.022365855472332732);
    // numpy's cost minimum over the 20 candidates (32, 37, 43, ...) for these events.
    EXPECT_EQ(DensityEstimator::chooseBinCount(x, y), 43);
}

TEST(DensityEstimator, KernelGridMatchesTheReference)
{
    const DensityGrid grid = DensityEstimator::kdeGrid(kSmallX, kSmallY, 8);
    ASSERT_EQ(grid.bins, 8);
    ASSERT_EQ(grid.values.size(), 64u);
    EXPECT_NEAR_REL(grid.xMin, -1.211657089852336, 1e-12);
    EXPECT_NEAR_REL(grid.yMin, 5.2334976511803095, 1e-12);
    EXPECT_NEAR_REL(grid.dx, 1.115414272463084, 1e-12);
    EXPECT_NEAR_REL(grid.dy, 2.441625587204923, 1e-12);
    EXPECT_NEAR_REL(grid.at(3, 2), 0.4633783627193478, 1e-12);
    EXPECT_NEAR_REL(grid.at(4, 4), 0.5587569261740777, 1e-12);
    double sum = 0.0;
    for (const double v : grid.values)
        sum += v;
    EXPECT_NEAR_REL(sum, 9.976630412668806, 1e-12);

    const std::vector<double> expected{0.44544542861344755, 0.9977721967956185, 1.240550969069258,
                                       0.793034404403921,   1.0146180690017466, 0.6849652139549428,
                                       0.1790314694974321,  1.182018456565292,  1.3183442838787804,
                                       0.5479564761256196};
    const std::vector<double> values = DensityEstimator::interpolateGrid(grid, kSmallX, kSmallY);
    ASSERT_EQ(values.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR_REL(values[i], expected[i], 1e-12);
}

TEST(DensityEstimator, KernelDensityAtEveryEvent)
{
    // The automatic bin count (32 here) and the interpolation at the events.
    const std::vector<double> expected{0.03118589973298889, 0.07766892964371828, 0.07761502029913925,
                                       0.06540128911228399, 0.08334195505269733, 0.056100109586676786,
                                       0.02205614839528071, 0.08315230638738624, 0.09172619149756908,
                                       0.04552169893093748};
    const std::vector<double> values = DensityEstimator::computeDensity(kSmallX, kSmallY, DensityKde);
    ASSERT_EQ(values.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR_REL(values[i], expected[i], 1e-12);
}

TEST(DensityEstimator, InterpolationHoldsTheBorderValuesOutside)
{
    DensityGrid grid;
    grid.bins = 2;
    grid.xMin = 0.0;
    grid.yMin = 0.0;
    grid.dx = 1.0;
    grid.dy = 1.0;
    grid.values = {1.0, 3.0, 5.0, 7.0}; // centres (0.5, 0.5) (1.5, 0.5) (0.5, 1.5) (1.5, 1.5)
    const std::vector<double> values = DensityEstimator::interpolateGrid(
        grid, {1.0, 0.5, -10.0, 1.0, 10.0, kNaN}, {1.0, 0.5, 0.5, -3.0, 10.0, 1.0});
    EXPECT_DOUBLE_EQ(values[0], 4.0); // the middle of the four centres
    EXPECT_DOUBLE_EQ(values[1], 1.0);
    EXPECT_DOUBLE_EQ(values[2], 1.0);
    EXPECT_DOUBLE_EQ(values[3], 2.0);
    EXPECT_DOUBLE_EQ(values[4], 7.0);
    EXPECT_TRUE(std::isnan(values[5]));
}

TEST(DensityEstimator, HistogramDensity)
{
    // Two bins per axis of width 0.5: the maximum falls into the last bin.
    const std::vector<double> values = DensityEstimator::histogramDensity(
        {0.0, 0.4, 0.6, 1.0, 1.0}, {0.0, 0.0, 0.0, 0.0, 1.0}, 2);
    EXPECT_EQ(values, (std::vector<double>{2, 2, 2, 2, 1}));
    const std::vector<double> constant =
        DensityEstimator::computeDensity({3, 3, 3, 3, 3, 3}, {1, 1, 1, 1, 1, 1}, DensityHistogram);
    EXPECT_EQ(constant, std::vector<double>(6, 6.0));
}

TEST(DensityEstimator, NearestNeighbourSmallCases)
{
    const std::vector<double> two = DensityEstimator::knnDensity({0.0, 3.0}, {0.0, 4.0});
    ASSERT_EQ(two.size(), 2u);
    EXPECT_DOUBLE_EQ(two[0], 1.0 / (M_PI * 25.0));
    EXPECT_DOUBLE_EQ(two[1], 1.0 / (M_PI * 25.0));
    EXPECT_EQ(DensityEstimator::knnDensity({2.0, 2.0}, {5.0, 5.0}), (std::vector<double>{1.0, 1.0}));
    EXPECT_EQ(DensityEstimator::knnDensity({2.0}, {5.0}), (std::vector<double>{1.0}));
}

TEST(DensityEstimator, NearestNeighbourMatchesTheRingSearch)
{
    std::mt19937 rng(2024);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const struct {
        const char* name;
        std::function<void(std::vector<double>&, std::vector<double>&)> make;
    } cases[] = {
        {"gaussian cloud", [&](auto& x, auto& y) {
             for (int i = 0; i < 3000; ++i) {
                 x.push_back(60 + 10 * normal(rng));
                 y.push_back(0.02 + 0.005 * normal(rng));
             }
         }},
        {"quantised values with duplicates", [&](auto& x, auto& y) {
             for (int i = 0; i < 2500; ++i) {
                 x.push_back(std::round(5 * normal(rng)));
                 y.push_back(std::round(3 * normal(rng)));
             }
         }},
        {"most events in one cell", [&](auto& x, auto& y) {
             for (int i = 0; i < 2000; ++i) {
                 x.push_back(1e-3 * normal(rng));
                 y.push_back(1e-3 * normal(rng));
             }
             x.insert(x.end(), {100.0, -80.0, 50.0});
             y.insert(y.end(), {100.0, 90.0, -70.0});
         }},
        {"clusters and a sparse halo", [&](auto& x, auto& y) {
             for (int i = 0; i < 1500; ++i) {
                 x.push_back(normal(rng));
                 y.push_back(normal(rng));
                 x.push_back(8 + 0.3 * normal(rng));
                 y.push_back(3 + 0.3 * normal(rng));
             }
             for (int i = 0; i < 300; ++i) {
                 x.push_back(-20 + 40 * uniform(rng));
                 y.push_back(-20 + 40 * uniform(rng));
             }
         }},
        {"crowded cells beside a wide sparse tail", [&](auto& x, auto& y) {
             // The dim population packs thousands of events into a few coarse cells.
             for (int i = 0; i < 6000; ++i) {
                 x.push_back(0.05 * normal(rng));
                 y.push_back(0.05 * normal(rng));
             }
             for (int i = 0; i < 1500; ++i) {
                 x.push_back(std::exp(6 * uniform(rng)));
                 y.push_back(std::exp(6 * uniform(rng)));
             }
         }},
        {"all on one point", [&](auto& x, auto& y) {
             x.assign(400, 1.5);
             y.assign(400, -2.0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> x, y;
        c.make(x, y);
        expectSameValues(DensityEstimator::knnDensity(x, y), knnByRings(x, y));
    }
}

TEST(DensityEstimator, FourIdenticalEvents)
{
    const std::vector<double> x(4, 7.0), y(4, -1.0);
    const std::vector<double> kde = DensityEstimator::computeDensity(x, y, DensityKde);
    ASSERT_EQ(kde.size(), 4u);
    EXPECT_GT(kde[0], 0.0);
    EXPECT_TRUE(std::all_of(kde.begin(), kde.end(), [&](double v) { return v == kde[0]; }));
    EXPECT_EQ(DensityEstimator::computeDensity(x, y, DensityHistogram), std::vector<double>(4, 4.0));
    // k = 2 of the three others, all at distance 0.
    EXPECT_EQ(DensityEstimator::computeDensity(x, y, DensityKnn), std::vector<double>(4, 2.0));
}

TEST(DensityEstimator, NonFiniteEventsAreLeftOut)
{
    const std::vector<double> x{1.0, kNaN, 2.0, 3.0, kInf, 2.5, 4.0, 1.5};
    const std::vector<double> y{2.0, 1.0, kNaN, 3.0, 1.0, 2.5, 1.0, -kInf};
    const std::vector<double> finiteX{1.0, 3.0, 2.5, 4.0};
    const std::vector<double> finiteY{2.0, 3.0, 2.5, 1.0};
    const std::vector<size_t> finiteIndex{0, 3, 5, 6};
    for (const int method : {DensityKde, DensityHistogram, DensityKnn}) {
        SCOPED_TRACE(method);
        const std::vector<double> all = DensityEstimator::computeDensity(x, y, method);
        const std::vector<double> finite = DensityEstimator::computeDensity(finiteX, finiteY, method);
        ASSERT_EQ(all.size(), x.size());
        for (size_t i = 0, f = 0; i < x.size(); ++i) {
            if (f < finiteIndex.size() && finiteIndex[f] == i)
                EXPECT_EQ(all[i], finite[f++]);
            else
                EXPECT_TRUE(std::isnan(all[i])) << i;
        }
    }
    // Three finite events among the others: nothing to estimate.
    const std::vector<double> three = DensityEstimator::computeDensity(
        {1.0, kNaN, 2.0, 3.0, kInf}, {1.0, 1.0, 5.0, 2.0, 1.0}, DensityKde);
    EXPECT_TRUE(std::all_of(three.begin(), three.end(), [](double v) { return std::isnan(v); }));
    // The grid and the bin count ignore them too.
    EXPECT_EQ(DensityEstimator::kdeGrid(x, y, 8).values, DensityEstimator::kdeGrid(finiteX, finiteY, 8).values);
    EXPECT_EQ(DensityEstimator::kdeGrid({kNaN}, {1.0}, 8).bins, 0);
}

TEST(DensityEstimator, UnknownMethodGivesNaN)
{
    const std::vector<double> values = DensityEstimator::computeDensity(kSmallX, kSmallY, 5);
    ASSERT_EQ(values.size(), kSmallX.size());
    EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](double v) { return std::isnan(v); }));
}

TEST(DensityEstimator, ThreadCountDoesNotChangeResults)
{
    std::mt19937 rng(99);
    std::lognormal_distribution<double> area(std::log(60.0), 0.3);
    std::gamma_distribution<double> deform(4.0, 0.005);
    const size_t n = 150000;
    std::vector<double> x(n), y(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = area(rng);
        y[i] = deform(rng) + 0.0001 * x[i];
    }
    std::vector<std::vector<double>> results[2];
    for (const int limit : {1, 0}) {
        setWorkerThreadLimit(limit);
        auto& out = results[limit == 1 ? 0 : 1];
        for (const int method : {DensityKde, DensityHistogram, DensityKnn})
            out.push_back(DensityEstimator::computeDensity(x, y, method));
    }
    setWorkerThreadLimit(0);
    for (size_t m = 0; m < 3; ++m) {
        SCOPED_TRACE(m);
        expectSameValues(results[1][m], results[0][m]);
    }
}
