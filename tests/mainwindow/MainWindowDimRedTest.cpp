// Dimension reduction through the window's slots on tiny measurements the test writes: PCA
// and UMAP runs with filters and NaN events, cluster ids, the guards and questions, applying,
// saving and loading references, and runs that fail or are cancelled midway.
#include "MainWindowTestAccess.h"

#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedReference.h"
#include "dimred/DimRedRun.h"

#include "dimred/DimRedTestData.h"
#include "support/RuleBuilders.h"
#include "support/TestSupport.h"

#include <H5Cpp.h>

#include <QComboBox>
#include <QGroupBox>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <limits>
#include <set>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;
using Kind = ScriptedPrompts::Kind;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// n events of three correlated features a, b, c (a uniform in [0, 100)); the listed events
// get NaN in b.
Measurement threeFeatures(int n, uint64_t seed, const std::set<int>& nanEvents = {})
{
    SplitMix r(seed);
    Measurement m;
    for (int i = 0; i < n; ++i) {
        const double a = r.uniform() * 100.0;
        const double u = r.uniform(), v = r.uniform();
        m.columns["a"].push_back(a);
        m.columns["b"].push_back(nanEvents.count(i) ? kNaN : 0.5 * a + 20.0 * u);
        m.columns["c"].push_back(3.0 * v - 0.01 * a);
    }
    return m;
}

// Two tight blobs around (0, 0) and (10, 10) in (a, b), c small noise; event 0 is NaN.
Measurement twoBlobs(int perBlob)
{
    SplitMix r(9);
    Measurement m;
    for (int i = 0; i < 2 * perBlob; ++i) {
        const double centre = i < perBlob ? 0.0 : 10.0;
        m.columns["a"].push_back(centre + r.uniform() * 0.5);
        m.columns["b"].push_back(centre + r.uniform() * 0.5);
        m.columns["c"].push_back(r.uniform() * 0.1);
    }
    m.columns["a"][0] = kNaN;
    return m;
}

bool sameBits(double x, double y)
{
    return std::memcmp(&x, &y, sizeof(double)) == 0;
}

// Holds the worker before a target's columns are written, with a failure or a cancel.
class HeldRun
{
public:
    explicit HeldRun(size_t at, bool fail) : holdAt(at), failing(fail)
    {
        setDimRedTargetHook([this](size_t target) {
            if (target != holdAt)
                return;
            if (failing)
                throw std::bad_alloc();
            holding = true;
            released.wait_for(std::chrono::seconds(20));
        });
    }
    ~HeldRun() { release(); }
    void release()
    {
        if (!done) {
            done = true;
            releaser.set_value();
        }
    }
    std::atomic<bool> holding{false};

private:
    size_t holdAt;
    bool failing;
    bool done = false;
    std::promise<void> releaser;
    std::shared_future<void> released = releaser.get_future().share();
};

class MainWindowDimRedTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override { setDimRedTargetHook(nullptr); }

    // Opens a measurement (it becomes the active dataset) and waits for its caching.
    DatasetEntry& open(const Measurement& m)
    {
        const QString path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++));
        writeMeasurement(path.toStdString(), m);
        Access::addDataset(w, path);
        EXPECT_TRUE(waitForCaching(w));
        return Access::entry(w, Access::entries(w).size() - 1);
    }
    void activate(const DatasetEntry& entry)
    {
        for (size_t i = 0; i < Access::entries(w).size(); ++i) {
            if (Access::entries(w)[i].get() == &entry)
                Access::activate(w, static_cast<int>(i));
        }
    }
    CalculationsDockWidget* dock() { return w.calcDock(); }
    template<typename T>
    T* find(const char* name) { return dock()->findChild<T*>(QLatin1String(name)); }
    void choose(const char* combo, int data)
    {
        QComboBox* box = find<QComboBox>(combo);
        box->setCurrentIndex(box->findData(data));
    }
    void checkFeatures(const std::set<std::string>& keys)
    {
        QListWidget* list = find<QListWidget>("dimRedFeatureList");
        for (int row = 0; row < list->count(); ++row) {
            const bool on = keys.count(list->item(row)->data(Qt::UserRole).toString().toStdString()) > 0;
            list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        }
    }
    // A fast UMAP (few epochs, random start).
    void useUmap()
    {
        choose("dimRedMethodCombo", 1);
        find<QSpinBox>("umapEpochsSpin")->setValue(30);
        choose("umapInitCombo", 1);
    }
    void labelClusters(bool on, int minPts = 5, double eps = 0.0)
    {
        find<QGroupBox>("clusterGroup")->setChecked(on);
        find<QSpinBox>("clusterMinPointsSpin")->setValue(minPts);
        find<QCheckBox>("clusterEpsAutoCheck")->setChecked(eps == 0.0);
        find<QDoubleSpinBox>("clusterEpsSpin")->setValue(eps);
    }
    void compute()
    {
        w.onComputeDimReduction();
        ASSERT_TRUE(waitUntil([this] { return !Access::calcBusy(w); }, 60000));
    }
    ScriptedPrompts& prompts() { return *env.prompts; }
    QString lastText() { return prompts().last() ? prompts().last()->text : QString(); }
    QString lastTitle() { return prompts().last() ? prompts().last()->title : QString(); }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
    void failMidway(int method);

    MainWindowEnvironment env;
    QTemporaryDir dir;
    int files = 0;
    MainWindow w;
};

TEST_F(MainWindowDimRedTest, PcaProjectsFilteredOutEventsAndKeepsNaN)
{
    // 1,000 events, the filter passes 600 (a < 60), 5 of those are NaN in b.
    Measurement m = threeFeatures(1000, 1, {});
    std::vector<double>& a = m.columns["a"];
    for (int i = 0; i < 1000; ++i)
        a[static_cast<size_t>(i)] = (i % 10 < 6 ? 0.0 : 60.0) + (i % 97) * 0.5; // 600 below 60
    std::set<int> nanPassing;
    for (int i : {3, 12, 21, 40, 51})
        m.columns["b"][static_cast<size_t>(i)] = kNaN, nanPassing.insert(i);
    DatasetEntry& entry = open(m);
    entry.filter.addRule(rangeRule("a", -1.0, 59.9999));
    checkFeatures({"a", "b", "c"});
    ASSERT_TRUE(find<QPushButton>("computeDimReductionButton")->isEnabled());

    compute();
    ASSERT_EQ(prompts().calls().size(), 1u);
    EXPECT_EQ(lastTitle(), QStringLiteral("Dimension Reduction"));
    EXPECT_TRUE(lastText().startsWith(QStringLiteral("Fitted on 595 events from 1 dataset(s).\nDimension 1 captures ")));
    const auto reference = Access::dimRedReference(w);
    ASSERT_TRUE(reference);
    EXPECT_EQ(Access::dimRedReferenceLabel(w), QStringLiteral("the projection fitted in this session"));
    EXPECT_EQ(reference->pca.fitEventCount, 595u);
    EXPECT_EQ(reference->fitDatasets, entry.displayName.toStdString());

    // The centre is the median of the 595 training rows of each feature.
    std::vector<double> trainingA;
    for (int i = 0; i < 1000; ++i) {
        if (a[static_cast<size_t>(i)] < 60.0 && !nanPassing.count(i))
            trainingA.push_back(a[static_cast<size_t>(i)]);
    }
    ASSERT_EQ(trainingA.size(), 595u);
    std::nth_element(trainingA.begin(), trainingA.begin() + 297, trainingA.end());
    EXPECT_EQ(reference->pca.center[0], trainingA[297]);

    // Every event is projected with the fitted model, the filtered-out ones too; NaN stays.
    const std::vector<double>& dim1 = entry.reader->getFeature("dim_1");
    const std::vector<double>& dim2 = entry.reader->getFeature("dim_2");
    ASSERT_EQ(dim1.size(), 1000u);
    ASSERT_EQ(dim2.size(), 1000u);
    const DimRedModel& model = reference->pca;
    for (int i = 0; i < 1000; ++i) {
        SCOPED_TRACE(i);
        if (nanPassing.count(i)) {
            EXPECT_TRUE(std::isnan(dim1[static_cast<size_t>(i)]));
            continue;
        }
        double x = 0.0;
        for (size_t j = 0; j < 3; ++j) {
            const char* key = j == 0 ? "a" : j == 1 ? "b" : "c";
            x += (m.columns[key][static_cast<size_t>(i)] - model.center[j]) / model.scale[j] * model.component1[j];
        }
        EXPECT_NEAR(dim1[static_cast<size_t>(i)], x, 1e-9 * (1.0 + std::abs(x)));
        EXPECT_TRUE(std::isfinite(dim2[static_cast<size_t>(i)]));
    }
    EXPECT_FALSE(entry.reader->hasFeature("dr_cluster"));
    EXPECT_TRUE(find<QPushButton>("saveDimRedReferenceButton")->isEnabled());
    EXPECT_FALSE(dock()->dimRedIsBusy());
}

TEST_F(MainWindowDimRedTest, UmapTrainingEventsKeepTheirFittedPositionExactly)
{
    DatasetEntry& entry = open(threeFeatures(300, 2, {7}));
    entry.filter.addRule(rangeRule("a", 0.0, 70.0));
    checkFeatures({"a", "b", "c"});
    useUmap();
    compute();
    const auto reference = Access::dimRedReference(w);
    ASSERT_TRUE(reference);
    EXPECT_EQ(reference->kind, DimRedMethodUmap);
    EXPECT_TRUE(lastText().contains(QStringLiteral("UMAP axes carry no units")));
    const std::vector<double>& a = entry.reader->getFeature("a");
    const std::vector<double>& dim1 = entry.reader->getFeature("dim_1");
    const std::vector<double>& dim2 = entry.reader->getFeature("dim_2");
    size_t row = 0, transformed = 0;
    for (size_t i = 0; i < 300; ++i) {
        if (i == 7) {
            EXPECT_TRUE(std::isnan(dim1[i]));
            if (a[i] <= 70.0)
                continue;
        }
        if (a[i] <= 70.0 && i != 7) {
            ASSERT_LT(row, reference->umap.n);
            EXPECT_TRUE(sameBits(dim1[i], reference->umap.embedding[2 * row])) << i;
            EXPECT_TRUE(sameBits(dim2[i], reference->umap.embedding[2 * row + 1])) << i;
            ++row;
        } else if (i != 7) {
            EXPECT_TRUE(std::isfinite(dim1[i]) && std::isfinite(dim2[i])) << i;
            ++transformed;
        }
    }
    EXPECT_EQ(row, reference->umap.n);
    EXPECT_GT(transformed, 50u);
}

TEST_F(MainWindowDimRedTest, GuardsAndQuestions)
{
    DatasetEntry& other = open(threeFeatures(40, 3));
    Measurement lacking = threeFeatures(40, 4);
    lacking.columns.erase("c");
    DatasetEntry& without = open(lacking);
    DatasetEntry& active = open(threeFeatures(40, 5));

    // One feature: nothing.
    checkFeatures({"a"});
    w.onComputeDimReduction();
    EXPECT_TRUE(prompts().calls().empty());
    EXPECT_FALSE(Access::calcBusy(w));

    // This dataset only: no question although another dataset lacks "c".
    checkFeatures({"a", "c"});
    compute();
    ASSERT_EQ(prompts().calls().size(), 1u);
    EXPECT_EQ(prompts().last()->icon, Prompts::Icon::Information);
    EXPECT_TRUE(active.reader->hasFeature("dim_1"));
    EXPECT_FALSE(other.reader->hasFeature("dim_1"));

    // Pooled: the question names the dataset left out; No changes nothing.
    prompts().clear();
    choose("dimRedFitCombo", 1);
    prompts().answerMessage(QStringLiteral("&No"));
    const std::vector<double> before = active.reader->getFeature("dim_1");
    w.onComputeDimReduction();
    ASSERT_EQ(prompts().calls().size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("These datasets lack one or more selected features and will be left out:\n\n%1"
                                         "\n\nContinue?").arg(without.displayName));
    EXPECT_FALSE(Access::calcBusy(w));
    EXPECT_EQ(active.reader->getFeature("dim_1").size(), before.size());
    EXPECT_FALSE(other.reader->hasFeature("dim_1"));

    // Yes: fitted on the two others and written to all eligible ones.
    prompts().clear();
    choose("dimRedApplyCombo", 1);
    prompts().answerMessage(QStringLiteral("&Yes"));
    compute();
    EXPECT_TRUE(lastText().startsWith(QStringLiteral("Fitted on 80 events from 2 dataset(s).")));
    EXPECT_TRUE(other.reader->hasFeature("dim_1"));
    EXPECT_FALSE(without.reader->hasFeature("dim_1"));

    // A filter passing 2 events: the warning, nothing starts.
    prompts().clear();
    choose("dimRedFitCombo", 0);
    choose("dimRedApplyCombo", 0);
    std::vector<double> sorted = active.reader->getFeature("a");
    std::sort(sorted.begin(), sorted.end());
    active.filter.addRule(rangeRule("a", sorted[0], sorted[1]));
    w.onComputeDimReduction();
    EXPECT_EQ(lastText(), QStringLiteral("Not enough events pass the filter with valid values in every selected "
                                         "feature to fit a projection."));
    EXPECT_FALSE(Access::calcBusy(w));
    EXPECT_FALSE(dock()->dimRedIsBusy());

    // The active dataset lost a feature the list still has checked.
    prompts().clear();
    activate(without);
    checkFeatures({"a", "b"});
    find<QListWidget>("dimRedFeatureList")->addItem(QStringLiteral("c"));
    QListWidgetItem* stale = find<QListWidget>("dimRedFeatureList")->item(find<QListWidget>("dimRedFeatureList")->count() - 1);
    stale->setData(Qt::UserRole, QStringLiteral("c"));
    stale->setFlags(stale->flags() | Qt::ItemIsUserCheckable);
    stale->setCheckState(Qt::Checked);
    w.onComputeDimReduction();
    EXPECT_EQ(lastText(), QStringLiteral("The active dataset no longer has all of the selected features."));

    // A request while a calculation runs starts nothing and says why.
    prompts().clear();
    checkFeatures({"a", "b"});
    Access::calcBusy(w) = true;
    w.onComputeDimReduction();
    Access::calcBusy(w) = false;
    ASSERT_EQ(prompts().calls().size(), 1u);
    EXPECT_EQ(prompts().last()->title, QStringLiteral("Dimension Reduction"));
    EXPECT_TRUE(prompts().last()->text.startsWith(QStringLiteral("A calculation is running.")));
    EXPECT_FALSE(Access::calcBusy(w));
}

TEST_F(MainWindowDimRedTest, UmapOnTooFewEventsFitsNothingAndKeepsTheReference)
{
    DatasetEntry& entry = open(threeFeatures(30, 6));
    checkFeatures({"a", "b", "c"});
    compute();
    const auto pca = Access::dimRedReference(w);
    ASSERT_TRUE(pca);
    const std::vector<double> dim1 = entry.reader->getFeature("dim_1");

    prompts().clear();
    // Four passing events: enough to try, too few for UMAP.
    std::vector<double> a = entry.reader->getFeature("a");
    std::sort(a.begin(), a.end());
    entry.filter = EventFilter();
    entry.filter.addRule(rangeRule("a", -1.0, a[3]));
    useUmap();
    compute();
    EXPECT_EQ(lastText(), QStringLiteral("Could not fit a projection to the selected features."));
    EXPECT_EQ(Access::dimRedReference(w), pca);
    EXPECT_EQ(entry.reader->getFeature("dim_1"), dim1);
}

TEST_F(MainWindowDimRedTest, UmapRefusedWhenItWouldNotFitInMemory)
{
    DatasetEntry& entry = open(threeFeatures(60, 7));
    checkFeatures({"a", "b", "c"});
    useUmap();
    Access::dimRedMemoryLimit(w) = 1024;
    w.onComputeDimReduction();
    EXPECT_TRUE(lastText().startsWith(QStringLiteral("Too many events for a UMAP fit on this computer (60 events need ")));
    EXPECT_TRUE(lastText().endsWith(QStringLiteral("). Filter the events or fit on fewer datasets.")));
    EXPECT_FALSE(Access::calcBusy(w));
    EXPECT_FALSE(entry.reader->hasFeature("dim_1"));
}

TEST_F(MainWindowDimRedTest, TwoBlobsGetTwoClusterIdsAndNaNNone)
{
    DatasetEntry& entry = open(twoBlobs(60));
    checkFeatures({"a", "b", "c"});
    labelClusters(true, 5);
    compute();
    EXPECT_TRUE(lastText().endsWith(
        QStringLiteral("\n\nLabelled 2 cluster(s) as \"DR cluster ID\"; unclustered events carry no id.")))
       ;
    const std::vector<double>& ids = entry.reader->getFeature("dr_cluster");
    ASSERT_EQ(ids.size(), 120u);
    EXPECT_TRUE(std::isnan(ids[0]));
    std::set<double> seen(ids.begin() + 1, ids.end());
    EXPECT_EQ(seen, (std::set<double>{0.0, 1.0}));
    for (int i = 2; i < 60; ++i)
        EXPECT_EQ(ids[static_cast<size_t>(i)], ids[1]);
    for (int i = 61; i < 120; ++i)
        EXPECT_EQ(ids[static_cast<size_t>(i)], ids[60]);
    EXPECT_NE(ids[1], ids[60]);
    ASSERT_TRUE(Access::dimRedReference(w)->clusters.valid);

    // A radius that forms no cluster: the note, and the older ids stay.
    prompts().clear();
    const std::vector<double> older = ids;
    labelClusters(true, 50, 0.001);
    compute();
    EXPECT_TRUE(lastText().endsWith(QStringLiteral("\n\nNo clusters were found with the chosen settings \u2014 try a "
                                                   "larger radius or fewer minimum points.")));
    const std::vector<double>& kept = entry.reader->getFeature("dr_cluster");
    ASSERT_EQ(kept.size(), older.size());
    for (size_t i = 0; i < kept.size(); ++i)
        EXPECT_TRUE(sameBits(kept[i], older[i]));
}

TEST_F(MainWindowDimRedTest, SaveLoadAndApplyAReference)
{
    // Nothing to save yet.
    w.onSaveDimRedReference();
    EXPECT_EQ(lastText(), QStringLiteral("Fit a dimension reduction first \u2014 there is no projection to save."));

    Measurement twoOnly = threeFeatures(50, 10);
    twoOnly.columns.erase("c");
    DatasetEntry& lacking = open(twoOnly);
    DatasetEntry& second = open(threeFeatures(80, 11));
    DatasetEntry& first = open(threeFeatures(100, 12));
    checkFeatures({"a", "b", "c"});
    labelClusters(true, 5, 5.0);
    compute();
    const auto fitted = Access::dimRedReference(w);
    ASSERT_TRUE(fitted);
    const std::vector<double> fittedDim1 = first.reader->getFeature("dim_1");

    // Saved under "ref" with the filter chosen: ref.tn3dr; size in the status line.
    prompts().clear();
    prompts().answerFiles({QString::fromStdString(path("ref"))}, QStringLiteral("Tervane3 Dimension Reduction (*.tn3dr)"));
    w.onSaveDimRedReference();
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(path("ref.tn3dr"))));
    EXPECT_EQ(prompts().calls().front().title, QStringLiteral("Save Dimension Reduction Reference"));
    EXPECT_EQ(prompts().calls().front().filter, QStringLiteral("Tervane3 Dimension Reduction (*.tn3dr)"));
    const double mb = static_cast<double>(QFileInfo(QString::fromStdString(path("ref.tn3dr"))).size()) / 1048576.0;
    EXPECT_EQ(Access::statusText(w),
              QStringLiteral("Saved dimension-reduction reference (%1 MB).").arg(QString::number(mb, 'f', 3)));

    // Loaded: its file name becomes the label.
    prompts().clear();
    prompts().answerFiles({QString::fromStdString(path("ref.tn3dr"))});
    w.onLoadDimRedReference();
    ASSERT_TRUE(prompts().calls().size() == 1u);
    EXPECT_EQ(prompts().calls().front().filter,
              QStringLiteral("Tervane3 Dimension Reduction (*.tn3dr);;All Files (*)"));
    const auto loaded = Access::dimRedReference(w);
    ASSERT_NE(loaded, fitted);
    EXPECT_EQ(Access::dimRedReferenceLabel(w), QStringLiteral("ref.tn3dr"));
    EXPECT_EQ(Access::statusText(w),
              QStringLiteral("Loaded dimension-reduction reference \u2014 apply it with Fit on: Use reference."));

    // Applying it to the dataset it was fitted on reproduces the fitted values exactly.
    prompts().clear();
    choose("dimRedFitCombo", DimRedFitUseReference);
    ASSERT_EQ(dock()->dimRedFitMode(), DimRedFitUseReference);
    compute();
    EXPECT_EQ(lastTitle(), QStringLiteral("Apply Reference"));
    EXPECT_TRUE(lastText().startsWith(QStringLiteral("Applied ref.tn3dr to 1 dataset(s) without refitting.\n\nPCA, 3 features")));
    EXPECT_EQ(first.reader->getFeature("dim_1"), fittedDim1);

    // To all: the dataset without "c" is named in the question, the other gets the same ids.
    prompts().clear();
    choose("dimRedApplyCombo", 1);
    prompts().answerMessage(QStringLiteral("&Yes"));
    compute();
    ASSERT_EQ(prompts().calls().size(), 2u);
    EXPECT_EQ(prompts().calls().front().text,
              QStringLiteral("These datasets lack one or more of the reference's features (a, b, c) and will be left "
                             "out:\n\n%1\n\nContinue?").arg(lacking.displayName));
    EXPECT_TRUE(lastText().startsWith(QStringLiteral("Applied ref.tn3dr to 2 dataset(s)")));
    EXPECT_TRUE(lastText().contains(QStringLiteral("cluster(s) as \"DR cluster ID\", so the ids match")));
    ASSERT_TRUE(second.reader->hasFeature("dr_cluster"));
    std::vector<double> expected;
    loaded->clusters.assign(second.reader->getFeature("dim_1"), second.reader->getFeature("dim_2"), expected);
    const std::vector<double>& ids = second.reader->getFeature("dr_cluster");
    ASSERT_EQ(ids.size(), expected.size());
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_TRUE(sameBits(ids[i], expected[i]));
    EXPECT_FALSE(lacking.reader->hasFeature("dim_1"));

    // This dataset alone when it lacks a feature: the warning lists the reference's features.
    prompts().clear();
    choose("dimRedApplyCombo", 0);
    activate(lacking);
    choose("dimRedFitCombo", DimRedFitUseReference);
    w.onComputeDimReduction();
    EXPECT_EQ(lastText(), QStringLiteral("No loaded dataset has all of the reference's features:\n\na, b, c"));
    EXPECT_FALSE(lacking.reader->hasFeature("dim_1"));

    // A file of a newer format: the message, and the current reference stays.
    {
        H5::H5File file(path("ref.tn3dr"), H5F_ACC_RDWR);
        file.removeAttr("format_version");
        const int64_t two = 2;
        file.createAttribute("format_version", H5::PredType::STD_I64LE, H5::DataSpace(H5S_SCALAR))
            .write(H5::PredType::NATIVE_INT64, &two);
    }
    prompts().clear();
    prompts().answerFiles({QString::fromStdString(path("ref.tn3dr"))});
    w.onLoadDimRedReference();
    EXPECT_EQ(lastTitle(), QStringLiteral("Load Reference"));
    EXPECT_EQ(lastText(), QStringLiteral("Could not read this reference:\nthe file was written by a newer version of "
                                         "Tervane3 (format 2)"));
    EXPECT_EQ(Access::dimRedReference(w), loaded);
    EXPECT_EQ(Access::dimRedReferenceLabel(w), QStringLiteral("ref.tn3dr"));

    // A save that cannot be written: the writer's reason after the first line.
    std::ofstream(path("plain")) << "x";
    prompts().clear();
    prompts().answerFiles({QString::fromStdString(path("plain") + "/x.tn3dr")});
    w.onSaveDimRedReference();
    EXPECT_EQ(lastTitle(), QStringLiteral("Save Reference"));
    EXPECT_TRUE(lastText().startsWith(QStringLiteral("Failed to save the reference:\n")));
}

// A failure among the targets once ended in "Fitted on ..." with a new reference and stale
// columns in the later datasets, followed by a second box.
void MainWindowDimRedTest::failMidway(int method)
{
    DatasetEntry& one = open(threeFeatures(60, 20));
    DatasetEntry& two = open(threeFeatures(60, 21));
    DatasetEntry& three = open(threeFeatures(60, 22));
    activate(one);
    checkFeatures({"a", "b", "c"});
    if (method == DimRedMethodUmap)
        useUmap();
    choose("dimRedApplyCombo", 1);
    HeldRun run(1, true);
    compute();
    ASSERT_EQ(prompts().calls().size(), 1u);
    EXPECT_EQ(prompts().last()->icon, Prompts::Icon::Warning);
    EXPECT_EQ(lastText(), QStringLiteral("Dimension reduction failed: not enough memory\n\nNew values were already "
                                         "written to: %1").arg(one.displayName));
    EXPECT_FALSE(Access::dimRedReference(w));
    EXPECT_TRUE(one.reader->hasFeature("dim_1"));
    EXPECT_FALSE(two.reader->hasFeature("dim_1"));
    EXPECT_FALSE(three.reader->hasFeature("dim_1"));
    EXPECT_FALSE(dock()->dimRedIsBusy());
    EXPECT_FALSE(Access::errorBoxOpen(w));
}

TEST_F(MainWindowDimRedTest, APcaFailureMidwaySaysSoAndInstallsNoReference)
{
    failMidway(DimRedMethodPca);
}

TEST_F(MainWindowDimRedTest, AUmapFailureMidwaySaysSoAndInstallsNoReference)
{
    failMidway(DimRedMethodUmap);
}

TEST_F(MainWindowDimRedTest, CancelStopsTheRunAndInstallsNoReference)
{
    DatasetEntry& one = open(threeFeatures(60, 30));
    DatasetEntry& two = open(threeFeatures(60, 31));
    activate(one);
    checkFeatures({"a", "b", "c"});
    choose("dimRedApplyCombo", 1);
    HeldRun run(1, false);
    w.onComputeDimReduction();
    ASSERT_TRUE(waitUntil([&] { return run.holding.load(); }));
    EXPECT_TRUE(dock()->dimRedIsBusy());
    w.onCancelCalculation();
    run.release();
    ASSERT_TRUE(waitUntil([this] { return !Access::calcBusy(w); }));
    EXPECT_EQ(lastText(), QStringLiteral("Dimension reduction was cancelled.\n\nNew values were already written to: %1")
                              .arg(one.displayName));
    EXPECT_FALSE(Access::dimRedReference(w));
    EXPECT_FALSE(two.reader->hasFeature("dim_1"));
    EXPECT_FALSE(dock()->dimRedIsBusy());
}

} // namespace
