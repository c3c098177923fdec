// A worker stores computed columns and registers derived traces while other threads list
// names, read columns, images and traces of the same reader, as calculations on the pool do
// while the GUI thread redraws. Run under ThreadSanitizer by `./dev tsan`.
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
                const auto& column = reader.getFeature(name);
                if ((name == "emodulus" || name == "deform") && reader.isComputedFeature(name) && !uniform(column))
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
