// The Young's-modulus table that ships with the application (data/LUT_LE_2D_FEM.txt, made
// by tools/lut), read through the application's own parser: its size and conditions, that
// its triangulation tiles the whole rectangle of its rows, that the modulus falls along the
// deformation axis, and that all eleven isoelastic lines exist over most of the area range
// at the table's own conditions, ordered as physics demands.
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
    EXPECT_GT(table.viscosity, 0.1);
    EXPECT_LT(table.viscosity, 10.0);

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

TEST_F(ShippedLutTest, ElevenIsoelasticLinesCoverTheAreasAtReferenceConditions)
{
    EModulus emodulus;
    ASSERT_TRUE(emodulus.setLutFile(0, shippedLutPath()));
    EModulusParams p;
    p.viscosityModel = EModulusParams::ModelManual;
    p.medium = EModulusParams::MediumOther;
    p.manualViscosity = table.viscosity;
    p.channelWidth = table.channelWidth;
    p.flowRate = table.flowRate;
    p.pixelSize = 0.34;

    const std::vector<IsoelasticLine> lines = emodulus.isoelastics(p);
    ASSERT_EQ(lines.size(), 11u);
    const auto [areaMin, areaMax] = std::minmax_element(table.area.begin(), table.area.end());
    const double range = *areaMax - *areaMin;

    // deformation of each line at each area it reaches, without the pixelation offset
    std::vector<std::map<double, double>> deformAt(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        const IsoelasticLine& line = lines[k];
        EXPECT_NEAR_REL(line.modulus, tableModuli[k], 1e-12);
        ASSERT_GE(line.points.size(), 2u);
        const double span = line.points.back().first - line.points.front().first;
        EXPECT_GE(span, 0.9 * range) << line.modulus << " kPa covers only " << span << " µm²";
        for (const auto& [a, d] : line.points)
            deformAt[k][a] = d - EModulus::pixelationOffset(a, p.pixelSize);
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
        EXPECT_GT(compared, 100);
    }
}

TEST_F(ShippedLutTest, ARealisticMeasurementGetsModuliOverTheTypicalCellRange)
{
    // TavrisolB in the 20 µm channel at 0.16 µL/s and 23 °C: the medium is far more viscous
    // (4.565 mPa·s by the Herold model) than the table's reference medium, so every table
    // modulus counts about 13 times.
    EModulus emodulus;
    ASSERT_TRUE(emodulus.setLutFile(0, shippedLutPath()));
    EModulusParams p;
    p.viscosityModel = EModulusParams::ModelHerold2017;
    p.medium = EModulusParams::MediumTavrisolB;
    p.temperatureSource = EModulusParams::TemperatureManual;
    p.temperature = 23.0;
    p.channelWidth = 20.0;
    p.flowRate = 0.16;
    p.pixelSize = 0.34;
    // (1.706549572791479 g')^-0.366 0.36 (23 / 23.6)^-0.866 1000 / 0.35 with
    // g' = 2/3 Q 7.1136e-9 / (20e-6)^3 (hand computation).
    const double scale = 13.042838342160833;

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
    // normalised coordinates), times the scale; the two triangulations may cut a grid
    // cell along different diagonals.
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

    // All eleven lines, labelled in the measurement's moduli.
    const std::vector<IsoelasticLine> lines = emodulus.isoelastics(p);
    ASSERT_EQ(lines.size(), 11u);
    for (size_t k = 0; k < lines.size(); ++k)
        EXPECT_NEAR_REL(lines[k].modulus, tableModuli[k] * scale, 1e-12);
}

} // namespace
} // namespace Tervane3
