// The .rtdc writer (see RtdcWriter.h). Per-event datasets are written one chunk per event:
// rows are read from the source on this thread under the HDF5 lock, deflated on worker
// threads while the next batch is read (libdeflate: the same zlib streams as HDF5's deflate
// filter writes, in half zlib's time), and stored as finished chunks (H5Dwrite_chunk), so
// the library's single-threaded filter pipeline is not the limit.
#include "io/RtdcWriter.h"

#include "core/Hdf5Lock.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "io/OfflineFilterRecord.h"

#include <QDate>

#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <iostream>
#include <limits>
#include <set>

namespace Tervane3::RtdcWriter {

namespace {

constexpr int kDeflateLevel = 4;

std::string& injectedFailure()
{
    static std::string step;
    return step;
}

void failIfInjected(const char* step)
{
    if (injectedFailure() == step)
        throw H5::Exception(step, "failure injected by a test");
}

void quietLibrary()
{
    // Automatic error printing is per thread in a thread-safe build; we report ourselves.
    H5::Exception::dontPrint();
}

void report(const std::string& prefix, const H5::Exception& e)
{
    std::cerr << prefix << e.getDetailMsg() << std::endl;
}

// Fills a row of the dataset for the event at this position of the selection; false leaves
// the row at the fill value 0. Runs on the calling thread with the HDF5 lock held.
using RowSource = std::function<bool(size_t position, unsigned char* row)>;

struct RowBatch
{
    size_t first = 0;
    size_t count = 0;
    std::vector<unsigned char> rows;        // count x rowBytes
    std::vector<char> present;              // row filled by the source
    std::vector<std::vector<unsigned char>> packed; // deflated rows
    bool compressFailed = false;
};

void readBatch(RowBatch& batch, size_t first, size_t count, size_t rowBytes, const RowSource& source)
{
    batch.first = first;
    batch.count = count;
    batch.rows.assign(count * rowBytes, 0);
    batch.present.assign(count, 0);
    Hdf5Locker lock(hdf5Mutex());
    for (size_t i = 0; i < count; ++i)
        batch.present[i] = source(first + i, batch.rows.data() + i * rowBytes) ? 1 : 0;
}

// The deflate filter of HDF5 stores zlib streams (as compress2 makes them) at the dataset's
// level; any zlib stream of the rows decodes the same.
void compressBatch(RowBatch& batch, size_t rowBytes)
{
    batch.packed.resize(batch.count);
    std::atomic<bool> failed{false};
    parallelFor(batch.count, 16, [&](size_t begin, size_t end) {
        // A compressor is not shared between threads.
        std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
            libdeflate_alloc_compressor(kDeflateLevel), libdeflate_free_compressor);
        if (!compressor) {
            failed = true;
            return;
        }
        const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rowBytes);
        for (size_t i = begin; i < end; ++i) {
            std::vector<unsigned char>& out = batch.packed[i];
            out.clear();
            if (!batch.present[i])
                continue;
            out.resize(bound);
            const size_t size = libdeflate_zlib_compress(compressor.get(), batch.rows.data() + i * rowBytes,
                                                         rowBytes, out.data(), out.size());
            if (size == 0) {
                failed = true;
                out.clear();
                continue;
            }
            out.resize(size);
        }
    });
    batch.compressFailed = failed;
}

void storeBatch(const H5::DataSet& set, const RowBatch& batch)
{
    if (batch.compressFailed)
        throw H5::DataSetIException("libdeflate_zlib_compress", "deflating an event's row failed");
    Hdf5Locker lock(hdf5Mutex());
    hsize_t offset[3] = {0, 0, 0};
    for (size_t i = 0; i < batch.count; ++i) {
        if (!batch.present[i])
            continue;
        offset[0] = batch.first + i;
        const std::vector<unsigned char>& chunk = batch.packed[i];
        if (H5Dwrite_chunk(set.getId(), H5P_DEFAULT, 0, offset, chunk.size(), chunk.data()) < 0)
            throw H5::DataSetIException("H5Dwrite_chunk", "writing the chunk of event row "
                                                              + std::to_string(offset[0]) + " failed");
    }
}

// Writes `count` rows of rowBytes into a dataset chunked one row per chunk and deflated.
void writeDeflatedRows(const H5::DataSet& set, size_t count, size_t rowBytes,
                       const RowSource& source)
{
    // About 4 MB of rows per batch: few lock turns, little memory.
    const size_t batchRows = std::clamp<size_t>((size_t(4) << 20) / std::max<size_t>(rowBytes, 1), 16, 4096);
    RowBatch batches[2];
    std::future<void> compressing; // destroyed first: waits for the task before the batches go
    RowBatch* inFlight = nullptr;
    int next = 0;
    for (size_t first = 0; first < count; first += batchRows) {
        RowBatch& batch = batches[next];
        next ^= 1;
        readBatch(batch, first, std::min(batchRows, count - first), rowBytes, source);
        if (inFlight) {
            compressing.get();
            storeBatch(set, *inFlight);
        }
        compressing = std::async(std::launch::async, [&batch, rowBytes] { compressBatch(batch, rowBytes); });
        inFlight = &batch;
    }
    if (inFlight) {
        compressing.get();
        storeBatch(set, *inFlight);
    }
}

H5::DataSet createPerEventSet(H5::Group& parent, const std::string& name, const H5::PredType& type,
                              const std::vector<hsize_t>& dims)
{
    std::vector<hsize_t> chunk = dims;
    chunk[0] = 1;
    H5::DSetCreatPropList create;
    create.setChunk(static_cast<int>(chunk.size()), chunk.data());
    create.setDeflate(kDeflateLevel);
    H5::DataSpace space(static_cast<int>(dims.size()), dims.data());
    return parent.createDataSet(name, type, space, create);
}

using FrameReader = std::vector<std::uint8_t> (RTDCReader::*)(std::uint64_t, int&, int&) const;

bool writeFrames(FileHandle& file, const RTDCReader& reader, const std::vector<int>& selection,
                 bool mask)
{
    const char* step = mask ? "masks" : "images";
    const std::string prefix = mask ? "Error writing masks: " : "Error writing images: ";
    if (!file || selection.empty() || !(mask ? reader.hasMask() : reader.hasImage()))
        return true;
    const FrameReader read = mask ? &RTDCReader::readMask : &RTDCReader::readImage;
    quietLibrary();
    try {
        failIfInjected(step);
        // The frame size of the first event whose frame can be read.
        int width = 0;
        int height = 0;
        for (int index : selection) {
            int w = 0;
            int h = 0;
            if (index >= 0 && !(reader.*read)(static_cast<std::uint64_t>(index), w, h).empty() && w > 0 && h > 0) {
                width = w;
                height = h;
                break;
            }
        }
        if (width < 1 || height < 1)
            throw H5::DataSetIException(step, "no event's frame could be read");
        const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
        H5::DataSet set;
        {
            Hdf5Locker lock(hdf5Mutex());
            H5::Group events = file->openGroup("/events");
            set = createPerEventSet(events, mask ? "mask" : "image", H5::PredType::NATIVE_UINT8,
                                    {selection.size(), static_cast<hsize_t>(height), static_cast<hsize_t>(width)});
        }
        writeDeflatedRows(set, selection.size(), rowBytes, [&](size_t position, unsigned char* row) {
            const int index = selection[position];
            if (index < 0)
                return false;
            int w = 0;
            int h = 0;
            const std::vector<std::uint8_t> pixels = (reader.*read)(static_cast<std::uint64_t>(index), w, h);
            if (pixels.size() != rowBytes || w != width || h != height)
                return false;
            std::memcpy(row, pixels.data(), rowBytes);
            return true;
        });
        Hdf5Locker lock(hdf5Mutex());
        set.close();
        return true;
    } catch (const H5::Exception& e) {
        report(prefix, e);
        return false;
    }
}

} // namespace

void failStepForTesting(const std::string& step)
{
    injectedFailure() = step;
}

void writeStringAttribute(H5::H5File& file, const std::string& name, const std::string& value)
{
    H5::Group root = file.openGroup("/");
    if (root.attrExists(name))
        root.removeAttr(name);
    const H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    H5::Attribute attribute = root.createAttribute(name, type, H5::DataSpace(H5S_SCALAR));
    attribute.write(type, value);
}

void writePointsAttribute(H5::H5File& file, const std::string& name,
                          const std::vector<std::pair<double, double>>& points)
{
    H5::Group root = file.openGroup("/");
    if (root.attrExists(name))
        root.removeAttr(name);
    const hsize_t dims[2] = {points.size(), 2};
    H5::Attribute attribute = root.createAttribute(name, H5::PredType::IEEE_F32LE, H5::DataSpace(2, dims));
    if (points.empty())
        return; // an empty polygon stays an empty 0 x 2 array
    std::vector<float> buffer;
    buffer.reserve(2 * points.size());
    for (const auto& [x, y] : points) {
        buffer.push_back(static_cast<float>(x));
        buffer.push_back(static_cast<float>(y));
    }
    attribute.write(H5::PredType::NATIVE_FLOAT, buffer.data());
}

bool create(FileHandle& file, const std::string& path)
{
    Hdf5Locker lock(hdf5Mutex());
    // Checks the library against the headers this program was compiled with.
    H5check();
    H5open();
    quietLibrary();
    try {
        file.reset();
        failIfInjected("create");
        file = std::make_unique<H5::H5File>(path, H5F_ACC_TRUNC);
        file->createGroup("/events");
        return true;
    } catch (const H5::Exception& e) {
        report("Error creating file: ", e);
        return false;
    }
}

bool copyMetadata(FileHandle& file, const Metadata& metadata)
{
    if (!file)
        return false;
    Hdf5Locker lock(hdf5Mutex());
    quietLibrary();
    bool ok = true;
    try {
        failIfInjected("metadata");
        std::set<std::string> arrays;
        for (const MetadataPolygonFilter& polygon : metadata.polygonFilters)
            arrays.insert("online_filter:" + polygon.xFeature + "," + polygon.yFeature + " polygon points");
        for (const auto& [name, text] : metadata.allEntries) {
            if (arrays.count(name))
                continue;
            try {
                writeStringAttribute(*file, name, text);
            } catch (const H5::Exception& e) {
                report("Warning: failed to write attribute '" + name + "': ", e);
                ok = false;
            }
        }
        std::set<std::string> written;
        for (const MetadataPolygonFilter& polygon : metadata.polygonFilters) {
            const std::string name = "online_filter:" + polygon.xFeature + "," + polygon.yFeature + " polygon points";
            if (!written.insert(name).second) {
                // Two stored polygons on one pair (from different sections) map to one name.
                std::cerr << "Warning: polygon attribute '" << name << "' written once; a later polygon on the same pair is left out" << std::endl;
                continue;
            }
            try {
                writePointsAttribute(*file, name, polygon.points);
            } catch (const H5::Exception& e) {
                report("Warning: failed to write polygon attribute '" + name + "': ", e);
                ok = false;
            }
        }
    } catch (const H5::Exception& e) {
        report("Error copying metadata: ", e);
        ok = false;
    }
    return ok;
}

bool writeOfflineFilter(FileHandle& file, const EventFilter& filter, const RTDCReader& reader)
{
    if (!file)
        return false;
    if (!filter.isEnabled())
        return true;
    const size_t events = static_cast<size_t>(reader.eventCount());
    const OfflineFilterRecord record = buildOfflineFilterRecord(filter, [&](const std::string& name) {
        return reader.hasFeature(name) && reader.getFeature(name).size() >= events;
    });
    for (const std::string& warning : record.warnings)
        std::cerr << "Warning: " << warning << std::endl;
    Hdf5Locker lock(hdf5Mutex());
    quietLibrary();
    try {
        failIfInjected("filter");
        for (const OfflineFilterAttribute& attribute : record.attributes) {
            if (attribute.isPoints)
                writePointsAttribute(*file, attribute.name, attribute.points);
            else
                writeStringAttribute(*file, attribute.name, attribute.text);
        }
        return true;
    } catch (const H5::Exception& e) {
        report("Error writing offline filter metadata: ", e);
        return false;
    }
}

bool writeExportMetadata(FileHandle& file, std::uint64_t eventCount, const std::string& changedSampleName)
{
    if (!file)
        return false;
    Hdf5Locker lock(hdf5Mutex());
    quietLibrary();
    try {
        failIfInjected("export");
        writeStringAttribute(*file, "export:date",
                             QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString());
        writeStringAttribute(*file, "export:event count", std::to_string(eventCount));
        const std::string changed = "export:changed sample name";
        if (!changedSampleName.empty()) {
            writeStringAttribute(*file, changed, changedSampleName);
        } else {
            H5::Group root = file->openGroup("/");
            if (root.attrExists(changed))
                root.removeAttr(changed);
        }
        return true;
    } catch (const H5::Exception& e) {
        report("Error writing export metadata: ", e);
        return false;
    }
}

bool writeScalarFeatures(FileHandle& file, const std::vector<std::string>& names,
                         const std::vector<int>& selection, const RTDCReader& reader)
{
    if (!file)
        return false;
    if (selection.empty())
        return true;
    quietLibrary();
    bool ok = true;
    std::vector<double> buffer(selection.size());
    const double missing = std::numeric_limits<double>::quiet_NaN();
    for (const std::string& name : names) {
        try {
            failIfInjected("features");
            const std::vector<double>& column = reader.getFeature(name);
            if (column.empty())
                continue;
            const size_t size = column.size();
            for (size_t i = 0; i < selection.size(); ++i) {
                const int index = selection[i];
                buffer[i] = index >= 0 && static_cast<size_t>(index) < size ? column[static_cast<size_t>(index)] : missing;
            }
            Hdf5Locker lock(hdf5Mutex());
            const hsize_t n = selection.size();
            H5::DataSpace space(1, &n);
            H5::DataSet set = file->createDataSet("/events/" + name, H5::PredType::IEEE_F64LE, space);
            set.write(buffer.data(), H5::PredType::NATIVE_DOUBLE);
        } catch (const H5::Exception& e) {
            report("Error writing feature '" + name + "': ", e);
            ok = false;
        }
    }
    return ok;
}

bool writeImages(FileHandle& file, const RTDCReader& reader, const std::vector<int>& selection)
{
    return writeFrames(file, reader, selection, false);
}

bool writeMasks(FileHandle& file, const RTDCReader& reader, const std::vector<int>& selection)
{
    return writeFrames(file, reader, selection, true);
}

bool writeTraces(FileHandle& file, const RTDCReader& reader, const std::vector<int>& selection)
{
    if (!file)
        return false;
    if (selection.empty() || !reader.hasTraces())
        return true;
    quietLibrary();
    try {
        failIfInjected("traces");
        H5::Group group;
        {
            Hdf5Locker lock(hdf5Mutex());
            group = file->createGroup("/events/trace");
        }
        const std::uint64_t length = reader.traceLength();
        if (length == 0)
            return true;
        const size_t rowBytes = static_cast<size_t>(length) * sizeof(float);
        for (const std::string& name : reader.traceNames()) {
            H5::DataSet set;
            {
                Hdf5Locker lock(hdf5Mutex());
                set = createPerEventSet(group, name, H5::PredType::IEEE_F32LE, {selection.size(), length});
            }
            writeDeflatedRows(set, selection.size(), rowBytes, [&](size_t position, unsigned char* row) {
                const int index = selection[position];
                if (index < 0)
                    return false;
                const std::vector<float> trace = reader.getTrace(name, static_cast<std::uint64_t>(index));
                if (trace.empty())
                    return false;
                const size_t samples = std::min<size_t>(trace.size(), static_cast<size_t>(length));
                std::memcpy(row, trace.data(), samples * sizeof(float)); // the rest stays 0
                return true;
            });
            Hdf5Locker lock(hdf5Mutex());
            set.close();
        }
        return true;
    } catch (const H5::Exception& e) {
        report("Error writing traces: ", e);
        return false;
    }
}

bool close(FileHandle& file)
{
    Hdf5Locker lock(hdf5Mutex());
    quietLibrary();
    if (!file)
        return true;
    try {
        failIfInjected("close");
        file->close();
        file.reset();
        return true;
    } catch (const H5::Exception& e) {
        report("Error closing file: ", e);
        return false;
    }
}

void closeNoThrow(FileHandle& file) noexcept
{
    Hdf5Locker lock(hdf5Mutex());
    try {
        file.reset();
    } catch (...) {
        // The file object is gone whatever its close reported; nothing else to do.
    }
}

} // namespace Tervane3::RtdcWriter
