// One opened measurement in the main window: its reader, metadata, plot settings, current
// event, own filter and the state of the calculations applied to it. A plain record owned
// by the main window through an owning pointer; tool windows refer to it only by id.
#pragma once

#include "core/EventFilter.h"
#include "core/Metadata.h"

#include <QString>

#include <armadillo>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tervane3 {

class RTDCReader;

// The inputs of the Young's-modulus computation a dataset received, as the calculator got
// them (medium, viscosity model and manual value, temperature source and value, the
// measurement's channel, flow rate and pixel size, the deformation column): what a restored
// session needs to compute the same column again. The values and codes are those of the
// calculator's parameter record (calc/EModulusParams.h).
struct EmodulusSettings
{
    int medium = 1;
    int viscosityModel = 0;
    double manualViscosity = 0.0; // mPa·s
    int temperatureSource = 2;
    double temperature = 23.0; // °C
    double channelWidth = 20.0; // µm
    double flowRate = 0.04;     // µL/s
    double pixelSize = 0.34;    // µm
    std::string deformFeature = "deform";
    bool pixelationCorrection = true;

    bool operator==(const EmodulusSettings& other) const
    {
        return medium == other.medium && viscosityModel == other.viscosityModel
               && manualViscosity == other.manualViscosity && temperatureSource == other.temperatureSource
               && temperature == other.temperature && channelWidth == other.channelWidth
               && flowRate == other.flowRate && pixelSize == other.pixelSize && deformFeature == other.deformFeature
               && pixelationCorrection == other.pixelationCorrection;
    }
};

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
    // What the Young's modulus was computed with; empty when it never was, or when a session
    // file did not record it (then it cannot be computed again after loading).
    std::optional<EmodulusSettings> emodulusSettings;
    bool fourierApplied = false;

    // Filter group id -> switched on for this dataset; a missing id counts as off.
    std::unordered_map<int, bool> groupEnabled;
};

} // namespace Tervane3
