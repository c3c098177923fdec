// Fluorescence peak refinement on tiny measurements the test writes: peaks of hand-drawn
// triangle traces, the baseline offset, windows outside the trace, channels without traces,
// the window predicted from the flow speed, one thread against many, progress and cancel.
#include "calc/FLRefinement.h"

#include "core/Metadata.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "core/TraceProcessing.h"

#include "support/RtdcFixture.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

namespace Tervane3 {
namespace {

constexpr std::size_t samples = 100;

// max(0, height - 20 |k - centre|) over 100 samples.
std::vector<float> triangle(double centre, double height = 100)
{
    std::vector<float> trace(samples);
    for (std::size_t k = 0; k < samples; ++k)
        trace[k] = static_cast<float>(std::max(0.0, height - 20.0 * std::fabs(static_cast<double>(k) - centre)));
    return trace;
}

struct Measurement
{
    std::map<std::string, std::vector<double>> columns;
    std::map<std::string, std::vector<std::vector<float>>> traces; // per event
    int imageWidth = 0;                                            // images of 2 rows when > 0
};

TraceFilterSettings filtersOff()
{
    TraceFilterSettings s;
    s.hampel1Enabled = s.hampel2Enabled = s.medianEnabled = s.rollingMeanEnabled = s.savitzkyGolayEnabled = false;
    return s;
}

Metadata oneMegahertz(std::map<std::string, std::string> more = {})
{
    Metadata m;
    m.fluorescence = {{"sample rate", "1000000"}};
    for (auto& [key, value] : more)
        m.fluorescence[key] = value;
    return m;
}

class FLRefinementTest : public ::testing::Test
{
protected:
    RTDCReader& open(const Measurement& m)
    {
        const std::string path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++)).toStdString();
        {
            Tervane3::Test::RtdcFixture file(path);
            size_t events = 0;
            for (const auto& [name, values] : m.columns) {
                file.addColumn(name, values);
                events = values.size();
            }
            for (const auto& [name, rows] : m.traces) {
                std::vector<std::int16_t> flat;
                for (const auto& row : rows)
                    for (float v : row)
                        flat.push_back(static_cast<std::int16_t>(std::lround(v)));
                file.addTrace(name, flat, rows.size(), samples);
            }
            if (m.imageWidth > 0)
                file.addFrames("image", std::vector<std::uint8_t>(events * 2 * m.imageWidth, 1), events, 2,
                               static_cast<hsize_t>(m.imageWidth));
        }
        readers.push_back(std::make_unique<RTDCReader>());
        EXPECT_TRUE(readers.back()->open(path));
        return *readers.back();
    }

    QTemporaryDir dir;
    int files = 0;
    std::vector<std::unique_ptr<RTDCReader>> readers;
    FLRefinement refinement;
};

TEST_F(FLRefinementTest, PeaksOfTriangleTraces)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        const char* name;
        double instrumentTime; // µs = samples at 1 MHz
        double height, time, width;
    } cases[] = {
        // Window 37..47: peak 100 at 40; half maximum 50 first undercut at 43 on the right,
        // never on the left inside the window: the left edge is the window's start + 1.
        {"window around the peak", 42, 100, 40, 5},
        // Regression: a negative instrument time put the window before the trace and the
        // search read samples before its start.
        {"window wholly before the trace", -20, nan, -20, nan},
        {"window wholly after the trace", 200, nan, 200, nan},
        // Window 93..99, clamped at the trace's end: all zero, the first sample is the maximum.
        {"window cut by the trace's end", 98, 0, 93, 6},
    };
    Measurement m;
    for (const auto& c : cases) {
        m.columns["fl1_max"].push_back(100);
        m.columns["fl1_pos"].push_back(c.instrumentTime);
        m.traces["fl1_raw"].push_back(triangle(40));
    }
    RTDCReader& reader = open(m);
    std::vector<std::string> messages;
    ASSERT_TRUE(refinement.run(&reader, oneMegahertz(), filtersOff(), &messages));
    EXPECT_TRUE(messages.empty());
    const std::vector<double>& heights = reader.getFeature("fl1_max_rf");
    const std::vector<double>& times = reader.getFeature("fl1_pos_rf");
    const std::vector<double>& widths = reader.getFeature("fl1_width_rf");
    ASSERT_EQ(heights.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_NEAR_REL(heights[i], cases[i].height, 0);
        EXPECT_NEAR_REL(times[i], cases[i].time, 0);
        EXPECT_NEAR_REL(widths[i], cases[i].width, 0);
    }
    // The filtered trace is registered for the trace plot.
    const std::vector<std::string> traces = reader.traceNames();
    EXPECT_NE(std::find(traces.begin(), traces.end(), "fl1_median_rf"), traces.end());
}

TEST_F(FLRefinementTest, BaselineOffsetAndSampleRate)
{
    Measurement m;
    m.columns["fl1_max"] = {100};
    m.columns["fl1_pos"] = {21}; // µs at 2 MHz: sample 42
    m.traces["fl1_raw"] = {triangle(40)};
    RTDCReader& reader = open(m);
    ASSERT_TRUE(refinement.run(&reader, oneMegahertz({{"sample rate", "2000000"}, {"baseline 1 offset", "10"}}),
                               filtersOff()));
    EXPECT_EQ(reader.getFeature("fl1_max_rf"), (std::vector<double>{110}));
    EXPECT_EQ(reader.getFeature("fl1_pos_rf"), (std::vector<double>{20}));
    EXPECT_EQ(reader.getFeature("fl1_width_rf"), (std::vector<double>{2.5}));
}

TEST_F(FLRefinementTest, TraceMetadata)
{
    Metadata m;
    m.fluorescence = {{"sample rate", "1e6"},
                      {"baseline 2 offset", "100"},
                      {"baseline_2_offset", "7"}, // later in key order: wins
                      {"baseline 3 offset", "x"},
                      {"baseline  4 offset", "4"},
                      {"baseline x offset", "5"},
                      {"baseline_5_count", "6"}};
    const FLRefinement::TraceMetadata read = FLRefinement::readTraceMetadata(m);
    EXPECT_EQ(read.sampleRate, 1e6);
    EXPECT_EQ(read.offsets, (std::map<int, double>{{2, 7.0}, {4, 4.0}}));
}

TEST_F(FLRefinementTest, ChannelsWithoutTracesOrTimesAreSkipped)
{
    Measurement m;
    m.columns["fl1_max"] = {100, 100};
    m.columns["fl1_pos"] = {42, 42};
    m.columns["fl2_max"] = {100, 100}; // no fl2_raw
    m.columns["fl2_pos"] = {42, 42};
    m.columns["fl3_max"] = {100, 100};
    m.columns["fl3_pos"] = {42}; // shorter than the events
    m.traces["fl1_raw"] = {triangle(40), triangle(40)};
    m.traces["fl3_raw"] = {triangle(40), triangle(40)};
    RTDCReader& reader = open(m);
    std::vector<std::string> messages;
    ASSERT_TRUE(refinement.run(&reader, oneMegahertz(), filtersOff(), &messages));
    EXPECT_EQ(reader.getFeature("fl1_max_rf"), (std::vector<double>{100, 100}));
    for (const char* name : {"fl2_max_rf", "fl2_pos_rf", "fl3_max_rf", "fl3_width_rf"})
        EXPECT_FALSE(reader.hasFeature(name)) << name;
    EXPECT_EQ(messages, (std::vector<std::string>{"channel 2 has no trace fl2_raw; not refined",
                                                  "the column fl3_pos holds 1 values for 2 events; channel 3 not refined"}));

    // Regression: a measurement without traces got zeros flagged as refined.
    Measurement bare;
    bare.columns["fl1_max"] = {100};
    bare.columns["fl1_pos"] = {42};
    RTDCReader& without = open(bare);
    messages.clear();
    EXPECT_FALSE(refinement.run(&without, oneMegahertz(), filtersOff(), &messages));
    EXPECT_FALSE(without.hasFeature("fl1_max_rf"));
    EXPECT_TRUE(without.traceNames().empty());
    EXPECT_EQ(messages, (std::vector<std::string>{"channel 1 has no trace fl1_raw; not refined"}));
    Measurement none;
    none.columns["area_um"] = {1};
    messages.clear();
    EXPECT_FALSE(refinement.run(&open(none), oneMegahertz(), filtersOff(), &messages));
    EXPECT_EQ(messages, (std::vector<std::string>{"no fluorescence channel"}));
    EXPECT_FALSE(refinement.run(nullptr, oneMegahertz(), filtersOff()));
}

TEST_F(FLRefinementTest, TheWindowFollowsThePredictedPassage)
{
    // Images 10 px wide at 1 µm per pixel: the image's middle is at 5 µm; a cell seen dx from
    // it peaks dx / speed after the trace's middle (sample 50). Five events at 1 µm/µs near
    // the middle set the speed; the sixth, far out, has a wrong instrument time (20) that
    // points at a smaller second peak.
    Measurement m;
    const double dxs[] = {1, 2, 3, 4, 5, 30};
    for (double dx : dxs) {
        const double peakAt = 50 + dx;
        m.columns["pos_x"].push_back(5 + dx);
        m.columns["size_x"].push_back(10);
        m.columns["fl1_max"].push_back(500);
        m.columns["fl1_pos"].push_back(dx == 30 ? 20 : peakAt);
        std::vector<float> trace = triangle(peakAt);
        const std::vector<float> second = triangle(20, 50);
        for (std::size_t k = 0; k < samples; ++k)
            trace[k] = std::max(trace[k], second[k]);
        m.traces["fl1_raw"].push_back(trace);
    }
    m.imageWidth = 10;
    RTDCReader& reader = open(m);
    Metadata metadata = oneMegahertz();
    metadata.imaging["pixel size"] = "1";
    ASSERT_TRUE(refinement.run(&reader, metadata, filtersOff()));
    EXPECT_EQ(reader.getFeature("fl1_pos_rf").back(), 80);
    EXPECT_EQ(reader.getFeature("fl1_max_rf").back(), 100);

    const std::vector<double>& posX = reader.getFeature("pos_x");
    const FLRefinement::FlowSpeed flow =
        FLRefinement::estimateFlowSpeed(reader, 5, 50, {1}, &posX, 6, 400);
    EXPECT_DOUBLE_EQ(flow.speed, 1.0);
    EXPECT_DOUBLE_EQ(flow.spread, 0.0);
    // Three suitable events only: the speed of the one closest to the middle.
    const std::vector<double> threeX = {5 + 4, 5 + 2, 5 - 8};
    Measurement three;
    three.columns["fl1_max"] = {500, 500, 500};
    three.columns["fl1_pos"] = {50 + 2, 50 + 1, 50 + 2}; // speeds 2, 2, -4
    three.traces["fl1_raw"] = {triangle(1), triangle(1), triangle(1)};
    RTDCReader& threeReader = open(three);
    EXPECT_DOUBLE_EQ(FLRefinement::estimateFlowSpeed(threeReader, 5, 50, {1}, &threeX, 3, 400).speed, 2.0);
    EXPECT_DOUBLE_EQ(FLRefinement::estimateFlowSpeed(threeReader, 5, 50, {1}, nullptr, 3, 400).speed, 0.0);
}

TEST_F(FLRefinementTest, TheRunsOwnFiltersGiveTheRefinedTrace)
{
    // A spike of one sample on a noisy baseline that the Hampel filter removes: unfiltered it
    // would be the peak.
    Measurement m;
    std::vector<float> trace = triangle(40, 60);
    for (std::size_t k = 0; k < samples; ++k)
        trace[k] += k % 2 ? 103.0f : 97.0f;
    trace[44] = 600;
    m.columns["fl1_max"] = {100};
    m.columns["fl1_pos"] = {42};
    m.traces["fl1_raw"] = {trace};
    RTDCReader& reader = open(m);
    TraceFilterSettings settings; // Hampel 5 and 11, Savitzky-Golay 3
    ASSERT_TRUE(refinement.run(&reader, oneMegahertz(), settings));
    std::vector<float> filtered = trace;
    applyTraceProcessing(filtered, settings);
    const std::size_t top =
        static_cast<std::size_t>(std::max_element(filtered.begin() + 37, filtered.begin() + 48) - filtered.begin());
    EXPECT_EQ(reader.getFeature("fl1_max_rf")[0], static_cast<double>(filtered[top]));
    EXPECT_EQ(reader.getFeature("fl1_pos_rf")[0], static_cast<double>(top));
    EXPECT_LT(reader.getFeature("fl1_max_rf")[0], 300);
    // The registered derived trace shows the same filtered values.
    EXPECT_EQ(reader.getTrace("fl1_median_rf", 0), filtered);
}

TEST_F(FLRefinementTest, OneThreadAndManyGiveTheSameColumnsAndProgressRises)
{
    Measurement m;
    const std::size_t events = 700;
    for (std::size_t i = 0; i < events; ++i) {
        const double centre = 20 + static_cast<double>(i % 60);
        for (int c : {1, 2}) {
            const std::string fl = "fl" + std::to_string(c);
            m.columns[fl + "_max"].push_back(100);
            m.columns[fl + "_pos"].push_back(centre + (i % 3));
            std::vector<float> trace = triangle(centre, 50 + static_cast<double>(i % 17) * c);
            trace[(i * 7) % samples] += 30; // noise for the filters to work on
            m.traces[fl + "_raw"].push_back(trace);
        }
    }
    RTDCReader& reader = open(m);
    std::map<int, std::vector<std::vector<double>>> columns;
    std::vector<int> percents;
    QObject::connect(&refinement, &FLRefinement::progressChanged, &refinement,
                     [&percents](int p) { percents.push_back(p); }, Qt::DirectConnection);
    for (int threads : {1, 0}) {
        setWorkerThreadLimit(threads);
        percents.clear();
        ASSERT_TRUE(refinement.run(&reader, oneMegahertz(), TraceFilterSettings()));
        for (const char* name : {"fl1_max_rf", "fl1_pos_rf", "fl1_width_rf", "fl2_max_rf", "fl2_width_rf"})
            columns[threads].push_back(reader.getFeature(name));
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        if (threads == 1) {
            EXPECT_EQ(percents, (std::vector<int>{0, 18, 36, 50, 68, 86, 100}));
        }
    }
    setWorkerThreadLimit(0);
    ASSERT_EQ(columns[1].size(), columns[0].size());
    for (size_t k = 0; k < columns[1].size(); ++k) {
        ASSERT_EQ(columns[1][k].size(), events);
        EXPECT_EQ(std::memcmp(columns[1][k].data(), columns[0][k].data(), events * sizeof(double)), 0) << k;
    }
}

// Regression: a cancel in the second channel kept the first channel's new columns and put the
// cancelled run's filters into the reader: a compensation afterwards mixed the two runs'
// maxima, and the refined trace shown no longer matched the stored columns.
TEST_F(FLRefinementTest, CancelKeepsTheDatasetAsTheLastCompleteRunLeftIt)
{
    Measurement m;
    for (int i = 0; i < 600; ++i) {
        for (int c : {1, 2}) {
            const std::string fl = "fl" + std::to_string(c);
            m.columns[fl + "_max"].push_back(100);
            m.columns[fl + "_pos"].push_back(42);
            std::vector<float> trace = triangle(40);
            trace[45] = 90; // a notch that the default filters smooth away
            m.traces[fl + "_raw"].push_back(trace);
        }
    }
    RTDCReader& reader = open(m);
    const std::vector<std::string> tracesBefore = reader.traceNames();
    bool armed = false;
    // Cancel once the second channel has started.
    QObject::connect(&refinement, &FLRefinement::progressChanged, &refinement,
                     [this, &armed](int p) {
                         if (armed && p >= 50)
                             refinement.cancelRequested = true;
                     },
                     Qt::DirectConnection);

    armed = true;
    EXPECT_FALSE(refinement.run(&reader, oneMegahertz(), filtersOff()));
    for (const char* name : {"fl1_max_rf", "fl1_pos_rf", "fl1_width_rf", "fl2_max_rf", "fl2_pos_rf"})
        EXPECT_FALSE(reader.hasFeature(name)) << name;
    EXPECT_EQ(reader.traceNames(), tracesBefore);

    armed = false;
    refinement.cancelRequested = false; // the starter of a run clears the stop, never the run
    ASSERT_TRUE(refinement.run(&reader, oneMegahertz(), TraceFilterSettings()));
    const std::vector<double> first = reader.getFeature("fl1_max_rf");
    const std::vector<double> second = reader.getFeature("fl2_width_rf");
    const std::vector<float> shown = reader.getTrace("fl1_median_rf", 0);
    armed = true;
    EXPECT_FALSE(refinement.run(&reader, oneMegahertz(), filtersOff()));
    EXPECT_EQ(reader.getFeature("fl1_max_rf"), first);
    EXPECT_EQ(reader.getFeature("fl2_width_rf"), second);
    EXPECT_EQ(reader.getTrace("fl1_median_rf", 0), shown);
    std::vector<float> unfiltered = m.traces.at("fl1_raw").front();
    EXPECT_NE(shown, unfiltered);
}

} // namespace
} // namespace Tervane3
