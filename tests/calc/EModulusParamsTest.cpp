// Medium viscosity models, the pixelation offset and the helpers of the parameter record.
// Reference values were computed by hand from the published formulas with Python's floats
// (the expression is given beside each value).
#include "calc/EModulus.h"
#include "calc/EModulusParams.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace Tervane3 {
namespace {

EModulusParams record(int model, int medium, double channelWidth, double flowRate)
{
    EModulusParams p;
    p.viscosityModel = model;
    p.medium = medium;
    p.channelWidth = channelWidth;
    p.flowRate = flowRate;
    return p;
}

struct ViscosityCase
{
    const char* name;
    EModulusParams params;
    double celsius;
    double expected;
};

TEST(EModulusParamsTest, ViscosityModelsMatchHandComputations)
{
    using P = EModulusParams;
    EModulusParams manual = record(P::ModelManual, P::MediumOther, 20, 0.04);
    manual.manualViscosity = 3.25;
    const ViscosityCase cases[] = {
        // 1.002 * 10**((1.2364 - 0.00137*a + 5.7e-6*a*a)*a/(T+96)), a = 20 - T
        {"Kestin at 20 °C", record(P::ModelKestin1978, P::MediumWater, 20, 0.04), 20.0, 1.002},
        {"Kestin at 25 °C", record(P::ModelKestin1978, P::MediumWater, 20, 0.04), 25.0,
         0.89020056617052},
        {"Kestin at 37 °C", record(P::ModelKestin1978, P::MediumWater, 20, 0.04), 37.0,
         0.6912643450925647},
        {"Kestin at 10 °C", record(P::ModelKestin1978, P::MediumWater, 20, 0.04), 10.0,
         1.3069848447724564},
        // g = 2/3 * Q*7.1136e-9/(w*1e-6)**3;
        // medium 0: (1.6707050335189184*g)**(0.677-1)*0.179*(T/23.2)**-0.866*1000
        // else:     (1.706549572791479*g)**(0.634-1)*0.36*(T/23.6)**-0.866*1000
        {"Herold Tavrisol", record(P::ModelHerold2017, P::MediumTavrisol, 20, 0.04), 23.2,
         5.857896276415926},
        {"Herold Tavrisol, faster", record(P::ModelHerold2017, P::MediumTavrisol, 20, 0.16),
         25.0, 3.5089149979147867},
        {"Herold TavrisolB at its reference temperature",
         record(P::ModelHerold2017, P::MediumTavrisolB, 20, 0.04), 23.6, 7.414956782138262},
        {"Herold TavrisolB, wider channel", record(P::ModelHerold2017, P::MediumTavrisolB, 30, 0.16),
         30.0, 5.660537315455},
        {"Herold other medium uses TavrisolB", record(P::ModelHerold2017, P::MediumOther, 20, 0.16),
         23.6, 4.464313320794046},
        // Tk = T+273.15; n = 0.00223*Tk + d; ((0.2121/n+0.6671)*(8*Q/(w*1e-3)**3))**(n-1)
        //   * c * exp(3379.7/Tk) * 1000
        {"MC-PBS power law, medium 0", record(P::ModelMcPbsPowerLaw, P::MediumTavrisol, 20, 0.04),
         25.0, 5.227908127113258},
        {"MC-PBS power law, 0.83 %", record(P::ModelMcPbsPowerLaw, P::MediumMcPbs083, 20, 0.04),
         25.0, 8.202189349651709},
        {"MC-PBS power law, other", record(P::ModelMcPbsPowerLaw, P::MediumOther, 20, 0.04), 25.0,
         6.159870318904181},
        {"Manual", manual, 40.0, 3.25},
        {"unknown model", record(9, P::MediumWater, 20, 0.04), 25.0, 1.0},
    };
    for (const ViscosityCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR_REL(c.params.viscosity(c.celsius), c.expected, 1e-13);
    }
}

TEST(EModulusParamsTest, TemperatureWarnings)
{
    using P = EModulusParams;
    const EModulusParams herold = record(P::ModelHerold2017, P::MediumTavrisolB, 20, 0.04);
    const EModulusParams kestin = record(P::ModelKestin1978, P::MediumWater, 20, 0.04);
    EModulusParams manual = record(P::ModelManual, P::MediumOther, 20, 0.04);
    manual.manualViscosity = 2.0;

    EXPECT_TRUE(herold.temperatureWarning(23.0).empty());
    EXPECT_TRUE(kestin.temperatureWarning(23.0).empty());
    EXPECT_TRUE(manual.temperatureWarning(-50.0).empty());
    // Outside the fitted range but a finite viscosity: a warning, the value stays usable.
    EXPECT_FALSE(herold.temperatureWarning(15.0).empty());
    EXPECT_TRUE(herold.viscosityUsable(15.0));
    // At 0 °C the power law of the temperature is infinite; at -96 °C the water
    // correlation divides by zero: no usable viscosity.
    EXPECT_FALSE(herold.viscosityUsable(0.0));
    EXPECT_FALSE(herold.temperatureWarning(0.0).empty());
    EXPECT_FALSE(kestin.viscosityUsable(-96.0));
    EXPECT_FALSE(kestin.viscosityUsable(std::nan("")));
    manual.manualViscosity = 0.0;
    EXPECT_FALSE(manual.viscosityUsable(23.0));
}

TEST(EModulusParamsTest, PixelationOffset)
{
    // The sum 0.0012 + 0.02 + 0.01 + 0.005 at area 0, 0.0012 for large cells, any pixel size.
    for (double pixelSize : {0.34, 0.68, 0.1}) {
        SCOPED_TRACE(pixelSize);
        EXPECT_NEAR_REL(EModulus::pixelationOffset(0.0, pixelSize), 0.0362, 1e-14);
        EXPECT_NEAR_REL(EModulus::pixelationOffset(1e6, pixelSize), 0.0012, 1e-12);
    }
    // x = -A*(0.34/p)**2; 0.0012 + 0.02*exp(x/7.1) + 0.01*exp(x/38.6) + 0.005*exp(x/296)
    EXPECT_NEAR_REL(EModulus::pixelationOffset(50.0, 0.34), 0.008178426332280239, 1e-13);
    EXPECT_NEAR_REL(EModulus::pixelationOffset(20.0, 0.68), 0.024791129544735682, 1e-13);
    EXPECT_NEAR_REL(EModulus::correctPixelation(0.05, 50.0, 0.34), 0.05 - 0.008178426332280239,
                    1e-13);
}

TEST(EModulusParamsTest, MediumTextsAndModels)
{
    using P = EModulusParams;
    const struct
    {
        const char* text;
        int medium;
        int model;
    } cases[] = {
        {"Tavrisol", P::MediumTavrisol, P::ModelHerold2017},
        {"TavrisolB", P::MediumTavrisolB, P::ModelHerold2017},
        {"Water", P::MediumWater, P::ModelKestin1978},
        {"water", P::MediumWater, P::ModelKestin1978},
        {"WATER", P::MediumOther, P::ModelManual},
        {"0.83% MC-PBS", P::MediumMcPbs083, P::ModelManual},
        {"MC-PBS 0.83%", P::MediumMcPbs083, P::ModelManual},
        {"tavrisol", P::MediumOther, P::ModelManual},
        {"", P::MediumOther, P::ModelManual},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(P::mediumFromText(c.text), c.medium);
        EXPECT_EQ(P::viscosityModelForMedium(P::mediumFromText(c.text)), c.model);
    }
}

TEST(EModulusParamsTest, MetadataTemperatureIsUsedOnlyAboveZero)
{
    const struct
    {
        const char* name;
        std::map<std::string, std::string> setup;
        double expected;
    } cases[] = {
        {"a number", {{"temperature", "24.500000"}}, 24.5},
        {"blank padded", {{"temperature", " 30 "}}, 30.0},
        // A recorded 0 means "not measured": treated as missing, never as 0 °C.
        {"zero", {{"temperature", "0.000000"}}, 23.0},
        {"negative", {{"temperature", "-4"}}, 23.0},
        {"text", {{"temperature", "warm"}}, 23.0},
        {"with a unit", {{"temperature", "24 C"}}, 23.0},
        {"missing", {{"medium", "water"}}, 23.0},
        {"nan", {{"temperature", "nan"}}, 23.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EModulusParams::temperatureFromMetadata(c.setup), c.expected);
    }
}

TEST(EModulusParamsTest, MeasurementProblems)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        const char* name;
        double channelWidth;
        double flowRate;
        double pixelSize;
        bool usesPixelSize;
        bool usable;
    } cases[] = {
        {"defaults", 20, 0.04, 0.34, true, true},
        {"no channel width", 0, 0.04, 0.34, true, false},
        {"negative channel width", -20, 0.04, 0.34, false, false},
        {"NaN channel width", nan, 0.04, 0.34, false, false},
        {"no flow rate", 20, 0, 0.34, false, false},
        {"no pixel size, used", 20, 0.04, 0, true, false},
        {"no pixel size, unused", 20, 0.04, 0, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EModulusParams p;
        p.channelWidth = c.channelWidth;
        p.flowRate = c.flowRate;
        p.pixelSize = c.pixelSize;
        EXPECT_EQ(p.measurementProblem(c.usesPixelSize).empty(), c.usable);
    }
}

} // namespace
} // namespace Tervane3
