// The .rtdc writer on fixture measurements: what it writes reads back through our reader
// unchanged (values of the chosen events, frames, traces, metadata texts), in the layout of
// instrument files, and each step reports its failures.
#include "io/RtdcWriter.h"

#include "ExportTestSupport.h"
#include "support/RtdcFixture.h"

#include "support/RuleBuilders.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTemporaryDir>

#include <cmath>
#include <thread>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

using fx::RtdcFixture;

// The HDF5 lock is free for other threads (it must be between steps).
bool lockFreeForOthers()
{
    bool free = false;
    std::thread probe([&] {
        free = hdf5Mutex().try_lock();
        if (free)
            hdf5Mutex().unlock();
    });
    probe.join();
    return free;
}

class RtdcWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        source = path("source.rtdc");
        fx::writeCompleteFixture(source);
        entry = fx::openEntry(source);
        ASSERT_TRUE(entry);
    }
    void TearDown() override { RtdcWriter::failStepForTesting(std::string()); }

    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    // Every step in the export's order; false at the first step that fails.
    bool writeAll(const std::string& out, const DatasetEntry& from, const std::vector<int>& selection,
                  const EventFilter* filter = nullptr, const std::string& changedName = std::string())
    {
        RtdcWriter::FileHandle file;
        const RTDCReader& reader = *from.reader;
        std::vector<std::string> features;
        for (const std::string& name : reader.featureNames())
            if (isScalarFeatureName(name))
                features.push_back(name);
        bool ok = RtdcWriter::create(file, out) && lockFreeForOthers()
                  && RtdcWriter::copyMetadata(file, from.metadata) && lockFreeForOthers()
                  && (!filter || RtdcWriter::writeOfflineFilter(file, *filter, reader))
                  && RtdcWriter::writeExportMetadata(file, selection.size(), changedName)
                  && RtdcWriter::writeScalarFeatures(file, features, selection, reader) && lockFreeForOthers()
                  && RtdcWriter::writeImages(file, reader, selection) && lockFreeForOthers()
                  && RtdcWriter::writeMasks(file, reader, selection)
                  && RtdcWriter::writeTraces(file, reader, selection) && lockFreeForOthers()
                  && RtdcWriter::close(file);
        RtdcWriter::closeNoThrow(file);
        return ok;
    }

    QTemporaryDir dir;
    std::string source;
    std::unique_ptr<DatasetEntry> entry;
};

TEST_F(RtdcWriterTest, ChosenEventsReadBackUnchanged)
{
    const std::vector<int> selection = {1, 3, 4};
    const std::string out = path("out.rtdc");
    ASSERT_TRUE(writeAll(out, *entry, selection, nullptr, "renamed"));

    RTDCReader copy;
    ASSERT_TRUE(copy.open(out));
    EXPECT_EQ(copy.eventCount(), 3u);
    const RTDCReader& src = *entry->reader;
    for (const std::string& name : src.featureNames()) {
        if (!isScalarFeatureName(name))
            continue;
        SCOPED_TRACE(name);
        const std::vector<double>& original = src.getFeature(name);
        const std::vector<double>& written = copy.getFeature(name);
        ASSERT_EQ(written.size(), selection.size());
        // A column the reader cannot convert (the fixture's strings) is not-a-number.
        for (size_t i = 0; i < selection.size(); ++i) {
            const double expected = original[static_cast<size_t>(selection[i])];
            if (std::isnan(expected))
                EXPECT_TRUE(std::isnan(written[i]));
            else
                EXPECT_EQ(written[i], expected);
        }
    }
    for (size_t i = 0; i < selection.size(); ++i) {
        SCOPED_TRACE(i);
        int w0 = 0, h0 = 0, w1 = 0, h1 = 0;
        const auto index = static_cast<std::uint64_t>(selection[i]);
        EXPECT_EQ(copy.readImage(i, w1, h1), src.readImage(index, w0, h0));
        EXPECT_EQ(w1, 5);
        EXPECT_EQ(h1, 4);
        EXPECT_EQ(copy.readMask(i, w1, h1), src.readMask(index, w0, h0));
    }
    EXPECT_EQ(copy.traceNames(), src.traceNames());
    for (const std::string& trace : src.traceNames())
        for (size_t i = 0; i < selection.size(); ++i)
            EXPECT_EQ(copy.getTrace(trace, i), src.getTrace(trace, static_cast<std::uint64_t>(selection[i]))) << trace;

    // Every metadata text comes back as it was, plus this export's record.
    const Metadata written = copy.readMetadata();
    std::map<std::string, std::string> expected = entry->metadata.allEntries;
    expected["export:date"] = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    expected["export:event count"] = "3";
    expected["export:changed sample name"] = "renamed";
    EXPECT_EQ(written.allEntries, expected);
    ASSERT_EQ(written.polygonFilters.size(), 1u);
    EXPECT_EQ(written.polygonFilters[0].points, entry->metadata.polygonFilters[0].points);
}

TEST_F(RtdcWriterTest, LayoutOfInstrumentFiles)
{
    const std::string out = path("out.rtdc");
    ASSERT_TRUE(writeAll(out, *entry, {0, 2, 5}));
    struct Case
    {
        const char* path;
        H5T_class_t typeClass;
        size_t size;
        std::vector<hsize_t> dims;
        H5D_layout_t layout;
        std::vector<hsize_t> chunk;
        int deflate;
    };
    const Case cases[] = {
        {"/events/deform", H5T_FLOAT, 8, {3}, H5D_CONTIGUOUS, {}, -1},
        {"/events/frame", H5T_FLOAT, 8, {3}, H5D_CONTIGUOUS, {}, -1},
        {"/events/ml_class", H5T_FLOAT, 8, {3}, H5D_CONTIGUOUS, {}, -1},
        {"/events/image", H5T_INTEGER, 1, {3, 4, 5}, H5D_CHUNKED, {1, 4, 5}, 4},
        {"/events/mask", H5T_INTEGER, 1, {3, 4, 5}, H5D_CHUNKED, {1, 4, 5}, 4},
        {"/events/trace/fl1_raw", H5T_FLOAT, 4, {3, 8}, H5D_CHUNKED, {1, 8}, 4},
        {"/events/trace/fl2_raw", H5T_FLOAT, 4, {3, 8}, H5D_CHUNKED, {1, 8}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const fx::DatasetLayout layout = fx::probeDataset(out, c.path);
        ASSERT_TRUE(layout.exists);
        EXPECT_EQ(layout.typeClass, c.typeClass);
        EXPECT_EQ(layout.typeSize, c.size);
        EXPECT_TRUE(layout.littleEndian);
        EXPECT_FALSE(layout.isSigned);
        EXPECT_EQ(layout.dims, c.dims);
        EXPECT_EQ(layout.layout, c.layout);
        EXPECT_EQ(layout.chunk, c.chunk);
        EXPECT_EQ(layout.deflateLevel, c.deflate);
        EXPECT_EQ(layout.filters, c.deflate < 0 ? 0 : 1);
    }
    // Metadata are scalar variable-length strings whatever they were in the source (an
    // integer and an enumeration here); polygons float32 N x 2.
    for (const char* name : {"experiment:event count", "online_contour:no absdiff", "setup:flow rate",
                             "experiment:date", "export:event count"}) {
        SCOPED_TRACE(name);
        const fx::AttributeKind kind = fx::probeAttribute(out, name);
        EXPECT_TRUE(kind.exists);
        EXPECT_TRUE(kind.variableString);
        EXPECT_TRUE(kind.dims.empty());
    }
    const fx::AttributeKind polygon = fx::probeAttribute(out, "online_filter:area_um,deform polygon points");
    EXPECT_EQ(polygon.typeClass, H5T_FLOAT);
    EXPECT_EQ(polygon.typeSize, 4u);
    EXPECT_EQ(polygon.dims, (std::vector<hsize_t>{3, 2}));
}

TEST_F(RtdcWriterTest, PolygonsOfOtherSectionsAndEmptyPolygons)
{
    const std::string src = path("polygons.rtdc");
    {
        RtdcFixture f(src);
        f.addColumn<double>("area_um", {1, 2});
        f.addPointsAttribute("offline_filter:area_um,deform polygon points", {{1, 2}, {3, 4}, {5, 0}});
        f.addPointsAttribute("online_filter:area_um,bright_avg polygon points", {});
    }
    auto polygons = fx::openEntry(src);
    ASSERT_TRUE(polygons);
    const std::string out = path("out.rtdc");
    ASSERT_TRUE(writeAll(out, *polygons, {0}));
    // The array goes under online_filter; its text keeps the name it had.
    EXPECT_EQ(fx::probeAttribute(out, "online_filter:area_um,deform polygon points").dims,
              (std::vector<hsize_t>{3, 2}));
    EXPECT_TRUE(fx::probeAttribute(out, "offline_filter:area_um,deform polygon points").variableString);
    // An empty polygon stays an empty array instead of failing the metadata.
    EXPECT_EQ(fx::probeAttribute(out, "online_filter:area_um,bright_avg polygon points").dims,
              (std::vector<hsize_t>{0, 2}));
}

TEST_F(RtdcWriterTest, ShortAndMissingColumnsAndUnreadableRows)
{
    const std::string src = path("uneven.rtdc");
    {
        RtdcFixture f(src);
        f.addColumn<double>("area_um", {1, 2, 3, 4});
        f.addColumn<double>("short", {10, 20});
        std::vector<std::uint8_t> frames(2 * 2 * 3, 7);
        f.addFrames("image", frames, 2, 2, 3); // frames for events 0 and 1 only
    }
    auto uneven = fx::openEntry(src);
    ASSERT_TRUE(uneven);
    const std::string out = path("out.rtdc");
    RtdcWriter::FileHandle file;
    ASSERT_TRUE(RtdcWriter::create(file, out));
    EXPECT_TRUE(RtdcWriter::writeScalarFeatures(file, {"area_um", "short", "missing"}, {1, 3}, *uneven->reader));
    EXPECT_TRUE(RtdcWriter::writeImages(file, *uneven->reader, {1, 3}));
    EXPECT_TRUE(RtdcWriter::close(file));

    RTDCReader copy;
    ASSERT_TRUE(copy.open(out));
    EXPECT_EQ(copy.getFeature("area_um"), (std::vector<double>{2, 4}));
    const std::vector<double>& shortColumn = copy.getFeature("short");
    ASSERT_EQ(shortColumn.size(), 2u);
    EXPECT_EQ(shortColumn[0], 20);
    EXPECT_TRUE(std::isnan(shortColumn[1])); // beyond the column's end
    EXPECT_FALSE(copy.hasFeature("missing"));
    int w = 0, h = 0;
    EXPECT_EQ(copy.readImage(0, w, h), std::vector<std::uint8_t>(6, 7));
    EXPECT_EQ(copy.readImage(1, w, h), std::vector<std::uint8_t>(6, 0)); // no frame: zeros
}

TEST_F(RtdcWriterTest, TracesOfLengthZeroGiveAnEmptyGroup)
{
    const std::string src = path("notrace.rtdc");
    {
        RtdcFixture f(src);
        f.addColumn<double>("area_um", {1, 2});
        f.addGroup("/events/trace");
        f.addDataset("/events/trace/fl1_raw", H5::PredType::NATIVE_INT16, {2, 0}, H5::PredType::NATIVE_INT16, nullptr);
    }
    auto noTrace = fx::openEntry(src);
    ASSERT_TRUE(noTrace);
    ASSERT_TRUE(noTrace->reader->hasTraces());
    const std::string out = path("out.rtdc");
    RtdcWriter::FileHandle file;
    ASSERT_TRUE(RtdcWriter::create(file, out));
    EXPECT_TRUE(RtdcWriter::writeTraces(file, *noTrace->reader, {0, 1}));
    EXPECT_TRUE(RtdcWriter::close(file));
    EXPECT_TRUE(fx::groupMembers(out, "/events/trace").empty());
    EXPECT_FALSE(fx::probeDataset(out, "/events/trace/fl1_raw").exists);
}

// Regression: a source exported before kept its old event count and changed sample name, as
// the new record failed at the copied names.
TEST_F(RtdcWriterTest, RecordOfThisExportReplacesCopiedOnes)
{
    const std::string src = path("exported.rtdc");
    {
        RtdcFixture f(src);
        f.addColumn<double>("area_um", {10, 12, 14, 16});
        f.addStringAttribute("experiment:sample", "cells");
        f.addStringAttribute("export:date", "2001-02-03");
        f.addStringAttribute("export:event count", "999");
        f.addStringAttribute("export:changed sample name", "old name");
        f.addStringAttribute("offline_filter:area_um min", "0.000000");
        f.addStringAttribute("offline_filter:deform max", "0.500000");
    }
    auto exported = fx::openEntry(src);
    ASSERT_TRUE(exported);
    EventFilter filter;
    filter.addRule(fx::rangeRule("area_um", 11, 15));
    const std::string out = path("again.rtdc");
    ASSERT_TRUE(writeAll(out, *exported, {1, 2}, &filter));
    RTDCReader copy;
    ASSERT_TRUE(copy.open(out));
    const Metadata m = copy.readMetadata();
    EXPECT_EQ(m.value("export", "event count"), "2");
    EXPECT_EQ(m.value("export", "date"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString());
    EXPECT_EQ(m.exportInfo.count("changed sample name"), 0u);
    EXPECT_EQ(m.value("offline_filter", "area_um min"), "11.000000");
    EXPECT_EQ(m.value("offline_filter", "area_um max"), "15.000000");
    // A limit of the earlier export on another feature still holds for these events.
    EXPECT_EQ(m.value("offline_filter", "deform max"), "0.500000");
}

TEST_F(RtdcWriterTest, EveryStepReportsItsFailure)
{
    EventFilter filter;
    filter.addRule(fx::rangeRule("deform", 0, 1));
    for (const char* step : {"create", "metadata", "filter", "export", "features", "images", "masks", "traces", "close"}) {
        SCOPED_TRACE(step);
        RtdcWriter::failStepForTesting(step);
        EXPECT_FALSE(writeAll(path("failing.rtdc"), *entry, {0, 1}, &filter));
    }
    RtdcWriter::failStepForTesting(std::string());
    EXPECT_TRUE(writeAll(path("fine.rtdc"), *entry, {0, 1}, &filter));
}

TEST_F(RtdcWriterTest, CreateFailsBelowARegularFile)
{
    // Tests run as root: only a path below a regular file stops a write.
    RtdcWriter::FileHandle file;
    EXPECT_FALSE(RtdcWriter::create(file, source + "/x.rtdc"));
    EXPECT_FALSE(file);
    EXPECT_FALSE(RtdcWriter::copyMetadata(file, entry->metadata));
    RtdcWriter::closeNoThrow(file);
}

} // namespace
} // namespace Tervane3
