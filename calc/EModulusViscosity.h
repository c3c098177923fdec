// Viscosity models of the measurement media (mPa·s), used to scale the simulated Young's
// modulus to the measurement. Pure functions, any thread.
#pragma once

namespace Tervane3 {

// Power law of the methyl-cellulose media with the shear rate of the channel (width in µm,
// flow rate in µL/s) and the temperature in °C. Medium 0 (Tavrisol) has its own constants;
// every other medium uses those of TavrisolB.
double herold2017Viscosity(int medium, double channelWidth, double flowRate, double celsius);

// Water; 1.002 at 20 °C.
double kestin1978Viscosity(double celsius);

// Methyl-cellulose PBS power law with a temperature-dependent exponent; medium 0 and
// medium 3 (0.83 % MC-PBS) have their own constants, every other medium a third set.
double mcPbsPowerLawViscosity(int medium, double channelWidth, double flowRate, double celsius);

// The temperatures (°C) over which a temperature-dependent model is accepted without a
// warning. False for models whose value does not depend on the temperature.
bool viscosityTemperatureRange(int viscosityModel, double& low, double& high);

} // namespace Tervane3
