// The medium viscosity models with their fitted constants. The operations are kept in the
// grouping of the published fits, so that results repeat to the last digit.
#include "calc/EModulusViscosity.h"

#include "calc/EModulusParams.h"

#include <cmath>

namespace Tervane3 {

double herold2017Viscosity(int medium, double channelWidth, double flowRate, double celsius)
{
    const double w = channelWidth * 1e-6;
    const double shearRate = (flowRate * 7.1136 * 1e-9) / (w * w * w);
    const double g = (shearRate + shearRate) / 3.0;
    if (medium == EModulusParams::MediumTavrisol) {
        return std::pow(1.6707050335189184 * g, 0.677 - 1.0) * 0.179
               * std::pow(celsius / 23.2, -0.866) * 1000.0;
    }
    return std::pow(1.706549572791479 * g, 0.634 - 1.0) * 0.36
           * std::pow(celsius / 23.6, -0.866) * 1000.0;
}

double kestin1978Viscosity(double celsius)
{
    const double a = 20.0 - celsius;
    return 1.002 * std::pow(10.0, (1.2364 - 0.00137 * a + 5.7e-6 * a * a) * a / (celsius + 96.0));
}

double mcPbsPowerLawViscosity(int medium, double channelWidth, double flowRate, double celsius)
{
    const double kelvin = celsius + 273.15;
    double c = 5.7e-6;
    double d = -0.0744;
    if (medium == EModulusParams::MediumTavrisol) {
        c = 2.3e-6;
        d = -0.0056;
    } else if (medium == EModulusParams::MediumMcPbs083) {
        c = 1.652e-5;
        d = -0.1455;
    }
    const double n = 0.00223 * kelvin + d;
    const double widthMm = channelWidth * 0.001;
    return std::pow((0.2121 / n + 0.6671) * (8.0 * flowRate / (widthMm * widthMm * widthMm)),
                    n - 1.0)
           * c * std::exp(3379.7 / kelvin) * 1000.0;
}

bool viscosityTemperatureRange(int viscosityModel, double& low, double& high)
{
    switch (viscosityModel) {
    case EModulusParams::ModelHerold2017:
    case EModulusParams::ModelMcPbsPowerLaw:
        // The methyl-cellulose fits were measured between room and body temperature.
        low = 22.0;
        high = 37.0;
        return true;
    case EModulusParams::ModelKestin1978:
        // The range of the water measurements behind the correlation.
        low = -8.0;
        high = 150.0;
        return true;
    default:
        return false;
    }
}

} // namespace Tervane3
