// The export flow over a stand-in dataset host: dialog, output names, the effective filter,
// the progress window with cancel, and every failure reported with nothing left behind.
#include "io/EventExport.h"

#include "ExportTestSupport.h"
#include "app/ScriptedPrompts.h"
#include "io/ExportDialog.h"
#include "io/RtdcWriter.h"
#include "support/RtdcFixture.h"
#include "support/StandInHost.h"

#include "support/RuleBuilders.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

using Kind = ScriptedPrompts::Kind;

ExportDialog* openDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<ExportDialog*>(widget))
            return dialog;
    return nullptr;
}

template <typename W>
W* child(const char* name)
{
    ExportDialog* dialog = openDialog();
    return dialog ? dialog->findChild<W*>(QLatin1String(name)) : nullptr;
}

class EventExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        addSource("a", {10, 20, 30, 40, 50, 60}, "sample a");
    }
    void TearDown() override { RtdcWriter::failStepForTesting(std::string()); }

    // A measurement with area_um, deform and images; opened as a dataset of the host.
    DatasetEntry& addSource(const std::string& name, const std::vector<double>& area, const std::string& sample,
                            bool deform = true)
    {
        const std::string file = dir.filePath(QString::fromStdString(name + ".rtdc")).toStdString();
        {
            fx::RtdcFixture f(file);
            f.addColumn<double>("area_um", area);
            if (deform)
                f.addColumn<double>("deform", std::vector<double>(area.size(), 0.05));
            std::vector<std::uint8_t> stack(area.size() * 4 * 6, 9);
            f.addFrames("image", stack, area.size(), 4, 6);
            f.addStringAttribute("experiment:sample", sample);
        }
        host.entries.push_back(fx::openEntry(file, static_cast<int>(host.entries.size()),
                                             QString::fromStdString(sample)));
        if (host.activeId < 0)
            host.activeId = 0;
        return *host.entries.back();
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    // The folder's files, sorted.
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

    // Accepts the dialog after `setUp` has set its widgets.
    void acceptDialogWith(const std::function<void()>& setUp)
    {
        prompts->answerDialog(QDialog::Accepted);
        prompts->whileOpen = [setUp](const ScriptedPrompts::Call& call) {
            if (call.kind == Kind::Dialog && setUp)
                setUp();
        };
    }
    void run()
    {
        EventExporter(host, nullptr).exportData(false, last, hasLast);
    }

    QTemporaryDir dir;
    fx::StandInHost host;
    ScriptedPromptsGuard prompts;
    ExportOptions last;
    bool hasLast = false;
};

TEST_F(EventExportTest, OneDatasetAsRtdc)
{
    acceptDialogWith([] { child<QCheckBox>("imagesCheck")->setChecked(true); });
    run();
    ASSERT_EQ(prompts->count(Kind::Dialog), 1);
    EXPECT_EQ(prompts->calls()[0].text.toStdString(), "Export Data");
    EXPECT_EQ(prompts->last()->title.toStdString(), "Export");
    EXPECT_EQ(prompts->last()->text.toStdString(), "Dataset exported successfully.");
    // The file under its final name only: no temporary file is left.
    EXPECT_EQ(files(), (QStringList{"TN3export_a.rtdc", "a.rtdc"}));
    RTDCReader copy;
    ASSERT_TRUE(copy.open(file(QStringLiteral("TN3export_a.rtdc")).toStdString()));
    EXPECT_EQ(copy.eventCount(), 6u);
    EXPECT_TRUE(copy.hasImage());
    EXPECT_EQ(copy.featureNames(), (std::vector<std::string>{"area_um", "deform", "image"}));
    EXPECT_TRUE(hasLast);
    EXPECT_EQ(last.features, (std::vector<std::string>{"area_um", "deform"}));
    // The record of a switched-off (here: empty) filter is not written.
    EXPECT_TRUE(copy.readMetadata().offlineFilter.empty());
}

TEST_F(EventExportTest, CancelledDialogChangesNothing)
{
    run();
    EXPECT_EQ(prompts->calls().size(), 1u);
    EXPECT_FALSE(hasLast);
    EXPECT_EQ(files(), QStringList{"a.rtdc"});
}

TEST_F(EventExportTest, NoLoadedDataset)
{
    host.entries[0]->featuresLoaded = false;
    run();
    ASSERT_EQ(prompts->calls().size(), 1u);
    EXPECT_EQ(prompts->last()->text.toStdString(), "No loaded dataset available for export.");
}

TEST_F(EventExportTest, ReexportThroughAFilterRecordsItsEvents)
{
    // The first export's file is opened again and exported through a filter passing 3 events.
    acceptDialogWith(nullptr);
    run();
    ASSERT_TRUE(QFileInfo::exists(file(QStringLiteral("TN3export_a.rtdc"))));
    host.entries.push_back(fx::openEntry(file(QStringLiteral("TN3export_a.rtdc")).toStdString(), 7,
                                         QStringLiteral("second look")));
    host.activeId = 7;
    host.entries.back()->filter.addRule(fx::rangeRule("area_um", 15, 45));
    prompts->clear();
    acceptDialogWith(nullptr);
    run();
    EXPECT_EQ(prompts->last()->text.toStdString(), "Dataset exported successfully.");
    RTDCReader copy;
    ASSERT_TRUE(copy.open(file(QStringLiteral("TN3export_TN3export_a.rtdc")).toStdString()));
    EXPECT_EQ(copy.getFeature("area_um"), (std::vector<double>{20, 30, 40}));
    const Metadata m = copy.readMetadata();
    EXPECT_EQ(m.value("export", "event count"), "3");
    EXPECT_EQ(m.value("export", "changed sample name"), "second look");
    EXPECT_EQ(m.value("offline_filter", "area_um min"), "15.000000");
    EXPECT_EQ(m.value("offline_filter", "area_um max"), "45.000000");
}

TEST_F(EventExportTest, FilteringSwitchedOffExportsEveryEventWithoutRecord)
{
    host.entries[0]->filter.addRule(fx::rangeRule("area_um", 15, 45));
    host.entries[0]->filter.setEnabled(false);
    acceptDialogWith(nullptr);
    run();
    RTDCReader copy;
    ASSERT_TRUE(copy.open(file(QStringLiteral("TN3export_a.rtdc")).toStdString()));
    EXPECT_EQ(copy.eventCount(), 6u);
    EXPECT_TRUE(copy.readMetadata().offlineFilter.empty());
    // The display name equals the sample: no changed name.
    EXPECT_TRUE(copy.readMetadata().exportInfo.count("changed sample name") == 0);
}

TEST_F(EventExportTest, NothingPassesTheFilter)
{
    host.entries[0]->filter.addRule(fx::rangeRule("area_um", 1000, 2000));
    acceptDialogWith(nullptr);
    run();
    EXPECT_EQ(prompts->last()->text.toStdString(), "No events pass the filter for: sample a");
    EXPECT_EQ(prompts->countTitled(QStringLiteral("Export")), 1);
    EXPECT_EQ(files(), QStringList{"a.rtdc"});
}

TEST_F(EventExportTest, FolderThatCannotExist)
{
    // A regular file where the folder should be (tests run as root: permissions stop nothing).
    const QString notAFolder = file(QStringLiteral("a.rtdc"));
    for (const QString& folder : {notAFolder, QString()}) {
        SCOPED_TRACE(folder.toStdString());
        prompts->clear();
        acceptDialogWith([folder] {
            child<QCheckBox>("customDirCheck")->setChecked(true);
            child<QLineEdit>("directoryEdit")->setText(folder);
        });
        run();
        EXPECT_EQ(prompts->last()->title.toStdString(), "Export");
        EXPECT_EQ(prompts->last()->text, QStringLiteral("The output folder does not exist: %1").arg(folder));
        EXPECT_EQ(files(), QStringList{"a.rtdc"});
    }
}

TEST_F(EventExportTest, FailedStepIsReportedAndLeavesNoFile)
{
    const std::pair<const char*, const char*> steps[] = {
        {"create", "Failed to create: %1"},
        {"metadata", "Failed to write the metadata to: %1"},
        {"filter", "Failed to write the filter record to: %1"},
        {"export", "Failed to write the export record to: %1"},
        {"features", "Failed to write the scalar features to: %1"},
        {"images", "Failed to write the images to: %1"},
        {"close", "Failed to write the end of the file to: %1"},
    };
    host.entries[0]->filter.addRule(fx::rangeRule("area_um", 15, 45));
    for (const auto& [step, text] : steps) {
        SCOPED_TRACE(step);
        RtdcWriter::failStepForTesting(step);
        prompts->clear();
        acceptDialogWith([] { child<QCheckBox>("imagesCheck")->setChecked(true); });
        run();
        EXPECT_EQ(prompts->countTitled(QStringLiteral("Export Error")), 1);
        EXPECT_EQ(prompts->last()->title.toStdString(), "Export Error");
        EXPECT_EQ(prompts->last()->text,
                  QString::fromLatin1(text).arg(file(QStringLiteral("TN3export_a.rtdc"))));
        EXPECT_EQ(prompts->countTitled(QStringLiteral("Export")), 0); // no success box
        EXPECT_EQ(files(), QStringList{"a.rtdc"});
    }
}

TEST_F(EventExportTest, AllDatasetsWithProgress)
{
    addSource("b", {1, 2, 3}, "sample b");
    addSource("c", {5, 6}, "sample c", false);
    host.entries[1]->filter.addRule(fx::rangeRule("area_um", 100, 200)); // nothing passes in b
    acceptDialogWith([] {
        child<QRadioButton>("scopeAllRadio")->setChecked(true);
        child<QRadioButton>("formatTsvRadio")->setChecked(true);
    });
    run();
    ASSERT_EQ(prompts->count(Kind::Progress), 1);
    EXPECT_EQ(prompts->progressLabels(),
              (QStringList{"Exporting sample a (1/3)", "Exporting sample b (2/3)", "Exporting sample c (3/3)"}));
    EXPECT_EQ(prompts->progressValues(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(prompts->last()->text.toStdString(), "Exported 2 dataset(s) successfully.");
    EXPECT_EQ(files(), (QStringList{"TN3export_a.tsv", "TN3export_c.tsv", "a.rtdc", "b.rtdc", "c.rtdc"}));
    // "deform" was chosen (the active dataset has it) but c lacks it: its column is left out.
    QFile table(file(QStringLiteral("TN3export_c.tsv")));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = table.readAll().split('\n');
    EXPECT_TRUE(lines.contains("Area [\xC2\xB5m\xC2\xB2]"));
}

TEST_F(EventExportTest, CancelAfterTheFirstOfThree)
{
    addSource("b", {1, 2, 3}, "sample b");
    addSource("c", {5, 6}, "sample c");
    prompts->cancelProgressAt(0); // pressed while the first dataset is written
    acceptDialogWith([] { child<QRadioButton>("scopeAllRadio")->setChecked(true); });
    run();
    EXPECT_EQ(files(), (QStringList{"TN3export_a.rtdc", "a.rtdc", "b.rtdc", "c.rtdc"}));
    EXPECT_EQ(prompts->countTitled(QStringLiteral("Export")), 0);
    EXPECT_EQ(prompts->progressLabels(), QStringList{"Exporting sample a (1/3)"});
}

TEST_F(EventExportTest, ExistingOutputsAreNeverOverwritten)
{
    ExportOptions tsv;
    tsv.tsv = true;
    tsv.features = {"area_um"};
    EventExporter exporter(host, nullptr);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(exporter.exportDataset(*host.entries[0], tsv));
    EXPECT_EQ(files(), (QStringList{"TN3export_a.tsv", "TN3export_a_2.tsv", "TN3export_a_3.tsv", "a.rtdc"}));
}

} // namespace
} // namespace Tervane3
