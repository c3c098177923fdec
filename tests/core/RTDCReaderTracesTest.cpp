// Traces of the reader: stored rows of every stored type, derived traces through the
// processing stages, the one-entry cache and the registrations that must be refused.
#include "core/RTDCReader.h"
#include "core/TraceProcessing.h"

#include "ReaderFileTest.h"
#include "support/RtdcFixture.h"


#include <gtest/gtest.h>

#include <cmath>

using namespace Tervane3;
using namespace Tervane3::Test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

constexpr hsize_t kEvents = 3;
constexpr hsize_t kSamples = 60;

// A detector trace: baseline, a Gaussian peak, a few one-sample spikes.
std::vector<float> syntheticTrace(hsize_t event, float amplitude)
{
    std::vector<float> t(kSamples);
    for (hsize_t s = 0; s < kSamples; ++s) {
        const float x = static_cast<float>(s) - 25.0f - static_cast<float>(event);
        t[s] = 100.0f + amplitude * std::exp(-x * x / 30.0f) + static_cast<float>((s * 7 + event) % 5);
    }
    t[10] += 500.0f;
    t[40 + event] -= 80.0f;
    return t;
}

class RTDCReaderTracesTest : public ReaderFileTest
{
protected:
    void SetUp() override
    {
        ReaderFileTest::SetUp();
        file = path("traces.rtdc");
        RtdcFixture f(file);
        f.addColumn("deform", std::vector<double>(kEvents, 0.1));
        std::vector<std::int16_t> raw;
        std::vector<std::uint16_t> median;
        for (hsize_t e = 0; e < kEvents; ++e) {
            for (float v : syntheticTrace(e, 2000.0f))
                raw.push_back(static_cast<std::int16_t>(v));
            // Peaks above 32767 are real for unsigned detectors.
            for (float v : syntheticTrace(e, 50000.0f))
                median.push_back(static_cast<std::uint16_t>(v));
        }
        f.addTrace("fl1_raw", raw, kEvents, kSamples);
        f.addTrace("fl1_median", median, kEvents, kSamples);
        std::vector<float> cube(kEvents * 2 * 2, 1.0f);
        f.addDataset("/events/trace/fl4_raw", H5::PredType::NATIVE_FLOAT, {kEvents, 2, 2},
                     H5::PredType::NATIVE_FLOAT, cube.data());
        f.close();
        ASSERT_TRUE(reader.open(file));
    }

    std::vector<float> stored(const char* name, hsize_t event, float amplitude)
    {
        std::vector<float> t = syntheticTrace(event, amplitude);
        for (float& v : t)
            v = std::string(name) == "fl1_raw" ? static_cast<float>(static_cast<std::int16_t>(v))
                                                : static_cast<float>(static_cast<std::uint16_t>(v));
        return t;
    }

    std::string file;
    RTDCReader reader;
};

void disableAllStages(RTDCReader& reader)
{
    reader.setTraceProcessing(false, 5, 3.0f, false, 11, 3.0f, false, 3, false, 3, false, 3);
}

} // namespace

TEST_F(RTDCReaderTracesTest, StoredTracesAreListedAndReadRowByRow)
{
    EXPECT_TRUE(reader.hasTraces());
    EXPECT_EQ(reader.traceLength(), kSamples);
    // fl4_raw has three dimensions: no row to give, not listed.
    EXPECT_EQ(reader.traceNames(), (std::vector<std::string>{"fl1_median", "fl1_raw"}));
    for (hsize_t e = 0; e < kEvents; ++e) {
        SCOPED_TRACE(e);
        EXPECT_EQ(reader.getTrace("fl1_raw", e), stored("fl1_raw", e, 2000.0f));
        // Regression: unsigned 16-bit traces were read as signed and flattened at 32767.
        const auto median = reader.getTrace("fl1_median", e);
        EXPECT_EQ(median, stored("fl1_median", e, 50000.0f));
        EXPECT_GT(*std::max_element(median.begin(), median.end()), 40000.0f);
    }
}

TEST_F(RTDCReaderTracesTest, StoredTypesOfTheCompleteFixture)
{
    const std::string complete = path("complete.rtdc");
    writeCompleteFixture(complete);
    RTDCReader r;
    ASSERT_TRUE(r.open(complete));
    EXPECT_EQ(r.traceNames(), (std::vector<std::string>{"fl1_median", "fl1_raw", "fl2_raw"}));
    EXPECT_EQ(r.traceLength(), 8u);
    for (std::uint64_t e = 0; e < 6; ++e) {
        const auto raw = r.getTrace("fl1_raw", e);
        const auto median = r.getTrace("fl1_median", e);
        const auto floats = r.getTrace("fl2_raw", e);
        ASSERT_EQ(raw.size(), 8u);
        ASSERT_EQ(median.size(), 8u);
        ASSERT_EQ(floats.size(), 8u);
        for (std::uint64_t s = 0; s < 8; ++s) {
            EXPECT_EQ(raw[s], 100.0f * e + s - 50.0f);
            EXPECT_EQ(median[s], 60000.0f - 1000.0f * e + s);
            EXPECT_EQ(floats[s], static_cast<float>(e + s / 8.0));
        }
    }
}

TEST_F(RTDCReaderTracesTest, MissingRowsAndNamesGiveEmptyTraces)
{
    struct Case
    {
        const char* name;
        std::uint64_t event;
        bool message;
    };
    const Case cases[] = {
        {"fl1_raw", kEvents, false},
        {"fl1_raw", ~std::uint64_t(0), false},
        {"fl9_raw", 0, true},
        {"fl4_raw", 0, true},
        {"../fl1_raw", 0, true},
        {"sub/fl1_raw", 1, true},
        {"", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureStderr();
        EXPECT_TRUE(reader.getTrace(c.name, c.event).empty());
        const std::string err = GetCapturedStderr();
        if (c.message)
            EXPECT_EQ(err.rfind("Error reading trace '" + std::string(c.name) + "' at index "
                                    + std::to_string(c.event) + ": ", 0), 0u) << err;
        else
            EXPECT_EQ(err, "");
    }
    RTDCReader noTraces;
    const std::string plain = path("plain.h5");
    writeHdf5WithoutEvents(plain);
    ASSERT_TRUE(noTraces.open(plain));
    EXPECT_FALSE(noTraces.hasTraces());
    EXPECT_EQ(noTraces.traceLength(), 0u);
    CaptureStderr();
    EXPECT_TRUE(noTraces.getTrace("fl1_raw", 0).empty());
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(RTDCReaderTracesTest, DerivedTracesRunTheEnabledStagesInOrder)
{
    reader.addDerivedTrace("fl1_raw_rf", "fl1_raw");
    reader.addDerivedTrace("fl1_raw_rf", "fl1_raw"); // again: listed once
    EXPECT_EQ(reader.traceNames(), (std::vector<std::string>{"fl1_median", "fl1_raw", "fl1_raw_rf"}));

    const auto source = reader.getTrace("fl1_raw", 1);
    // Defaults: Hampel (5, 3), Hampel (11, 3), Savitzky-Golay (3).
    auto expected = source;
    hampelFilter(expected, 5, 3.0f);
    hampelFilter(expected, 11, 3.0f);
    savitzkyGolayFilter(expected, 3);
    EXPECT_EQ(reader.getTrace("fl1_raw_rf", 1), expected);
    EXPECT_NE(expected, source); // the spike really was removed

    disableAllStages(reader);
    EXPECT_EQ(reader.getTrace("fl1_raw_rf", 1), source);

    reader.setTraceProcessing(false, 5, 3.0f, false, 11, 3.0f, true, 2, true, 1, false, 3);
    expected = source;
    medianFilter(expected, 2);
    rollingMeanFilter(expected, 1);
    EXPECT_EQ(reader.getTrace("fl1_raw_rf", 1), expected);
    EXPECT_EQ(reader.getTrace("fl1_raw_rf", 1), expected); // from the cache

    // A chain of derived traces passes through the stages once per link.
    reader.addDerivedTrace("fl1_raw_rf2", "fl1_raw_rf");
    auto twice = expected;
    medianFilter(twice, 2);
    rollingMeanFilter(twice, 1);
    EXPECT_EQ(reader.getTrace("fl1_raw_rf2", 1), twice);
    EXPECT_TRUE(reader.getTrace("fl1_raw_rf", kEvents).empty());

    // The settings as one record: all five stages, in their fixed order.
    TraceProcessingSettings all;
    all.hampel1HalfWindow = 2;
    all.medianEnabled = true;
    all.medianHalfWindow = 2;
    all.rollingMeanEnabled = true;
    all.rollingMeanHalfWindow = 1;
    reader.setTraceProcessing(all);
    auto chained = source;
    hampelFilter(chained, 2, 3.0f);
    hampelFilter(chained, 11, 3.0f);
    medianFilter(chained, 2);
    rollingMeanFilter(chained, 1);
    savitzkyGolayFilter(chained, 3);
    EXPECT_EQ(reader.getTrace("fl1_raw_rf", 1), chained);
}

// Regression: re-pointing a derived name left the cached row of its old source in place, so
// the next read of the same event showed the old trace.
TEST_F(RTDCReaderTracesTest, RepointingADerivedNameDropsItsCachedRow)
{
    disableAllStages(reader);
    reader.addDerivedTrace("shown", "fl1_raw");
    EXPECT_EQ(reader.getTrace("shown", 2), reader.getTrace("fl1_raw", 2));
    reader.addDerivedTrace("shown", "fl1_median");
    EXPECT_EQ(reader.getTrace("shown", 2), reader.getTrace("fl1_median", 2));
}

TEST_F(RTDCReaderTracesTest, RegistrationsThatLoopAreRefused)
{
    CaptureStderr();
    reader.addDerivedTrace("self", "self");
    reader.addDerivedTrace("a", "fl1_raw");
    reader.addDerivedTrace("b", "a");
    reader.addDerivedTrace("a", "b"); // would close a -> b -> a
    const std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("Error adding derived trace 'self'"), std::string::npos) << err;
    EXPECT_NE(err.find("Error adding derived trace 'a'"), std::string::npos) << err;
    EXPECT_EQ(reader.traceNames(), (std::vector<std::string>{"a", "b", "fl1_median", "fl1_raw"}));
    disableAllStages(reader);
    EXPECT_EQ(reader.getTrace("b", 0), reader.getTrace("fl1_raw", 0));
    EXPECT_TRUE(reader.getTrace("self", 0).empty());
}

TEST_F(RTDCReaderTracesTest, RegistrationsSurviveReopening)
{
    disableAllStages(reader);
    reader.addDerivedTrace("kept", "fl1_median");
    const auto before = reader.getTrace("kept", 0);
    ASSERT_FALSE(before.empty());
    reader.close();
    EXPECT_TRUE(reader.getTrace("kept", 0).empty());
    ASSERT_TRUE(reader.open(file));
    EXPECT_EQ(reader.getTrace("kept", 0), before);
}
