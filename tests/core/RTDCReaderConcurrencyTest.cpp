// A worker stores computed columns and registers derived traces while other threads list
// names, read columns, images and traces of the same reader, as calculations on the pool do
// while the GUI thread redraws. Run under ThreadSanitizer by `./dev tsan`.
#include "core/Hdf5Lock.h"
#include "core/RTDCReader.h"

#include "support/RtdcFixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

using namespace Tervane3;
using namespace Tervane3::Test;

TEST(RTDCReaderConcurrencyTest, WorkerWritesWhileOthersRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    H5::Exception::dontPrint();
    const std::string file = dir.filePath("complete.rtdc").toStdString();
    writeCompleteFixture(file);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(file));
    const std::size_t events = reader.eventCount();

    constexpr int rounds = 300;
    std::atomic<bool> done{false};
    std::atomic<int> badColumns{0};
    std::atomic<int> unsortedLists{0};

    std::thread worker([&] {
        for (int i = 0; i < rounds; ++i) {
            // Every version of a column holds one value throughout, so a reader that sees
            // mixed values saw freed or half-written storage.
            reader.setFeature("emodulus", std::vector<double>(events, static_cast<double>(i)));
            reader.setFeature("deform", std::vector<double>(events, static_cast<double>(-i)));
            if (i % 10 == 0)
                reader.setFeature("computed_" + std::to_string(i / 10), std::vector<double>(events, 1.0));
            reader.addDerivedTrace("fl1_raw_rf", i % 2 ? "fl1_raw" : "fl1_median");
            reader.addDerivedTrace("derived_" + std::to_string(i % 7), "fl1_raw");
            reader.setTraceProcessing(true, 1 + i % 3, 3.0f, i % 2 == 0, 2, 3.0f, false, 3, i % 3 == 0, 1, true, 1);
        }
        done = true;
    });

    const auto uniform = [](const std::vector<double>& column) {
        return std::adjacent_find(column.begin(), column.end(), std::not_equal_to<>()) == column.end();
    };
    std::thread columns([&] {
        while (!done) {
            const auto names = reader.featureNames();
            if (!std::is_sorted(names.begin(), names.end()))
                ++unsortedLists;
            for (const auto& name : names) {
                if (!isScalarFeatureName(name))
                    continue;
                // Asked before the column: once a name is computed, every column handed out for
                // it is a computed one, while a file column handed out first may still be read
                // after the worker's first replacement (counted as broken before, now and then,
                // when the preload cached "deform" from the file ahead of the worker).
                const bool computed = reader.isComputedFeature(name);
                const auto& column = reader.getFeature(name);
                if ((name == "emodulus" || name == "deform") && computed && !uniform(column))
                    ++badColumns;
            }
            // A reference kept across the worker's replacements stays readable.
            const auto& held = reader.getFeature("emodulus");
            std::this_thread::yield();
            if (!held.empty() && !uniform(held))
                ++badColumns;
            reader.hasFeature("computed_3");
            reader.fileFeatureNames();
        }
    });
    std::thread views([&] {
        while (!done) {
            int width = 0;
            int height = 0;
            reader.readImage(2, width, height);
            reader.readMask(3, width, height);
            for (const auto& name : reader.traceNames())
                reader.getTrace(name, 1);
            reader.preloadAllFeatures();
            reader.path();
        }
    });
    worker.join();
    columns.join();
    views.join();

    EXPECT_EQ(badColumns, 0);
    EXPECT_EQ(unsortedLists, 0);
    const auto names = reader.featureNames();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    for (int k = 0; k < rounds / 10; ++k)
        EXPECT_TRUE(reader.isComputedFeature("computed_" + std::to_string(k)));
    EXPECT_EQ(reader.getFeature("emodulus"), std::vector<double>(events, rounds - 1.0));
    EXPECT_EQ(reader.traceNames().size(), 3u + 1u + 7u); // stored, fl1_raw_rf, derived_0..6
    EXPECT_EQ(reader.fileFeatureNames().size(), 14u);
}

// The GUI thread asks for columns while the pool thread caches them all and the decoding
// threads inflate them: every column it gets is whole (decoded completely or read by itself),
// keeps its address, and the progress reaches every column once in rising order.
TEST(RTDCReaderConcurrencyTest, ColumnsAskedForWhilePreloadingAreWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    H5::Exception::dontPrint();
    const std::string file = dir.filePath("deflated.rtdc").toStdString();
    constexpr std::size_t columns = 12;
    constexpr std::size_t events = 30000;
    std::vector<std::vector<double>> expected(columns, std::vector<double>(events));
    {
        Hdf5Locker lock(hdf5Mutex());
        H5::H5File h5(file, H5F_ACC_TRUNC);
        H5::Group group = h5.createGroup("/events");
        const hsize_t dims = events;
        const hsize_t chunk = 1024;
        H5::DSetCreatPropList create;
        create.setChunk(1, &chunk);
        create.setShuffle();
        create.setDeflate(1);
        for (std::size_t c = 0; c < columns; ++c) {
            for (std::size_t i = 0; i < events; ++i)
                expected[c][i] = static_cast<double>(c) * 1e6 + static_cast<double>(i) * 0.25;
            group.createDataSet("c" + std::to_string(c), H5::PredType::IEEE_F64LE, H5::DataSpace(1, &dims), create)
                .write(expected[c].data(), H5::PredType::NATIVE_DOUBLE);
        }
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.open(file));
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    std::atomic<bool> finished{false};
    std::thread pool([&] {
        reader.preloadAllFeatures([&](std::size_t done, std::size_t total) { progress.emplace_back(done, total); });
        finished = true;
    });
    int brokenColumns = 0;
    int movedColumns = 0;
    std::vector<const std::vector<double>*> first(columns, nullptr);
    while (!finished) {
        for (std::size_t c = columns; c-- > 0;) {
            const std::vector<double>& column = reader.getFeature("c" + std::to_string(c));
            if (column != expected[c])
                ++brokenColumns;
            if (!first[c])
                first[c] = &column;
            else if (first[c] != &column)
                ++movedColumns;
        }
    }
    pool.join();
    EXPECT_EQ(brokenColumns, 0);
    EXPECT_EQ(movedColumns, 0);
    for (std::size_t c = 0; c < columns; ++c)
        EXPECT_EQ(reader.getFeature("c" + std::to_string(c)), expected[c]);
    ASSERT_EQ(progress.size(), columns);
    for (std::size_t i = 0; i < columns; ++i)
        EXPECT_EQ(progress[i], std::make_pair(i + 1, columns));
}
