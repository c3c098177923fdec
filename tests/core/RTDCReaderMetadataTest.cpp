// Metadata of the reader: every attribute kind as text, sections, stored polygon filters, the
// instrument flag, and numbers that read the same under a comma locale.
#include "core/FeatureCatalogue.h"
#include "core/RTDCReader.h"

#include "ReaderFileTest.h"
#include "support/RtdcFixture.h"


#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <random>

using namespace Tervane3;
using namespace Tervane3::Test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

class RTDCReaderMetadataTest : public ReaderFileTest
{
protected:
    Metadata readFile(const std::string& file, RTDCReader& reader)
    {
        EXPECT_TRUE(reader.open(file));
        return reader.readMetadata();
    }
};

// Sets LC_ALL for the scope and puts "C" back afterwards.
class ScopedLocale
{
public:
    explicit ScopedLocale(const char* name) : ok(std::setlocale(LC_ALL, name) != nullptr) {}
    ~ScopedLocale() { std::setlocale(LC_ALL, "C"); }
    const bool ok;
};

std::string printfFixed(double value)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%f", value);
    return buffer;
}

} // namespace

TEST_F(RTDCReaderMetadataTest, EveryAttributeKindBecomesText)
{
    writeCompleteFixture(path("complete.rtdc"));
    RTDCReader reader;
    CaptureStderr();
    const Metadata m = readFile(path("complete.rtdc"), reader);
    EXPECT_EQ(GetCapturedStderr(), "");
    const std::pair<const char*, const char*> expected[] = {
        {"experiment:sample", "Blood µ-sample"},     // variable-length UTF-8
        {"experiment:date", "2024-05-17"},           // fixed length, NUL terminated
        {"experiment:time", "13:45:10"},             // fixed length, NUL padded, no terminator
        {"setup:medium", "TavrisolB"},             // fixed length, blank padded
        {"setup:chip region", "channel"},            // variable-length ASCII
        {"setup:flow rate", "0.060000"},             // double
        {"setup:channel width", "20.000000"},        // float
        {"imaging:pixel size", "0.340000"},
        {"experiment:event count", "6"},             // 32-bit integer
        {"imaging:roi size x", "-250"},              // 16-bit integer
        {"fluorescence:laser count", "9223372036854775808"}, // unsigned 64-bit above 2^63 - 1
        {"online_contour:no absdiff", "1"},          // enumeration
        {"online_filter:area_um,deform polygon points",
         "(10.000000,0.010000), (20.000000,0.020000), (15.000000,0.050000)"},
        {"version", "1.0"},
    };
    for (const auto& [name, text] : expected) {
        SCOPED_TRACE(name);
        ASSERT_EQ(m.allEntries.count(name), 1u);
        EXPECT_EQ(m.allEntries.at(name), text);
    }
    // A one-dimensional array is no polygon and is skipped.
    EXPECT_EQ(m.allEntries.size(), std::size(expected) + 1); // + setup:module composition
    EXPECT_EQ(m.allEntries.count("online_filter:area_um,deform extra"), 0u);

    EXPECT_EQ(m.experiment.at("sample"), "Blood µ-sample");
    EXPECT_EQ(m.setup.at("flow rate"), "0.060000");
    EXPECT_EQ(m.setup.at("medium"), "TavrisolB");
    EXPECT_EQ(m.imaging.at("pixel size"), "0.340000");
    EXPECT_EQ(m.onlineContour.at("no absdiff"), "1");
    EXPECT_EQ(m.fluorescence.at("laser count"), "9223372036854775808");
    EXPECT_EQ(m.onlineFilter.count("area_um,deform polygon points"), 1u);
    EXPECT_EQ(m.value("setup", "chip region"), "channel");
    EXPECT_EQ(m.value("setup", "missing", "x"), "x");
    EXPECT_EQ(m.value("nosection", "sample", "y"), "y");

    ASSERT_EQ(m.polygonFilters.size(), 1u);
    const auto& polygon = m.polygonFilters[0];
    EXPECT_EQ(polygon.xFeature, "area_um");
    EXPECT_EQ(polygon.yFeature, "deform");
    const std::vector<std::pair<double, double>> points{
        {10.0, static_cast<double>(0.01f)}, {20.0, static_cast<double>(0.02f)}, {15.0, static_cast<double>(0.05f)}};
    EXPECT_EQ(polygon.points, points);

    // "Quorvantelis" inside the module composition selects the instrument labels.
    EXPECT_TRUE(reader.isInstrumentData());
    EXPECT_EQ(reader.featureLabel("userdef0"), "Velocity [mm/s]");
}

TEST_F(RTDCReaderMetadataTest, SectionsAndPolygonNamesAreParsedByTheirRules)
{
    {
        RtdcFixture f(path("names.rtdc"));
        f.addStringAttribute("user:note", "only in all entries");
        f.addStringAttribute("setup:", "empty key");
        f.addStringAttribute("export:changed sample name", "renamed");
        f.addStringAttribute("offline_filter:deform max", "0.1", StringKind::FixedSpacePadded);
        f.addStringAttribute("setup:a:b", "colon in key");
        const std::vector<std::pair<double, double>> square{{1, 2}, {3, 4}};
        f.addPointsAttribute("offline_filter:x,y polygon points", square);
        f.addPointsAttribute("online_filter:area_um deform polygon points", square);
        f.addPointsAttribute("area_um,deform polygon points", square);
        f.addPointsAttribute("online_filter: polygon points", square);
        f.addPointsAttribute("online_filter:a,b polygon points", square, H5::PredType::IEEE_F64LE);
        f.addArrayAttribute("online_filter:c,d polygon points", H5::PredType::STD_I32LE, {3, 2}, {1, 2, 3, 4, 5, 6});
        f.addArrayAttribute("online_filter:e,f polygon points", H5::PredType::IEEE_F32LE, {4}, {1, 2, 3, 4});
        f.addArrayAttribute("online_filter:g,h polygon points", H5::PredType::IEEE_F32LE, {2, 3}, {1, 2, 3, 4, 5, 6});
        f.addPointsAttribute("online_filter:i,j polygon points", {});
        // Kinds the reader does not convert: skipped without a message.
        H5::CompType compound(sizeof(double));
        compound.insertMember("v", 0, H5::PredType::NATIVE_DOUBLE);
        const double v = 1.0;
        f.file().openGroup("/").createAttribute("setup:compound", compound, H5::DataSpace(H5S_SCALAR)).write(compound, &v);
        f.file().openGroup("/").createAttribute("setup:nothing", H5::PredType::NATIVE_INT, H5::DataSpace(H5S_NULL));
    }
    RTDCReader reader;
    CaptureStderr();
    const Metadata m = readFile(path("names.rtdc"), reader);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(m.allEntries.at("user:note"), "only in all entries");
    EXPECT_EQ(m.setup.at(""), "empty key");
    EXPECT_EQ(m.setup.at("a:b"), "colon in key");
    EXPECT_EQ(m.exportInfo.at("changed sample name"), "renamed");
    EXPECT_EQ(m.offlineFilter.at("deform max"), "0.1");
    EXPECT_EQ(m.offlineFilter.at("x,y polygon points"), "(1.000000,2.000000), (3.000000,4.000000)");
    EXPECT_EQ(m.onlineFilter.at("a,b polygon points"), "(1.000000,2.000000), (3.000000,4.000000)");
    EXPECT_EQ(m.onlineFilter.at("i,j polygon points"), "");
    for (const char* skipped : {"online_filter:area_um deform polygon points", "area_um,deform polygon points",
                                "online_filter: polygon points", "online_filter:c,d polygon points",
                                "online_filter:e,f polygon points", "online_filter:g,h polygon points",
                                "setup:compound", "setup:nothing"}) {
        SCOPED_TRACE(skipped);
        EXPECT_EQ(m.allEntries.count(skipped), 0u);
    }
    ASSERT_EQ(m.polygonFilters.size(), 3u);
    std::vector<std::string> pairs;
    for (const auto& p : m.polygonFilters)
        pairs.push_back(p.xFeature + "," + p.yFeature);
    // In the order the attributes were written, not in name order.
    EXPECT_EQ(pairs, (std::vector<std::string>{"x,y", "a,b", "i,j"}));
    EXPECT_FALSE(reader.isInstrumentData());
}

// An attribute message the library cannot decode makes the table of the group's attributes
// unbuildable: every attribute gets its warning line, nothing is stored, and the columns of
// the file still read.
TEST_F(RTDCReaderMetadataTest, UndecodableAttributeMessageWarnsPerAttribute)
{
    const std::string file = path("damaged.rtdc");
    {
        RtdcFixture f(file);
        f.addColumn("deform", std::vector<double>{0.1, 0.2});
        f.addDoubleAttribute("setup:flow rate", 0.06);
        f.addStringAttribute("experiment:sample", "damaged header");
    }
    {
        // Version 1 attribute messages: version, reserved byte, name size (2 bytes), datatype
        // and dataspace sizes, then the NUL-terminated name padded to 8 bytes. An unknown
        // version number makes the message undecodable.
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(bytes)), std::istreambuf_iterator<char>());
        const std::string name("setup:flow rate", sizeof("setup:flow rate"));
        const std::size_t at = content.find(name);
        ASSERT_NE(at, std::string::npos);
        ASSERT_EQ(content.find(name, at + 1), std::string::npos);
        ASSERT_GE(at, 8u);
        ASSERT_EQ(content[at - 8], '\x01');
        ASSERT_EQ(static_cast<unsigned char>(content[at - 6]), name.size());
        bytes.seekp(static_cast<std::streamoff>(at - 8));
        bytes.put('\x63');
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.open(file));
    CaptureStderr();
    const Metadata m = reader.readMetadata();
    const std::string err = GetCapturedStderr();
    EXPECT_TRUE(m.allEntries.empty());
    for (const char* line : {"Warning: failed to read attribute 0: ", "Warning: failed to read attribute 1: "}) {
        SCOPED_TRACE(line);
        EXPECT_NE(err.find(line), std::string::npos) << err;
    }
    EXPECT_EQ(err.find("attribute 2"), std::string::npos) << err;
    EXPECT_EQ(reader.getFeature("deform"), (std::vector<double>{0.1, 0.2}));
}

TEST_F(RTDCReaderMetadataTest, InstrumentFlagNeedsTheNameInItsCase)
{
    struct Case
    {
        const char* composition; // nullptr: attribute absent
        bool expected;
    };
    const Case cases[] = {
        {"Cell_Flow_2, Quorvantelis", true},
        {"Quorvantelis", true},
        {"cell_flow_2, quorvantelis", false},
        {"Cell_Flow_2", false},
        {nullptr, false},
    };
    int fileNo = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.composition ? c.composition : "(absent)");
        const std::string file = path("flag" + std::to_string(fileNo++) + ".rtdc");
        {
            RtdcFixture f(file);
            if (c.composition)
                f.addStringAttribute("setup:module composition", c.composition, StringKind::VariableUtf8);
        }
        RTDCReader reader;
        readFile(file, reader);
        EXPECT_EQ(reader.isInstrumentData(), c.expected);
        EXPECT_EQ(reader.featureLabel("userdef9"), c.expected ? "Cell Type ID" : "User-defined 9");
        reader.close();
        EXPECT_FALSE(reader.isInstrumentData());
    }
}

TEST_F(RTDCReaderMetadataTest, FixedSixDecimalsMatchPrintfInTheCLocale)
{
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 20);
    std::vector<double> values{0.0, -0.0, 0.5, 1e-7, -1e-7, 0.0000005, 0.0000015, 2.5e-6, 0.06, 1e20, -123456.789, 1e300};
    for (int i = 0; i < 500; ++i)
        values.push_back(mantissa(rng) * std::pow(10.0, exponent(rng)));
    for (double v : values) {
        SCOPED_TRACE(v);
        EXPECT_EQ(formatFixed6(v), printfFixed(v));
    }
}

// Catches numbers lost to six decimals: a setting of 1.5e-7 read "0.000000", so the value
// shown and the value a calculation parsed from it was 0, which the file does not hold.
TEST_F(RTDCReaderMetadataTest, NumbersSixDecimalsCannotHoldKeepTheirDigits)
{
    const std::string file = path("small numbers.rtdc");
    const struct {
        const char* name;
        double value;
        bool asFloat;
        const char* text;
    } cases[] = {
        {"setup:flow rate", 0.06, false, "0.060000"},           // six decimals hold it
        {"imaging:pixel size", 0.34, true, "0.340000"},         // float32 rounding stays hidden
        {"setup:viscosity", 1.5e-7, false, "1.5e-07"},
        {"setup:temperature", -2.5e-9, false, "-2.5e-09"},
        {"imaging:exposure time", 0.0601234, false, "0.0601234"},
        {"imaging:frame rate", 0.0005, false, "0.000500"},
        {"setup:channel width", 0.0, false, "0.000000"},
        {"imaging:flash duration", 1e20, false, "100000000000000000000.000000"},
    };
    {
        RtdcFixture f(file);
        f.addColumn("deform", std::vector<double>{0.1, 0.2});
        for (const auto& c : cases) {
            if (c.asFloat)
                f.addFloatAttribute(c.name, static_cast<float>(c.value));
            else
                f.addDoubleAttribute(c.name, c.value);
        }
    }
    RTDCReader reader;
    const Metadata m = readFile(file, reader);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(m.allEntries.count(c.name), 1u);
        EXPECT_EQ(m.allEntries.at(c.name), c.text);
        const std::optional<double> parsed = leadingDouble(m.allEntries.at(c.name));
        ASSERT_TRUE(parsed.has_value());
        EXPECT_NEAR(*parsed, c.value, 1e-6 * std::abs(c.value));
    }
}

// Regression: "%f" text followed the process locale, so under a German locale the flow rate
// read "0,060000" and numbers no longer parsed.
TEST_F(RTDCReaderMetadataTest, NumbersReadTheSameUnderACommaLocale)
{
    writeCompleteFixture(path("complete.rtdc"));
    ScopedLocale locale("de_DE.UTF-8");
    if (!locale.ok)
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    ASSERT_EQ(printfFixed(0.06), "0,060000"); // the locale is really in effect
    RTDCReader reader;
    const Metadata m = readFile(path("complete.rtdc"), reader);
    EXPECT_EQ(m.setup.at("flow rate"), "0.060000");
    EXPECT_EQ(m.imaging.at("pixel size"), "0.340000");
    EXPECT_EQ(m.onlineFilter.at("area_um,deform polygon points"),
              "(10.000000,0.010000), (20.000000,0.020000), (15.000000,0.050000)");
    EXPECT_EQ(formatFixed6(-1234.5), "-1234.500000");
}

TEST_F(RTDCReaderMetadataTest, LeadingNumberOfAMetadataTextIgnoresTheLocale)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* text;
        std::optional<double> expected;
    } cases[] = {
        {"0.050000", 0.05},   {" \t+3", 3.0},      {"1e3 um", 1000.0}, {"-inf", -inf},
        {"inf", inf},         {"0,05", 0.0},       {"", std::nullopt}, {"abc", std::nullopt},
        {"1e999", std::nullopt}, {",5", std::nullopt}, {"+-1", std::nullopt},
    };
    ScopedLocale locale("de_DE.UTF-8"); // the German decimal comma must not matter
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(leadingDouble(c.text), c.expected);
    }
    const auto nan = leadingDouble("nan");
    ASSERT_TRUE(nan.has_value());
    EXPECT_TRUE(std::isnan(*nan));
}
