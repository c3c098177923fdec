// The per-dataset loop of a calculation run (order, cancel, failures and the status line),
// the choice of datasets for an apply-to-all Young's-modulus run, and the events of a
// quality assessment, on tiny measurements the test writes.
#include "calc/CalculationRun.h"

#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"

#include "support/RtdcFixture.h"
#include "support/StandInHost.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

namespace Tervane3 {
namespace {

using State = CalculationOutcome::State;

std::vector<CalculationTarget> namedTargets(int count)
{
    std::vector<CalculationTarget> targets(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        targets[static_cast<size_t>(i)].datasetId = 10 + i;
        targets[static_cast<size_t>(i)].name = QStringLiteral("D%1").arg(i + 1);
    }
    return targets;
}

TEST(CalculationRunTest, EveryTargetInOrderWithItsOutcome)
{
    std::atomic<bool> cancel{false};
    std::vector<int> visited;
    std::vector<std::pair<size_t, size_t>> started;
    const CalculationReport report = runOverTargets(
        namedTargets(4), cancel,
        [&](const CalculationTarget& target, std::vector<std::string>& reasons) {
            visited.push_back(target.datasetId);
            if (target.datasetId == 11) {
                reasons.push_back("spillover matrix is singular");
                return false;
            }
            if (target.datasetId == 12)
                throw std::runtime_error("out of memory");
            return true;
        },
        [&](size_t k, size_t n) { started.emplace_back(k, n); });
    EXPECT_EQ(visited, (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(started, (std::vector<std::pair<size_t, size_t>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}}));
    ASSERT_EQ(report.outcomes.size(), 4u);
    EXPECT_EQ(report.outcomes[0].state, State::Done);
    EXPECT_EQ(report.outcomes[1].state, State::Failed);
    EXPECT_EQ(report.outcomes[2].state, State::Failed);
    EXPECT_EQ(report.outcomes[2].reasons, QStringList{QStringLiteral("out of memory")});
    EXPECT_FALSE(report.cancelled);
    EXPECT_EQ(report.summary(QStringLiteral("Crosstalk compensation")),
              QStringLiteral("Crosstalk compensation done for 2 of 4 dataset(s). D2: spillover matrix is singular. "
                             "D3: out of memory."));
    EXPECT_EQ(CalculationReport().summary(QStringLiteral("Young's modulus")),
              QStringLiteral("Young's modulus: no dataset qualified."));
}

TEST(CalculationRunTest, CancelStopsInTheDatasetInWorkAndBeforeTheNext)
{
    for (const bool insideTheCalculator : {true, false}) {
        SCOPED_TRACE(insideTheCalculator ? "calculator stops" : "calculator finishes its dataset");
        std::atomic<bool> cancel{false};
        std::vector<int> visited;
        const CalculationReport report = runOverTargets(
            namedTargets(3), cancel, [&](const CalculationTarget& target, std::vector<std::string>&) {
                visited.push_back(target.datasetId);
                if (target.datasetId == 11) {
                    cancel = true; // the user clicks Cancel while the second dataset is in work
                    return !insideTheCalculator;
                }
                return true;
            });
        EXPECT_EQ(visited, (std::vector<int>{10, 11}));
        EXPECT_TRUE(report.cancelled);
        EXPECT_EQ(report.outcomes[0].state, State::Done);
        EXPECT_EQ(report.outcomes[1].state, insideTheCalculator ? State::Cancelled : State::Done);
        EXPECT_EQ(report.outcomes[2].state, State::NotStarted);
        EXPECT_EQ(report.summary(QStringLiteral("X")),
                  QStringLiteral("X done for %1 of 3 dataset(s), cancelled.").arg(insideTheCalculator ? 1 : 2));
    }
}

class CalculationRunDatasetsTest : public ::testing::Test
{
protected:
    DatasetEntry* add(const std::map<std::string, std::vector<double>>& columns,
                      const std::map<std::string, std::string>& setup = {})
    {
        const std::string path = dir.filePath(QStringLiteral("m%1.rtdc").arg(host.entries.size())).toStdString();
        {
            Tervane3::Test::RtdcFixture file(path);
            for (const auto& [name, values] : columns)
                file.addColumn(name, values);
        }
        DatasetEntry* entry = host.addDataset(path, QStringLiteral("D%1").arg(host.entries.size() + 1));
        EXPECT_NE(entry, nullptr);
        entry->metadata.setup = setup;
        return entry;
    }

    QTemporaryDir dir;
    Tervane3::Test::StandInHost host;
};

TEST_F(CalculationRunDatasetsTest, ApplyToAllEmodulusJobsSkipWhatCannotGetAModulus)
{
    const std::vector<double> three{10, 20, 30};
    add({{"area_um", three}, {"deform", three}}, {{"medium", "Tavrisol"}, {"channel width", "30"}});
    add({{"area_um", three}, {"deform", three}}, {{"chip region", "reservoir"}});
    add({{"deform", three}});
    DatasetEntry* loading = add({{"area_um", three}, {"deform", three}});
    loading->featuresLoaded = false;
    DatasetEntry* closed = add({{"area_um", three}, {"deform", three}});
    closed->reader.reset();
    add({{"area_um", three}, {"deform", three}, {"deform_fc", three}}, {{"chip region", "channel"}});
    add({{"area_um", three}, {"deform_fc", three}});

    CalculationsDockWidget dock;
    QStringList notes;
    const std::vector<CalculationTarget> plain = emodulusJobs(host.entries, dock, "deform", &notes);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0].name, QStringLiteral("D1"));
    EXPECT_EQ(plain[1].name, QStringLiteral("D6"));
    EXPECT_DOUBLE_EQ(plain[0].params.channelWidth, 30.0);
    EXPECT_EQ(plain[0].params.medium, EModulusParams::MediumTavrisol);
    EXPECT_EQ(plain[0].reader, host.entries[0]->reader);
    // D1 lacks the flow rate and pixel size, D6 all three values.
    EXPECT_EQ(notes, (QStringList{QStringLiteral("D1: flow rate unknown, 0.04 µL/s assumed, pixel size unknown, "
                                                 "0.34 µm assumed"),
                                  QStringLiteral("D6: channel width unknown, 20 µm assumed, flow rate unknown, "
                                                 "0.04 µL/s assumed, pixel size unknown, 0.34 µm assumed")}));

    // A Fourier deformation as the source, where a dataset has it; "deform" elsewhere.
    const std::vector<CalculationTarget> fourier = emodulusJobs(host.entries, dock, "deform_fc");
    ASSERT_EQ(fourier.size(), 3u);
    EXPECT_EQ(fourier[0].params.deformFeature, "deform");
    EXPECT_TRUE(fourier[0].params.pixelationCorrection);
    EXPECT_EQ(fourier[1].params.deformFeature, "deform_fc");
    EXPECT_FALSE(fourier[1].params.pixelationCorrection);
    EXPECT_EQ(fourier[2].name, QStringLiteral("D7"));
}

TEST_F(CalculationRunDatasetsTest, AssessedEventsLeaveOutRulesOnTheModulus)
{
    DatasetEntry* entry = add({{"area_um", {10, 20, 30, 40, 50, 60}}, {"deform", {1, 2, 3, 4, 5, 6}}});
    entry->reader->setFeature("emodulus", {1, 1, 1, 9, 9, 9});
    const auto range = [](const std::string& feature, double lo, double hi) {
        FilterRule rule;
        rule.featureName = feature;
        rule.minValue = lo;
        rule.maxValue = hi;
        return rule;
    };
    FilterRule polygonOnModulus;
    polygonOnModulus.type = PolygonRule;
    polygonOnModulus.featureName = "area_um";
    polygonOnModulus.featureNameY = "emodulus";
    polygonOnModulus.polygonVertices = {{0, 0}, {100, 0}, {100, 2}};
    FilterRule disabled = range("deform", 5, 6);
    disabled.enabled = false;
    entry->filter.addRule(range("area_um", 15, 100));
    entry->filter.addRule(range("emodulus", 0, 2));
    entry->filter.addRule(polygonOnModulus);
    entry->filter.addRule(disabled);
    host.groupRules[entry->id] = {range("deform", 0, 5), range("emodulus", 5, 10)};

    EXPECT_EQ(assessmentEvents(host, *entry, true), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(assessmentEvents(host, *entry, false), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    entry->filter.setEnabled(false);
    EXPECT_EQ(assessmentEvents(host, *entry, true), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    // The combine mode of the effective filter holds: the events failing a rule.
    entry->filter.setEnabled(true);
    entry->filter.setCombineMode(CombineShowExcluded);
    EXPECT_EQ(assessmentEvents(host, *entry, true), (std::vector<int>{0, 5}));
}

} // namespace
} // namespace Tervane3
