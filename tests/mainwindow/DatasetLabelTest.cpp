// The dataset label of the list and the tree: its parts, their order and the escaping of
// every text that comes from the file.
#include "mainwindow/DatasetLabel.h"

#include "core/RTDCReader.h"
#include "app/DatasetEntry.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace Tervane3 {
namespace {

struct LabelCase
{
    const char* name;
    QString displayName;
    std::map<std::string, std::string> setup;
    std::map<std::string, std::string> experiment;
    QString expected; // with a reader of 5000 events
};

TEST(DatasetLabelTest, PartsInOrder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("m.rtdc")).toStdString();
    {
        Tervane3::Test::RtdcFixture fixture(path);
        fixture.addColumn("deform", std::vector<double>(5000, 0.1));
    }
    auto reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(reader->open(path));

    const LabelCase cases[] = {
        {"everything", QStringLiteral("Name"),
         {{"flow rate", "0.16"}, {"chip region", "reservoir"}},
         {{"run index", "3"}},
         QStringLiteral("<b>Name</b> (0.16 µL/s, Reservoir, #3, 5000 events)")},
        {"events only", QStringLiteral("Name"), {}, {}, QStringLiteral("<b>Name</b> (5000 events)")},
        {"a flow rate that is no number is left out", QStringLiteral("Name"),
         {{"flow rate", "fast"}}, {}, QStringLiteral("<b>Name</b> (5000 events)")},
        {"flow rate with four significant digits", QStringLiteral("Name"),
         {{"flow rate", "0.123456"}}, {}, QStringLiteral("<b>Name</b> (0.1235 µL/s, 5000 events)")},
        {"metadata form of a flow rate", QStringLiteral("Name"),
         {{"flow rate", "0.040000"}}, {}, QStringLiteral("<b>Name</b> (0.04 µL/s, 5000 events)")},
        {"another chip region", QStringLiteral("Name"),
         {{"chip region", "channel"}}, {}, QStringLiteral("<b>Name</b> (5000 events)")},
        {"an empty run index still shows", QStringLiteral("Name"), {}, {{"run index", ""}},
         QStringLiteral("<b>Name</b> (#, 5000 events)")},
        {"the name is escaped", QStringLiteral("a<b & c>"), {}, {},
         QStringLiteral("<b>a&lt;b &amp; c&gt;</b> (5000 events)")},
        {"a placeholder in the name stays text", QStringLiteral("x %2 y"), {}, {},
         QStringLiteral("<b>x %2 y</b> (5000 events)")},
        // Text from the file is escaped like the name: a run index is no markup.
        {"the run index is escaped", QStringLiteral("Name"), {}, {{"run index", "<i>4</i>"}},
         QStringLiteral("<b>Name</b> (#&lt;i&gt;4&lt;/i&gt;, 5000 events)")},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.name);
        DatasetEntry entry;
        entry.reader = reader;
        entry.displayName = c.displayName;
        entry.metadata.setup = c.setup;
        entry.metadata.experiment = c.experiment;
        EXPECT_EQ(datasetLabel(&entry), c.expected);
    }
}

TEST(DatasetLabelTest, WithoutReaderOrEntry)
{
    DatasetEntry entry;
    entry.displayName = QStringLiteral("Empty");
    EXPECT_EQ(datasetLabel(&entry), QStringLiteral("<b>Empty</b> (0 events)"));
    EXPECT_EQ(datasetLabel(nullptr), QString());
}

} // namespace
} // namespace Tervane3
