// Reading look-up-table files: metadata block, header, comments, rows that are dropped.
#include "calc/LutData.h"

#include "LutFixture.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Tervane3 {
namespace {

namespace fixture = ::Tervane3::Test;

struct ParseCase
{
    const char* name;
    const char* text;
    std::vector<fixture::LutRow> rows;
    double channelWidth;
    double flowRate;
    double viscosity;
    int nonFiniteRows;
    size_t warnings;
};

const ParseCase parseCases[] = {
    {"defaults without a metadata block", "area deform emodulus\n10 0.01 1.5\n20 0.02 2.5\n",
     {{10, 0.01, 1.5}, {20, 0.02, 2.5}}, 20.0, 0.16, 1.002, 0, 0},
    {"hashed metadata block sets the simulation values",
     "# BEGIN METADATA\n# {\n#   \"channel_width\": 30,\n#\t\"flow_rate\": 0.08,\n"
     "#   \"fluid_viscosity\": 15.0,\n#   \"model\": \"linear elastic\"\n# }\n# END METADATA\n"
     "area deform emodulus\n1 2 3\n",
     {{1, 2, 3}}, 30.0, 0.08, 15.0, 0, 0},
    {"only the flow rate in the block", "# BEGIN METADATA\n# {\"flow_rate\": 0.32}\n"
                                        "# END METADATA\n5 0.1 0.7\n",
     {{5, 0.1, 0.7}}, 20.0, 0.32, 1.002, 0, 0},
    {"block that is no JSON object keeps the defaults",
     "# BEGIN METADATA\n# [1, 2]\n# END METADATA\n5 0.1 0.7\n", {{5, 0.1, 0.7}}, 20.0, 0.16,
     1.002, 0, 0},
    // A zero or a text in the metadata would scale every modulus by zero: refused.
    {"unusable metadata values keep the defaults with a warning",
     "# BEGIN METADATA\n# {\"channel_width\": 0, \"flow_rate\": \"fast\", "
     "\"fluid_viscosity\": \"2.5\"}\n# END METADATA\n5 0.1 0.7\n",
     {{5, 0.1, 0.7}}, 20.0, 0.16, 2.5, 0, 2},
    {"comments and blank lines are skipped, rows before the header are read",
     "# a comment\n\n   \t\n7 0.05 1.25\n# area is mentioned in a comment\n"
     "area_um   deform   emodulus   extra\n8\t0.06  1.5  99\n",
     {{7, 0.05, 1.25}, {8, 0.06, 1.5}}, 20.0, 0.16, 1.002, 0, 0},
    {"a second header-like line is a row and dropped", "area deform E\ndeform area E\n1 2 3\n",
     {{1, 2, 3}}, 20.0, 0.16, 1.002, 0, 0},
    {"short rows and rows with text are dropped silently",
     "area deform E\n1 2\n1 x 3\n4 5 6\n1,5 0.1 2\n", {{4, 5, 6}}, 20.0, 0.16, 1.002, 0, 0},
    {"rows with nan or inf are dropped and counted",
     "area deform E\nnan 0.1 2\n1 inf 2\n1 0.1 -Infinity\n3 0.1 1e400\n4 0.2 2\n",
     {{4, 0.2, 2}}, 20.0, 0.16, 1.002, 4, 1},
    {"exponents and signs", "area deform E\n+1.5e1 -2E-2 3.\n", {{15, -0.02, 3}}, 20.0, 0.16,
     1.002, 0, 0},
    {"an unterminated block swallows the rest with a warning",
     "1 0.1 1\n# BEGIN METADATA\n2 0.2 2\n", {{1, 0.1, 1}}, 20.0, 0.16, 1.002, 0, 1},
};

TEST(LutDataTest, ParsesTheTableFormat)
{
    for (const ParseCase& c : parseCases) {
        SCOPED_TRACE(c.name);
        LutReadNotes notes;
        const LutData data = LutData::parse(QString::fromUtf8(c.text), &notes);
        ASSERT_EQ(data.rowCount(), c.rows.size());
        ASSERT_EQ(data.deform.size(), c.rows.size());
        ASSERT_EQ(data.emodulus.size(), c.rows.size());
        for (size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_EQ(data.area[i], c.rows[i].area);
            EXPECT_EQ(data.deform[i], c.rows[i].deform);
            EXPECT_EQ(data.emodulus[i], c.rows[i].modulus);
        }
        EXPECT_EQ(data.channelWidth, c.channelWidth);
        EXPECT_EQ(data.flowRate, c.flowRate);
        EXPECT_EQ(data.viscosity, c.viscosity);
        EXPECT_EQ(notes.nonFiniteRows, c.nonFiniteRows);
        EXPECT_EQ(notes.warnings.size(), c.warnings);
    }
}

TEST(LutDataTest, ReadsAFileAsUtf8)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<fixture::LutRow> rows = {{12.5, 0.015, 0.9}, {40, 0.1, 2.25}};
    const QString path = fixture::writeLutFile(dir, QStringLiteral("table µm².txt"), rows,
                                            "{\n  \"channel_width\": 40,\n  \"note\": \"µm\"\n}");
    const std::optional<LutData> data = LutData::readFile(path);
    ASSERT_TRUE(data.has_value());
    ASSERT_EQ(data->rowCount(), 2u);
    EXPECT_EQ(data->area[0], 12.5);
    EXPECT_EQ(data->emodulus[1], 2.25);
    EXPECT_EQ(data->channelWidth, 40.0);
    EXPECT_EQ(data->flowRate, 0.16);

    EXPECT_FALSE(LutData::readFile(dir.filePath(QStringLiteral("missing.txt"))).has_value());
}

} // namespace
} // namespace Tervane3
