// The generator's sample name and run index from its command line (by default the name
// carries the seed, so that measurements of different seeds differ in a list), the command
// lines it refuses without writing a file, and cells drawn where their position says.
#include "core/Metadata.h"
#include "core/RTDCReader.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Tervane3 {
namespace {

// Runs the generator on out.rtdc in the folder with the arguments; its exit code, or -1 when
// it did not end normally.
int runGenerator(const QTemporaryDir& dir, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(TERVANE3_SYNTH_PATH), QStringList{dir.filePath(QStringLiteral("out.rtdc"))} + arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

TEST(SynthMainTest, SampleNameAndRunIndex)
{
    const struct
    {
        const char* name;
        QStringList arguments;
        std::string sample;
        std::string runIndex;
    } cases[] = {
        {"defaults", {}, "Synthetic blood sample (seed 42)", "1"},
        {"another seed", {"--seed", "7"}, "Synthetic blood sample (seed 7)", "1"},
        {"named, with blanks and non-ASCII text", {"--sample", "HL60 control 37 °C", "--seed", "7"},
         "HL60 control 37 °C", "1"},
        {"run index", {"--run-index", "12"}, "Synthetic blood sample (seed 42)", "12"},
        {"both", {"--run-index", "3", "--sample", "Donor 2"}, "Donor 2", "3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(runGenerator(dir, QStringList{"--events", "3"} + c.arguments), 0);
        RTDCReader reader;
        ASSERT_TRUE(reader.open(dir.filePath(QStringLiteral("out.rtdc")).toStdString()));
        const Metadata metadata = reader.readMetadata();
        EXPECT_EQ(metadata.experiment.at("sample"), c.sample);
        EXPECT_EQ(metadata.experiment.at("run index"), c.runIndex);
        EXPECT_EQ(reader.eventCount(), 3u);
    }
}

// Regression: every cell was drawn 7 pixels below its own pos_y, so the gallery, which
// centres its cut-outs on the position, cut off the lower cells.
TEST(SynthMainTest, CellsAreDrawnWhereTheirPositionSays)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(runGenerator(dir, {"--events", "40", "--masks"}), 0);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.filePath(QStringLiteral("out.rtdc")).toStdString()));
    const std::vector<double>& posX = reader.getFeature("pos_x");
    const std::vector<double>& posY = reader.getFeature("pos_y");
    const Metadata metadata = reader.readMetadata();
    const double pixel = std::stod(metadata.imaging.at("pixel size"));
    ASSERT_EQ(posY.size(), 40u);
    for (std::uint64_t e = 0; e < 40; ++e) {
        SCOPED_TRACE(e);
        int width = 0, height = 0;
        const std::vector<std::uint8_t> mask = reader.readMask(e, width, height);
        ASSERT_EQ(mask.size(), static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        double sumX = 0.0, sumY = 0.0, count = 0.0;
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                if (mask[static_cast<std::size_t>(r * width + c)]) {
                    sumX += c;
                    sumY += r;
                    count += 1.0;
                }
        ASSERT_GT(count, 0.0);
        // The ellipse's pixel centroid lies within half a pixel of its centre.
        EXPECT_NEAR(sumX / count, posX[e] / pixel, 0.6);
        EXPECT_NEAR(sumY / count, posY[e] / pixel, 0.6);
    }
}

TEST(SynthMainTest, RefusedCommandLinesWriteNothing)
{
    const struct
    {
        const char* name;
        QStringList arguments;
    } cases[] = {
        {"sample without its name", {"--sample"}},
        {"empty sample name", {"--sample", ""}},
        {"run index without its number", {"--run-index"}},
        {"negative run index", {"--run-index", "-1"}},
        {"run index not a number", {"--run-index", "3a"}},
        {"run index beyond a signed 64-bit number", {"--run-index", "9223372036854775808"}},
        // strtoull reads "-1" as 2^64 - 1: a file of that many events was attempted.
        {"negative event count", {"--events", "-1"}},
        {"event count with a sign", {"--events", "+5"}},
        {"no events", {"--events", "0"}},
        {"unknown option", {"--name", "x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        EXPECT_EQ(runGenerator(dir, c.arguments), 2);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out.rtdc"))));
    }
}

} // namespace
} // namespace Tervane3
