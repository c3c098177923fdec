// The Young's-modulus table that ships with the application (data/LUT_LE_2D_FEM.txt, made
// by tools/lut), read through the application's own parser: its size and conditions, that
// its triangulation tiles the whole rectangle of its rows, that the modulus falls along the
// deformation axis, that its reference medium is that of a typical measurement (whose
// moduli did not change when the table moved to it), and that all eleven isoelastic lines
// exist, ordered as physics demands, and spread over a typical population.
#include "calc/EModulus.h"
#include "calc/LutData.h"
#include "calc/LutTriangulation.h"

#include "support/TestSupport.h"

#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace Tervane3 {
namespace {

const double tableModuli[] = {0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.9, 1.2, 1.5, 2.0, 3.0};

QString shippedLutPath()
{
    return QStringLiteral(TERVANE3_SOURCE_DIR "/data/LUT_LE_2D_FEM.txt");
}

class ShippedLutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LutReadNotes notes;
        std::optional<LutData> read = LutData::readFile(shippedLutPath(), &notes);
        ASSERT_TRUE(read.has_value()) << "cannot open " << shippedLutPath().toStdString();
        table = *read;
        EXPECT_EQ(notes.nonFiniteRows, 0);
        EXPECT_TRUE(notes.warnings.empty()) << notes.warnings.front();
    }

    // The rows grouped by area: area -> (deformation, modulus) in ascending deformation.
    std::map<double, std::vector<std::pair<double, double>>> columnsByArea() const
    {
        std::map<double, std::vector<std::pair<double, double>>> columns;
        for (size_t i = 0; i < table.rowCount(); ++i)
            columns[table.area[i]].emplace_back(table.deform[i], table.emodulus[i]);
        for (auto& column : columns)
            std::sort(column.second.begin(), column.second.end());
        return columns;
    }

    LutData table;
};

TEST_F(ShippedLutTest, RowsFillTheAreaDeformationRectangleOnce)
{
    // 65 areas x 65 deformations
    EXPECT_EQ(table.rowCount(), 4225u);
    EXPECT_DOUBLE_EQ(table.channelWidth, 20.0);
    EXPECT_DOUBLE_EQ(table.flowRate, 0.16);
    // The reference medium is TavrisolB at 23 °C in this channel at this flow rate, by the
    // application's own viscosity model.
    EModulusParams tavrisolB;
    tavrisolB.viscosityModel = EModulusParams::ModelHerold2017;
    tavrisolB.medium = EModulusParams::MediumTavrisolB;
    tavrisolB.channelWidth = 20.0;
    tavrisolB.flowRate = 0.16;
    EXPECT_NEAR_REL(table.viscosity, tavrisolB.viscosity(23.0), 1e-12);

    const auto [areaMin, areaMax] = std::minmax_element(table.area.begin(), table.area.end());
    const auto [defMin, defMax] = std::minmax_element(table.deform.begin(), table.deform.end());
    EXPECT_LE(*areaMin, 15.0);
    EXPECT_GE(*areaMax, 290.0);
    EXPECT_EQ(*defMin, 0.0);
    EXPECT_GE(*defMax, 0.2);

    std::set<std::pair<double, double>> points;
    for (size_t i = 0; i < table.rowCount(); ++i) {
        EXPECT_TRUE(std::isfinite(table.emodulus[i]) && table.emodulus[i] > 0.0) << "row " << i;
        points.emplace(table.area[i], table.deform[i]);
    }
    EXPECT_EQ(points.size(), table.rowCount()) << "duplicate (area, deformation) points";
    for (double a : {*areaMin, *areaMax})
        for (double d : {*defMin, *defMax})
            EXPECT_EQ(points.count({a, d}), 1u) << "corner " << a << ", " << d;

    // The moduli reach beyond the eleven isoelastic values on both sides.
    const auto [eMin, eMax] = std::minmax_element(table.emodulus.begin(), table.emodulus.end());
    EXPECT_LT(*eMin, 0.2);
    EXPECT_GT(*eMax, 3.0);
}

TEST_F(ShippedLutTest, TriangulationTilesTheRectangleWithoutGapsOrOverlaps)
{
    const std::optional<LutTriangulation> tri = LutTriangulation::build(table);
    ASSERT_TRUE(tri.has_value());
    // 65 x 65 grid points in general position: 2 (n - 1)^2 triangles.
    EXPECT_EQ(tri->triangles.size(), 2u * 64u * 64u);

    // Every triangle counter-clockwise and non-degenerate; together they cover the unit
    // square of the normalised coordinates (the hull, since the corners are rows) exactly.
    double covered = 0.0;
    for (const LutTriangle& t : tri->triangles) {
        const double twice = (tri->x[t.b] - tri->x[t.a]) * (tri->y[t.c] - tri->y[t.a])
                             - (tri->x[t.c] - tri->x[t.a]) * (tri->y[t.b] - tri->y[t.a]);
        EXPECT_GT(twice, 0.0);
        covered += 0.5 * twice;
    }
    EXPECT_NEAR(covered, 1.0, 1e-12);

    // No hole: every query inside the rectangle, also off the grid lines, gets a modulus;
    // every row is reproduced at its own vertex.
    int missing = 0;
    for (int i = 0; i <= 173; ++i) {
        for (int j = 0; j <= 173; ++j) {
            const double a = tri->areaMin + tri->areaRange * i / 173.0;
            const double d = tri->deformMin + tri->deformRange * j / 173.0;
            if (!std::isfinite(EModulus::interpolate(*tri, a, d)))
                ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
    for (size_t i = 0; i < table.rowCount(); i += 97)
        EXPECT_NEAR_REL(EModulus::interpolate(*tri, table.area[i], table.deform[i]),
                        table.emodulus[i], 1e-12);
}

TEST_F(ShippedLutTest, ModulusFallsWithDeformationAtEveryArea)
{
    const auto columns = columnsByArea();
    EXPECT_EQ(columns.size(), 65u);
    for (const auto& [area, column] : columns) {
        ASSERT_GE(column.size(), 2u);
        for (size_t k = 1; k < column.size(); ++k)
            EXPECT_LT(column[k].second, column[k - 1].second)
                << "area " << area << " deformation " << column[k].first;
    }

    // Between the rows too, on areas that are no table area.
    const std::optional<LutTriangulation> tri = LutTriangulation::build(table);
    ASSERT_TRUE(tri.has_value());
    for (double a : {17.3, 61.0, 133.7, 201.1, 288.9}) {
        double previous = EModulus::interpolate(*tri, a, tri->deformMin);
        for (int j = 1; j <= 500; ++j) {
            const double e = EModulus::interpolate(*tri, a, tri->deformMin + tri->deformRange * j / 500.0);
            EXPECT_LE(e, previous) << "area " << a << " step " << j;
            previous = e;
        }
    }
}

EModulusParams tavrisolBAt23(double channelWidth = 20.0, double flowRate = 0.16)
{
    EModulusParams p;
    p.viscosityModel = EModulusParams::ModelHerold2017;
    p.medium = EModulusParams::MediumTavrisolB;
    p.temperatureSource = EModulusParams::TemperatureManual;
    p.temperature = 23.0;
    p.channelWidth = channelWidth;
    p.flowRate = flowRate;
    p.pixelSize = 0.34;
    return p;
}

TEST_F(ShippedLutTest, ElevenIsoelasticLinesEndOnlyAtTheTableEdgesAndNeverCross)
{
    EModulus emodulus;
    ASSERT_TRUE(emodulus.setLutFile(0, shippedLutPath()));
    const EModulusParams p = tavrisolBAt23();

    const std::vector<IsoelasticLine> lines = emodulus.isoelastics(p);
    ASSERT_EQ(lines.size(), 11u);
    const auto [areaMin, areaMax] = std::minmax_element(table.area.begin(), table.area.end());
    const double deformMax = *std::max_element(table.deform.begin(), table.deform.end());
    const double areaStep = (*areaMax - *areaMin) / 150.0;

    // deformation of each line at each area it reaches, without the pixelation offset
    std::vector<std::map<double, double>> deformAt(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        const IsoelasticLine& line = lines[k];
        // The table's own conditions: the labels are the table moduli.
        EXPECT_NEAR_REL(line.modulus, tableModuli[k], 1e-12);
        ASSERT_GE(line.points.size(), 2u);
        for (const auto& [a, d] : line.points)
            deformAt[k][a] = d - EModulus::pixelationOffset(a, p.pixelSize);
        // Every line starts at the smallest cells; it stops only where it leaves the table
        // through its largest deformation, or at the largest area.
        EXPECT_LT(line.points.front().first, *areaMin + areaStep) << line.modulus;
        const double lastArea = deformAt[k].rbegin()->first;
        const double lastDeform = deformAt[k].rbegin()->second;
        EXPECT_TRUE(lastArea > *areaMax - areaStep || lastDeform > deformMax - 0.01)
            << line.modulus << " kPa ends inside the table at " << lastArea << " µm², " << lastDeform;
        // A larger cell of the same stiffness deforms more.
        EXPECT_GT(deformAt[k].rbegin()->second, deformAt[k].begin()->second) << line.modulus;
    }
    // At any one area a stiffer cell deforms less: the lines never cross.
    for (size_t k = 1; k < lines.size(); ++k) {
        int compared = 0;
        for (const auto& [a, d] : deformAt[k]) {
            const auto softer = deformAt[k - 1].find(a);
            if (softer == deformAt[k - 1].end())
                continue;
            EXPECT_LT(d, softer->second) << tableModuli[k] << " kPa at " << a << " µm²";
            ++compared;
        }
        EXPECT_GE(compared, 10);
    }
}

TEST_F(ShippedLutTest, IsoelasticLinesSpreadOverATypicalPopulation)
{
    // Regression: with a reference medium of 0.35 mPa·s the lines of a TavrisolB measurement
    // were labelled 2.6 ... 39 kPa, nine of them crowded within 0.005 of the pixelation
    // offset at the sizes of blood cells and their labels piled up; typical cells of
    // 1 ... 2.5 kPa lay beyond the softest line.
    EModulus emodulus;
    ASSERT_TRUE(emodulus.setLutFile(0, shippedLutPath()));
    const EModulusParams p = tavrisolBAt23();
    const std::vector<IsoelasticLine> lines = emodulus.isoelastics(p);
    ASSERT_EQ(lines.size(), 11u);

    // The deformation (as measured, offset included) of every line near an area.
    auto deformNear = [&](const IsoelasticLine& line, double area) {
        double best = 1e300;
        double deform = std::nan("");
        for (const auto& [a, d] : line.points) {
            if (std::fabs(a - area) < best) {
                best = std::fabs(a - area);
                deform = d;
            }
        }
        return best < 2.0 ? deform : std::nan("");
    };
    // Small and large cells of a blood sample, whose deformations lie about 0.015 ... 0.06.
    for (double area : {35.0, 60.0}) {
        int inBand = 0;
        double previous = std::nan("");
        for (const IsoelasticLine& line : lines) {
            const double d = deformNear(line, area);
            if (std::isnan(d))
                continue;
            if (d >= 0.015 && d <= 0.06)
                ++inBand;
            if (!std::isnan(previous)) {
                // far enough apart for their labels not to pile up
                EXPECT_GT(previous - d, 0.003) << line.modulus << " kPa at " << area << " µm²";
            }
            previous = d;
        }
        EXPECT_GE(inBand, 3) << area << " µm²";
        // the stiffest line close above the offset, the softest far above the population
        EXPECT_LT(deformNear(lines.back(), area), 0.025) << area;
        EXPECT_GT(deformNear(lines[4], area), 0.1) << area;
    }
}

TEST_F(ShippedLutTest, ModuliAreThoseOfThePreviousReferenceViscosity)
{
    // The table moved from a reference medium of 0.35 mPa·s to TavrisolB's viscosity with
    // every modulus scaled by the ratio of the two (the model depends on viscosity / modulus
    // only). Moduli the application computed with the 0.35 mPa·s table (10 digits) must
    // come out again, up to the rounding of both tables to 7 digits; events outside the
    // table stay outside.
    EModulus emodulus;
    ASSERT_TRUE(emodulus.setLutFile(0, shippedLutPath()));
    EModulusParams water;
    water.viscosityModel = EModulusParams::ModelKestin1978;
    water.medium = EModulusParams::MediumWater;
    water.temperatureSource = EModulusParams::TemperatureManual;
    water.temperature = 25.0;
    water.channelWidth = 20.0;
    water.flowRate = 0.04;
    water.pixelSize = 0.34;
    EModulusParams tavrisol = tavrisolBAt23(30.0, 0.32);
    tavrisol.medium = EModulusParams::MediumTavrisol;
    tavrisol.temperature = 30.0;
    const EModulusParams conditions[] = {tavrisolBAt23(), tavrisol, water};

    const double nan = std::nan("");
    const struct
    {
        int condition;
        double area;
        double deform;
        double modulus;
    } cases[] = {
        {0, 18, 0.012, nan},
        {0, 18, 0.035, 1.099565258},
        {0, 18, 0.1, 0.4658415061},
        {0, 18, 0.18, 0.2189025421},
        {0, 35, 0.012, 4.807653242},
        {0, 35, 0.035, 1.419078817},
        {0, 35, 0.1, 0.626996807},
        {0, 35, 0.18, 0.2991206006},
        {0, 60, 0.012, 4.429561534},
        {0, 60, 0.035, 1.808955369},
        {0, 60, 0.1, 0.8207644207},
        {0, 60, 0.18, 0.3941346844},
        {0, 100, 0.012, 5.081998073},
        {0, 100, 0.035, 2.389721963},
        {0, 100, 0.1, 1.13352292},
        {0, 100, 0.18, 0.5639571583},
        {0, 160, 0.012, 6.792638964},
        {0, 160, 0.035, 3.435226822},
        {0, 160, 0.1, 1.796914622},
        {0, 160, 0.18, 0.9380498442},
        {0, 240, 0.012, 11.15019395},
        {0, 240, 0.035, 5.943724575},
        {0, 240, 0.1, 3.512011187},
        {0, 240, 0.18, 2.194895398},
        // Tavrisol, 30 µm channel at 0.32 µL/s, 30 °C: 18 µm² is below the table's areas
        {1, 18, 0.02, nan},
        {1, 18, 0.1, nan},
        {1, 60, 0.02, 0.8024587716},
        {1, 60, 0.1, 0.2435939128},
        {1, 160, 0.02, 1.212916168},
        {1, 160, 0.1, 0.4049996163},
        {1, 240, 0.02, 1.53324254},
        {1, 240, 0.1, 0.5378614668},
        // water at 25 °C, 0.04 µL/s
        {2, 18, 0.012, nan},
        {2, 18, 0.06, 0.0362835181},
        {2, 35, 0.012, 0.2343801647},
        {2, 35, 0.06, 0.04865167309},
        {2, 100, 0.012, 0.2477548786},
        {2, 100, 0.06, 0.08530621262},
        {2, 240, 0.012, 0.5435883502},
        {2, 240, 0.06, 0.2217744741},
    };
    for (const auto& c : cases) {
        std::vector<double> one;
        ASSERT_TRUE(emodulus.computeColumn({c.area, 50.0}, {c.deform, 0.05}, nullptr, conditions[c.condition], one));
        if (std::isnan(c.modulus))
            EXPECT_TRUE(std::isnan(one[0])) << c.condition << ": " << c.area << " µm², " << c.deform;
        else
            EXPECT_NEAR_REL(one[0], c.modulus, 1.5e-6) << c.condition << ": " << c.area << " µm², " << c.deform;
    }
}

TEST_F(ShippedLutTest, ARealisticMeasurementGetsModuliOverTheTypicalCellRange)
{
    // TavrisolB in the 20 µm channel at 0.16 µL/s and 23 °C is the table's reference
    // measurement: every table modulus counts once.
    EModulus emodulus;
    ASSERT_TRUE(emodulus.setLutFile(0, shippedLutPath()));
    const EModulusParams p = tavrisolBAt23();

    // Every cell of 20 to 150 µm² whose deformation is at least the pixelation offset, up
    // to 0.1, gets a finite modulus that falls with the deformation; below the offset the
    // corrected deformation is negative and the cell is outside the table.
    std::vector<double> area;
    std::vector<double> deform;
    for (double a = 20.0; a <= 150.0; a += 5.0) {
        for (int j = 0; j <= 38; ++j) {
            area.push_back(a);
            deform.push_back(0.005 + 0.0025 * j);
        }
    }
    std::vector<double> moduli;
    ASSERT_TRUE(emodulus.computeColumn(area, deform, nullptr, p, moduli));
    for (size_t i = 0; i < moduli.size(); ++i) {
        const double corrected = EModulus::correctPixelation(deform[i], area[i], p.pixelSize);
        if (corrected < 0.0) {
            EXPECT_TRUE(std::isnan(moduli[i])) << area[i] << " µm², " << deform[i];
            continue;
        }
        ASSERT_TRUE(std::isfinite(moduli[i])) << area[i] << " µm², " << deform[i];
        EXPECT_GT(moduli[i], 0.0);
        if (i > 0 && area[i - 1] == area[i] && std::isfinite(moduli[i - 1])) {
            EXPECT_LT(moduli[i], moduli[i - 1]) << area[i] << " µm², " << deform[i];
        }
    }

    // Moduli against a linear interpolation of the table rows by scipy (Delaunay over the
    // normalised coordinates); the two triangulations may cut a grid cell along different
    // diagonals.
    const struct
    {
        double area;
        double deform;
        double modulus;
    } references[] = {
        {50, 0.05, 1.331077065400552},
        {100, 0.02, 3.4023179499918004},
        {150, 0.1, 1.6580477404425047},
        {20, 0.03, 1.2959800243189983},
    };
    for (const auto& r : references) {
        std::vector<double> one;
        ASSERT_TRUE(emodulus.computeColumn({r.area}, {r.deform}, nullptr, p, one));
        EXPECT_NEAR_REL(one[0], r.modulus, 5e-3) << r.area << " µm², " << r.deform;
    }

    // In a twice as fast flow (same viscosity, manual) every label doubles.
    EModulusParams faster = p;
    faster.viscosityModel = EModulusParams::ModelManual;
    faster.manualViscosity = table.viscosity;
    faster.flowRate = 0.32;
    const std::vector<IsoelasticLine> lines = emodulus.isoelastics(faster);
    ASSERT_EQ(lines.size(), 11u);
    for (size_t k = 0; k < lines.size(); ++k)
        EXPECT_NEAR_REL(lines[k].modulus, 2.0 * tableModuli[k], 1e-12);
}

} // namespace
} // namespace Tervane3
