// The dimension-reduction page of the calculations panel on its own: what the getters read
// from the controls, when "Compute Dimension Reduction", "Save Reference…" and "Use
// reference" may be used, the input list across datasets, and the locked inputs of a run.
#include "calc/CalculationsDockWidget.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"

#include "support/RtdcFixture.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Tervane3 {
namespace {

class CalculationsDockDimRedTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    template<typename T>
    T* child(const char* name)
    {
        T* widget = dock.findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* computeButton() { return child<QPushButton>("computeDimReductionButton"); }
    QPushButton* saveButton() { return child<QPushButton>("saveDimRedReferenceButton"); }
    QPushButton* loadButton() { return child<QPushButton>("loadDimRedReferenceButton"); }
    QComboBox* combo(const char* name) { return child<QComboBox>(name); }
    QListWidget* list() { return child<QListWidget>("dimRedFeatureList"); }

    // A dataset whose reader holds these columns (three events each).
    DatasetEntry& dataset(const std::vector<std::string>& columns)
    {
        const std::string path = dir.filePath(QStringLiteral("d%1.rtdc").arg(entries.size())).toStdString();
        {
            Tervane3::Test::RtdcFixture file(path);
            for (const std::string& name : columns)
                file.addColumn(name, std::vector<double>{1.0, 2.0, 3.0});
            file.close();
        }
        auto entry = std::make_unique<DatasetEntry>();
        entry->reader = std::make_shared<RTDCReader>();
        EXPECT_TRUE(entry->reader->open(path));
        entries.push_back(std::move(entry));
        return *entries.back();
    }
    void check(const QString& key, bool on)
    {
        for (int row = 0; row < list()->count(); ++row) {
            if (list()->item(row)->data(Qt::UserRole).toString() == key)
                list()->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        }
    }
    QStringList keys()
    {
        QStringList out;
        for (int row = 0; row < list()->count(); ++row)
            out << list()->item(row)->data(Qt::UserRole).toString();
        return out;
    }
    bool useReferenceSelectable()
    {
        auto* model = qobject_cast<QStandardItemModel*>(combo("dimRedFitCombo")->model());
        return model->item(combo("dimRedFitCombo")->findData(2))->isEnabled();
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<DatasetEntry>> entries;
    CalculationsDockWidget dock;
};

TEST_F(CalculationsDockDimRedTest, StartsIdleWithTheDefaults)
{
    EXPECT_EQ(dock.dimRedMethod(), 0);
    EXPECT_EQ(dock.dimRedFitMode(), 0);
    EXPECT_EQ(dock.dimRedApplyMode(), 0);
    EXPECT_TRUE(dock.selectedDimRedFeatures().empty());
    const UmapParams p = dock.umapParams();
    EXPECT_EQ(p.nNeighbors, 15);
    EXPECT_EQ(p.minDist, 0.1);
    EXPECT_EQ(p.nEpochs, 0);
    EXPECT_EQ(p.seed, 42);
    EXPECT_EQ(p.init, UmapInitSpectral);
    EXPECT_EQ(p.negativeSampleRate, 5);
    EXPECT_FALSE(dock.clusterLabellingEnabled());
    EXPECT_EQ(dock.clusterMinPoints(), 10);
    EXPECT_TRUE(dock.clusterEpsAuto());
    EXPECT_EQ(dock.clusterEps(), 0.0);
    EXPECT_FALSE(useReferenceSelectable());
    EXPECT_TRUE(child<QGroupBox>("umapGroup")->isHidden());
    EXPECT_FALSE(child<QDoubleSpinBox>("clusterEpsSpin")->isEnabled());
    EXPECT_EQ(child<QSpinBox>("umapEpochsSpin")->text(), QStringLiteral("Auto"));
    EXPECT_FALSE(computeButton()->isEnabled());
    EXPECT_FALSE(saveButton()->isEnabled());
    EXPECT_TRUE(loadButton()->isEnabled());
    EXPECT_EQ(child<QLabel>("dimRedReferenceLabel")->text(), QStringLiteral("No reference fitted or loaded yet."));
}

TEST_F(CalculationsDockDimRedTest, GettersFollowTheControls)
{
    combo("dimRedMethodCombo")->setCurrentIndex(1);
    EXPECT_FALSE(child<QGroupBox>("umapGroup")->isHidden());
    child<QSpinBox>("umapNeighborsSpin")->setValue(30);
    child<QDoubleSpinBox>("umapMinDistSpin")->setValue(0.35);
    child<QSpinBox>("umapEpochsSpin")->setValue(250);
    combo("umapInitCombo")->setCurrentIndex(1);
    child<QSpinBox>("umapSeedSpin")->setValue(7);
    child<QGroupBox>("clusterGroup")->setChecked(true);
    child<QSpinBox>("clusterMinPointsSpin")->setValue(25);
    child<QCheckBox>("clusterEpsAutoCheck")->setChecked(false);
    EXPECT_TRUE(child<QDoubleSpinBox>("clusterEpsSpin")->isEnabled());
    child<QDoubleSpinBox>("clusterEpsSpin")->setValue(0.125);
    combo("dimRedApplyCombo")->setCurrentIndex(1);
    combo("dimRedFitCombo")->setCurrentIndex(1);

    EXPECT_EQ(dock.dimRedMethod(), 1);
    EXPECT_EQ(dock.dimRedFitMode(), 1);
    EXPECT_EQ(dock.dimRedApplyMode(), 1);
    const UmapParams p = dock.umapParams();
    EXPECT_EQ(p.nNeighbors, 30);
    EXPECT_EQ(p.minDist, 0.35);
    EXPECT_EQ(p.nEpochs, 250);
    EXPECT_EQ(p.init, UmapInitRandom);
    EXPECT_EQ(p.seed, 7);
    EXPECT_EQ(p.spread, 1.0);
    EXPECT_EQ(p.learningRate, 1.0);
    EXPECT_EQ(p.repulsionStrength, 1.0);
    EXPECT_TRUE(dock.clusterLabellingEnabled());
    EXPECT_EQ(dock.clusterMinPoints(), 25);
    EXPECT_FALSE(dock.clusterEpsAuto());
    EXPECT_EQ(dock.clusterEps(), 0.125);
}

TEST_F(CalculationsDockDimRedTest, ComputeNeedsTwoFeaturesOrAReference)
{
    dock.refreshDimRedFeatures(&dataset({"area_um", "deform", "bright_avg"}));
    QSignalSpy requests(&dock, &CalculationsDockWidget::computeDimReduction);
    check(QStringLiteral("deform"), true);
    EXPECT_FALSE(computeButton()->isEnabled());
    check(QStringLiteral("area_um"), true);
    EXPECT_TRUE(computeButton()->isEnabled());
    EXPECT_EQ(dock.selectedDimRedFeatures(), (std::vector<std::string>{"area_um", "deform"})); // list order
    computeButton()->click();
    EXPECT_EQ(requests.count(), 1);
    child<QPushButton>("dimRedSelectNoneButton")->click();
    EXPECT_FALSE(computeButton()->isEnabled());
    child<QPushButton>("dimRedSelectAllButton")->click();
    EXPECT_EQ(dock.selectedDimRedFeatures().size(), 3u);
    EXPECT_TRUE(computeButton()->isEnabled());

    // "Use reference" only once a reference exists; then no feature is needed.
    child<QPushButton>("dimRedSelectNoneButton")->click();
    dock.setReferenceText(QStringLiteral("Fitted: PCA, 2 features"), true);
    EXPECT_TRUE(useReferenceSelectable());
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_EQ(child<QLabel>("dimRedReferenceLabel")->text(), QStringLiteral("Fitted: PCA, 2 features"));
    combo("dimRedFitCombo")->setCurrentIndex(2);
    EXPECT_TRUE(computeButton()->isEnabled());
    // Method, features and clusters come from the reference.
    EXPECT_FALSE(combo("dimRedMethodCombo")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>("dimRedFeatureGroup")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>("clusterGroup")->isEnabled());
    combo("dimRedMethodCombo")->setCurrentIndex(1);
    EXPECT_TRUE(child<QGroupBox>("umapGroup")->isHidden());

    // The reference gone while "Use reference" is current: back to "This dataset".
    dock.setReferenceText(QString(), false);
    EXPECT_EQ(dock.dimRedFitMode(), 0);
    EXPECT_FALSE(useReferenceSelectable());
    EXPECT_FALSE(saveButton()->isEnabled());
    EXPECT_EQ(child<QLabel>("dimRedReferenceLabel")->text(), QStringLiteral("No reference fitted or loaded yet."));
    EXPECT_FALSE(child<QGroupBox>("umapGroup")->isHidden()); // UMAP chosen, fit on this dataset
}

TEST_F(CalculationsDockDimRedTest, ChecksSurviveADatasetChangeForTheKeysItHas)
{
    DatasetEntry& full = dataset({"area_um", "deform", "bright_avg", "dim_1", "dim_2", "dr_cluster"});
    DatasetEntry& partial = dataset({"area_um", "bright_avg"});
    dock.refreshDimRedFeatures(&full);
    // Its own output is never an input; the cluster ids may be.
    EXPECT_EQ(keys(), (QStringList{QStringLiteral("area_um"), QStringLiteral("bright_avg"), QStringLiteral("deform"),
                                   QStringLiteral("dr_cluster")}));
    EXPECT_EQ(list()->item(0)->toolTip(), QStringLiteral("area_um"));
    EXPECT_EQ(list()->item(0)->text(), QString::fromStdString(full.reader->featureLabel("area_um")));
    check(QStringLiteral("area_um"), true);
    check(QStringLiteral("deform"), true);

    dock.refreshFeatures(&partial);
    EXPECT_EQ(dock.selectedDimRedFeatures(), (std::vector<std::string>{"area_um"}));
    EXPECT_FALSE(computeButton()->isEnabled());
    dock.refreshDimRedFeatures(&full);
    EXPECT_EQ(dock.selectedDimRedFeatures(), (std::vector<std::string>{"area_um"}));
    dock.refreshDimRedFeatures(nullptr);
    EXPECT_EQ(list()->count(), 0);
}

TEST_F(CalculationsDockDimRedTest, ARunLocksItsInputs)
{
    dock.refreshDimRedFeatures(&dataset({"area_um", "deform"}));
    child<QPushButton>("dimRedSelectAllButton")->click();
    dock.setReferenceText(QStringLiteral("Fitted: PCA"), true);
    combo("dimRedMethodCombo")->setCurrentIndex(1);

    dock.setDimRedBusy(true);
    for (const char* name : {"dimRedMethodCombo", "dimRedFitCombo", "dimRedApplyCombo"})
        EXPECT_FALSE(combo(name)->isEnabled()) << name;
    EXPECT_FALSE(list()->isEnabled());
    EXPECT_FALSE(child<QGroupBox>("umapGroup")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>("umapGroup")->isHidden());
    EXPECT_FALSE(child<QGroupBox>("clusterGroup")->isEnabled());
    EXPECT_FALSE(computeButton()->isEnabled());
    EXPECT_FALSE(saveButton()->isEnabled());
    EXPECT_FALSE(loadButton()->isEnabled());
    // A reference reported during the run does not unlock saving.
    dock.setReferenceText(QStringLiteral("Fitted: UMAP"), true);
    EXPECT_FALSE(saveButton()->isEnabled());

    dock.setDimRedBusy(false);
    for (const char* name : {"dimRedMethodCombo", "dimRedFitCombo", "dimRedApplyCombo"})
        EXPECT_TRUE(combo(name)->isEnabled()) << name;
    EXPECT_TRUE(list()->isEnabled());
    EXPECT_TRUE(computeButton()->isEnabled());
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_TRUE(loadButton()->isEnabled());
}

TEST_F(CalculationsDockDimRedTest, ReferenceButtonsEmitTheirRequests)
{
    QSignalSpy saves(&dock, &CalculationsDockWidget::saveDimRedReference);
    QSignalSpy loads(&dock, &CalculationsDockWidget::loadDimRedReference);
    loadButton()->click();
    dock.setReferenceText(QStringLiteral("Loaded: PCA"), true);
    saveButton()->click();
    EXPECT_EQ(saves.count(), 1);
    EXPECT_EQ(loads.count(), 1);
}

} // namespace
} // namespace Tervane3
