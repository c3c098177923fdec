// The statistical summary export: the exact table (header, cells in %g, N as an integer,
// empty cells where a dataset lacks a feature or has no values), the events of each
// dataset's effective filter, the flow's messages and the overwrite question, and the
// dialog's states.
#include "io/StatSummaryExport.h"

#include "ExportTestSupport.h"
#include "app/ScriptedPrompts.h"
#include "io/StatSummaryExportDialog.h"
#include "support/RtdcFixture.h"
#include "support/RuleBuilders.h"
#include "support/StandInHost.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <limits>
#include <numeric>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

using Kind = ScriptedPrompts::Kind;
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

StatSummaryOptions onlyStatistics(std::vector<std::string> features, bool n, bool median)
{
    StatSummaryOptions o;
    o.features = std::move(features);
    o.n = n;
    o.median = median;
    o.mean = o.sd = false;
    return o;
}

StatSummaryOptions allStatistics(std::vector<std::string> features)
{
    StatSummaryOptions o;
    o.features = std::move(features);
    o.n = o.median = o.iqr = o.mean = o.sd = o.sem = o.q1 = o.q3 = o.min = o.max = o.cv = o.skewness = true;
    o.percentile = true;
    return o;
}

std::string readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<missing>");
}

class StatSummaryExportTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    DatasetEntry& addDataset(const char* name, const std::map<std::string, std::vector<double>>& columns)
    {
        const std::string path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".rtdc")).toStdString();
        {
            fx::RtdcFixture f(path);
            for (const auto& [key, values] : columns)
                f.addColumn<double>(key, values);
        }
        host.entries.push_back(fx::openEntry(path, static_cast<int>(host.entries.size()), QString::fromLatin1(name)));
        if (host.activeId < 0)
            host.activeId = 0;
        return *host.entries.back();
    }
    SummaryRowInput row(const DatasetEntry& entry) const
    {
        return {entry.displayName, entry.reader.get(), host.passingEvents(&entry)};
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    fx::StandInHost host;
};

TEST_F(StatSummaryExportTest, EveryStatisticOfOneToFour)
{
    DatasetEntry& a = addDataset("A", {{"area_um", {1, 2, 3, 4}}});
    const std::string table = statSummaryTable({row(a)}, allStatistics({"area_um"}));
    EXPECT_EQ(table,
              "Dataset\tArea [µm²] N\tArea [µm²] Median\tArea [µm²] IQR\tArea [µm²] Q1\tArea [µm²] Q3\t"
              "Area [µm²] P95.0\tArea [µm²] Mean\tArea [µm²] SD\tArea [µm²] SEM\tArea [µm²] CV (%)\t"
              "Area [µm²] Min\tArea [µm²] Max\tArea [µm²] Skewness\n"
              "A\t4\t2.5\t1.5\t1.75\t3.25\t3.85\t2.5\t1.29099\t0.645497\t51.6398\t1\t4\t0\n");
}

TEST_F(StatSummaryExportTest, CellsOfMissingFeaturesAndMissingValues)
{
    // B comes first but lacks bright_avg: its label comes from A.
    DatasetEntry& b = addDataset("B", {{"area_um", {nan, inf, -inf}}});
    DatasetEntry& a = addDataset("A", {{"area_um", {5, 6, 7}}, {"bright_avg", {1, 2, 3}}});
    DatasetEntry& c = addDataset("C", {{"area_um", {1, 2, 3}}, {"bright_avg", {10, 20, 30}}});
    c.filter.addRule(fx::rangeRule("area_um", 100, 200)); // nothing passes
    const std::string table =
        statSummaryTable({row(b), row(a), row(c)}, onlyStatistics({"area_um", "bright_avg"}, true, true));
    EXPECT_EQ(table,
              "Dataset\tArea [µm²] N\tArea [µm²] Median\tBrightness average [a.u.] N\tBrightness average [a.u.] Median\n"
              "B\t0\t\t\t\n"
              "A\t3\t6\t3\t2\n"
              "C\t0\t\t0\t\n");
}

TEST_F(StatSummaryExportTest, EventsOfTheEffectiveFilter)
{
    DatasetEntry& a = addDataset("A", {{"area_um", {1, 2, 3, 4, 5}}});
    a.filter.addRule(fx::rangeRule("area_um", 2, 4));
    const StatSummaryOptions options = onlyStatistics({"area_um"}, true, true);
    EXPECT_EQ(statSummaryTable({row(a)}, options), "Dataset\tArea [µm²] N\tArea [µm²] Median\nA\t3\t3\n");
    // A group rule adds to it; filtering switched off counts every event, rules or not.
    host.groupRules[a.id] = {fx::rangeRule("area_um", 3, 10)};
    EXPECT_EQ(statSummaryTable({row(a)}, options), "Dataset\tArea [µm²] N\tArea [µm²] Median\nA\t2\t3.5\n");
    a.filter.setEnabled(false);
    EXPECT_EQ(statSummaryTable({row(a)}, options), "Dataset\tArea [µm²] N\tArea [µm²] Median\nA\t5\t3\n");
}

// Regression: N was written with %g, so 1,234,567 events read "1.23457e+06".
TEST_F(StatSummaryExportTest, CountsAreWholeNumbers)
{
    RTDCReader reader; // a computed column needs no file
    std::vector<double> values(1234567);
    std::iota(values.begin(), values.end(), 0.0);
    reader.setFeature("area_um", std::move(values));
    SummaryRowInput input{QStringLiteral("big"), &reader, std::vector<int>(1234567)};
    std::iota(input.events.begin(), input.events.end(), 0);
    StatSummaryOptions options = onlyStatistics({"area_um"}, true, false);
    options.max = true;
    EXPECT_EQ(statSummaryTable({input}, options), "Dataset\tArea [µm²] N\tArea [µm²] Max\nbig\t1234567\t1.23457e+06\n");
}

TEST_F(StatSummaryExportTest, ShortColumnsAndOddNames)
{
    // Events beyond the end of a short column count as missing; a tab in a name is escaped.
    DatasetEntry& a = addDataset("A", {{"area_um", {1, 2, 3, 4}}, {"short", {10, 20}}});
    a.displayName = QStringLiteral("tab\there");
    EXPECT_EQ(statSummaryTable({row(a)}, onlyStatistics({"short"}, true, true)),
              "Dataset\tshort N\tshort Median\ntab\\there\t2\t15\n");
}

class StatSummaryFlowTest : public StatSummaryExportTest
{
protected:
    void SetUp() override
    {
        StatSummaryExportTest::SetUp();
        addDataset("A", {{"area_um", {1, 2, 3, 4}}, {"deform", {0.1, 0.2, 0.3, 0.4}}});
    }
    StatSummaryExportDialog* dialog() const
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<StatSummaryExportDialog*>(w))
                return d;
        return nullptr;
    }
    template <typename W>
    W* child(const char* name) const
    {
        return dialog()->findChild<W*>(QLatin1String(name));
    }
    void acceptWith(const std::function<void()>& setUp)
    {
        prompts->answerDialog(QDialog::Accepted);
        prompts->whileOpen = [setUp](const ScriptedPrompts::Call& call) {
            if (call.kind == Kind::Dialog && setUp)
                setUp();
        };
    }
    void run() { StatSummaryExporter(host, nullptr).exportStatSummary(last, hasLast); }

    ScriptedPromptsGuard prompts;
    StatSummaryOptions last;
    bool hasLast = false;
};

TEST_F(StatSummaryFlowTest, WritesThePrefilledFile)
{
    acceptWith(nullptr); // the first defaults: N, Median, IQR of every feature
    run();
    const QString path = file("statistical_summary.tsv");
    EXPECT_EQ(prompts->last()->title.toStdString(), "Export");
    EXPECT_EQ(prompts->last()->text, QStringLiteral("Statistical summary exported to:\n%1").arg(path));
    EXPECT_EQ(readText(path),
              "Dataset\tArea [µm²] N\tArea [µm²] Median\tArea [µm²] IQR\tDeformation N\tDeformation Median\t"
              "Deformation IQR\nA\t4\t2.5\t1.5\t4\t0.25\t0.15\n");
    EXPECT_TRUE(hasLast);
}

TEST_F(StatSummaryFlowTest, RefusalsAndWhatIsRemembered)
{
    acceptWith([this] { child<QPushButton>("deselectAllButton")->click(); });
    run();
    EXPECT_EQ(prompts->last()->text.toStdString(), "No features selected.");
    EXPECT_FALSE(hasLast);

    acceptWith([this] {
        for (const char* name : {"nCheck", "medianCheck", "iqrCheck"})
            child<QCheckBox>(name)->setChecked(false);
    });
    run();
    EXPECT_EQ(prompts->last()->text.toStdString(), "No statistics selected.");
    EXPECT_TRUE(hasLast); // remembered although nothing was written
    EXPECT_FALSE(last.n);
    EXPECT_FALSE(QFile::exists(file("statistical_summary.tsv")));

    // A folder that cannot exist: a regular file in its place (tests run as root).
    const QString below = file("A.rtdc") + QStringLiteral("/s.tsv");
    acceptWith([this, below] {
        child<QCheckBox>("nCheck")->setChecked(true);
        child<QLineEdit>("outputEdit")->setText(below);
    });
    run();
    EXPECT_EQ(prompts->last()->text, QStringLiteral("Could not open file for writing:\n%1").arg(below));
    EXPECT_EQ(last.outputPath, below.toStdString());
}

TEST_F(StatSummaryFlowTest, ExistingFileIsReplacedOnlyWhenConfirmed)
{
    const QString path = file("statistical_summary.tsv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("older results\n");
    }
    acceptWith(nullptr);
    prompts->answerMessage(QStringLiteral("&No"));
    run();
    EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Question);
    EXPECT_EQ(readText(path), "older results\n");

    prompts->answerMessage(QStringLiteral("&Yes"));
    acceptWith(nullptr);
    run();
    EXPECT_EQ(prompts->last()->text, QStringLiteral("Statistical summary exported to:\n%1").arg(path));
    EXPECT_NE(readText(path), "older results\n");

    // Chosen through "Browse...", whose dialog has asked already: no second question.
    prompts->clear();
    prompts->answerFiles({path});
    acceptWith([this] { child<QPushButton>("browseButton")->click(); });
    run();
    EXPECT_EQ(prompts->count(Kind::SaveFileName), 1);
    EXPECT_EQ(prompts->calls()[1].title.toStdString(), "Save Statistical Summary");
    EXPECT_EQ(prompts->calls()[1].filter.toStdString(), "TSV files (*.tsv);;All files (*)");
    EXPECT_EQ(prompts->count(Kind::Message), 1);
    EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Information);
}

TEST_F(StatSummaryFlowTest, AllLoadedDatasetsInListOrder)
{
    addDataset("B", {{"area_um", {5, 6}}});
    DatasetEntry& loading = addDataset("C", {{"area_um", {7}}});
    loading.featuresLoaded = false;
    acceptWith([this] {
        child<QRadioButton>("scopeAllRadio")->setChecked(true);
        child<QCheckBox>("feature_deform")->setChecked(false);
    });
    run();
    EXPECT_EQ(readText(file("statistical_summary.tsv")),
              "Dataset\tArea [µm²] N\tArea [µm²] Median\tArea [µm²] IQR\nA\t4\t2.5\t1.5\nB\t2\t5.5\t0.5\n");
}

class StatSummaryDialogTest : public StatSummaryExportTest
{
protected:
    void SetUp() override
    {
        StatSummaryExportTest::SetUp();
        addDataset("A", {{"area_um", {1, 2}}, {"deform", {0.1, 0.2}}});
        addDataset("B", {{"area_um", {1, 2}}, {"bright_avg", {3, 4}}});
    }
    std::unique_ptr<StatSummaryExportDialog> make(const StatSummaryOptions* previous = nullptr)
    {
        return std::make_unique<StatSummaryExportDialog>(host.entries[0].get(), &host.entries, nullptr, previous);
    }
    template <typename W>
    static W* get(StatSummaryExportDialog& d, const char* name)
    {
        W* w = d.findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST_F(StatSummaryDialogTest, FirstDefaults)
{
    auto d = make();
    EXPECT_EQ(d->windowTitle().toStdString(), "Export Statistical Summary");
    const StatSummaryOptions o = d->options();
    EXPECT_TRUE(o.n && o.median && o.iqr);
    EXPECT_FALSE(o.mean || o.sd || o.sem || o.q1 || o.q3 || o.min || o.max || o.cv || o.skewness || o.percentile);
    EXPECT_FALSE(o.allDatasets);
    EXPECT_EQ(o.features, (std::vector<std::string>{"area_um", "deform"}));
    EXPECT_EQ(o.outputPath, file("statistical_summary.tsv").toStdString());
    QDoubleSpinBox* spin = get<QDoubleSpinBox>(*d, "percentileSpin");
    EXPECT_FALSE(spin->isEnabled());
    EXPECT_EQ(spin->value(), 95.0);
    EXPECT_EQ(spin->maximum(), 100.0);
    get<QCheckBox>(*d, "percentileCheck")->setChecked(true);
    EXPECT_TRUE(spin->isEnabled());
    EXPECT_EQ(get<QRadioButton>(*d, "scopeAllRadio")->text().toStdString(), "All datasets (2)");
}

TEST_F(StatSummaryDialogTest, FeaturesOfOtherDatasets)
{
    auto d = make();
    QCheckBox* other = get<QCheckBox>(*d, "feature_bright_avg");
    EXPECT_TRUE(other->isHidden());
    EXPECT_FALSE(other->isChecked());
    EXPECT_EQ(other->toolTip().toStdString(), "Not available in current dataset (available in other datasets)");
    get<QPushButton>(*d, "selectAllButton")->click();
    EXPECT_FALSE(other->isChecked());
    get<QRadioButton>(*d, "scopeAllRadio")->setChecked(true);
    EXPECT_FALSE(other->isHidden());
    get<QPushButton>(*d, "selectAllButton")->click();
    EXPECT_EQ(d->options().features, (std::vector<std::string>{"area_um", "deform", "bright_avg"}));
    // Hidden again but still chosen: it gives empty cells; "Deselect All" clears it.
    get<QRadioButton>(*d, "scopeCurrentRadio")->setChecked(true);
    EXPECT_TRUE(other->isHidden());
    EXPECT_TRUE(other->isChecked());
    get<QPushButton>(*d, "deselectAllButton")->click();
    EXPECT_TRUE(d->options().features.empty());
}

TEST_F(StatSummaryDialogTest, PreviousOptionsComeBack)
{
    StatSummaryOptions previous;
    previous.features = {"deform", "bright_avg", "gone"};
    previous.allDatasets = true;
    previous.outputPath = "/elsewhere/summary.tsv";
    previous.n = false;
    previous.skewness = true;
    previous.percentile = true;
    previous.percentileValue = 12.5;
    auto d = make(&previous);
    const StatSummaryOptions o = d->options();
    EXPECT_TRUE(o.allDatasets);
    EXPECT_EQ(o.features, (std::vector<std::string>{"deform", "bright_avg"}));
    EXPECT_FALSE(get<QCheckBox>(*d, "feature_bright_avg")->isHidden());
    EXPECT_EQ(o.outputPath, "/elsewhere/summary.tsv");
    EXPECT_FALSE(o.n);
    EXPECT_TRUE(o.mean); // the record's own default
    EXPECT_TRUE(o.skewness);
    EXPECT_EQ(o.percentileValue, 12.5);
    EXPECT_TRUE(get<QDoubleSpinBox>(*d, "percentileSpin")->isEnabled());

    // With one dataset "All datasets (1)" cannot be chosen, whatever was chosen before.
    host.entries.pop_back();
    auto single = make(&previous);
    EXPECT_FALSE(get<QRadioButton>(*single, "scopeAllRadio")->isEnabled());
    EXPECT_FALSE(single->options().allDatasets);
}

} // namespace
} // namespace Tervane3
