// The worker side of dimension-reduction runs on readers of tiny files the test writes: the
// progress each kind of run reports, the training events a dataset contributes, and rows
// read past a short column.
#include "DimRedTestData.h"
#include "support/RtdcFixture.h"
#include "support/TestSupport.h"

#include "core/RTDCReader.h"
#include "dimred/DimRedRun.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Tervane3;
namespace TD = Tervane3::Test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

class DimRedRunTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // A dataset of n events with three random features a, b, c.
    DimRedSource dataset(int n, uint64_t seed)
    {
        const std::string path = dir.filePath(QStringLiteral("d%1.rtdc").arg(count)).toStdString();
        TD::SplitMix r(seed);
        std::vector<double> a, b, c;
        for (int i = 0; i < n; ++i) {
            a.push_back(r.uniform() * 10.0);
            b.push_back(a.back() + r.uniform());
            c.push_back(r.uniform());
        }
        {
            TD::RtdcFixture file(path);
            file.addColumn("a", a);
            file.addColumn("b", b);
            file.addColumn("c", c);
            file.close();
        }
        DimRedSource source;
        source.datasetId = count++;
        source.name = "D" + std::to_string(source.datasetId);
        source.reader = std::make_shared<RTDCReader>();
        EXPECT_TRUE(source.reader->open(path));
        return source;
    }

    QTemporaryDir dir;
    int count = 0;
    const std::vector<std::string> features{"a", "b", "c"};
};

TEST_F(DimRedRunTest, ProgressOfEachKindOfRun)
{
    std::vector<DimRedSource> targets;
    for (int i = 0; i < 4; ++i)
        targets.push_back(dataset(60, 10 + static_cast<uint64_t>(i)));
    DimRedFitJob job;
    job.features = features;
    job.umap.nEpochs = 20;
    job.umap.init = UmapInitRandom;
    job.training = {targets[0]};
    job.training[0].trainingEvents = dimRedTrainingEvents(*targets[0].reader, features, nullptr);
    std::atomic<bool> cancel{false};

    struct Case { const char* name; int method; size_t targets; std::vector<int> tail; };
    for (const Case& c : {Case{"PCA, 1 target", DimRedMethodPca, 1, {45, 85, 100}},
                          Case{"UMAP, 3 targets", DimRedMethodUmap, 3, {60, 68, 76, 85, 100}}}) {
        SCOPED_TRACE(c.name);
        job.method = c.method;
        job.targets.assign(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(c.targets));
        std::vector<int> posted;
        DimRedOutcome outcome;
        runDimRedFit(job, outcome, cancel, [&](int p) { posted.push_back(p); });
        ASSERT_TRUE(outcome.model.fitted);
        ASSERT_GE(posted.size(), c.tail.size());
        EXPECT_EQ(std::vector<int>(posted.end() - static_cast<std::ptrdiff_t>(c.tail.size()), posted.end()), c.tail);
        EXPECT_TRUE(std::is_sorted(posted.begin(), posted.end()));
        EXPECT_EQ(outcome.written.size(), c.targets);
    }

    // Applying a UMAP reference to 4 targets: each target covers a quarter.
    DimRedOutcome fit;
    job.method = DimRedMethodUmap;
    job.targets = {targets[0]};
    runDimRedFit(job, fit, cancel, [](int) {});
    DimRedReference reference;
    reference.kind = DimRedMethodUmap;
    reference.pca = fit.model;
    reference.umap = fit.umap;
    reference.valid = true;
    std::vector<int> posted;
    DimRedOutcome applied;
    runDimRedApply(reference, targets, applied, cancel, [&](int p) { posted.push_back(p); });
    EXPECT_EQ(applied.written.size(), 4u);
    EXPECT_TRUE(std::is_sorted(posted.begin(), posted.end()));
    for (int boundary : {25, 50, 75, 100})
        EXPECT_NE(std::find(posted.begin(), posted.end(), boundary), posted.end()) << boundary;
    EXPECT_EQ(posted.back(), 100);
    // A UMAP reference places even its own training events by transforming them: near,
    // not on, their fitted position.
    const std::vector<double>& x = targets[0].reader->getFeature("dim_1");
    double moved = 0.0;
    for (uint64_t i = 0; i < fit.umap.n; ++i)
        moved += std::abs(x[i] - fit.umap.embedding[2 * i]);
    EXPECT_GT(moved, 0.0);
}

TEST_F(DimRedRunTest, TrainingEventsAndRowsOfShortColumns)
{
    DimRedSource source = dataset(10, 3);
    std::vector<double> a = source.reader->getFeature("a");
    a[2] = kNaN;
    a[5] = std::numeric_limits<double>::infinity();
    a.resize(8); // shorter than the dataset
    source.reader->setFeature("a", std::move(a));
    EXPECT_EQ(dimRedTrainingEvents(*source.reader, features, nullptr), (std::vector<int>{0, 1, 3, 4, 6, 7}));
    const std::vector<int> passing = {1, 2, 4, 9, 42, -1};
    EXPECT_EQ(dimRedTrainingEvents(*source.reader, features, &passing), (std::vector<int>{1, 4}));
    const DimRedMatrix rows = dimRedRows(*source.reader, features);
    ASSERT_EQ(rows.rows, 10u);
    EXPECT_TRUE(std::isnan(rows.data[9 * 3 + 0]));
    EXPECT_FALSE(std::isnan(rows.data[9 * 3 + 1]));
}

} // namespace
