// Opening damaged and unusual measurements through the road the File > Open dialog takes,
// with the probe program checking each file in a process of its own: files without events,
// columns that hold no numbers, names too long for any screen, the reasons in the error box
// and the log, and damaged copies that must be opened or refused, never crash this process.
#include "DamagedOpening.h"
#include "MainWindowTestAccess.h"

#include "app/Log.h"
#include "app/MeasurementProbeRunner.h"
#include "core/RTDCReader.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "support/DamagedCopy.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <random>

#ifndef TERVANE3_PROBE_PROGRAM
#error "The test needs the probe program of the build"
#endif

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

// Every test opens its files the way the application does: probe first. The log is set up
// once for the process (in a folder of its own), so that tests can read what reached it.
class MainWindowUnusualFilesTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static QTemporaryDir logDir;
        initLogging(logDir.path());
    }
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setProbeProgram(QStringLiteral(TERVANE3_PROBE_PROGRAM));
    }
    void TearDown() override { setProbeProgram(QString()); }

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    static int statisticsRows(MainWindow& w)
    {
        return w.findChild<StatisticsDockWidget*>(QStringLiteral("statisticsPanel"))->table()->topLevelItemCount();
    }

    QTemporaryDir dir;
    MainWindowEnvironment env;
};

// Six events with a 4 x 5 image each: what a dataset shows before an empty one is opened.
void writeShownMeasurement(const std::string& file)
{
    RtdcFixture f(file);
    for (const auto& [name, values] : smallMeasurement().columns)
        f.addColumn(name, values);
    f.addFrames("image", std::vector<std::uint8_t>(6 * 4 * 5, 90), 6, 4, 5);
    f.addStringAttribute("experiment:sample", "Shown first");
}

// Catches a dataset without events that stayed at "Loading: ..." and showed the previous
// dataset's points, highlighted event, image and statistics under empty feature combos.
TEST_F(MainWindowUnusualFilesTest, FilesWithoutEventsShowEmptyViews)
{
    struct Case
    {
        const char* name;
        std::function<void(const std::string&)> write;
    };
    const Case cases[] = {
        {"empty events group",
         [](const std::string& file) {
             RtdcFixture f(file);
             f.addStringAttribute("experiment:sample", "empty events group");
         }},
        {"no events group", [](const std::string& file) { writeHdf5WithoutEvents(file); }},
        {"zero-length columns",
         [](const std::string& file) {
             RtdcFixture f(file);
             f.addColumn("area_um", std::vector<double>{});
             f.addColumn("deform", std::vector<double>{});
             f.addStringAttribute("experiment:sample", "zero-length columns");
         }},
        {"image stack only",
         [](const std::string& file) {
             RtdcFixture f(file);
             f.addFrames("image", std::vector<std::uint8_t>(3 * 4 * 5, 200), 3, 4, 5);
             f.addStringAttribute("experiment:sample", "image stack only");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeShownMeasurement(path("shown.rtdc").toStdString());
        c.write(path("empty.rtdc").toStdString());
        MainWindow w;
        Access::addDataset(w, path("shown.rtdc"));
        ASSERT_TRUE(waitForCaching(w));
        ScatterPlot* plot = Access::scatterPlot(w);
        ASSERT_EQ(plot->pointCount(), 6);
        ASSERT_GE(plot->highlightedPoint(), 0);
        ASSERT_FALSE(Access::imageViewer(w)->currentImage().empty());
        ASSERT_GT(statisticsRows(w), 0);

        Access::addDataset(w, path("empty.rtdc"));
        ASSERT_TRUE(waitForCaching(w));
        ASSERT_EQ(w.datasets().size(), 2u);
        const QString name = w.datasets()[1]->displayName;
        const auto expectEmpty = [&] {
            EXPECT_EQ(Access::infoLabel(w)->text(), QStringLiteral("No events in ") + name);
            EXPECT_EQ(plot->pointCount(), 0);
            EXPECT_EQ(plot->highlightedPoint(), -1);
            EXPECT_TRUE(Access::imageViewer(w)->currentImage().empty());
            EXPECT_EQ(statisticsRows(w), 0);
            EXPECT_EQ(Access::eventTable(w)->rowCount(), 0);
            EXPECT_FALSE(Access::eventSpin(w)->isEnabled());
            EXPECT_TRUE(Access::plottedEventIndices(w).empty());
        };
        expectEmpty();
        // Back and forth: the first dataset comes back whole, the empty one stays empty.
        Access::activate(w, 0);
        EXPECT_EQ(plot->pointCount(), 6);
        EXPECT_FALSE(Access::imageViewer(w)->currentImage().empty());
        Access::activate(w, 1);
        expectEmpty();
    }
}

// Catches columns of strings and of unusual integer sizes that read as zeros and were
// plotted and summarised as data the file does not hold.
TEST_F(MainWindowUnusualFilesTest, UnconvertibleColumnsAreNotANumberAndLoggedOnce)
{
    {
        RtdcFixture f(path("types.rtdc").toStdString());
        for (const auto& [name, values] : smallMeasurement().columns)
            f.addColumn(name, values);
        f.addStringColumn("userdef_text", {"a", "b", "c", "d", "e", "f"});
        H5::IntType int24(H5::PredType::STD_I32LE);
        int24.setPrecision(24);
        int24.setSize(3);
        f.addColumnAs("userdef_int24", int24, {1, 2, 3, 4, 5, 6});
    }
    forwardReaderMessagesToLog();
    MainWindow w;
    ExpectQtWarnings warnings;
    Access::addDataset(w, path("types.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    for (const char* key : {"userdef_text", "userdef_int24"}) {
        SCOPED_TRACE(key);
        const std::vector<double>& column = w.datasets()[0]->reader->getFeature(key);
        ASSERT_EQ(column.size(), 6u);
        EXPECT_TRUE(std::all_of(column.begin(), column.end(), [](double v) { return std::isnan(v); }));
        // Plotted against deformation: no point, nothing summarised.
        ASSERT_TRUE(Access::selectKey(Access::combo(w, "xFeatureCombo"), QString::fromLatin1(key)));
        EXPECT_EQ(Access::scatterPlot(w)->pointCount(), 0);
        EXPECT_TRUE(Access::plotXValues(w).empty());
        EXPECT_EQ(statisticsRows(w), 0);
        // No rule: every event passes, none has a value to plot.
        EXPECT_EQ(Access::infoLabel(w)->text(),
                  QStringLiteral("Loaded: types.rtdc (0/6 events shown (100.0% pass filter), 6 without a value on "
                                 "these axes)"));
    }
    setReaderMessageSink(nullptr);
    // Each feature named with its stored type, once, however often it is used.
    const QString log = recentLogText();
    EXPECT_EQ(log.count(QStringLiteral("feature 'userdef_text' is stored as text (strings)")), 1) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("feature 'userdef_int24' is stored as 3-byte integers")), 1) << log.toStdString();
}

TEST_F(MainWindowUnusualFilesTest, OpenErrorsSayWhyAndLeaveTheOpenDatasetsAlone)
{
    writeMeasurement(path("good.rtdc").toStdString(), smallMeasurement());
    writeMeasurement(path("other.rtdc").toStdString(), smallMeasurement());
    writeNonHdf5File(path("text.rtdc").toStdString());
    QFile(path("empty.rtdc")).open(QIODevice::WriteOnly);
    QDir().mkpath(path("folder.rtdc"));
    {
        const std::vector<char> bytes = readFileBytes(path("good.rtdc").toStdString());
        std::vector<char> half(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
        writeFileBytes(path("truncated.rtdc").toStdString(), half);
        // The signature stays, the superblock behind it is garbage.
        std::vector<char> header = bytes;
        std::fill(header.begin() + 8, header.begin() + 64, '\x5a');
        writeFileBytes(path("header.rtdc").toStdString(), header);
    }
    struct Case
    {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {
        {"missing.rtdc", "The file does not exist."},
        {"folder.rtdc", "It is a folder, not a measurement file."},
        {"empty.rtdc", "The file is empty (0 bytes)."},
        {"text.rtdc", "It is not an HDF5 file, so it cannot be an RT-DC measurement."},
        {"truncated.rtdc", "The file is truncated: it ends before the size its header records (an incomplete "
                           "copy or download)."},
        {"header.rtdc", "The file is damaged: its HDF5 header cannot be read."},
    };
    MainWindow w;
    Access::addDataset(w, path("good.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    Access::addDataset(w, path("other.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    const int active = Access::activeIndex(w);
    const std::vector<int> plotted = Access::plottedEventIndices(w);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ExpectQtWarnings warnings;
        Access::addDataset(w, path(c.file));
        ASSERT_NE(env.prompts->last(), nullptr);
        EXPECT_EQ(env.prompts->last()->title, QStringLiteral("Error"));
        EXPECT_EQ(env.prompts->last()->text,
                  QStringLiteral("Failed to open: ") + path(c.file) + QLatin1Char('\n') + QString::fromUtf8(c.reason));
        const QString logged = QStringLiteral("Failed to open %1: %2").arg(path(c.file), QString::fromUtf8(c.reason));
        EXPECT_EQ(warnings.lastMessage(), logged.toStdString());
        // The session is as it was.
        EXPECT_EQ(w.datasets().size(), 2u);
        EXPECT_EQ(Access::activeIndex(w), active);
        EXPECT_EQ(Access::plottedEventIndices(w), plotted);
        EXPECT_EQ(Access::scatterPlot(w)->pointCount(), 6);
    }
    EXPECT_EQ(env.prompts->countTitled(QStringLiteral("Error")), static_cast<int>(std::size(cases)));
}

// Where the probe cannot run, files open as before and the log says they were not checked.
TEST_F(MainWindowUnusualFilesTest, WithoutTheProbeProgramFilesOpenUnchecked)
{
    setProbeProgram(path("no-such-probe"));
    writeMeasurement(path("good.rtdc").toStdString(), smallMeasurement());
    MainWindow w;
    Access::addDataset(w, path("good.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    EXPECT_EQ(w.datasets().size(), 1u);
    const QString log = recentLogText();
    EXPECT_TRUE(log.contains(QStringLiteral("Probe of %1: not run (the probe program %2 was not found); the file is "
                                            "opened unchecked")
                                 .arg(path("good.rtdc"), path("no-such-probe"))))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Opened %1: 6 events, 3 features").arg(path("good.rtdc"))));
}

// A small deterministic share of the damaged-file trial (bench/damaged_open_trial.cpp):
// copies of a complete measurement damaged mostly in the first 16 KiB (where the HDF5
// library's own faults sit) are opened through the dialog's road. Each must open or be
// refused with a reason; this process must survive all of them, and the dataset opened
// before them must not change.
TEST_F(MainWindowUnusualFilesTest, DamagedCopiesOpenOrAreRefusedWithAReason)
{
    using Outcome = DamagedCopyResult::Outcome;
    writeCompleteFixture(path("complete.rtdc").toStdString());
    const std::vector<char> bytes = readFileBytes(path("complete.rtdc").toStdString());
    MainWindow w;
    Access::addDataset(w, path("complete.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    const DatasetEntry& first = *w.datasets()[0];
    const MeasurementContent intact = readContent(*first.reader, first.metadata);
    ASSERT_GT(intact.events, 0u);
    ASSERT_FALSE(intact.images.empty());
    ASSERT_FALSE(intact.traces.empty());

    ExpectQtWarnings warnings;
    const auto messageCount = [&warnings] { return warnings.count(); };
    // An undamaged copy shows the same, with the fixture's own warnings (its text column).
    writeFileBytes(path("same.rtdc").toStdString(), bytes);
    const DamagedCopyResult same = openDamagedCopy(w, *env.prompts, path("same.rtdc"), intact, messageCount, 0, true);
    ASSERT_EQ(same.outcome, Outcome::Intact) << same.detail.toStdString();

    std::mt19937 rng(3);
    std::map<Outcome, int> counts;
    int crashes = 0;
    for (int copy = 0; copy < 40; ++copy) {
        SCOPED_TRACE(copy);
        const QString file = dir.filePath(QStringLiteral("copy%1.rtdc").arg(copy));
        writeFileBytes(file.toStdString(), damagedCopy(bytes, rng, copy % 4 == 3 ? bytes.size() : 16384));
        const DamagedCopyResult result =
            openDamagedCopy(w, *env.prompts, file, intact, messageCount, same.messages, true);
        ++counts[result.outcome];
        EXPECT_NE(result.outcome, Outcome::RefusedWithoutReason) << result.boxes.join(QLatin1Char('|')).toStdString();
        if (result.outcome == Outcome::Refused) {
            crashes += result.detail.contains(QStringLiteral("crashed the HDF5 library")) ? 1 : 0;
        } else {
            // Damaged column data shows when the plot reads it (the probe reads no columns).
            for (const QString& box : result.boxes)
                EXPECT_EQ(box, QStringLiteral("Failed to read feature data."));
        }
        ASSERT_EQ(w.datasets().size(), 1u);
    }
    std::printf("damaged copies: %d intact, %d changed with a message, %d changed without, %d refused "
                "(%d crashed the library in the probe)\n",
                counts[Outcome::Intact], counts[Outcome::ChangedWithMessage], counts[Outcome::ChangedWithoutMessage],
                counts[Outcome::Refused], crashes);
    EXPECT_GT(counts[Outcome::Intact] + counts[Outcome::ChangedWithMessage] + counts[Outcome::ChangedWithoutMessage], 0);
    EXPECT_GT(counts[Outcome::Refused], 0);
    EXPECT_EQ(firstDifference(readContent(*first.reader, first.metadata), intact), "");

    // The library's crashes on damaged files no longer come at will (the reader checks what
    // used to set them off), so a probe that crashes stands in for them: the copy is refused
    // with the reason and this process goes on with its dataset.
    const QString crashingProbe = path("crashing-probe");
    {
        QFile script(crashingProbe);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nkill -SEGV $$\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    setProbeProgram(crashingProbe);
    const DamagedCopyResult crashed =
        openDamagedCopy(w, *env.prompts, path("same.rtdc"), intact, messageCount, same.messages, true);
    EXPECT_EQ(crashed.outcome, Outcome::Refused);
    EXPECT_EQ(crashed.detail, QStringLiteral("The file is damaged: reading its structure crashed the HDF5 library."));
    ASSERT_EQ(w.datasets().size(), 1u);
    EXPECT_EQ(firstDifference(readContent(*first.reader, first.metadata), intact), "");
}

TEST_F(MainWindowUnusualFilesTest, LongNamesNeverWidenTheWindow)
{
    Measurement m = smallMeasurement();
    m.attributes["experiment:sample"] = std::string(10000, 'S');
    m.attributes["setup:medium"] = std::string(5000, 'M');
    m.columns[std::string(3000, 'f')] = {1, 2, 3, 4, 5, 6};
    writeMeasurement(path("long.rtdc").toStdString(), m);
    writeMeasurement(path("short.rtdc").toStdString(), smallMeasurement());

    // Two files with short names first (a second dataset brings the all-datasets buttons,
    // differing plot settings the bold "Apply Plot Settings" button): what the long names
    // add is measured alone.
    writeMeasurement(path("short2.rtdc").toStdString(), smallMeasurement());
    MainWindow w;
    w.show();
    for (const char* name : {"short.rtdc", "short2.rtdc"}) {
        Access::addDataset(w, path(name));
        ASSERT_TRUE(waitForCaching(w));
    }
    ASSERT_TRUE(Access::selectKey(Access::combo(w, "colorFeatureCombo"), QStringLiteral("__density_kde__")));
    QApplication::processEvents();
    const QSize minimumBefore = w.minimumSizeHint();
    const QSize sizeBefore = w.size();
    std::map<QWidget*, int> before;
    for (QWidget* child : w.findChildren<QWidget*>())
        before[child] = child->minimumSizeHint().width();
    Access::addDataset(w, path("long.rtdc"));
    ASSERT_TRUE(waitForCaching(w));
    const QString longKey = QString(3000, QLatin1Char('f'));
    for (const char* name : {"xFeatureCombo", "yFeatureCombo", "colorFeatureCombo"})
        ASSERT_TRUE(Access::selectKey(Access::combo(w, name), longKey));
    Access::metadataDock(w)->show();
    QApplication::processEvents();
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (child->isVisible() && child->minimumSizeHint().width() > std::max(before[child], 300))
            ADD_FAILURE() << child->metaObject()->className() << " " << child->objectName().toStdString()
                          << " asks for " << child->minimumSizeHint().width() << " px";
    }
    EXPECT_LE(w.minimumSizeHint().width(), minimumBefore.width());
    EXPECT_LE(w.minimumSizeHint().height(), minimumBefore.height());
    EXPECT_LE(w.width(), sizeBefore.width());
    EXPECT_LE(w.height(), sizeBefore.height());
    // The name is there in full, for the tooltip.
    EXPECT_TRUE(Access::infoLabel(w)->text().contains(QString(10000, QLatin1Char('S'))));
}

} // namespace
