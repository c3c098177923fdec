// Fluorescence peak refinement from the traces (columns fl<N>_max_rf, _pos_rf, _width_rf).
// Not available in this build yet: the entry point refuses with a message on the error
// stream and stores nothing. The interface is the one the main window and its
// calculation requests use.
#pragma once

#include <QObject>

#include <atomic>
#include "calc/TraceFilterSettings.h"

namespace Tervane3 {

class RTDCReader;
struct Metadata;

class FLRefinement : public QObject
{
    Q_OBJECT

public:
    explicit FLRefinement(QObject* parent = nullptr);

    // Refines every fluorescence channel of one dataset from its traces; true when every
    // channel was refined.
    bool run(RTDCReader* reader, const Metadata& metadata, const TraceFilterSettings& settings);

    // Set from any thread to stop the run in work; cleared when a run starts.
    std::atomic<bool> cancelRequested{false};

signals:
    // Percentage 0..100 of the dataset in work.
    void progressChanged(int percent);
};

} // namespace Tervane3
