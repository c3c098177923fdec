// The measurement reader on tiny fixture files: opening and its failures, the feature list and
// event count, column types, the cache and computed columns, images and masks, and the neutral
// answers for names and ranks the reader must not follow.
#include "core/RTDCReader.h"

#include "ReaderFileTest.h"
#include "support/RtdcFixture.h"
#include "support/TestSupport.h"


#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace Tervane3;
using namespace Tervane3::Test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using RTDCReaderTest = ReaderFileTest;

} // namespace

TEST_F(RTDCReaderTest, OpenFailsCleanlyOnFilesItCannotRead)
{
    writeNonHdf5File(path("text.rtdc"));
    writeCompleteFixture(path("complete.rtdc"));
    {
        // Cut the file in half: the superblock is intact, the rest is missing.
        const auto size = std::filesystem::file_size(path("complete.rtdc"));
        std::filesystem::copy_file(path("complete.rtdc"), path("truncated.rtdc"));
        std::filesystem::resize_file(path("truncated.rtdc"), size / 2);
    }
    const char* files[] = {"missing.rtdc", "text.rtdc", "truncated.rtdc"};
    for (const char* name : files) {
        SCOPED_TRACE(name);
        RTDCReader reader;
        CaptureStderr();
        EXPECT_FALSE(reader.open(path(name)));
        const std::string err = GetCapturedStderr();
        EXPECT_EQ(err.rfind("Error opening file: ", 0), 0u) << err;
        EXPECT_EQ(err.back(), '\n');
        EXPECT_FALSE(reader.isOpen());
        EXPECT_TRUE(reader.featureNames().empty());
        EXPECT_EQ(reader.eventCount(), 0u);
        EXPECT_EQ(reader.path(), "");
        EXPECT_EQ(&reader.getFeature("deform"), &emptyColumn());
    }
}

TEST_F(RTDCReaderTest, FileWithoutEventsOpensEmpty)
{
    writeHdf5WithoutEvents(path("plain.h5"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("plain.h5")));
    EXPECT_TRUE(reader.isOpen());
    EXPECT_EQ(reader.path(), path("plain.h5"));
    EXPECT_TRUE(reader.featureNames().empty());
    EXPECT_EQ(reader.eventCount(), 0u);
    EXPECT_FALSE(reader.hasImage());
    EXPECT_FALSE(reader.hasTraces());
    CaptureStderr();
    EXPECT_EQ(&reader.getFeature("deform"), &emptyColumn());
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(reader.readMetadata().experiment.at("sample"), "no events");
}

TEST_F(RTDCReaderTest, ListsRankOneDatasetsImageAndMaskOnly)
{
    writeCompleteFixture(path("complete.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    const std::vector<std::string> expected{"area_um", "bright_avg", "deform",     "fl1_max",
                                            "fl2_max", "fl3_max",    "frame",      "image",
                                            "index",   "mask",       "ml_class",   "sample_name",
                                            "tilt",    "time"};
    EXPECT_EQ(reader.featureNames(), expected);
    EXPECT_EQ(reader.fileFeatureNames(), expected);
    EXPECT_TRUE(reader.hasImage());
    EXPECT_TRUE(reader.hasMask());
    EXPECT_FALSE(reader.hasFeature("extra"));
    EXPECT_FALSE(reader.hasFeature("contour"));
    EXPECT_EQ(reader.eventCount(), 6u);
    EXPECT_FALSE(isScalarFeatureName("image"));
    EXPECT_FALSE(isScalarFeatureName("mask"));
    EXPECT_FALSE(isScalarFeatureName("contour"));
    EXPECT_TRUE(isScalarFeatureName("deform"));
    EXPECT_TRUE(isScalarFeatureName("images"));
}

// Also catches a count that another column contradicts passing without a word (a damaged
// extent changed what the plot showed and nothing said so).
TEST_F(RTDCReaderTest, EventCountComesFromTheFirstNameAndColumnsKeepTheirLength)
{
    struct Case
    {
        const char* first;
        const char* second;
        std::size_t firstLength;
        std::size_t secondLength;
        const char* warning;
    };
    const Case cases[] = {
        {"alpha", "beta", 10, 12,
         "Warning: the event count 10 comes from 'alpha', but 1 dataset of /events holds another number of events "
         "('beta' 12)"},
        {"alpha", "beta", 12, 10,
         "Warning: the event count 12 comes from 'alpha', but 1 dataset of /events holds another number of events "
         "('beta' 10)"},
        {"alpha", "beta", 7, 7, nullptr},
    };
    int fileNo = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(fileNo);
        const std::string file = path(("counts" + std::to_string(fileNo++) + ".rtdc").c_str());
        {
            RtdcFixture f(file);
            // Written in reverse name order: the count must not depend on creation order.
            f.addColumn("beta", std::vector<double>(c.secondLength, 2.0));
            f.addColumn("alpha", std::vector<double>(c.firstLength, 1.0));
        }
        std::vector<std::string> lines;
        setReaderMessageSink([&lines](const std::string& line) { lines.push_back(line); });
        RTDCReader reader;
        ASSERT_TRUE(reader.open(file));
        setReaderMessageSink(nullptr);
        EXPECT_EQ(lines, c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{});
        EXPECT_EQ(reader.eventCount(), c.firstLength);
        EXPECT_EQ(reader.getFeature("alpha").size(), c.firstLength);
        EXPECT_EQ(reader.getFeature("beta").size(), c.secondLength);
    }
    // Many: the first three by name, the rest counted.
    {
        RtdcFixture f(path("many.rtdc"));
        f.addColumn("a", std::vector<double>(5, 1.0));
        for (const char* name : {"b", "c", "d", "e"})
            f.addColumn(name, std::vector<double>(4, 1.0));
        f.addFrames("image", std::vector<std::uint8_t>(6 * 2 * 2, 0), 6, 2, 2);
    }
    std::vector<std::string> lines;
    setReaderMessageSink([&lines](const std::string& line) { lines.push_back(line); });
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("many.rtdc")));
    setReaderMessageSink(nullptr);
    EXPECT_EQ(lines, std::vector<std::string>{"Warning: the event count 5 comes from 'a', but 5 datasets of /events "
                                              "hold another number of events ('b' 4, 'c' 4, 'd' 4, ...)"});
}

TEST_F(RTDCReaderTest, ColumnsOfEveryStoredTypeReadExactly)
{
    writeCompleteFixture(path("complete.rtdc"));
    {
        RtdcFixture f(path("types.rtdc"));
        f.addColumn<float>("tenth", {0.1f});
        H5::IntType int24(H5::PredType::STD_I32LE);
        int24.setPrecision(24);
        int24.setSize(3);
        f.addColumnAs("int24", int24, {1, 2, 3});
        H5::CompType pair(2 * sizeof(double));
        pair.insertMember("a", 0, H5::PredType::NATIVE_DOUBLE);
        pair.insertMember("b", sizeof(double), H5::PredType::NATIVE_DOUBLE);
        const double pairs[4] = {1, 2, 3, 4};
        f.addDataset("/events/pairs", pair, {2}, pair, pairs);
        f.addColumnAs("half", H5::PredType::IEEE_F64BE, {1.5, -2.25});
        // Small datasets may be stored inside their header.
        H5::DSetCreatPropList compact;
        compact.setLayout(H5D_COMPACT);
        const hsize_t three = 3;
        const std::int16_t values[3] = {-7, 0, 7};
        f.file().createDataSet("/events/compact", H5::PredType::STD_I16BE, H5::DataSpace(1, &three), compact)
            .write(values, H5::PredType::NATIVE_INT16);
    }
    struct Case
    {
        const char* file;
        const char* name;
        std::vector<double> expected;
    };
    const double twoTo63 = 9223372036854775808.0;
    const Case cases[] = {
        {"complete.rtdc", "deform", {0.01, 0.02, 0.03, 0.04, 0.05, 0.06}},
        {"complete.rtdc", "area_um", {10.5, 11.5, 12.5, 13.5, 14.5, 15.5}},
        {"complete.rtdc", "bright_avg", {0, 1, 127, 128, 254, 255}},
        {"complete.rtdc", "tilt", {-128, -1, 0, 1, 2, 127}},
        {"complete.rtdc", "fl1_max", {-32768, -1, 0, 1, 1000, 32767}},
        {"complete.rtdc", "fl2_max", {0, 1, 32767, 32768, 40000, 65535}},
        {"complete.rtdc", "fl3_max", {-2147483648.0, -1, 0, 1, 100000, 2147483647.0}},
        {"complete.rtdc", "index", {1, 2, 3, 4, 5, 4294967295.0}},
        {"complete.rtdc", "time", {-5, 0, 5, 1000000, 9007199254740992.0, -1099511627776.0}},
        // Unsigned 64-bit values above 2^63 - 1 must not saturate.
        {"complete.rtdc", "frame", {0, 1, 2, 3, twoTo63, twoTo63 / 2}},
        {"complete.rtdc", "ml_class", {0, 1, 5, 5, 1, 0}},
        {"types.rtdc", "tenth", {static_cast<double>(0.1f)}},
        {"types.rtdc", "half", {1.5, -2.25}},
        {"types.rtdc", "compact", {-7, 0, 7}},
    };
    RTDCReader complete;
    RTDCReader types;
    ASSERT_TRUE(complete.open(path("complete.rtdc")));
    ASSERT_TRUE(types.open(path("types.rtdc")));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RTDCReader& reader = std::string(c.file) == "complete.rtdc" ? complete : types;
        CaptureStderr();
        const auto& column = reader.getFeature(c.name);
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_EQ(column, c.expected);
        // Cached: the same storage the second time.
        EXPECT_EQ(&reader.getFeature(c.name), &column);
    }
    EXPECT_NE(static_cast<double>(0.1f), 0.1);
}

// Catches columns the reader cannot convert (strings, unusual integer sizes, compounds and
// other classes) that read as zeros: values the file does not hold.
TEST_F(RTDCReaderTest, UnconvertibleColumnsAreNotANumberWithOneMessage)
{
    writeCompleteFixture(path("complete.rtdc"));
    {
        RtdcFixture f(path("types.rtdc"));
        H5::IntType int24(H5::PredType::STD_I32LE);
        int24.setPrecision(24);
        int24.setSize(3);
        f.addColumnAs("int24", int24, {1, 2, 3});
        H5::CompType pair(2 * sizeof(double));
        pair.insertMember("a", 0, H5::PredType::NATIVE_DOUBLE);
        pair.insertMember("b", sizeof(double), H5::PredType::NATIVE_DOUBLE);
        const double pairs[4] = {1, 2, 3, 4};
        f.addDataset("/events/pairs", pair, {2}, pair, pairs);
        const std::uint8_t bytes[3] = {1, 2, 3};
        f.addDataset("/events/opaque", H5::DataType(H5T_OPAQUE, 1), {3}, H5::DataType(H5T_OPAQUE, 1), bytes);
    }
    struct Case
    {
        const char* file;
        const char* name;
        std::size_t length;
        const char* stored;
    };
    const Case cases[] = {
        {"complete.rtdc", "sample_name", 6, "text (strings)"},
        {"types.rtdc", "int24", 3, "3-byte integers"},
        {"types.rtdc", "pairs", 2, "records of several fields (compound)"},
        {"types.rtdc", "opaque", 3, "opaque bytes"},
    };
    RTDCReader complete;
    RTDCReader types;
    ASSERT_TRUE(complete.open(path("complete.rtdc")));
    ASSERT_TRUE(types.open(path("types.rtdc")));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RTDCReader& reader = std::string(c.file) == "complete.rtdc" ? complete : types;
        std::vector<std::string> lines;
        setReaderMessageSink([&lines](const std::string& line) { lines.push_back(line); });
        CaptureStderr();
        const auto& column = reader.getFeature(c.name);
        reader.getFeature(c.name);
        const std::string err = GetCapturedStderr();
        setReaderMessageSink(nullptr);
        ASSERT_EQ(column.size(), c.length);
        EXPECT_TRUE(std::all_of(column.begin(), column.end(), [](double v) { return std::isnan(v); }));
        // Once on the standard error stream and once to the sink: the column is cached.
        const std::string expected = "Warning: feature '" + std::string(c.name) + "' is stored as " + c.stored
                                     + ", which cannot be read as numbers; its " + std::to_string(c.length)
                                     + " values are shown as not-a-number";
        EXPECT_EQ(err, expected + "\n");
        EXPECT_EQ(lines, std::vector<std::string>{expected});
    }
}

TEST_F(RTDCReaderTest, ZeroLengthColumnIsNeverCached)
{
    {
        RtdcFixture f(path("empty.rtdc"));
        f.addColumn("deform", std::vector<double>{});
        f.addColumn("nothing", std::vector<double>{}, true);
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("empty.rtdc")));
    EXPECT_EQ(reader.eventCount(), 0u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(&reader.getFeature("deform"), &emptyColumn());
        EXPECT_EQ(&reader.getFeature("nothing"), &emptyColumn());
    }
    // A computed column under the name afterwards is served normally.
    reader.setFeature("deform", {1.0});
    EXPECT_EQ(reader.getFeature("deform"), std::vector<double>{1.0});
}

TEST_F(RTDCReaderTest, NamesAndRanksTheReaderMustNotFollowGiveEmptyColumns)
{
    writeCompleteFixture(path("complete.rtdc"));
    {
        RtdcFixture f(path("nested.rtdc"));
        f.addColumn("deform", std::vector<double>{1, 2, 3});
        f.addGroup("/events/sub");
        f.addColumn("sub/deform", std::vector<double>{7, 8, 9});
        f.addColumn<double>("scalar_holder", {1});
        const double scalar = 4.0;
        f.addDataset("/events/zero_rank", H5::PredType::NATIVE_DOUBLE, {}, H5::PredType::NATIVE_DOUBLE, &scalar);
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    RTDCReader nested;
    ASSERT_TRUE(nested.open(path("nested.rtdc")));
    EXPECT_FALSE(nested.hasFeature("zero_rank"));
    EXPECT_FALSE(nested.hasFeature("sub"));
    const char* names[] = {"extra", "image", "mask", "contour", "contour/0", "", "/", "/events/deform",
                           "trace/fl1_raw", "deform/", ".", "does_not_exist"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        CaptureStderr();
        EXPECT_EQ(&reader.getFeature(name), &emptyColumn());
        EXPECT_EQ(GetCapturedStderr(), "");
    }
    for (const char* name : {"sub/deform", "zero_rank", "sub"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(&nested.getFeature(name), &emptyColumn());
    }
}

TEST_F(RTDCReaderTest, ComputedColumnsJoinTheListAndReplacedColumnsStayReadable)
{
    writeCompleteFixture(path("complete.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    const auto fileNames = reader.featureNames();

    reader.setFeature("emodulus", {1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(reader.hasFeature("emodulus"));
    EXPECT_TRUE(reader.isComputedFeature("emodulus"));
    EXPECT_FALSE(reader.isComputedFeature("deform"));
    auto names = reader.featureNames();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::count(names.begin(), names.end(), "emodulus"), 1);
    EXPECT_EQ(names.size(), fileNames.size() + 1);

    // Stored again: listed once, the new values served, the old reference still valid.
    const auto& first = reader.getFeature("emodulus");
    reader.setFeature("emodulus", {6, 5, 4, 3, 2, 1});
    EXPECT_EQ(reader.featureNames().size(), fileNames.size() + 1);
    EXPECT_EQ(reader.getFeature("emodulus"), (std::vector<double>{6, 5, 4, 3, 2, 1}));
    // Regression: replacing a column freed it while the GUI thread still read it.
    EXPECT_EQ(first, (std::vector<double>{1, 2, 3, 4, 5, 6}));

    // Replacing a file column: marked computed, the list and the file names unchanged.
    const auto& fileDeform = reader.getFeature("deform");
    reader.setFeature("deform", {9, 9, 9, 9, 9, 9});
    EXPECT_TRUE(reader.isComputedFeature("deform"));
    EXPECT_EQ(reader.getFeature("deform"), std::vector<double>(6, 9.0));
    EXPECT_NEAR_REL(fileDeform[5], 0.06, 1e-15);
    EXPECT_EQ(reader.featureNames().size(), fileNames.size() + 1);
    // The file's own names stay apart from what calculations did.
    EXPECT_EQ(reader.fileFeatureNames(), fileNames);

    // preload reads every scalar column of the file into the cache.
    reader.preloadAllFeatures();
    EXPECT_EQ(reader.getFeature("fl2_max")[5], 65535.0);
}

TEST_F(RTDCReaderTest, FiniteRangeSkipsNonFiniteValuesAndFollowsReplacedColumns)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    {
        RtdcFixture file(path("ranges.rtdc"));
        file.addColumn<double>("area_um", {2.0, nan, 3.5, inf, -inf, 2.5});
        file.addColumn<double>("deform", {nan, nan, nan, nan, nan, nan});
        file.close();
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("ranges.rtdc")));
    const auto area = reader.finiteRange("area_um");
    ASSERT_TRUE(area.has_value());
    EXPECT_EQ(area->min, 2.0);
    EXPECT_EQ(area->max, 3.5);
    EXPECT_FALSE(reader.finiteRange("deform").has_value());
    EXPECT_FALSE(reader.finiteRange("missing").has_value());

    // A replaced column must not answer with the range of the column it replaced.
    reader.setFeature("area_um", {-7.0, 1.0});
    const auto replaced = reader.finiteRange("area_um");
    ASSERT_TRUE(replaced.has_value());
    EXPECT_EQ(replaced->min, -7.0);
    EXPECT_EQ(replaced->max, 1.0);
    // Nor a reopened file with the range of the closed one.
    reader.close();
    EXPECT_FALSE(reader.finiteRange("area_um").has_value());
}

TEST_F(RTDCReaderTest, ClosedReaderServesOnlyComputedColumns)
{
    RTDCReader reader;
    EXPECT_FALSE(reader.isOpen());
    int width = -1;
    int height = -1;
    EXPECT_TRUE(reader.readImage(0, width, height).empty());
    EXPECT_TRUE(reader.readMask(0, width, height).empty());
    EXPECT_EQ(width, -1);
    EXPECT_TRUE(reader.readMetadata().allEntries.empty());
    EXPECT_TRUE(reader.getTrace("fl1_raw", 0).empty());
    EXPECT_EQ(&reader.getFeature("deform"), &emptyColumn());
    reader.setFeature("dim_1", {0.5, 1.5});
    EXPECT_EQ(reader.getFeature("dim_1"), (std::vector<double>{0.5, 1.5}));
    EXPECT_TRUE(reader.hasFeature("dim_1"));
    EXPECT_EQ(reader.featureNames(), std::vector<std::string>{"dim_1"});
    EXPECT_TRUE(reader.fileFeatureNames().empty());
}

TEST_F(RTDCReaderTest, ReopeningReplacesTheIndexOfThePreviousFile)
{
    writeCompleteFixture(path("complete.rtdc"));
    writeHdf5WithoutEvents(path("plain.h5"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    reader.getFeature("deform");
    ASSERT_TRUE(reader.open(path("plain.h5")));
    EXPECT_TRUE(reader.featureNames().empty());
    EXPECT_EQ(reader.eventCount(), 0u);
    EXPECT_FALSE(reader.hasImage());
    EXPECT_FALSE(reader.hasTraces());
    EXPECT_EQ(&reader.getFeature("deform"), &emptyColumn());
    reader.close();
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.path(), "");
}

TEST_F(RTDCReaderTest, ImagesAndMasksAreReadOneFrameAtATime)
{
    writeCompleteFixture(path("complete.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    for (std::uint64_t e = 0; e < 6; ++e) {
        SCOPED_TRACE(e);
        int width = 0;
        int height = 0;
        const auto image = reader.readImage(e, width, height);
        ASSERT_EQ(width, 5);
        ASSERT_EQ(height, 4);
        ASSERT_EQ(image.size(), 20u);
        const auto mask = reader.readMask(e, width, height);
        ASSERT_EQ(mask.size(), 20u);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 5; ++c) {
                EXPECT_EQ(image[r * 5 + c], 20 * e + 5 * r + c);
                EXPECT_EQ(mask[r * 5 + c], (r + c + e) % 2 ? 255 : 0);
            }
    }
    int width = -1;
    int height = -1;
    CaptureStderr();
    EXPECT_TRUE(reader.readImage(6, width, height).empty());
    EXPECT_TRUE(reader.readMask(1000, width, height).empty());
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -1);
}

TEST_F(RTDCReaderTest, BlocksOfFramesAreTheSingleFramesInARow)
{
    writeCompleteFixture(path("complete.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    const struct
    {
        std::uint64_t first, count, expectedFrames;
    } cases[] = {{0, 6, 6}, {2, 3, 3}, {4, 10, 2}, {5, 1, 1}, {6, 2, 0}, {0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + "+" + std::to_string(c.count));
        for (bool masks : {false, true}) {
            int width = -1;
            int height = -1;
            const auto block = masks ? reader.readMasks(c.first, c.count, width, height)
                                     : reader.readImages(c.first, c.count, width, height);
            ASSERT_EQ(block.size(), c.expectedFrames * 20);
            for (std::uint64_t k = 0; k < c.expectedFrames; ++k) {
                int w = 0;
                int h = 0;
                const auto single = masks ? reader.readMask(c.first + k, w, h) : reader.readImage(c.first + k, w, h);
                EXPECT_TRUE(std::equal(single.begin(), single.end(), block.begin() + static_cast<std::ptrdiff_t>(k * 20)));
                EXPECT_EQ(width, 5);
                EXPECT_EQ(height, 4);
            }
        }
    }
}

TEST_F(RTDCReaderTest, FramesOfUnexpectedRankOrAbsenceGiveNothing)
{
    {
        RtdcFixture f(path("flat.rtdc"));
        f.addColumn("deform", std::vector<double>{1, 2});
        std::vector<std::uint8_t> flat(2 * 20, 7);
        f.addDataset("/events/image", H5::PredType::NATIVE_UINT8, {2, 20}, H5::PredType::NATIVE_UINT8, flat.data());
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("flat.rtdc")));
    EXPECT_TRUE(reader.hasImage());
    EXPECT_FALSE(reader.hasMask());
    int width = -1;
    int height = -1;
    CaptureStderr();
    EXPECT_TRUE(reader.readImage(0, width, height).empty());
    EXPECT_TRUE(reader.readMask(0, width, height).empty());
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(width, -1);
}
