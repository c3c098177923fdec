// Crosstalk compensation on tiny measurements the test writes: the solved values against a
// hand-inverted matrix, the choice of input columns, and what a failed run leaves behind.
#include "calc/FLCompensation.h"

#include "core/RTDCReader.h"

#include "support/RtdcFixture.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

namespace Tervane3 {
namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

class FLCompensationTest : public ::testing::Test
{
protected:
    // A measurement with the given double columns, opened.
    RTDCReader& open(const std::map<std::string, std::vector<double>>& columns)
    {
        const std::string path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++)).toStdString();
        {
            Tervane3::Test::RtdcFixture file(path);
            for (const auto& [name, values] : columns)
                file.addColumn(name, values);
        }
        readers.push_back(std::make_unique<RTDCReader>());
        EXPECT_TRUE(readers.back()->open(path));
        return *readers.back();
    }

    QTemporaryDir dir;
    int files = 0;
    std::vector<std::unique_ptr<RTDCReader>> readers;
    FLCompensation compensation;
};

TEST_F(FLCompensationTest, SolvesTheSpilloverForEveryEvent)
{
    RTDCReader& reader = open({{"fl1_max", {110, 0, nan}}, {"fl2_max", {220, 50, 7}}});
    arma::mat m = {{1.0, 0.1}, {0.2, 1.0}};
    std::vector<std::string> messages;
    ASSERT_TRUE(compensation.compute(&reader, {1, 2}, m, &messages));
    EXPECT_TRUE(messages.empty());
    const std::vector<double>& c1 = reader.getFeature("fl1_max_ctc");
    const std::vector<double>& c2 = reader.getFeature("fl2_max_ctc");
    ASSERT_EQ(c1.size(), 3u);
    ASSERT_EQ(c2.size(), 3u);
    // M⁻¹ = [[1, -0.1], [-0.2, 1]] / 0.98: 88 / 0.98 and 198 / 0.98. The transposed matrix
    // would give 66 / 0.98 and 209 / 0.98.
    EXPECT_NEAR_REL(c1[0], 89.79591836734694, 1e-14);
    EXPECT_NEAR_REL(c2[0], 202.0408163265306, 1e-14);
    EXPECT_NEAR_REL(c1[1], -5.0 / 0.98, 1e-14);
    EXPECT_NEAR_REL(c2[1], 50.0 / 0.98, 1e-14);
    // A NaN maximum of one channel leaves no plausible number in any channel of the event.
    EXPECT_TRUE(std::isnan(c1[2]));
    EXPECT_TRUE(std::isnan(c2[2]));
    EXPECT_TRUE(reader.isComputedFeature("fl1_max_ctc"));
}

TEST_F(FLCompensationTest, IdentityKeepsTheInputs)
{
    RTDCReader& reader = open({{"fl1_max", {1, 2, 3}}, {"fl2_max", {4, 5, 6}}, {"fl3_max", {7, 8, 9}}});
    ASSERT_TRUE(compensation.compute(&reader, {1, 2, 3}, arma::eye(3, 3)));
    EXPECT_EQ(reader.getFeature("fl1_max_ctc"), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(reader.getFeature("fl3_max_ctc"), (std::vector<double>{7, 8, 9}));
}

TEST_F(FLCompensationTest, ReadsRefinedMaximaOnlyWhenComputedInThisRun)
{
    // The file's own fl1_max_rf (from another program) is not this run's refinement.
    RTDCReader& reader = open({{"fl1_max", {10}}, {"fl1_max_rf", {1000}}, {"fl2_max", {20}}});
    ASSERT_TRUE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2)));
    EXPECT_EQ(reader.getFeature("fl1_max_ctc"), (std::vector<double>{10}));
    reader.setFeature("fl1_max_rf", {30});
    ASSERT_TRUE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2)));
    EXPECT_EQ(reader.getFeature("fl1_max_ctc"), (std::vector<double>{30}));
    EXPECT_EQ(reader.getFeature("fl2_max_ctc"), (std::vector<double>{20}));
}

TEST_F(FLCompensationTest, AFailedRunKeepsTheColumnsOfTheLastGoodOne)
{
    RTDCReader& reader = open({{"fl1_max", {110, 1}}, {"fl2_max", {220, 2}}, {"fl3_max", {1}}});
    ASSERT_TRUE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2)));
    const struct
    {
        const char* name;
        std::vector<int> channels;
        arma::mat matrix;
        const char* message; // empty: none expected
    } cases[] = {
        {"two equal rows", {1, 2}, arma::mat{{1, 0.5}, {1, 0.5}}, "spillover matrix is singular"},
        {"matrix of another size", {1, 2}, arma::eye(3, 3), "the spillover matrix does not match the 2 channels"},
        // Regression: a column shorter than the event count used to be read past its end.
        {"short input column", {1, 3}, arma::eye(2, 2), "the column fl3_max holds 1 values for 2 events"},
        {"missing input column", {1, 4}, arma::eye(2, 2), "the column fl4_max holds 0 values for 2 events"},
        {"one channel", {1}, arma::eye(1, 1), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> messages;
        EXPECT_FALSE(compensation.compute(&reader, c.channels, c.matrix, &messages));
        if (*c.message)
            EXPECT_EQ(messages, (std::vector<std::string>{c.message}));
        else
            EXPECT_TRUE(messages.empty());
        EXPECT_EQ(reader.getFeature("fl1_max_ctc"), (std::vector<double>{110, 1}));
        EXPECT_EQ(reader.getFeature("fl2_max_ctc"), (std::vector<double>{220, 2}));
        EXPECT_FALSE(reader.hasFeature("fl3_max_ctc"));
    }
    EXPECT_FALSE(compensation.compute(nullptr, {1, 2}, arma::eye(2, 2)));
}

TEST_F(FLCompensationTest, AMeasurementWithoutEventsGetsNothing)
{
    RTDCReader& reader = open({{"fl1_max", {}}, {"fl2_max", {}}});
    std::vector<std::string> messages;
    EXPECT_FALSE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2), &messages));
    EXPECT_EQ(messages, (std::vector<std::string>{"the dataset has no events"}));
    EXPECT_FALSE(reader.hasFeature("fl1_max_ctc"));
}

TEST_F(FLCompensationTest, ProgressEvery256EventsAndCancelAfterTheEventInWork)
{
    std::vector<double> values(600, 1.0);
    RTDCReader& reader = open({{"fl1_max", values}, {"fl2_max", values}});
    QSignalSpy spy(&compensation, &FLCompensation::progressChanged);
    ASSERT_TRUE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2)));
    std::vector<int> percents;
    for (const QList<QVariant>& args : spy)
        percents.push_back(args.at(0).toInt());
    EXPECT_EQ(percents, (std::vector<int>{0, 42, 85, 100}));

    // A cancel set while event 256 is in work stops the run after it; the columns of the
    // last good run stay.
    reader.setFeature("fl1_max", std::vector<double>(600, 2.0));
    const auto connection = QObject::connect(&compensation, &FLCompensation::progressChanged, [this](int percent) {
        if (percent == 42)
            compensation.cancelRequested = true;
    });
    EXPECT_FALSE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2)));
    QObject::disconnect(connection);
    EXPECT_EQ(reader.getFeature("fl1_max_ctc"), values);
    // The stop stays until whoever starts the next run clears it.
    EXPECT_FALSE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2)));
    compensation.cancelRequested = false;
    EXPECT_TRUE(compensation.compute(&reader, {1, 2}, arma::eye(2, 2)));
    EXPECT_EQ(reader.getFeature("fl1_max_ctc"), std::vector<double>(600, 2.0));
}

} // namespace
} // namespace Tervane3
