// Fluorescence peak refinement: per channel N and event, the peak of the filtered trace
// (fl<N>_raw passed through the trace filters) inside a search window predicted from the
// cell's position in the image and the flow speed, giving fl<N>_max_rf (height plus the
// channel's baseline offset), fl<N>_pos_rf (time, µs) and fl<N>_width_rf (full width at half
// maximum, µs). The filtered trace is registered in the reader as fl<N>_median_rf.
//
// Threads: run() executes on one thread at a time (the calculation worker, or the GUI
// thread) and spreads the events of a channel over parallelFor's threads; every event writes
// its own slot and the columns are stored once the channel is done, so one thread and many
// give the same columns. Each event's trace is read under the HDF5 lock and filtered outside
// it with the run's own settings, whatever the reader's trace settings become meanwhile.
// cancelRequested may be set from any thread.
#pragma once

#include "calc/TraceFilterSettings.h"

#include <QObject>

#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;
struct Metadata;

class FLRefinement : public QObject
{
    Q_OBJECT

public:
    explicit FLRefinement(QObject* parent = nullptr);

    // Refines every fluorescence channel of one dataset. A channel without its raw trace or
    // whose fl<N>_pos column is missing or shorter than the event count is skipped (the reason
    // goes to messages). True when at least one channel was refined and the run was not
    // cancelled; false with nothing stored when no channel could be refined. A cancelled run
    // stores nothing: no column, filter setting or refined trace of the dataset changes.
    bool run(RTDCReader* reader, const Metadata& metadata, const TraceFilterSettings& settings,
             std::vector<std::string>* messages = nullptr);

    struct FlowSpeed
    {
        double speed = 0.0;  // µm per µs
        double spread = 0.0; // 1.4826 x the median absolute deviation of the kept speeds
    };
    // From the instrument's peak times of the events above flMaxThreshold seen closest to the
    // image's middle: (0, 0) without posX, a centre or samples.
    static FlowSpeed estimateFlowSpeed(const RTDCReader& reader, double centre, double tCentre,
                                       const std::vector<int>& channels, const std::vector<double>* posX,
                                       std::size_t eventCount, double flMaxThreshold);

    // The quantities run() takes from the metadata: sample rate (Hz, 0 when absent) and the
    // baseline offset of each channel.
    struct TraceMetadata
    {
        double sampleRate = 0.0;
        std::map<int, double> offsets;
    };
    static TraceMetadata readTraceMetadata(const Metadata& metadata);

    // Set from any thread to stop the run after the events in work. Whoever starts a run
    // clears it beforehand; run() never does, or a stop asked for while the run was being
    // started would be lost.
    std::atomic<bool> cancelRequested{false};

signals:
    // Percentage 0..100 of the dataset in work (the channels share the range).
    void progressChanged(int percent);
};

} // namespace Tervane3
