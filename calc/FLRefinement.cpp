// The refinement of one dataset: metadata (sample rate, baseline offsets), the image's middle
// and the flow speed, then per channel a parallel pass over the events; the columns of all
// channels, the filters and the refined traces are stored together at the end. The search window of
// an event is clamped to the trace; a window wholly before or after the trace, an empty
// trace or a window without a number gives no peak (NaN height and width, the instrument's
// time).
#include "calc/FLRefinement.h"

#include "calc/EventProgress.h"
#include "calc/FluorescenceChannels.h"
#include "core/Metadata.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "core/TraceProcessing.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace Tervane3 {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// Events per chunk of the parallel pass: a few milliseconds of work each.
constexpr std::size_t eventGrain = 128;

std::optional<double> number(const std::string& text)
{
    bool ok = false;
    const double value = QString::fromStdString(text).trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The element at position floor(k / 2) of the sorted values (no averaging).
double upperMedian(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// A column with one value per event, or null.
const std::vector<double>* fullColumn(const RTDCReader& reader, const char* name, std::size_t events)
{
    if (!reader.hasFeature(name))
        return nullptr;
    const std::vector<double>& column = reader.getFeature(name);
    return column.size() >= events ? &column : nullptr;
}

struct Peak
{
    double height = nan;
    double time = nan;
    double width = nan;
};

// The search window [start, end] in samples of a trace of L samples, from real bounds; false
// when the window lies wholly before or after the trace.
bool searchWindow(double lo, double hi, std::size_t length, std::size_t& start, std::size_t& end)
{
    const double last = static_cast<double>(length) - 1.0;
    if (std::isnan(lo))
        lo = 0.0;
    if (std::isnan(hi))
        hi = last;
    if (length == 0 || hi < 0.0 || lo > last)
        return false;
    lo = std::max(lo, 0.0);
    hi = std::min(hi, last);
    start = static_cast<std::size_t>(std::trunc(lo));
    end = static_cast<std::size_t>(std::trunc(hi));
    start = std::min(start, end);
    return true;
}

// The first maximum of trace + offset in [start, end], its time and its width at half maximum.
Peak peakInWindow(const std::vector<float>& trace, double offset, std::size_t start, std::size_t end, double dt,
                  double instrumentTime)
{
    Peak peak;
    peak.time = instrumentTime;
    if (trace.empty() || end >= trace.size())
        return peak;
    const auto value = [&](std::size_t k) { return static_cast<double>(trace[k]) + offset; };
    double best = -1e30;
    std::size_t top = start;
    bool found = false;
    for (std::size_t k = start; k <= end; ++k) {
        if (value(k) > best) {
            best = value(k);
            top = k;
            found = true;
        }
    }
    if (!found)
        return peak;
    const double half = 0.5 * best;
    std::size_t left = top == start ? top : start + 1;
    for (std::size_t k = top; k > start; --k) {
        if (value(k) < half) {
            left = k;
            break;
        }
    }
    std::size_t right = end;
    for (std::size_t k = top; k <= end; ++k) {
        if (value(k) < half) {
            right = k;
            break;
        }
    }
    peak.height = best;
    peak.time = static_cast<double>(top) * dt;
    peak.width = static_cast<double>(right - left) * dt;
    return peak;
}

// What the pass over one channel's events needs.
struct ChannelPass
{
    RTDCReader* reader = nullptr;
    int channel = 0;
    double dt = 1.0;
    double offset = 0.0;
    FLRefinement::FlowSpeed flow;
    double centre = 0.0;
    std::size_t half = 0;
    std::size_t length = 0;
    const std::vector<double>* posX = nullptr;
    const std::vector<double>* sizeX = nullptr;
    std::size_t events = 0;
    TraceProcessingSettings filters;
};

} // namespace

FLRefinement::FLRefinement(QObject* parent)
    : QObject(parent)
{
}

FLRefinement::TraceMetadata FLRefinement::readTraceMetadata(const Metadata& metadata)
{
    TraceMetadata result;
    for (const auto& [key, text] : metadata.fluorescence) {
        if (key == "sample rate" || key == "sample_rate") {
            if (const std::optional<double> rate = number(text))
                result.sampleRate = *rate;
            continue;
        }
        const bool spaced = startsWith(key, "baseline ") && key.find(" offset") != std::string::npos;
        const bool underscored = startsWith(key, "baseline_") && key.find("_offset") != std::string::npos;
        if (!spaced && !underscored)
            continue;
        const std::optional<int> channel = leadingInteger(key.substr(9));
        const std::optional<double> offset = number(text);
        if (channel && offset)
            result.offsets[*channel] = *offset;
    }
    return result;
}

FLRefinement::FlowSpeed FLRefinement::estimateFlowSpeed(const RTDCReader& reader, double centre, double tCentre,
                                                        const std::vector<int>& channels,
                                                        const std::vector<double>* posX, std::size_t eventCount,
                                                        double flMaxThreshold)
{
    FlowSpeed result;
    if (!posX || !(centre > 0.0) || reader.traceLength() == 0)
        return result;
    std::vector<std::pair<double, double>> samples; // (|dx|, dx / dt)
    for (int channel : channels) {
        const std::vector<double>& maxima = reader.getFeature(channelFeature(channel, "_max"));
        const std::vector<double>& times = reader.getFeature(channelFeature(channel, "_pos"));
        const std::size_t n = std::min({eventCount, maxima.size(), times.size(), posX->size()});
        for (std::size_t i = 0; i < n; ++i) {
            if (!(maxima[i] > flMaxThreshold))
                continue;
            const double dt = times[i] - tCentre;
            if (std::fabs(dt) < 1e-6)
                continue;
            const double dx = (*posX)[i] - centre;
            samples.emplace_back(std::fabs(dx), dx / dt);
        }
    }
    if (samples.empty())
        return result;
    std::sort(samples.begin(), samples.end());
    const std::size_t kept = samples.size() >= 4 ? samples.size() / 2 : 1;
    std::vector<double> speeds;
    for (std::size_t k = 0; k < kept; ++k)
        speeds.push_back(samples[k].second);
    const double speed = upperMedian(speeds);
    std::vector<double> deviations;
    for (double v : speeds)
        deviations.push_back(std::fabs(v - speed));
    result.spread = 1.4826 * upperMedian(deviations);
    result.speed = speed > 0.0 ? speed : 0.0;
    return result;
}

bool FLRefinement::run(RTDCReader* reader, const Metadata& metadata, const TraceFilterSettings& settings,
                       std::vector<std::string>* messages)
{
    if (!reader)
        return false;
    const auto note = [messages](const std::string& text) {
        if (messages)
            messages->push_back(text);
    };

    const TraceMetadata traceMetadata = readTraceMetadata(metadata);
    const double sampleRate = traceMetadata.sampleRate > 0.0 ? traceMetadata.sampleRate : 1.0;
    const double dt = 1e6 / sampleRate;

    double pixelSize = 0.0;
    const auto pixel = metadata.imaging.count("pixel size") ? metadata.imaging.find("pixel size")
                                                             : metadata.imaging.find("pixel_size");
    if (pixel != metadata.imaging.end())
        pixelSize = number(pixel->second).value_or(0.0);
    double centre = 0.0;
    if (pixelSize > 0.0 && reader->hasImage()) {
        int width = 0;
        int height = 0;
        if (!reader->readImage(0, width, height).empty() && width >= 1)
            centre = width * 0.5 * pixelSize;
    }

    const auto length = static_cast<std::size_t>(reader->traceLength());
    const std::size_t half = length / 2;
    const double tCentre = static_cast<double>(half) * dt;
    const auto n = static_cast<std::size_t>(reader->eventCount());
    const std::vector<double>* posX = fullColumn(*reader, "pos_x", n);
    const std::vector<double>* sizeX = fullColumn(*reader, "size_x", n);

    const std::vector<int> channels = fluorescenceChannels(reader->featureNames());
    if (channels.empty()) {
        note("no fluorescence channel");
        return false;
    }
    const std::vector<std::string> traces = reader->traceNames();
    const auto hasTrace = [&traces](const std::string& name) {
        return std::binary_search(traces.begin(), traces.end(), name);
    };
    std::vector<int> refinable;
    for (int channel : channels) {
        const std::string raw = channelFeature(channel, "_raw");
        const std::string pos = channelFeature(channel, "_pos");
        if (!hasTrace(raw)) {
            note("channel " + std::to_string(channel) + " has no trace " + raw + "; not refined");
            continue;
        }
        const std::size_t times = reader->hasFeature(pos) ? reader->getFeature(pos).size() : 0;
        if (times < n) {
            note("the column " + pos + " holds " + std::to_string(times) + " values for " + std::to_string(n)
                 + " events; channel " + std::to_string(channel) + " not refined");
            continue;
        }
        refinable.push_back(channel);
    }
    if (refinable.empty())
        return false;

    const FlowSpeed flow = estimateFlowSpeed(*reader, centre, tCentre, channels, posX, n, settings.flMaxThreshold);
    if (cancelRequested)
        return false;

    // Every channel's columns wait until the last channel is done: a cancelled run leaves the
    // dataset as the last complete run left it, columns, filters and refined traces alike.
    struct Columns
    {
        std::vector<double> heights, times, widths;
    };
    const std::size_t count = refinable.size();
    std::vector<Columns> results(count);
    for (std::size_t c = 0; c < count; ++c) {
        ChannelPass pass;
        pass.reader = reader;
        pass.channel = refinable[c];
        pass.dt = dt;
        const auto offset = traceMetadata.offsets.find(pass.channel);
        pass.offset = offset != traceMetadata.offsets.end() ? offset->second : 0.0;
        pass.flow = flow;
        pass.centre = centre;
        pass.half = half;
        pass.length = length;
        pass.posX = posX;
        pass.sizeX = sizeX;
        pass.events = n;
        pass.filters = settings;

        const std::vector<double>& instrumentTimes = reader->getFeature(channelFeature(pass.channel, "_pos"));
        std::vector<double> heights(n, nan);
        std::vector<double> times(n, nan);
        std::vector<double> widths(n, nan);
        const int base = static_cast<int>(c * 100 / count);
        const int span = static_cast<int>(100 / count);
        EventProgress progress(n, 256, base, span, [this](int percent) { emit progressChanged(percent); });
        std::atomic<std::size_t> done{0};
        const std::string raw = channelFeature(pass.channel, "_raw");
        const double fallbackHalfWindow = 0.05 * static_cast<double>(length);

        parallelFor(n, eventGrain, [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                if (cancelRequested.load(std::memory_order_relaxed))
                    return;
                double lo = 0.0;
                double hi = 0.0;
                if (pass.flow.speed > 0.0 && pass.posX && pass.sizeX) {
                    const double speed = pass.flow.speed;
                    const double p = ((*pass.posX)[i] - pass.centre) / (pass.dt * speed) + static_cast<double>(pass.half);
                    const double w = (*pass.sizeX)[i] / speed / pass.dt * 0.5
                                     * std::min(1.0 + pass.flow.spread / speed, 1.5);
                    lo = p - w;
                    hi = p + w;
                } else {
                    const double p = instrumentTimes[i] / pass.dt;
                    lo = p - fallbackHalfWindow;
                    hi = p + fallbackHalfWindow;
                }
                std::size_t start = 0;
                std::size_t last = 0;
                Peak peak;
                peak.time = instrumentTimes[i];
                if (searchWindow(lo, hi, pass.length, start, last)) {
                    std::vector<float> trace = reader->getTrace(raw, i);
                    applyTraceProcessing(trace, pass.filters);
                    peak = peakInWindow(trace, pass.offset, start, last, pass.dt, instrumentTimes[i]);
                }
                heights[i] = peak.height;
                times[i] = peak.time;
                widths[i] = peak.width;
                done.fetch_add(1, std::memory_order_relaxed);
                progress.eventFinished();
            }
        });
        if (done.load() < n || cancelRequested)
            return false;
        results[c] = {std::move(heights), std::move(times), std::move(widths)};
    }

    for (int channel : channels) {
        const std::string raw = channelFeature(channel, "_raw");
        if (hasTrace(raw))
            reader->addDerivedTrace(channelFeature(channel, "_median_rf"), raw);
    }
    reader->setTraceProcessing(settings);
    for (std::size_t c = 0; c < count; ++c) {
        reader->setFeature(channelFeature(refinable[c], "_max_rf"), std::move(results[c].heights));
        reader->setFeature(channelFeature(refinable[c], "_pos_rf"), std::move(results[c].times));
        reader->setFeature(channelFeature(refinable[c], "_width_rf"), std::move(results[c].widths));
    }
    emit progressChanged(100);
    return true;
}

} // namespace Tervane3
