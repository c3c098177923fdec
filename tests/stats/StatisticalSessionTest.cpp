// The statistical evaluation window in a session file: a round trip through toJson and
// restoreFromJson, the defaults of missing keys, unknown texts and out-of-range values,
// and entries of datasets that were not reopened. Restoring shows no box and runs nothing.
#include "StatEvalWindowFixture.h"

#include "app/DatasetEntry.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

using namespace Tervane3;
using Tervane3::Test::StatEvalWindowTest;

namespace {

class StatisticalSessionTest : public StatEvalWindowTest
{
protected:
    // Session index i -> dataset id, for every dataset of the host.
    std::map<int, int> identityMap() const
    {
        std::map<int, int> map;
        for (size_t i = 0; i < data.host.entries.size(); ++i)
            map[static_cast<int>(i)] = data.host.entries[i]->id;
        return map;
    }
    static QJsonObject parse(const char* json) { return QJsonDocument::fromJson(json).object(); }
};

TEST_F(StatisticalSessionTest, RoundTripKeepsCategoriesIdsAndSettings)
{
    fill(0, {1, 2});
    fill(1, {3, 4, 5});
    for (size_t c = 0; c < 2; ++c) {
        int id = 0;
        for (const CategoryEntry& e : std::vector<CategoryEntry>(panel(c)->entries())) {
            panel(c)->setNumberId(e.datasetId, ++id);
            panel(c)->setBioRepId(e.datasetId, 2);
            panel(c)->setTechRepId(e.datasetId, id + 4);
        }
    }
    combo("designCombo")->setCurrentIndex(1);
    check("replicatesCheck")->setChecked(true);
    check("connectionLinesCheck")->setChecked(true); // refused run: too few datasets
    combo("correctionCombo")->setCurrentIndex(2);
    combo("summaryCombo")->setCurrentIndex(4);
    widget<QDoubleSpinBox>("alphaSpin")->setValue(0.01);
    window.onAddCategory();
    window.onDeleteCategoryPanel(panel(2));
    select({"deform"});
    widget<QTabWidget>("tabs")->setCurrentIndex(1);
    const QJsonObject saved = window.toJson(data.host.entries);

    // Regression: the stored "connectionLines" toggled the box mid-load, which ran the
    // comparison and warned about the categories.
    prompts->clear();
    StatisticalEvalWindow restored(&data.host);
    restored.restoreFromJson(saved, identityMap());
    EXPECT_TRUE(prompts->calls().empty()) << "restoring shows no box and runs nothing";
    EXPECT_EQ(restored.toJson(data.host.entries), saved);
    ASSERT_EQ(restored.categories().size(), 2u);
    EXPECT_EQ(restored.categories()[1]->entryCount(), 3);
    EXPECT_EQ(restored.categories()[1]->entries()[2].techRepId, 7);
    EXPECT_EQ(restored.categories()[1]->entries()[2].name, panel(1)->entries()[2].name);
    EXPECT_TRUE(restored.categories()[0]->showIds());
    EXPECT_TRUE(restored.categories()[0]->showReplicateIds());
    EXPECT_FALSE(restored.findChild<QCheckBox*>(QStringLiteral("connectionLinesCheck"))->isHidden());
    EXPECT_EQ(restored.findChild<QTabWidget*>(QStringLiteral("tabs"))->currentIndex(), 1);
    EXPECT_TRUE(restored.comparisonPlots().empty());
    EXPECT_EQ(saved.value("nextCategoryIndex").toInt(), 3);
    EXPECT_EQ(saved.value("categories").toArray()[0].toObject().value("color").toString(), QStringLiteral("#4682b4"));
}

TEST_F(StatisticalSessionTest, EmptyObjectGivesNoCategoryAndTheDefaults)
{
    fill(0, {1});
    combo("designCombo")->setCurrentIndex(1);
    window.restoreFromJson(QJsonObject(), identityMap());
    EXPECT_TRUE(window.categories().empty());
    EXPECT_EQ(widget<QDoubleSpinBox>("alphaSpin")->value(), 0.05);
    EXPECT_EQ(combo("designCombo")->currentIndex(), 0);
    EXPECT_EQ(combo("correctionCombo")->currentText(), QStringLiteral("Bonferroni"));
    EXPECT_EQ(widget<QTabWidget>("tabs")->currentIndex(), 0);
    window.onAddCategory();
    EXPECT_EQ(panel(0)->name(), QStringLiteral("Condition 2"));
    EXPECT_TRUE(prompts->calls().empty());
}

TEST_F(StatisticalSessionTest, TextsColoursIndicesAndTabs)
{
    const int a = data.addValue(QStringLiteral("a"), 1);
    const int b = data.addValue(QStringLiteral("b"), 2);
    data.host.findDatasetById(b)->metadata.experiment["sample"] = "donor ID4";
    const QJsonObject state = parse(R"json({
        "categories": [
            {"name": "One", "color": "not a colour", "entries": [
                {"datasetSessionIndex": 1, "numberId": 4}, {"datasetSessionIndex": 1, "numberId": 5},
                {"datasetSessionIndex": 0}, {"datasetSessionIndex": 7}, {"datasetSessionIndex": -1}]},
            {"name": "Two", "removable": true, "color": "#102030"},
            {"name": "Three"}],
        "correctionMethod": "None (discouraged)",
        "averageMethod": "mean",
        "pairingMode": "Repeated measures / Matched",
        "alpha": 0.9,
        "nextCategoryIndex": 5,
        "activeTab": 7,
        "selectedFeatures": ["deform", "gone"]
    })json");
    window.restoreFromJson(state, identityMap());
    ASSERT_EQ(window.categories().size(), 3u);
    // An invalid colour takes the table's; a repeated index in one category is dropped;
    // an index without a reopened dataset disappears, the others keep their order.
    EXPECT_EQ(panel(0)->color(), QColor(70, 130, 180));
    ASSERT_EQ(panel(0)->entryCount(), 2);
    EXPECT_EQ(panel(0)->entries()[0].datasetId, b);
    EXPECT_EQ(panel(0)->entries()[0].numberId, 4);
    EXPECT_EQ(panel(0)->entries()[0].sample, "donor ID4");
    EXPECT_EQ(panel(0)->entries()[1].datasetId, a);
    EXPECT_FALSE(panel(0)->removable());
    EXPECT_EQ(panel(1)->color(), QColor(0x10, 0x20, 0x30));
    EXPECT_TRUE(panel(1)->removable());
    EXPECT_EQ(panel(2)->color(), QColor(60, 180, 75)) << "a category without colour, third: the third colour";
    EXPECT_EQ(combo("correctionCombo")->currentIndex(), 2);
    EXPECT_EQ(combo("summaryCombo")->currentIndex(), 0) << "texts compare case-sensitively";
    EXPECT_EQ(combo("designCombo")->currentIndex(), 1);
    EXPECT_EQ(widget<QDoubleSpinBox>("alphaSpin")->value(), 0.5);
    EXPECT_EQ(widget<QTabWidget>("tabs")->currentIndex(), 0) << "a tab index beyond the tabs is ignored";
    ASSERT_EQ(window.toJson(data.host.entries).value("selectedFeatures").toArray(), QJsonArray{"deform"});
    window.onAddCategory();
    EXPECT_EQ(panel(3)->name(), QStringLiteral("Condition 5"));

    // Datasets that were not reopened: no map, or ids that are gone.
    window.restoreFromJson(state, {});
    EXPECT_EQ(panel(0)->entryCount(), 0);
    window.restoreFromJson(state, {{0, 999}, {1, -1}});
    EXPECT_EQ(panel(0)->entryCount(), 0);
    data.host.findDatasetById(a)->featuresLoaded = false;
    window.restoreFromJson(state, identityMap());
    EXPECT_EQ(panel(0)->entryCount(), 1);
    EXPECT_TRUE(prompts->calls().empty());
}

TEST_F(StatisticalSessionTest, SavedEntriesReferToTheSessionsDatasetList)
{
    fill(0, {1, 2});
    const int notSaved = panel(0)->entries()[0].datasetId;
    // The session list holds only the second dataset: the first entry is left out.
    std::vector<std::unique_ptr<DatasetEntry>> sessionList;
    sessionList.push_back(std::make_unique<DatasetEntry>());
    sessionList.back()->id = panel(0)->entries()[1].datasetId;
    const QJsonArray entries
        = window.toJson(sessionList).value("categories").toArray()[0].toObject().value("entries").toArray();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toObject().value("datasetSessionIndex").toInt(), 0);
    EXPECT_NE(notSaved, sessionList.back()->id);
}

} // namespace
