// The output-name rule of the event export and the changed sample name it records.
#include "core/Metadata.h"
#include "io/ExportNaming.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace Tervane3 {
namespace {

ExportOptions formatOptions(const char* format)
{
    ExportOptions options;
    options.tsv = std::string(format) == "tsv";
    options.avi = std::string(format) == "avi";
    return options;
}

TEST(ExportNamingTest, NamesFollowTheSourceAndAvoidTakenPaths)
{
    struct Case
    {
        const char* name;
        const char* source;
        const char* format;
        QStringList taken;
        const char* expected;
    };
    const Case cases[] = {
        {"rtdc keeps the name", "/data/run/data.rtdc", "rtdc", {}, "/data/run/TN3export_data.rtdc"},
        {"tsv drops .rtdc", "/data/run/data.rtdc", "tsv", {}, "/data/run/TN3export_data.tsv"},
        {"second tsv", "/data/run/data.rtdc", "tsv", {"/data/run/TN3export_data.tsv"}, "/data/run/TN3export_data_2.tsv"},
        {"third tsv", "/data/run/data.rtdc", "tsv",
         {"/data/run/TN3export_data.tsv", "/data/run/TN3export_data_2.tsv"}, "/data/run/TN3export_data_3.tsv"},
        {"upper-case suffix", "/m/RUN.RTDC", "avi", {}, "/m/TN3export_RUN.avi"},
        {"other suffix kept for tsv", "/m/run.h5", "tsv", {}, "/m/TN3export_run.h5.tsv"},
        {"other suffix as rtdc", "/m/run.h5", "rtdc", {}, "/m/TN3export_run.h5"},
        {"rtdc taken", "/m/a.rtdc", "rtdc", {"/m/TN3export_a.rtdc"}, "/m/TN3export_a_2.rtdc"},
        // Regression: a name without a dot used to get "_2." with a trailing dot, which some
        // file systems drop, landing on the taken name.
        {"no dot", "/m/plain", "rtdc", {"/m/TN3export_plain"}, "/m/TN3export_plain_2"},
        {"relative source", "rel.rtdc", "tsv", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = exportOutputPath(QString::fromLatin1(c.source), formatOptions(c.format),
                                              [&](const QString& p) { return c.taken.contains(p); });
        if (*c.expected)
            EXPECT_EQ(path.toStdString(), c.expected);
        else
            EXPECT_TRUE(path.endsWith(QLatin1String("/TN3export_rel.tsv")) && path.startsWith(QLatin1Char('/')))
                << path.toStdString();
    }
}

TEST(ExportNamingTest, CustomFolderReplacesTheSourceFolder)
{
    ExportOptions options = formatOptions("avi");
    options.customDirectory = true;
    options.directory = "/out/videos/";
    EXPECT_EQ(exportOutputPath(QStringLiteral("/m/x.rtdc"), options, [](const QString&) { return false; }).toStdString(),
              "/out/videos/TN3export_x.avi");
    // The folder field's text is ignored while the box is unchecked.
    options.customDirectory = false;
    EXPECT_EQ(exportOutputPath(QStringLiteral("/m/x.rtdc"), options, [](const QString&) { return false; }).toStdString(),
              "/m/TN3export_x.avi");
}

TEST(ExportNamingTest, ChangedSampleNameOnlyWhenTheDisplayNameDiffers)
{
    Metadata withSample;
    withSample.experiment["sample"] = "blood µ";
    EXPECT_EQ(changedSampleName(withSample, QStringLiteral("blood µ")), "");
    EXPECT_EQ(changedSampleName(withSample, QStringLiteral("renamed")), "renamed");
    // Without a sample value the display name is always recorded.
    EXPECT_EQ(changedSampleName(Metadata(), QStringLiteral("file.rtdc")), "file.rtdc");
}

} // namespace
} // namespace Tervane3
