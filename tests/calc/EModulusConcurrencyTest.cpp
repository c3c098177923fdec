// One calculator used by a worker (the "emodulus" column) and the GUI thread (isoelastic
// lines, quality figures) at the same time, each possibly the first to need the table:
// the table must be read and triangulated once, and every thread must see the whole of it.
// Runs under ThreadSanitizer with ./dev tsan.
#include "calc/EModulus.h"

#include "LutFixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace Tervane3 {
namespace {

namespace fixture = ::Tervane3::Test;

EModulusParams params()
{
    EModulusParams p;
    p.viscosityModel = EModulusParams::ModelKestin1978;
    p.medium = EModulusParams::MediumWater;
    p.temperature = 24.0;
    p.channelWidth = 20.0;
    p.flowRate = 0.16;
    return p;
}

TEST(EModulusConcurrencyTest, ThreadsShareTheFirstUseOfTheTable)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = fixture::writeLutFile(
        dir, QStringLiteral("table.txt"),
        fixture::gridTable(fixture::steps(10, 15, 20), fixture::steps(0.005, 0.01, 20),
                           [](double a, double d) { return 0.2 + 0.004 * a + 9.0 * d * d; }));

    std::vector<double> area;
    std::vector<double> deform;
    for (int i = 0; i < 2000; ++i) {
        area.push_back(10.0 + (i * 37 % 290));
        deform.push_back(0.01 + 0.19 * ((i * 53) % 100) / 100.0);
    }
    std::vector<int> indices(area.size());
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<int>(i);

    // References from a calculator that was used by one thread only.
    EModulus single;
    ASSERT_TRUE(single.setLutFile(0, path));
    std::vector<double> expectedColumn;
    ASSERT_TRUE(single.computeColumn(area, deform, nullptr, params(), expectedColumn));
    const std::vector<IsoelasticLine> expectedLines = single.isoelastics(params());
    const EModQualityReport expectedReport =
        single.assessQuality(area, deform, params(), indices);
    ASSERT_FALSE(expectedLines.empty());

    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        EModulus shared;
        ASSERT_TRUE(shared.setLutFile(0, path));
        std::atomic<int> ready{0};
        const auto startTogether = [&ready] {
            ready.fetch_add(1);
            while (ready.load() < 3)
                std::this_thread::yield();
        };

        std::vector<double> column;
        bool computed = false;
        std::vector<IsoelasticLine> lines;
        EModQualityReport report;
        std::thread worker([&] {
            startTogether();
            computed = shared.computeColumn(area, deform, nullptr, params(), column);
        });
        std::thread gui([&] {
            startTogether();
            lines = shared.isoelastics(params());
        });
        std::thread third([&] {
            startTogether();
            report = shared.assessQuality(area, deform, params(), indices);
        });
        worker.join();
        gui.join();
        third.join();

        ASSERT_TRUE(computed);
        EXPECT_EQ(column.size(), expectedColumn.size());
        for (size_t i = 0; i < column.size(); ++i) {
            if (std::isnan(expectedColumn[i]))
                EXPECT_TRUE(std::isnan(column[i]));
            else
                EXPECT_EQ(column[i], expectedColumn[i]);
        }
        ASSERT_EQ(lines.size(), expectedLines.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].modulus, expectedLines[i].modulus);
            EXPECT_EQ(lines[i].points, expectedLines[i].points);
        }
        EXPECT_EQ(report.mapped, expectedReport.mapped);
        EXPECT_EQ(report.nearEdge, expectedReport.nearEdge);
        EXPECT_EQ(report.medianEmodulusAll, expectedReport.medianEmodulusAll);
        EXPECT_EQ(report.medianSensitivity, expectedReport.medianSensitivity);
        // One triangulation, handed to every thread.
        EXPECT_NE(shared.triangulation(0), nullptr);
        EXPECT_EQ(shared.triangulation(0)->triangles.size(),
                  single.triangulation(0)->triangles.size());
    }
}

} // namespace
} // namespace Tervane3
