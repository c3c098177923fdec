// The TSV table of an export, compared with its exact text: the comment block (with names
// and values that hold line breaks and tabs), the header of labels and the %.17g cells.
#include "io/TsvEventWriter.h"

#include "ExportTestSupport.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

std::string readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

class TsvEventWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        source = dir.filePath(QStringLiteral("source.rtdc")).toStdString();
        {
            fx::RtdcFixture f(source);
            const double nan = std::numeric_limits<double>::quiet_NaN();
            f.addColumn<double>("area_um", {0.1, 5, -2.5e-300});
            f.addColumn<double>("deform", {nan, 1, 1234567.0});
            f.addColumn<double>("short", {1.0 / 3.0});
            f.addStringAttribute("experiment:sample", "cells");
            // Regression: a line break in a value ended the comment block.
            f.addStringAttribute("experiment:note", "line1\nline2\tx\r");
            f.addStringAttribute("setup:odd\tkey", "v");
            f.addIntAttribute("imaging:frame rate", 2000);
        }
        entry = fx::openEntry(source);
        ASSERT_TRUE(entry);
    }

    QString out(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    std::string source;
    std::unique_ptr<DatasetEntry> entry;
};

TEST_F(TsvEventWriterTest, ExactText)
{
    const QString path = out("t.tsv");
    ASSERT_EQ(writeEventsTsv(path, *entry->reader, entry->metadata, QStringLiteral("renamed"),
                             {"area_um", "deform", "short"}, {0, 2}),
              TsvWriteResult::Written);
    const std::string today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    const std::string expected = "# Tervane3 TSV Export\n"
                                 "# export:date = " + today + "\n"
                                 "# export:event count = 2\n"
                                 "# export:changed sample name = renamed\n"
                                 "# experiment:note = line1\\nline2\\tx\\r\n"
                                 "# experiment:sample = cells\n"
                                 "# imaging:frame rate = 2000\n"
                                 "# setup:odd\\tkey = v\n"
                                 "#\n"
                                 "Area [µm²]\tDeformation\tshort\n"
                                 "0.10000000000000001\tnan\t0.33333333333333331\n"
                                 "-2.5e-300\t1234567\t\n"; // the short column has no value: empty cell
    EXPECT_EQ(readText(path), expected);
}

TEST_F(TsvEventWriterTest, NoChangedNameAndNoFeatures)
{
    const QString path = out("t.tsv");
    ASSERT_EQ(writeEventsTsv(path, *entry->reader, entry->metadata, QStringLiteral("cells"), {}, {1}),
              TsvWriteResult::Written);
    const std::string text = readText(path);
    EXPECT_EQ(text.find("changed sample name"), std::string::npos);
    // An empty header, then one empty line per event.
    EXPECT_EQ(text.substr(text.size() - 4), "#\n\n\n");
}

TEST_F(TsvEventWriterTest, ManyRowsKeepTheirOrder)
{
    // More rows than one formatting round, so blocks from several threads meet.
    const std::string big = dir.filePath(QStringLiteral("big.rtdc")).toStdString();
    const size_t n = 70000;
    std::vector<double> values(n);
    for (size_t i = 0; i < n; ++i)
        values[i] = static_cast<double>(i);
    {
        fx::RtdcFixture f(big);
        f.addColumn<double>("area_um", values);
    }
    auto bigEntry = fx::openEntry(big);
    ASSERT_TRUE(bigEntry);
    std::vector<int> selection;
    for (size_t i = 0; i < n; i += 2)
        selection.push_back(static_cast<int>(i));
    const QString path = out("big.tsv");
    ASSERT_EQ(writeEventsTsv(path, *bigEntry->reader, bigEntry->metadata, QString(), {"area_um"}, selection),
              TsvWriteResult::Written);
    std::string expected;
    for (int index : selection)
        expected += std::to_string(index) + "\n";
    const std::string text = readText(path);
    EXPECT_EQ(text.substr(text.find("Area [µm²]\n") + std::string("Area [µm²]\n").size()), expected);
}

TEST_F(TsvEventWriterTest, OpenFailsBelowARegularFile)
{
    EXPECT_EQ(writeEventsTsv(QString::fromStdString(source) + QStringLiteral("/t.tsv"), *entry->reader,
                             entry->metadata, QString(), {"area_um"}, {0}),
              TsvWriteResult::OpenFailed);
}

TEST(TsvCommentTest, EscapesLineBreaksAndTabsOnly)
{
    EXPECT_EQ(escapeTsvComment("a\tb\r\nc\\d"), "a\\tb\\r\\nc\\d");
}

} // namespace
} // namespace Tervane3
