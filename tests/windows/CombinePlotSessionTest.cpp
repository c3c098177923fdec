// The combine plot window in a session file: a full round trip without questions and
// with one rebuild, defaults for an empty object, and damaged objects read safely.
#include "CombineTestSupport.h"

#include "windows/CombineDatasetWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>

namespace Tervane3 {
namespace {

using Test::CombineWindowFixture;
using Test::rampColumns;

class CombinePlotSessionTest : public CombineWindowFixture
{
protected:
    void SetUp() override
    {
        CombineWindowFixture::SetUp();
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(addFile("d" + std::to_string(i) + ".rtdc", rampColumns(30), QStringLiteral("D%1").arg(i)));
        restored = std::make_unique<CombinePlotWindow>(&host);
    }
    void TearDown() override
    {
        restored.reset();
        CombineWindowFixture::TearDown();
    }
    template <typename T> T* restoredChild(const char* name) const
    {
        return restored->findChild<T*>(QString::fromLatin1(name));
    }
    // Session index i -> the host's dataset i.
    std::map<int, int> identityMap() const
    {
        std::map<int, int> map;
        for (size_t i = 0; i < host.entries.size(); ++i)
            map[static_cast<int>(i)] = host.entries[i]->id;
        return map;
    }
    std::unique_ptr<CombinePlotWindow> restored;
};

TEST_F(CombinePlotSessionTest, RoundTripRestoresEverythingWithOneRebuild)
{
    window->addDataset(host.entries[2]->id);
    window->addDataset(host.entries[0]->id);
    window->datasetRows()[0]->setFeatures("bright", "deform");
    window->datasetRows()[0]->setScaleModes(2, 1);
    emit window->datasetRows()[0]->settingsChanged();
    prompts->answerMessage(QStringLiteral("OK"));
    child<QComboBox>("displayCombo")->setCurrentIndex(1);
    child<QComboBox>("colorCombo")->setCurrentIndex(2);
    child<QComboBox>("contourCombo")->setCurrentIndex(2);
    child<QDoubleSpinBox>("innerSpin")->setValue(20);
    child<QDoubleSpinBox>("outerSpin")->setValue(80);
    child<QCheckBox>("syncAxesCheck")->setChecked(true);
    child<QCheckBox>("manualLimitsCheck")->setChecked(true);
    child<QDoubleSpinBox>("xMinSpin")->setValue(-5);
    child<QDoubleSpinBox>("yMaxSpin")->setValue(0.5);
    child<QCheckBox>("manualArrayCheck")->setChecked(true);
    child<QSpinBox>("colsSpin")->setValue(3);
    child<QCheckBox>("showCountCheck")->setChecked(true);
    child<QCheckBox>("isoelasticsCheck")->setChecked(true);
    child<QCheckBox>("isoLabelsCheck")->setChecked(true);
    child<QSpinBox>("widthSpin")->setValue(150);
    child<QSpinBox>("heightSpin")->setValue(80);
    child<QSpinBox>("pointSizeSpin")->setValue(6);
    child<QCheckBox>("gridCheck")->setChecked(false);
    child<QDoubleSpinBox>("axisWidthSpin")->setValue(2.5);
    child<QComboBox>("uniformColorCombo")->setCurrentIndex(3);
    child<QDockWidget>("statsDock")->show();
    flush();

    // Through text, as the session file stores it.
    const QJsonObject state =
        QJsonDocument::fromJson(QJsonDocument(window->toJson(host.entries)).toJson()).object();
    const QJsonArray list = state.value(QStringLiteral("datasets")).toArray();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("datasetSessionIndex")).toInt(), 2);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("color")).toString(), QStringLiteral("#1f77b4"));

    prompts->clear();
    restored->restoreFromJson(state, identityMap());
    EXPECT_EQ(prompts->calls().size(), 0u) << "no question on restore";
    EXPECT_EQ(restored->rebuildCount(), 1);
    EXPECT_FALSE(restored->rebuildPending());

    EXPECT_EQ(restoredChild<QComboBox>("displayCombo")->currentIndex(), 1);
    EXPECT_EQ(restoredChild<QComboBox>("colorCombo")->currentIndex(), 2);
    EXPECT_EQ(restoredChild<QComboBox>("contourCombo")->currentIndex(), 2);
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("innerSpin")->value(), 20);
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("outerSpin")->value(), 80);
    EXPECT_TRUE(restoredChild<QCheckBox>("syncFeaturesCheck")->isChecked());
    EXPECT_TRUE(restoredChild<QCheckBox>("manualLimitsCheck")->isChecked());
    EXPECT_TRUE(restoredChild<QCheckBox>("manualLimitsCheck")->isEnabled());
    EXPECT_TRUE(restoredChild<QDoubleSpinBox>("xMinSpin")->isEnabled());
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("xMinSpin")->value(), -5);
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("yMaxSpin")->value(), 0.5);
    EXPECT_EQ(restoredChild<QSpinBox>("colsSpin")->value(), 3);
    EXPECT_FALSE(restoredChild<QWidget>("arraySizeBox")->isHidden());
    EXPECT_TRUE(restoredChild<QCheckBox>("showCountCheck")->isChecked());
    EXPECT_TRUE(restoredChild<QCheckBox>("isoLabelsCheck")->isChecked());
    EXPECT_TRUE(restoredChild<QCheckBox>("isoLabelsCheck")->isEnabled());
    EXPECT_FALSE(restoredChild<QDockWidget>("statsDock")->isHidden());
    EXPECT_GT(restoredChild<QTableWidget>("statsTable")->rowCount(), 0);

    ASSERT_EQ(restored->datasetEntries().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const CombineDatasetEntry& a = window->datasetEntries()[i];
        const CombineDatasetEntry& b = restored->datasetEntries()[i];
        EXPECT_EQ(a.datasetId, b.datasetId);
        EXPECT_EQ(a.xFeature, b.xFeature);
        EXPECT_EQ(a.yFeature, b.yFeature);
        EXPECT_EQ(a.color, b.color);
        EXPECT_EQ(a.scaleXMode, b.scaleXMode);
        EXPECT_EQ(a.scaleYMode, b.scaleYMode);
    }
    EXPECT_EQ(restored->datasetEntries()[0].xFeature, "bright");
    EXPECT_EQ(restored->datasetEntries()[1].scaleXMode, 2);

    const CombineExportSettings& s = restored->currentExportSettings();
    EXPECT_DOUBLE_EQ(s.plotWidthMm, 150);
    EXPECT_DOUBLE_EQ(s.plotHeightMm, 80);
    EXPECT_EQ(s.pointSize, 6);
    EXPECT_FALSE(s.showGrid);
    EXPECT_DOUBLE_EQ(s.axisLineWidth, 2.5);
    EXPECT_EQ(s.uniformColor, QColor(Qt::red));
    EXPECT_EQ(restoredChild<QSpinBox>("widthSpin")->value(), 150);
    EXPECT_FALSE(restoredChild<QCheckBox>("gridCheck")->isChecked());
    EXPECT_EQ(restoredChild<QComboBox>("uniformColorCombo")->currentIndex(), 3);
    EXPECT_FALSE(restoredChild<QComboBox>("uniformColorCombo")->isHidden());
}

TEST_F(CombinePlotSessionTest, EmptyObjectGivesDefaults)
{
    restored->restoreFromJson(QJsonObject(), identityMap());
    EXPECT_EQ(restoredChild<QComboBox>("displayCombo")->currentIndex(), 0);
    EXPECT_EQ(restoredChild<QComboBox>("colorCombo")->currentIndex(), 1);
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("innerSpin")->value(), 10);
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("outerSpin")->value(), 67);
    EXPECT_FALSE(restoredChild<QCheckBox>("syncAxesCheck")->isChecked());
    EXPECT_TRUE(restored->datasetEntries().empty());
    EXPECT_TRUE(restoredChild<QLabel>("datasetPlaceholder"));
    EXPECT_DOUBLE_EQ(restored->currentExportSettings().plotWidthMm, 100);
    EXPECT_TRUE(restoredChild<QDockWidget>("statsDock")->isHidden());
    EXPECT_EQ(restored->rebuildCount(), 1);

    // An empty window writes an empty list and comes back empty.
    const QJsonObject state = restored->toJson(host.entries);
    EXPECT_TRUE(state.value(QStringLiteral("datasets")).toArray().isEmpty());
}

TEST_F(CombinePlotSessionTest, DamagedObjectsReadSafely)
{
    const QJsonObject state = QJsonDocument::fromJson(R"({
        "displayMode": 7, "colorMode": "two", "contourMode": -1,
        "contourFraction1": 5, "contourFraction2": "x",
        "syncAxes": 1, "manualLimits": true, "xMin": 1e300,
        "manualArraySize": true, "arrayCols": 500,
        "isoelasticity": false, "isoLabels": true,
        "exportSettings": {"plotHeightMm": 0, "pointSize": 1e9, "axisLineWidth": 1.3, "uniformColor": "nonsense"},
        "datasets": [5, "x", [],
            {"datasetSessionIndex": 1, "color": "#00ff00", "colorAlpha": 999, "scaleXMode": 9,
             "xFeatureName": "area_um", "yFeatureName": "deform"},
            {"datasetSessionIndex": 1, "color": "#0000ff"},
            {"datasetSessionIndex": 7},
            {"datasetSessionIndex": 0, "color": "not a colour"},
            {"datasetSessionIndex": 2.5}]
    })").object();
    ASSERT_FALSE(state.isEmpty());
    std::map<int, int> map = identityMap();
    map.erase(2);
    restored->restoreFromJson(state, map);
    EXPECT_EQ(restoredChild<QComboBox>("displayCombo")->currentIndex(), 0);
    EXPECT_EQ(restoredChild<QComboBox>("colorCombo")->currentIndex(), 1);
    EXPECT_EQ(restoredChild<QComboBox>("contourCombo")->currentIndex(), 0);
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("innerSpin")->value(), 99);
    EXPECT_DOUBLE_EQ(restoredChild<QDoubleSpinBox>("outerSpin")->value(), 67);
    EXPECT_FALSE(restoredChild<QCheckBox>("syncAxesCheck")->isChecked()) << "1 is no bool";
    EXPECT_FALSE(restoredChild<QCheckBox>("manualLimitsCheck")->isChecked()) << "manual limits need synced axes";
    EXPECT_EQ(restoredChild<QSpinBox>("colsSpin")->value(), 50);
    EXPECT_FALSE(restoredChild<QCheckBox>("isoLabelsCheck")->isChecked());

    const CombineExportSettings& s = restored->currentExportSettings();
    // Regression: a height of 0 gave the preview an infinite aspect ratio.
    EXPECT_DOUBLE_EQ(s.plotHeightMm, 50);
    EXPECT_EQ(s.pointSize, 20);
    EXPECT_DOUBLE_EQ(s.axisLineWidth, 1.5);
    EXPECT_EQ(s.uniformColor, QColor(Qt::black));

    // Index 1 once (the repeat is dropped), index 0; 7 and 2.5 are not in the map.
    ASSERT_EQ(restored->datasetEntries().size(), 2u);
    const CombineDatasetEntry& first = restored->datasetEntries()[0];
    EXPECT_EQ(first.datasetId, host.entries[1]->id);
    EXPECT_EQ(first.color, QColor(0, 255, 0, 255));
    EXPECT_EQ(first.scaleXMode, 0);
    EXPECT_EQ(restored->datasetEntries()[1].datasetId, host.entries[0]->id);
    EXPECT_FALSE(restored->datasetEntries()[1].color.isValid());
    EXPECT_EQ(restored->datasetRows().size(), 2u);
}

} // namespace
} // namespace Tervane3
