// The Young's-modulus parameter record: viscosity dispatch and the checks that keep
// unusable measurement values from turning into infinite moduli.
#include "calc/EModulusParams.h"

#include "calc/EModulusViscosity.h"

#include <QString>

#include <cmath>

namespace Tervane3 {

namespace {

std::string number(double value)
{
    return QString::number(value, 'g', 6).toStdString();
}

bool positiveFinite(double value)
{
    return std::isfinite(value) && value > 0.0;
}

} // namespace

double EModulusParams::effectiveTemperature() const
{
    if (temperatureSource == TemperatureMetadata && !positiveFinite(temperature))
        return fallbackTemperature;
    return temperature;
}

double EModulusParams::viscosity(double celsius) const
{
    switch (viscosityModel) {
    case ModelHerold2017:
        return herold2017Viscosity(medium, channelWidth, flowRate, celsius);
    case ModelKestin1978:
        return kestin1978Viscosity(celsius);
    case ModelMcPbsPowerLaw:
        return mcPbsPowerLawViscosity(medium, channelWidth, flowRate, celsius);
    case ModelManual:
        return manualViscosity;
    default:
        return 1.0;
    }
}

bool EModulusParams::viscosityUsable(double celsius) const
{
    return positiveFinite(viscosity(celsius));
}

std::string EModulusParams::temperatureWarning(double celsius) const
{
    if (!viscosityUsable(celsius)) {
        return "the viscosity model gives no usable viscosity at " + number(celsius)
               + " °C";
    }
    double low = 0.0;
    double high = 0.0;
    if (viscosityTemperatureRange(viscosityModel, low, high)
        && !(celsius >= low && celsius <= high)) {
        return "the temperature " + number(celsius) + " °C lies outside the range " + number(low)
               + " to " + number(high) + " °C of the viscosity model";
    }
    return {};
}

std::string EModulusParams::measurementProblem(bool usesPixelSize) const
{
    if (!positiveFinite(channelWidth))
        return "the channel width of the measurement is missing or not above zero";
    if (!positiveFinite(flowRate))
        return "the flow rate of the measurement is missing or not above zero";
    if (usesPixelSize && !positiveFinite(pixelSize))
        return "the pixel size of the measurement is missing or not above zero";
    return {};
}

int EModulusParams::mediumFromText(const std::string& text)
{
    if (text == "Tavrisol")
        return MediumTavrisol;
    if (text == "TavrisolB")
        return MediumTavrisolB;
    if (text == "Water" || text == "water")
        return MediumWater;
    if (text == "0.83% MC-PBS" || text == "MC-PBS 0.83%")
        return MediumMcPbs083;
    return MediumOther;
}

int EModulusParams::viscosityModelForMedium(int medium)
{
    switch (medium) {
    case MediumTavrisol:
    case MediumTavrisolB:
        return ModelHerold2017;
    case MediumWater:
        return ModelKestin1978;
    default:
        return ModelManual;
    }
}

double EModulusParams::temperatureFromMetadata(const std::map<std::string, std::string>& setup)
{
    const auto it = setup.find("temperature");
    if (it == setup.end())
        return fallbackTemperature;
    bool ok = false;
    const double value = QString::fromStdString(it->second).trimmed().toDouble(&ok);
    return ok && positiveFinite(value) ? value : fallbackTemperature;
}

} // namespace Tervane3
