// The inputs of every Young's-modulus operation: the measurement's channel, flow rate and
// camera, its medium with the viscosity model, and where the temperature comes from.
// A plain value: the GUI thread fills it and a worker receives a copy.
#pragma once

#include <map>
#include <string>

namespace Tervane3 {

struct EModulusParams
{
    // The measurement medium, chosen by the setup "medium" text (mediumFromText).
    enum Medium : int {
        MediumTavrisol = 0,
        MediumTavrisolB = 1,
        MediumWater = 2,
        MediumMcPbs083 = 3, // methyl-cellulose PBS 0.83 %
        MediumOther = 4,
    };
    // Any other value gives the viscosity 1.0.
    enum ViscosityModel : int {
        ModelHerold2017 = 0,    // "Herold-2017": Tavrisol and TavrisolB
        ModelKestin1978 = 1,    // "Kestin-1978": water
        ModelMcPbsPowerLaw = 2, // MC-PBS power law with temperature; no dock choice sets it
        ModelManual = 3,        // "Manual": manualViscosity
    };
    enum TemperatureSource : int {
        TemperatureManual = 0,   // the dock's temperature
        TemperaturePerEvent = 1, // the dataset's feature "temp"
        TemperatureMetadata = 2, // setup "temperature"
    };

    static constexpr double fallbackTemperature = 23.0; // °C

    int lutId = 0;
    int viscosityModel = ModelHerold2017;
    int medium = MediumTavrisolB;
    double temperature = fallbackTemperature; // °C
    int temperatureSource = TemperatureMetadata;
    double manualViscosity = 0.0; // mPa·s
    double channelWidth = 20.0;   // µm
    double flowRate = 0.04;       // µL/s
    double pixelSize = 0.34;      // µm
    std::string deformFeature = "deform";
    bool pixelationCorrection = true;

    // The temperature the operations use when one temperature holds for all events: the
    // record's temperature, except that a metadata temperature that is not above 0 °C
    // (not measured) counts as 23.0, the same rule as for the metadata itself.
    double effectiveTemperature() const;

    // Medium viscosity (mPa·s) under the record's model at the temperature (°C).
    double viscosity(double celsius) const;

    // Empty when the viscosity at this temperature can scale a modulus; otherwise a
    // sentence: outside the model's temperature range (the value is still used when it is
    // finite and above zero) or no usable value at all.
    std::string temperatureWarning(double celsius) const;
    // True when viscosity(celsius) is a finite number above zero.
    bool viscosityUsable(double celsius) const;

    // Empty when the channel width and flow rate (and the pixel size, when the operation
    // uses it) are finite numbers above zero; otherwise a sentence naming what is missing.
    // The operations refuse such a record rather than store infinite or NaN moduli.
    std::string measurementProblem(bool usesPixelSize) const;

    // The medium code of a setup "medium" text (exact, case-sensitive comparison).
    static int mediumFromText(const std::string& text);
    // The model the dock uses for a medium: Herold-2017 for Tavrisol and TavrisolB,
    // Kestin-1978 for water, Manual for everything else.
    static int viscosityModelForMedium(int medium);
    // The temperature of a setup section: "temperature" when it is a number above 0 °C,
    // else 23.0. A recorded 0 means "not measured", never 0 °C.
    static double temperatureFromMetadata(const std::map<std::string, std::string>& setup);
};

} // namespace Tervane3
