// The "emodulus" column: mapping through a linear fixture table, the scaling of areas and
// moduli to the measurement's channel, flow rate and viscosity, per-event temperatures,
// progress, and the refusals that keep infinite or empty columns out of the reader.
#include "calc/EModulus.h"

#include "core/RTDCReader.h"

#include "LutFixture.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace Tervane3 {
namespace {

namespace fixture = ::Tervane3::Test;

const double nan = std::numeric_limits<double>::quiet_NaN();

// The fixture table: simulated in a 20 µm channel at 0.16 µL/s in a medium of 1.002 mPa·s.
double tableModulus(double area, double deform)
{
    return 0.5 + 0.002 * area + 8.0 * deform;
}

using fixture::tableMetadata;

// A record for a measurement in the simulation's own conditions.
EModulusParams sameAsTable()
{
    EModulusParams p = fixture::tableConditions();
    p.temperatureSource = EModulusParams::TemperatureManual;
    p.pixelationCorrection = false;
    return p;
}

using Columns = std::vector<std::pair<std::string, std::vector<double>>>;

// A reader that holds only computed columns: enough for the calculator, no file needed.
std::unique_ptr<RTDCReader> readerWith(const Columns& columns)
{
    auto reader = std::make_unique<RTDCReader>();
    for (const auto& [name, values] : columns)
        reader->setFeature(name, std::vector<double>(values));
    return reader;
}

class EModulusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QString path = fixture::writeLutFile(
            dir, QStringLiteral("table.txt"),
            fixture::gridTable(fixture::steps(0, 20, 21), fixture::steps(0, 0.01, 21),
                               tableModulus),
            tableMetadata);
        ASSERT_TRUE(emodulus.setLutFile(0, path));
    }

    QTemporaryDir dir;
    EModulus emodulus;
};

TEST_F(EModulusTest, SameConditionsAsTheSimulationGiveTheTableModulus)
{
    const std::vector<double> area = {10, 55.5, 390, 500, nan, 100};
    const std::vector<double> deform = {0.02, 0.137, 0.19, 0.05, 0.05, nan};
    auto reader = readerWith({{"area_um", area}, {"deform", deform}});
    ASSERT_TRUE(emodulus.compute(reader.get(), sameAsTable()));
    ASSERT_TRUE(reader->isComputedFeature("emodulus"));
    const std::vector<double>& e = reader->getFeature("emodulus");
    ASSERT_EQ(e.size(), area.size());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NEAR_REL(e[i], tableModulus(area[i], deform[i]), 1e-12);
    EXPECT_TRUE(std::isnan(e[3])) << "area beyond the table";
    EXPECT_TRUE(std::isnan(e[4])) << "NaN area";
    EXPECT_TRUE(std::isnan(e[5])) << "NaN deformation";
}

TEST_F(EModulusTest, PixelationCorrectionSubtractsTheOffset)
{
    auto reader = readerWith({{"area_um", {50.0}}, {"deform", {0.1}}});
    EModulusParams p = sameAsTable();
    p.pixelationCorrection = true;
    p.pixelSize = 0.34;
    ASSERT_TRUE(emodulus.compute(reader.get(), p));
    // Offset at 50 µm² and 0.34 µm: 0.008178426332280239 (hand computation).
    EXPECT_NEAR_REL(reader->getFeature("emodulus")[0],
                    tableModulus(50.0, 0.1 - 0.008178426332280239), 1e-12);
}

TEST_F(EModulusTest, ADeformationColumnOtherThanDeformIsUsedAsStored)
{
    auto reader = readerWith({{"area_um", {60.0, 80.0}}, {"deform_fc", {0.03, 0.12}}});
    EModulusParams p = sameAsTable();
    p.deformFeature = "deform_fc";
    ASSERT_TRUE(emodulus.compute(reader.get(), p));
    const std::vector<double>& e = reader->getFeature("emodulus");
    EXPECT_NEAR_REL(e[0], tableModulus(60.0, 0.03), 1e-12);
    EXPECT_NEAR_REL(e[1], tableModulus(80.0, 0.12), 1e-12);
}

struct ScalingCase
{
    const char* name;
    EModulusParams params;
    double areaFactor;    // table area = areaFactor * measured area
    double modulusFactor; // modulus = modulusFactor * table modulus
};

TEST_F(EModulusTest, ModuliScaleWithFlowRateChannelWidthAndViscosity)
{
    using P = EModulusParams;
    const auto with = [](double channelWidth, double flowRate, int model, int medium,
                         double celsius) {
        EModulusParams p = sameAsTable();
        p.channelWidth = channelWidth;
        p.flowRate = flowRate;
        p.viscosityModel = model;
        p.medium = medium;
        p.temperature = celsius;
        return p;
    };
    const ScalingCase cases[] = {
        {"same conditions", with(20, 0.16, P::ModelManual, P::MediumOther, 23), 1, 1},
        {"double flow rate, manual viscosity", with(20, 0.32, P::ModelManual, P::MediumOther, 23),
         1, 2},
        {"double flow rate, water at 20 °C", with(20, 0.32, P::ModelKestin1978, P::MediumWater, 20),
         1, 2},
        // Half the channel width: areas map by 4, moduli by 2^3.
        {"half channel width, manual viscosity", with(10, 0.16, P::ModelManual, P::MediumOther, 23),
         4, 8},
        {"half channel width, water at 20 °C", with(10, 0.16, P::ModelKestin1978, P::MediumWater, 20),
         4, 8},
        // Water at 25 °C: 0.89020056617052 mPa·s (hand computation).
        {"water at 25 °C", with(20, 0.16, P::ModelKestin1978, P::MediumWater, 25), 1,
         0.89020056617052 / 1.002},
        // TavrisolB, 20 µm, 0.16 µL/s, 23.6 °C: 4.464313320794046 mPa·s; in 10 µm:
        // 2.0855650103363708 mPa·s (hand computations).
        {"TavrisolB", with(20, 0.16, P::ModelHerold2017, P::MediumTavrisolB, 23.6), 1,
         4.464313320794046 / 1.002},
        {"TavrisolB, half channel width", with(10, 0.16, P::ModelHerold2017, P::MediumTavrisolB, 23.6),
         4, 8 * 2.0855650103363708 / 1.002},
    };
    const std::vector<double> area = {10, 30, 55, 90, 10, 30, 55, 90};
    const std::vector<double> deform = {0.02, 0.07, 0.15, 0.11, 0.15, 0.02, 0.07, 0.185};
    for (const ScalingCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = readerWith({{"area_um", area}, {"deform", deform}});
        ASSERT_TRUE(emodulus.compute(reader.get(), c.params));
        const std::vector<double>& e = reader->getFeature("emodulus");
        for (size_t i = 0; i < area.size(); ++i)
            EXPECT_NEAR_REL(e[i], c.modulusFactor * tableModulus(c.areaFactor * area[i], deform[i]),
                            1e-12);
    }
}

TEST_F(EModulusTest, PerEventTemperaturesSetEachEventsViscosity)
{
    EModulusParams p = sameAsTable();
    p.viscosityModel = EModulusParams::ModelKestin1978;
    p.medium = EModulusParams::MediumWater;
    p.temperatureSource = EModulusParams::TemperaturePerEvent;
    p.temperature = 25.0;
    const std::vector<double> area = {40, 40, 40};
    const std::vector<double> deform = {0.1, 0.1, 0.1};
    const double base = tableModulus(40, 0.1);

    // Water at 20, 37 and 10 °C: 1.002, 0.6912643450925647, 1.3069848447724564 mPa·s.
    auto reader = readerWith({{"area_um", area}, {"deform", deform}, {"temp", {20, 37, 10}}});
    ASSERT_TRUE(emodulus.compute(reader.get(), p));
    const std::vector<double>& e = reader->getFeature("emodulus");
    EXPECT_NEAR_REL(e[0], base, 1e-12);
    EXPECT_NEAR_REL(e[1], 0.6912643450925647 / 1.002 * base, 1e-12);
    EXPECT_NEAR_REL(e[2], 1.3069848447724564 / 1.002 * base, 1e-12);

    // Without a usable column the record's temperature (25 °C) holds for every event.
    const Columns without[] = {
        {{"area_um", area}, {"deform", deform}},
        {{"area_um", area}, {"deform", deform}, {"temp", {20, 37}}},
    };
    for (const Columns& columns : without) {
        auto other = readerWith(columns);
        ASSERT_TRUE(emodulus.compute(other.get(), p));
        for (double value : other->getFeature("emodulus"))
            EXPECT_NEAR_REL(value, 0.89020056617052 / 1.002 * base, 1e-12);
    }

    // Temperatures are read per event only for that source.
    p.temperatureSource = EModulusParams::TemperatureManual;
    auto manual = readerWith({{"area_um", area}, {"deform", deform}, {"temp", {20, 37, 10}}});
    ASSERT_TRUE(emodulus.compute(manual.get(), p));
    EXPECT_NEAR_REL(manual->getFeature("emodulus")[1], 0.89020056617052 / 1.002 * base, 1e-12);
}

TEST_F(EModulusTest, UnusableEventTemperaturesGiveNaNNotInfinity)
{
    // Regression: a per-event temperature of 0 °C made the methyl-cellulose viscosity, and
    // with it the modulus, infinite.
    EModulusParams p = sameAsTable();
    p.viscosityModel = EModulusParams::ModelHerold2017;
    p.medium = EModulusParams::MediumTavrisolB;
    p.temperatureSource = EModulusParams::TemperaturePerEvent;
    auto reader = readerWith({{"area_um", {40, 40, 40, 40}},
                              {"deform", {0.1, 0.1, 0.1, 0.1}},
                              {"temp", {23.6, 0.0, nan, 40.0}}});
    std::vector<std::string> messages;
    ASSERT_TRUE(emodulus.compute(reader.get(), p, &messages));
    const std::vector<double>& e = reader->getFeature("emodulus");
    EXPECT_TRUE(std::isfinite(e[0]));
    EXPECT_TRUE(std::isnan(e[1]));
    EXPECT_TRUE(std::isnan(e[2]));
    EXPECT_TRUE(std::isfinite(e[3])) << "outside the fitted range, still computed";
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("2 event(s)", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1].rfind("1 event(s)", 0), 0u) << messages[1];
}

TEST_F(EModulusTest, ATemperatureOutsideTheModelRangeIsComputedWithAWarning)
{
    EModulusParams p = sameAsTable();
    p.viscosityModel = EModulusParams::ModelHerold2017;
    p.medium = EModulusParams::MediumTavrisolB;
    p.temperature = 15.0;
    auto reader = readerWith({{"area_um", {40}}, {"deform", {0.1}}});
    std::vector<std::string> messages;
    ASSERT_TRUE(emodulus.compute(reader.get(), p, &messages));
    EXPECT_TRUE(std::isfinite(reader->getFeature("emodulus")[0]));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("outside the range"), std::string::npos) << messages[0];
}

TEST_F(EModulusTest, AMetadataTemperatureOfZeroMeansNotMeasured)
{
    // Regression: a recorded temperature of 0 reached the methyl-cellulose power law and
    // made every modulus infinite. It counts as 23 °C, as everywhere else.
    EModulusParams p = sameAsTable();
    p.viscosityModel = EModulusParams::ModelHerold2017;
    p.medium = EModulusParams::MediumTavrisolB;
    p.temperatureSource = EModulusParams::TemperatureMetadata;
    for (double recorded : {0.0, -5.0, nan}) {
        SCOPED_TRACE(recorded);
        p.temperature = recorded;
        auto reader = readerWith({{"area_um", {40}}, {"deform", {0.1}}});
        ASSERT_TRUE(emodulus.compute(reader.get(), p));
        EXPECT_NEAR_REL(reader->getFeature("emodulus")[0],
                        p.viscosity(23.0) / 1.002 * tableModulus(40, 0.1), 1e-12);
    }
}

TEST_F(EModulusTest, ProgressIsReportedEvery256Events)
{
    QSignalSpy spy(&emodulus, &EModulus::progressChanged);
    std::vector<double> area(300, 40.0);
    std::vector<double> deform(300, 0.1);
    auto reader = readerWith({{"area_um", area}, {"deform", deform}});
    ASSERT_TRUE(emodulus.compute(reader.get(), sameAsTable()));
    std::vector<int> values;
    for (const QList<QVariant>& arguments : spy)
        values.push_back(arguments.at(0).toInt());
    EXPECT_EQ(values, (std::vector<int>{0, 85, 100}));
}

TEST_F(EModulusTest, ASecondRunReplacesTheColumn)
{
    auto reader = readerWith({{"area_um", {40}}, {"deform", {0.1}}, {"emodulus", {-1}}});
    ASSERT_TRUE(emodulus.compute(reader.get(), sameAsTable()));
    EXPECT_NEAR_REL(reader->getFeature("emodulus")[0], tableModulus(40, 0.1), 1e-12);
}

struct RefusalCase
{
    const char* name;
    Columns columns;
    EModulusParams params;
    const char* message; // expected part of the reason, empty for none
};

TEST_F(EModulusTest, RefusalsStoreNothing)
{
    EModulusParams noWidth = sameAsTable();
    noWidth.channelWidth = 0.0;
    EModulusParams negativeFlow = sameAsTable();
    negativeFlow.flowRate = -0.1;
    EModulusParams noPixel = sameAsTable();
    noPixel.pixelationCorrection = true;
    noPixel.pixelSize = 0.0;
    EModulusParams frozen = sameAsTable();
    frozen.viscosityModel = EModulusParams::ModelHerold2017;
    frozen.temperature = 0.0;
    EModulusParams otherTable = sameAsTable();
    otherTable.lutId = 1;

    const std::vector<double> area = {40, 60};
    const std::vector<double> deform = {0.1, 0.05};
    const RefusalCase cases[] = {
        {"no area column", {{"deform", deform}}, sameAsTable(), ""},
        {"no deformation column", {{"area_um", area}}, sameAsTable(), ""},
        {"empty columns", {{"area_um", {}}, {"deform", {}}}, sameAsTable(), ""},
        {"columns of different lengths", {{"area_um", area}, {"deform", {0.1}}}, sameAsTable(), ""},
        // Regression: a channel width of 0 produced infinite and NaN moduli.
        {"no channel width", {{"area_um", area}, {"deform", deform}}, noWidth, "channel width"},
        {"negative flow rate", {{"area_um", area}, {"deform", deform}}, negativeFlow, "flow rate"},
        {"no pixel size", {{"area_um", area}, {"deform", deform}}, noPixel, "pixel size"},
        // Regression: 0 °C made the methyl-cellulose viscosity infinite.
        {"no usable viscosity", {{"area_um", area}, {"deform", deform}}, frozen, "viscosity"},
        // Regression: a column of NaN only was stored and flagged as applied.
        {"no event inside the table", {{"area_um", {900, 1000}}, {"deform", deform}}, sameAsTable(),
         "no event lies inside"},
        {"table id without a file", {{"area_um", area}, {"deform", deform}}, otherTable,
         "failed to build LUT triangulation"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = readerWith(c.columns);
        std::vector<std::string> messages;
        EXPECT_FALSE(emodulus.compute(reader.get(), c.params, &messages));
        EXPECT_FALSE(reader->hasFeature("emodulus"));
        if (*c.message == '\0') {
            EXPECT_TRUE(messages.empty());
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_NE(messages[0].find(c.message), std::string::npos) << messages[0];
        }
    }
    EXPECT_FALSE(emodulus.compute(nullptr, sameAsTable()));

    // Without pixelation correction the pixel size is not needed.
    noPixel.pixelationCorrection = false;
    auto reader = readerWith({{"area_um", area}, {"deform", deform}});
    EXPECT_TRUE(emodulus.compute(reader.get(), noPixel));
}

TEST(EModulusTableTest, AMissingTableIsReportedAndLookedForAgain)
{
    QTemporaryDir dir;
    EModulus emodulus;
    const QString path = dir.filePath(QStringLiteral("late.txt"));
    ASSERT_TRUE(emodulus.setLutFile(0, path));
    auto reader = readerWith({{"area_um", {40}}, {"deform", {0.1}}});
    std::vector<std::string> messages;
    EXPECT_FALSE(emodulus.compute(reader.get(), sameAsTable(), &messages));
    EXPECT_EQ(messages, std::vector<std::string>{"failed to build LUT triangulation"});
    EXPECT_EQ(emodulus.lut(0), nullptr);

    // The file appears: the next use reads it, and from then on the table stays.
    fixture::writeLutFile(dir, QStringLiteral("late.txt"),
                          fixture::gridTable(fixture::steps(0, 20, 21), fixture::steps(0, 0.01, 21),
                                             tableModulus),
                          tableMetadata);
    EXPECT_TRUE(emodulus.compute(reader.get(), sameAsTable()));
    ASSERT_NE(emodulus.lut(0), nullptr);
    EXPECT_EQ(emodulus.lut(0)->rowCount(), 441u);
    EXPECT_FALSE(emodulus.setLutFile(0, dir.filePath(QStringLiteral("other.txt"))));
    EXPECT_EQ(emodulus.lut(1), nullptr);
    emodulus.buildTriangulation(1);
    EXPECT_EQ(emodulus.triangulation(1), nullptr);
}

TEST(EModulusTableTest, Table0IsFoundInTheFirstDataFolderThatHasIt)
{
    // Candidates relative to the application folder, in this order; the test writes two
    // of them (and removes them again).
    const std::vector<QString> candidates = EModulus::lutSearchPaths();
    ASSERT_EQ(candidates.size(), 5u);
    const QString appDir = QCoreApplication::applicationDirPath();
    EXPECT_EQ(candidates[0], appDir + QStringLiteral("/data/LUT_LE_2D_FEM.txt"));
    EXPECT_EQ(candidates[2], appDir + QStringLiteral("/../data/LUT_LE_2D_FEM.txt"));

    struct Cleanup
    {
        std::vector<QString> files;
        ~Cleanup()
        {
            for (const QString& f : files) {
                QFile::remove(f);
                QDir().rmdir(QFileInfo(f).absolutePath()); // only when empty
            }
        }
    } cleanup;
    const auto place = [&cleanup](const QString& path, double modulus) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_FALSE(file.exists()) << path.toStdString();
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        cleanup.files.push_back(path);
        file.write(fixture::lutText(fixture::gridTable({0, 100}, {0, 0.1},
                                                       [modulus](double, double) { return modulus; }))
                       .toUtf8());
    };
    place(candidates[2], 2.0);
    place(candidates[0], 1.0);

    EModulus emodulus;
    emodulus.loadLut(0);
    ASSERT_NE(emodulus.lut(0), nullptr);
    EXPECT_EQ(emodulus.lut(0)->emodulus, (std::vector<double>{1, 1, 1, 1}));
}

} // namespace
} // namespace Tervane3
