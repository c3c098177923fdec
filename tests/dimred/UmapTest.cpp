// UMAP fit and transform: preconditions, resolved parameters, progress and stopping, the
// initialisation actually used, reproducibility at any thread count, and that the result
// keeps separated groups apart and places new rows beside their neighbours.
#include "DimRedTestData.h"
#include "support/TestSupport.h"

#include "core/ParallelFor.h"
#include "dimred/Umap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Tervane3;
namespace TD = Tervane3::Test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

UmapParams quickParams(int epochs, int init = UmapInitSpectral)
{
    UmapParams p;
    p.nEpochs = epochs;
    p.init = init;
    return p;
}

// Mean of the embedded rows [begin, end).
std::pair<double, double> centroid(const std::vector<double>& e, int begin, int end)
{
    double x = 0, y = 0;
    for (int i = begin; i < end; ++i) {
        x += e[2 * i];
        y += e[2 * i + 1];
    }
    return {x / (end - begin), y / (end - begin)};
}

double dist(double x, double y, std::pair<double, double> c) { return std::hypot(x - c.first, y - c.second); }

TEST(FitUmap, NeedsFiveRowsAndAColumn)
{
    EXPECT_FALSE(fitUmap(TD::makeMatrix(4, 1, {0, 1, 2, 3}), quickParams(5), {}).fitted);
    EXPECT_FALSE(fitUmap(TD::makeMatrix(5, 0, {}), quickParams(5), {}).fitted);
    const UmapModel m = fitUmap(TD::makeMatrix(5, 1, {0, 1, 2, 3, 4.5}), quickParams(5), {});
    ASSERT_TRUE(m.fitted);
    EXPECT_EQ(m.n, 5u);
    EXPECT_EQ(m.embedding.size(), 10u);
    EXPECT_EQ(m.nNeighbors, 15); // copied as given; the graph used 4
}

TEST(FitUmap, NeighbourCountsBelowTwoActAsTwo)
{
    const DimRedMatrix X = TD::blobMatrix(2, 20, 2, 5.0, 1);
    std::vector<double> embeddings[4];
    for (int nn = 0; nn <= 3; ++nn) {
        UmapParams p = quickParams(20);
        p.nNeighbors = nn;
        embeddings[nn] = fitUmap(X, p, {}).embedding;
    }
    EXPECT_EQ(embeddings[0], embeddings[2]);
    EXPECT_EQ(embeddings[1], embeddings[2]);
    EXPECT_NE(embeddings[3], embeddings[2]);
}

TEST(FitUmap, AutomaticEpochsDropAboveTenThousandRows)
{
    // After epoch e the fit reports 35 + floor(60 (e + 1) / E): 36 first comes after 9
    // epochs for E = 500 and after 4 for E = 200. The fit is stopped there.
    for (const auto& [rows, reportsAt35] : {std::pair<int, int>{10000, 9}, {10001, 4}}) {
        SCOPED_TRACE(rows);
        TD::SplitMix r(static_cast<uint64_t>(rows));
        std::vector<double> data(static_cast<size_t>(rows));
        for (double& v : data)
            v = r.uniform();
        UmapParams p = quickParams(0, UmapInitRandom);
        p.nNeighbors = 2;
        int at35 = 0;
        fitUmap(TD::makeMatrix(static_cast<uint64_t>(rows), 1, data), p, [&](int percent) {
            at35 += percent == 35;
            return percent <= 35;
        });
        EXPECT_EQ(at35, reportsAt35);
    }
    // The model keeps the resolved count.
    const UmapModel small = fitUmap(TD::blobMatrix(1, 12, 1, 0.0, 9), quickParams(0, UmapInitRandom), {});
    EXPECT_EQ(small.nEpochs, 500);
}

TEST(FitUmap, ReportsProgressAndStopsOnRequest)
{
    const DimRedMatrix X = TD::blobMatrix(2, 15, 3, 4.0, 2);
    std::vector<int> seen;
    const UmapModel m = fitUmap(X, quickParams(3), [&](int p) {
        seen.push_back(p);
        return true;
    });
    EXPECT_TRUE(m.fitted);
    EXPECT_EQ(seen, (std::vector<int>{0, 20, 30, 35, 55, 75, 95, 100}));
    EXPECT_EQ(m.nEpochs, 3);

    for (const int stopAt : {0, 20, 30, 35, 75}) {
        SCOPED_TRACE(stopAt);
        const UmapModel stopped = fitUmap(X, quickParams(3), [&](int p) { return p != stopAt; });
        EXPECT_FALSE(stopped.fitted);
        EXPECT_TRUE(stopped.embedding.empty());
    }
}

TEST(FitUmap, RecordsTheInitialisationUsed)
{
    const DimRedMatrix blobs = TD::blobMatrix(2, 30, 3, 6.0, 3);
    const UmapModel spectral = fitUmap(blobs, quickParams(10), {});
    EXPECT_EQ(spectral.initUsed, UmapInitSpectral);
    EXPECT_EQ(spectral.randomInit, UmapInitSpectral);
    const UmapModel random = fitUmap(blobs, quickParams(10, UmapInitRandom), {});
    EXPECT_EQ(random.initUsed, UmapInitRandom);
    EXPECT_EQ(random.randomInit, UmapInitRandom);

    // 257 groups of 5 far apart: with 4 neighbours each group is a component of its own,
    // too many for a spectral layout, so the fit starts at random although spectral was
    // asked for.
    UmapParams p = quickParams(1);
    p.nNeighbors = 4;
    const UmapModel many = fitUmap(TD::blobMatrix(257, 5, 1, 100.0, 4), p, {});
    ASSERT_TRUE(many.fitted);
    EXPECT_EQ(many.randomInit, UmapInitSpectral);
    EXPECT_EQ(many.initUsed, UmapInitRandom);
}

TEST(FitUmap, KeepsSeparatedGroupsApart)
{
    const DimRedMatrix X = TD::blobMatrix(2, 60, 4, 5.0, 5);
    const UmapModel m = fitUmap(X, quickParams(100), {});
    ASSERT_TRUE(m.fitted);
    EXPECT_EQ(m.trainData, X.data);
    EXPECT_EQ(m.dims, 4u);
    EXPECT_NEAR(m.a, 1.577, 1e-3);
    EXPECT_NEAR(m.b, 0.895, 1e-3);
    const auto ca = centroid(m.embedding, 0, 60), cb = centroid(m.embedding, 60, 120);
    for (int i = 0; i < 120; ++i) {
        const double x = m.embedding[2 * i], y = m.embedding[2 * i + 1];
        ASSERT_TRUE(std::isfinite(x) && std::isfinite(y));
        EXPECT_EQ(dist(x, y, ca) < dist(x, y, cb), i < 60) << i;
    }
}

TEST(FitUmap, SameEmbeddingForTheSameSeedAtAnyThreadCount)
{
    // 2400 rows: the neighbour search, smoothing and layout run in several blocks.
    const DimRedMatrix X = TD::blobMatrix(3, 800, 3, 0.5, 6);
    const UmapParams p = quickParams(5);
    setWorkerThreadLimit(1);
    const UmapModel one = fitUmap(X, p, {});
    setWorkerThreadLimit(0);
    const UmapModel many = fitUmap(X, p, {});
    ASSERT_TRUE(one.fitted);
    EXPECT_EQ(one.initUsed, UmapInitSpectral);
    EXPECT_EQ(many.initUsed, UmapInitSpectral);
    EXPECT_EQ(one.embedding, many.embedding);
}

TEST(FitUmap, SeedChoosesTheEmbedding)
{
    const DimRedMatrix X = TD::blobMatrix(2, 30, 3, 0.5, 6);
    UmapParams p = quickParams(20);
    const UmapModel first = fitUmap(X, p, {});
    EXPECT_EQ(fitUmap(X, p, {}).embedding, first.embedding);
    p.seed = 43;
    EXPECT_NE(fitUmap(X, p, {}).embedding, first.embedding);
}

class TransformUmap : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        model = new UmapModel(fitUmap(TD::blobMatrix(2, 60, 3, 5.0, 7), quickParams(40), {}));
    }
    static void TearDownTestSuite() { delete model; }
    static UmapModel* model;
};
UmapModel* TransformUmap::model = nullptr;

TEST_F(TransformUmap, PlacesNewRowsBesideTheirGroupAndLeavesBadRowsNaN)
{
    ASSERT_TRUE(model->fitted);
    // Rows inside each group, a row with a NaN, and one with an infinity.
    const DimRedMatrix Y = TD::makeMatrix(4, 3, {0.5, 0.5, 0.5, 5.5, 5.4, 5.6, kNaN, 1, 1, 0.5,
                                                 std::numeric_limits<double>::infinity(), 0.5});
    std::vector<double> out;
    transformUmap(*model, Y, out, {});
    ASSERT_EQ(out.size(), 8u);
    const auto ca = centroid(model->embedding, 0, 60), cb = centroid(model->embedding, 60, 120);
    EXPECT_LT(dist(out[0], out[1], ca), dist(out[0], out[1], cb));
    EXPECT_LT(dist(out[2], out[3], cb), dist(out[2], out[3], ca));
    for (int v = 4; v < 8; ++v)
        EXPECT_TRUE(std::isnan(out[static_cast<size_t>(v)]));
}

TEST_F(TransformUmap, RunsAThirdOfTheFitEpochs)
{
    const DimRedMatrix Y = TD::makeMatrix(1, 3, {0.5, 0.5, 0.5});
    for (const auto& [fitEpochs, expected] : {std::pair<int, int>{40, 13}, {2, 1}}) {
        UmapModel m = *model;
        m.nEpochs = fitEpochs;
        std::vector<int> seen;
        std::vector<double> out;
        transformUmap(m, Y, out, [&](int p) {
            seen.push_back(p);
            return true;
        });
        ASSERT_GE(seen.size(), 4u);
        EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 3), (std::vector<int>{0, 30, 60}));
        EXPECT_EQ(static_cast<int>(seen.size()) - 4, expected); // epochs between 60 and 100
        EXPECT_EQ(seen.back(), 100);
    }
}

TEST_F(TransformUmap, StopsAndRefusesWithNaN)
{
    const DimRedMatrix Y = TD::makeMatrix(1, 3, {0.5, 0.5, 0.5});
    std::vector<double> out;
    transformUmap(*model, Y, out, [](int p) { return p < 30; });
    EXPECT_TRUE(std::isnan(out[0]));
    transformUmap(*model, Y, out, [](int p) { return p < 60; });
    EXPECT_TRUE(std::isfinite(out[0])); // the initial position
    transformUmap(*model, TD::makeMatrix(1, 4, {0.5, 0.5, 0.5, 0.5}), out, {});
    EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[1]));
    transformUmap(UmapModel{}, Y, out, {});
    EXPECT_TRUE(std::isnan(out[0]));
}

TEST_F(TransformUmap, SameOutputAtAnyThreadCountAndNoTrainingMove)
{
    TD::SplitMix r(8);
    std::vector<double> data(9000 * 3);
    for (double& v : data)
        v = r.uniform() * 6.0 - 0.5;
    const DimRedMatrix Y = TD::makeMatrix(9000, 3, data);
    const std::vector<double> before = model->embedding;
    std::vector<double> one, many;
    setWorkerThreadLimit(1);
    transformUmap(*model, Y, one, {});
    setWorkerThreadLimit(0);
    transformUmap(*model, Y, many, {});
    EXPECT_EQ(one, many);
    EXPECT_EQ(model->embedding, before);
}

} // namespace
