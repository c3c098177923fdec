// Isoelastic lines on fixture tables whose modulus is linear (or piecewise linear) in the
// deformation, so that every line point has a closed form.
#include "calc/EModulus.h"

#include "LutFixture.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace Tervane3 {
namespace {

namespace fixture = ::Tervane3::Test;

const double tableModuli[] = {0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.9, 1.2, 1.5, 2.0, 3.0};

using fixture::tableMetadata;

// Linear table over areas 0..400 µm² and deformations 0..0.2: modulus 0.1 .. 2.9 kPa.
double linearModulus(double area, double deform)
{
    return 0.1 + 0.002 * area + 10.0 * deform;
}

// The deformation at which the linear table reaches modulus o at table area u.
double linearDeformAt(double o, double u)
{
    return (o - 0.1 - 0.002 * u) / 10.0;
}

class EModulusIsoelasticsTest : public ::testing::Test
{
protected:
    // Registers a table built from f on the grid 0..400 x 0..0.2 as table 0 of a new
    // calculator.
    EModulus& withTable(double (*f)(double, double))
    {
        emodulus = std::make_unique<EModulus>();
        const QString path = fixture::writeLutFile(
            dir, QStringLiteral("table%1.txt").arg(++tables),
            fixture::gridTable(fixture::steps(0, 20, 21), fixture::steps(0, 0.01, 21), f),
            tableMetadata);
        EXPECT_TRUE(emodulus->setLutFile(0, path));
        return *emodulus;
    }

    QTemporaryDir dir;
    int tables = 0;
    std::unique_ptr<EModulus> emodulus;
};

// Every point of every line lies on the closed-form line; every line that the table
// reaches is there, with the expected label; areas increase.
void expectLinearLines(const std::vector<IsoelasticLine>& lines, double areaScale,
                       double labelFactor, double pixelSize)
{
    size_t next = 0;
    for (double o : tableModuli) {
        SCOPED_TRACE(testing::Message() << "table modulus " << o);
        // The line exists when its deformation, falling from area 0 to 400, meets the
        // table's range 0 .. 0.2 (none of the fixtures only touches it).
        if (!(linearDeformAt(o, 0) > 0 && linearDeformAt(o, 400) < 0.2))
            continue;
        ASSERT_LT(next, lines.size());
        const IsoelasticLine& line = lines[next++];
        EXPECT_NEAR_REL(line.modulus, o * labelFactor, 1e-14);
        ASSERT_GE(line.points.size(), 2u);
        for (size_t k = 0; k < line.points.size(); ++k) {
            const auto [a, d] = line.points[k];
            if (k > 0) {
                EXPECT_GT(a, line.points[k - 1].first);
            }
            EXPECT_GE(a, 0.0);
            EXPECT_LE(a, 400.0 / areaScale * (1 + 1e-12));
            const double expected =
                linearDeformAt(o, a * areaScale) + EModulus::pixelationOffset(a, pixelSize);
            EXPECT_NEAR(d, expected, 1e-7) << "at area " << a;
        }
    }
    EXPECT_EQ(next, lines.size());
}

TEST_F(EModulusIsoelasticsTest, LinesOfALinearTableInTheSimulationsConditions)
{
    const std::vector<IsoelasticLine> lines =
        withTable(linearModulus).isoelastics(fixture::tableConditions());
    // 0.2 .. 2.0 kPa are reached, 3.0 kPa is not.
    ASSERT_EQ(lines.size(), 10u);
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].modulus, tableModuli[i]);
    expectLinearLines(lines, 1.0, 1.0, 0.34);

    // 1.2 kPa is reached at every area: 151 points from 0 to 400 µm².
    const IsoelasticLine& full = lines[7];
    ASSERT_GE(full.points.size(), 150u);
    ASSERT_LE(full.points.size(), 151u);
    EXPECT_EQ(full.points.front().first, 0.0);
    EXPECT_NEAR(full.points.back().first, 400.0, 400.0 / 150);
}

TEST_F(EModulusIsoelasticsTest, FlowRateScalesTheLabelsOnly)
{
    EModulus& e = withTable(linearModulus);
    const std::vector<IsoelasticLine> base = e.isoelastics(fixture::tableConditions());
    EModulusParams faster = fixture::tableConditions();
    faster.flowRate = 0.32;
    const std::vector<IsoelasticLine> lines = e.isoelastics(faster);
    ASSERT_EQ(lines.size(), base.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NEAR_REL(lines[i].modulus, 2 * base[i].modulus, 1e-14);
        EXPECT_EQ(lines[i].points, base[i].points);
    }
}

TEST_F(EModulusIsoelasticsTest, HalfTheChannelWidthShrinksAreasAndScalesLabels)
{
    EModulusParams narrow = fixture::tableConditions();
    narrow.channelWidth = 10.0;
    const std::vector<IsoelasticLine> lines = withTable(linearModulus).isoelastics(narrow);
    ASSERT_EQ(lines.size(), 10u);
    // Areas in the measurement's frame are a quarter of the table's; labels times 2^3.
    expectLinearLines(lines, 4.0, 8.0, 0.34);
    EXPECT_NEAR(lines[7].points.back().first, 100.0, 100.0 / 150);
}

TEST_F(EModulusIsoelasticsTest, ModuliTheTableNeverReachesHaveNoLine)
{
    // 0.25 .. 0.65 kPa: only the lines of 0.3 .. 0.6 kPa exist.
    const auto narrowRange = [](double area, double deform) {
        return 0.25 + 0.0005 * area + 1.0 * deform;
    };
    const std::vector<IsoelasticLine> lines =
        withTable(+narrowRange).isoelastics(fixture::tableConditions());
    std::vector<double> labels;
    for (const IsoelasticLine& line : lines)
        labels.push_back(line.modulus);
    EXPECT_EQ(labels, (std::vector<double>{0.3, 0.4, 0.5, 0.6}));
}

TEST_F(EModulusIsoelasticsTest, TheFirstCrossingFromTheSmallestDeformationIsTaken)
{
    // 0.2 + 10 |d - 0.1|, the same at every area: falls to 0.2 kPa at d = 0.1, then rises.
    const auto valley = [](double, double deform) { return 0.2 + 10.0 * std::fabs(deform - 0.1); };
    EModulusParams p = fixture::tableConditions();
    p.pixelSize = 1e-3; // offset 0.0012 at every area above 0
    const std::vector<IsoelasticLine> lines = withTable(+valley).isoelastics(p);
    const struct
    {
        double modulus;
        double deform;
    } expected[] = {{0.3, 0.09}, {0.5, 0.07}, {0.7, 0.05}, {0.9, 0.03}};
    for (const auto& x : expected) {
        SCOPED_TRACE(x.modulus);
        const auto line = std::find_if(lines.begin(), lines.end(), [&x](const IsoelasticLine& l) {
            return std::fabs(l.modulus - x.modulus) < 1e-12;
        });
        ASSERT_NE(line, lines.end());
        EXPECT_GE(line->points.size(), 150u);
        for (const auto& [a, d] : line->points) {
            if (a > 0) {
                EXPECT_NEAR(d, x.deform + 0.0012, 1e-7) << "at area " << a;
            }
        }
    }
    // The rim of the valley is 1.2 kPa: no line above it.
    for (const IsoelasticLine& line : lines)
        EXPECT_LT(line.modulus, 1.3);
}

TEST_F(EModulusIsoelasticsTest, UnusableRecordsAndTablesGiveNoLines)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto modify = [](auto change) {
        EModulusParams p = fixture::tableConditions();
        change(p);
        return p;
    };
    const struct
    {
        const char* name;
        EModulusParams params;
    } cases[] = {
        // Regression: these left the walk along the area axis without a usable step.
        {"no channel width", modify([](EModulusParams& p) { p.channelWidth = 0; })},
        {"negative channel width", modify([](EModulusParams& p) { p.channelWidth = -20; })},
        {"NaN channel width", modify([nan](EModulusParams& p) { p.channelWidth = nan; })},
        {"channel so wide that the area step is not finite",
         modify([](EModulusParams& p) { p.channelWidth = 1e300; })},
        {"no flow rate", modify([](EModulusParams& p) { p.flowRate = 0; })},
        {"no pixel size", modify([](EModulusParams& p) { p.pixelSize = 0; })},
        {"no usable viscosity", modify([](EModulusParams& p) {
             p.viscosityModel = EModulusParams::ModelHerold2017;
             p.temperatureSource = EModulusParams::TemperatureManual;
             p.temperature = 0;
         })},
    };
    EModulus& e = withTable(linearModulus);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(e.isoelastics(c.params).empty());
    }

    // A metadata temperature of 0 °C means "not measured": the lines of 23 °C.
    EModulusParams metadataZero = fixture::tableConditions();
    metadataZero.viscosityModel = EModulusParams::ModelHerold2017;
    metadataZero.temperatureSource = EModulusParams::TemperatureMetadata;
    metadataZero.temperature = 0;
    EModulusParams at23 = metadataZero;
    at23.temperature = 23.0;
    const std::vector<IsoelasticLine> zeroLines = e.isoelastics(metadataZero);
    ASSERT_FALSE(zeroLines.empty());
    EXPECT_EQ(zeroLines.front().modulus, e.isoelastics(at23).front().modulus);

    // A table without deformation range is not triangulated, so the walk never starts.
    const auto flat = [](double area, double) { return area; };
    EModulus flatTable;
    const QString flatPath = fixture::writeLutFile(
        dir, QStringLiteral("flat.txt"),
        fixture::gridTable(fixture::steps(0, 20, 21), {0.05}, +flat), tableMetadata);
    ASSERT_TRUE(flatTable.setLutFile(0, flatPath));
    EXPECT_TRUE(flatTable.isoelastics(fixture::tableConditions()).empty());

    EModulus noTable;
    ASSERT_TRUE(noTable.setLutFile(0, dir.filePath(QStringLiteral("missing.txt"))));
    EXPECT_TRUE(noTable.isoelastics(fixture::tableConditions()).empty());
}

} // namespace
} // namespace Tervane3
