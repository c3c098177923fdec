// Quality figures of a Young's-modulus mapping on small event sets whose every figure was
// worked out by hand on a linear fixture table.
#include "calc/EModulus.h"

#include "core/RTDCReader.h"

#include "LutFixture.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace Tervane3 {
namespace {

namespace fixture = ::Tervane3::Test;

const double nan = std::numeric_limits<double>::quiet_NaN();
const double pixelSize = 0.34;

using fixture::tableMetadata;

// Areas 0..100 µm², deformations 0..0.1; modulus 0.1 area + 10 deformation.
double linearModulus(double area, double deform)
{
    return 0.1 * area + 10.0 * deform;
}

EModulusParams sameAsTable()
{
    EModulusParams p = fixture::tableConditions();
    p.pixelSize = pixelSize;
    // The assessment always maps "deform" with the offset, whatever these say.
    p.deformFeature = "deform_fc";
    p.pixelationCorrection = false;
    return p;
}

// An event whose deformation after the pixelation correction is d.
struct Events
{
    std::vector<double> area;
    std::vector<double> deform;

    void add(double a, double d)
    {
        area.push_back(a);
        deform.push_back(d + EModulus::pixelationOffset(a, pixelSize));
    }
    std::vector<int> all() const
    {
        std::vector<int> indices;
        for (size_t i = 0; i < area.size(); ++i)
            indices.push_back(static_cast<int>(i));
        return indices;
    }
};

class EModulusQualityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        addTable(0, fixture::gridTable(fixture::steps(0, 10, 11), fixture::steps(0, 0.01, 11),
                                       linearModulus));
    }
    void addTable(int id, const std::vector<fixture::LutRow>& rows)
    {
        const QString path =
            fixture::writeLutFile(dir, QStringLiteral("table%1.txt").arg(id), rows, tableMetadata);
        ASSERT_TRUE(emodulus.setLutFile(id, path));
    }

    QTemporaryDir dir;
    EModulus emodulus;
};

TEST_F(EModulusQualityTest, FiguresOfASmallEventSet)
{
    Events events;
    // Mapped at 50 µm²: moduli 5 + 10 d. The first two lie within 0.1 x the deformation
    // range (0.01) of the table's lower edge (0).
    for (double d : {0.0, 0.005, 0.02, 0.03, 0.05, 0.07, 0.09})
        events.add(50, d);
    events.add(-1, 0.05);  // area too small
    events.add(150, 0.05); // area too large
    events.add(50, -0.01); // deformation too low
    events.add(50, 0.15);  // deformation too high
    events.area.push_back(nan); // neither mapped nor outside: counts in the total only
    events.deform.push_back(0.05);
    std::vector<int> indices = events.all();
    indices.push_back(-1);
    indices.push_back(1000);

    const EModQualityReport r = emodulus.assessQuality(events.area, events.deform, sameAsTable(),
                                                       indices);
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.total, 14);
    EXPECT_EQ(r.areaTooSmall, 1);
    EXPECT_EQ(r.areaTooLarge, 1);
    EXPECT_EQ(r.deformTooLow, 1);
    EXPECT_EQ(r.deformTooHigh, 1);
    EXPECT_EQ(r.mapped, 7);
    EXPECT_EQ(r.nearEdge, 2);
    // Moduli 5.0 5.05 5.2 5.3 5.5 5.7 5.9: element 3 is 5.3; interior 5.2 .. 5.9: 5.5.
    EXPECT_NEAR(r.medianEmodulusAll, 5.3, 1e-9);
    EXPECT_NEAR(r.medianEmodulusInterior, 5.5, 1e-9);
    EXPECT_NEAR(r.bias, 0.2 / 5.5, 1e-9);
    // Deformations: median 0.03, absolute deviations 0 .01 .02 .025 .03 .04 .06 -> 0.025;
    // spread 1.4826 x 0.025. dE/dd = 10 for the six events whose neighbours at +-1e-4 are
    // inside the table (not d = 0): sensitivities 10 spread / E, element 3 of them at E 5.3.
    EXPECT_NEAR_REL(r.medianSensitivity, 10 * 1.4826 * 0.025 / 5.3, 1e-8);
    EXPECT_EQ(r.highSensitivityCount, 0);
    EXPECT_EQ(r.sensitivityCount, 6);
    EXPECT_NEAR_REL(r.deformationSpread, 1.4826 * 0.025, 1e-9);
}

TEST_F(EModulusQualityTest, TheMeasurementsChannelFlowRateAndViscosityScaleAreasAndModuli)
{
    // The events of FiguresOfASmallEventSet, measured under other conditions: a measured
    // area A sits at the table area (20 / w)^2 A, and a table modulus counts
    // (20 / w)^3 (Q / 0.16) (eta / 1.002) times. Counts, edge figures, bias and sensitivity
    // do not change; both medians scale.
    const struct
    {
        const char* name;
        double channelWidth;
        double flowRate;
        double viscosity;
        double areaScale;
        double modulusScale;
    } cases[] = {
        {"the table's own conditions", 20, 0.16, 1.002, 1, 1},
        {"half the channel width", 10, 0.16, 1.002, 4, 8},
        {"twice the flow rate and viscosity", 20, 0.32, 2.004, 1, 4},
        {"a wider channel", 40, 0.16, 1.002, 0.25, 0.125},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Events events;
        for (double d : {0.0, 0.005, 0.02, 0.03, 0.05, 0.07, 0.09})
            events.add(50 / c.areaScale, d);
        events.add(-1 / c.areaScale, 0.05);
        events.add(150 / c.areaScale, 0.05);
        events.add(50 / c.areaScale, -0.01);
        events.add(50 / c.areaScale, 0.15);
        EModulusParams p = sameAsTable();
        p.channelWidth = c.channelWidth;
        p.flowRate = c.flowRate;
        p.manualViscosity = c.viscosity;
        const EModQualityReport r =
            emodulus.assessQuality(events.area, events.deform, p, events.all());
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(r.total, 11);
        EXPECT_EQ(r.areaTooSmall, 1);
        EXPECT_EQ(r.areaTooLarge, 1);
        EXPECT_EQ(r.deformTooLow, 1);
        EXPECT_EQ(r.deformTooHigh, 1);
        EXPECT_EQ(r.mapped, 7);
        EXPECT_EQ(r.nearEdge, 2);
        EXPECT_NEAR_REL(r.medianEmodulusAll, 5.3 * c.modulusScale, 1e-9);
        EXPECT_NEAR_REL(r.medianEmodulusInterior, 5.5 * c.modulusScale, 1e-9);
        EXPECT_NEAR_REL(r.bias, 0.2 / 5.5, 1e-8);
        EXPECT_NEAR_REL(r.medianSensitivity, 10 * 1.4826 * 0.025 / 5.3, 1e-8);
    }
}

TEST_F(EModulusQualityTest, TheMedianIsTheUpperMiddleValue)
{
    Events events;
    for (int k = 1; k <= 10; ++k)
        events.add(10.0 * k - 5, 0.05); // modulus k
    const EModQualityReport r =
        emodulus.assessQuality(events.area, events.deform, sameAsTable(), events.all());
    EXPECT_EQ(r.mapped, 10);
    EXPECT_NEAR(r.medianEmodulusAll, 6.0, 1e-9);
    EXPECT_NEAR(r.medianEmodulusInterior, 6.0, 1e-9);
    EXPECT_EQ(r.bias, 0.0);
    // All deformations equal: no spread, no sensitivity (the dialog shows none).
    EXPECT_EQ(r.medianSensitivity, 0.0);
    EXPECT_EQ(r.deformationSpread, 0.0);
    EXPECT_EQ(r.sensitivityCount, 10);
}

TEST_F(EModulusQualityTest, SensitivityAboveOneCounts)
{
    // Small moduli near area 0 with a wide spread of deformations: 10 spread / E > 1.
    Events events;
    for (double d : {0.005, 0.02, 0.06, 0.09})
        events.add(2, d);
    const EModQualityReport r =
        emodulus.assessQuality(events.area, events.deform, sameAsTable(), events.all());
    ASSERT_EQ(r.mapped, 4);
    // Median d (element 2) 0.06; deviations .055 .04 0 .03 -> element 2: 0.04.
    const double spread = 1.4826 * 0.04;
    int high = 0;
    for (double d : {0.005, 0.02, 0.06, 0.09})
        high += 10 * spread / (0.2 + 10 * d) > 1.0;
    EXPECT_EQ(high, 2);
    EXPECT_EQ(r.highSensitivityCount, high);
}

TEST_F(EModulusQualityTest, TheEdgeBoundIsExclusive)
{
    // diff = 0 is near the edge; diff = 0.1 x range is not, and just below it is.
    const double bound = 0.1 * 0.1;
    const double offset = EModulus::pixelationOffset(50, pixelSize);
    // The smallest stored deformation whose corrected value reaches the bound.
    double stored = bound + offset;
    while (stored - offset < bound)
        stored = std::nextafter(stored, 1.0);
    while (std::nextafter(stored, 0.0) - offset >= bound)
        stored = std::nextafter(stored, 0.0);
    const std::vector<double> area = {50, 50, 50};
    const std::vector<double> deform = {offset, stored, std::nextafter(stored, 0.0)};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const EModQualityReport r = emodulus.assessQuality(area, deform, sameAsTable(), {i});
        ASSERT_EQ(r.mapped, 1);
        EXPECT_EQ(r.nearEdge, i == 1 ? 0 : 1);
    }
}

TEST_F(EModulusQualityTest, EventsBetweenTheBoxAndTheTableAreClassifiedBySide)
{
    // Table 1: between the lines d = 0.0005 area and d = 0.05 + 0.0005 area.
    std::vector<fixture::LutRow> band;
    for (int i = 0; i <= 10; ++i) {
        const double a = 10.0 * i;
        for (int k = 0; k <= 5; ++k)
            band.push_back({a, 0.0005 * a + 0.01 * k, 1.0});
    }
    addTable(1, band);
    // Table 2: below the diagonal d = 0.001 area; table 3: above it.
    std::vector<fixture::LutRow> lower, upper;
    for (int i = 0; i <= 10; ++i) {
        for (int k = 0; k <= 10; ++k) {
            if (k <= i)
                lower.push_back({10.0 * i, 0.01 * k, 1.0});
            if (k >= i)
                upper.push_back({10.0 * i, 0.01 * k, 1.0});
        }
    }
    addTable(2, lower);
    addTable(3, upper);

    const struct
    {
        const char* name;
        int lutId;
        double area;
        double deform;
        bool tooHigh;
    } cases[] = {
        {"below the band, its middle mapped", 1, 20, 0.005, false},
        {"above the band, its middle mapped", 1, 80, 0.095, true},
        {"above the lower triangle, its bottom mapped", 2, 20, 0.03, true},
        {"below the upper triangle, nothing mapped near the bottom", 3, 80, 0.03, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Events events;
        events.add(c.area, c.deform);
        EModulusParams p = sameAsTable();
        p.lutId = c.lutId;
        const EModQualityReport r = emodulus.assessQuality(events.area, events.deform, p, {0});
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(r.mapped, 0);
        EXPECT_EQ(r.deformTooHigh, c.tooHigh ? 1 : 0);
        EXPECT_EQ(r.deformTooLow, c.tooHigh ? 0 : 1);
    }
}

TEST_F(EModulusQualityTest, EmptyAndUnmappedSets)
{
    Events outside;
    outside.add(500, 0.05);
    outside.add(50, 0.5);
    const EModQualityReport none =
        emodulus.assessQuality(outside.area, outside.deform, sameAsTable(), outside.all());
    EXPECT_TRUE(none.valid);
    EXPECT_EQ(none.total, 2);
    EXPECT_EQ(none.mapped, 0);
    EXPECT_EQ(none.medianEmodulusAll, 0.0);
    EXPECT_EQ(none.medianSensitivity, 0.0);
    EXPECT_EQ(none.bias, 0.0);

    const EModQualityReport empty = emodulus.assessQuality(outside.area, outside.deform,
                                                           sameAsTable(), {});
    EXPECT_TRUE(empty.valid);
    EXPECT_EQ(empty.total, 0);
}

TEST_F(EModulusQualityTest, ReadsAreaAndDeformFromTheReader)
{
    Events events;
    events.add(50, 0.05);
    events.add(500, 0.05);
    auto reader = std::make_unique<RTDCReader>();
    reader->setFeature("area_um", std::vector<double>(events.area));
    const EModQualityReport noDeform = emodulus.assessQuality(reader.get(), sameAsTable(), {0, 1});
    EXPECT_FALSE(noDeform.valid) << "only a Fourier deformation is no deformation";
    EXPECT_EQ(noDeform.total, 0);
    reader->setFeature("deform_fc", std::vector<double>(events.deform));
    EXPECT_FALSE(emodulus.assessQuality(reader.get(), sameAsTable(), {0, 1}).valid);

    reader->setFeature("deform", std::vector<double>(events.deform));
    const EModQualityReport r = emodulus.assessQuality(reader.get(), sameAsTable(), {0, 1});
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.total, 2);
    EXPECT_EQ(r.mapped, 1);
    EXPECT_EQ(r.areaTooLarge, 1);
    EXPECT_NEAR(r.medianEmodulusAll, 5.5, 1e-9);

    EXPECT_FALSE(emodulus.assessQuality(nullptr, sameAsTable(), {0}).valid);
}

TEST_F(EModulusQualityTest, UnusableRecordsGiveTheZeroReport)
{
    Events events;
    events.add(50, 0.05);
    EModulusParams noWidth = sameAsTable();
    noWidth.channelWidth = 0;
    EModulusParams frozen = sameAsTable();
    frozen.viscosityModel = EModulusParams::ModelHerold2017;
    frozen.temperatureSource = EModulusParams::TemperatureManual;
    frozen.temperature = 0;
    EModulusParams noTable = sameAsTable();
    noTable.lutId = 7;
    for (const EModulusParams& p : {noWidth, frozen, noTable}) {
        const EModQualityReport r = emodulus.assessQuality(events.area, events.deform, p, {0});
        EXPECT_FALSE(r.valid);
        EXPECT_EQ(r.total, 0);
    }
}

} // namespace
} // namespace Tervane3
