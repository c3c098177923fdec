// One opened measurement in the main window: its reader, metadata, plot settings, current
// event, own filter and the state of the calculations applied to it. A plain record owned
// by the main window through an owning pointer; tool windows refer to it only by id.
#pragma once

#include "core/EventFilter.h"
#include "core/Metadata.h"

#include <QString>

#include <armadillo>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tervane3 {

class RTDCReader;

struct DatasetEntry
{
    // Unique within the run, taken from the main window's next id when the entry is made.
    int id = -1;
    // Shared with duplicated datasets and with the gallery's background tasks.
    std::shared_ptr<RTDCReader> reader;
    Metadata metadata;
    // The path exactly as given when opening, UTF-8.
    std::string filePath;
    QString displayName;

    // Plot settings.
    std::string xFeatureName;
    std::string yFeatureName;
    // Empty: no colouring; "__density_..." names a density pseudo-feature.
    std::string colorFeatureName;
    int currentEventIndex = -1;
    // Set once the background caching of the feature columns has ended.
    bool featuresLoaded = false;
    EventFilter filter;
    int contourMode = 0; // 0 off, 1 overlay, 2 contour lines only
    double contourFraction1 = 0.1;
    double contourFraction2 = 0.67;
    int scaleXMode = 0; // axis scale modes: 0 linear, 1 log, 2 pseudo-log
    int scaleYMode = 0;

    // Takes the scale modes, the contour mode and both contour fractions of another entry
    // (the plot settings that suit every dataset, whatever features its file has).
    void copyScaleAndContourSettings(const DatasetEntry& other)
    {
        contourMode = other.contourMode;
        contourFraction1 = other.contourFraction1;
        contourFraction2 = other.contourFraction2;
        scaleXMode = other.scaleXMode;
        scaleYMode = other.scaleYMode;
    }

    // Calculation state: set when a calculation succeeded for this dataset, never cleared.
    bool flRefinementApplied = false;
    bool ctcApplied = false;
    std::vector<int> ctcChannels;
    arma::mat spilloverMatrix;
    bool emodApplied = false;
    bool fourierApplied = false;

    // Filter group id -> switched on for this dataset; a missing id counts as off.
    std::unordered_map<int, bool> groupEnabled;
};

} // namespace Tervane3
