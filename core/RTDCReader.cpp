// The .rtdc reader: opening and indexing a file, feature columns and their cache, event
// images and masks. Metadata and traces are in RTDCReaderMetadata.cpp and
// RTDCReaderTraces.cpp; the HDF5 handles shared by all three are in RTDCReaderPrivate.h.
#include "core/RTDCReader.h"

#include "core/FeatureCatalogue.h"
#include "core/Hdf5Lock.h"
#include "core/RTDCReaderPrivate.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iostream>
#include <limits>
#include <mutex>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Tervane3 {

const std::vector<double>& emptyColumn()
{
    static const std::vector<double> empty;
    return empty;
}

bool isScalarFeatureName(const std::string& name)
{
    return name != "image" && name != "mask" && name != "contour";
}

namespace {

struct MessageSinkSlot
{
    std::mutex mutex;
    ReaderMessageSink sink;
};

MessageSinkSlot& messageSinkSlot()
{
    // Never destroyed: pool threads may still report while static objects are torn down.
    static MessageSinkSlot* slot = new MessageSinkSlot;
    return *slot;
}

struct ColumnDisposerSlot
{
    std::mutex mutex;
    ColumnDisposer disposer;
    std::uint64_t ticket = 0;
};

ColumnDisposerSlot& columnDisposerSlot()
{
    // Never destroyed, like the message sink: readers may close while statics are torn down.
    static ColumnDisposerSlot* slot = new ColumnDisposerSlot;
    return *slot;
}

// Hands the whole pages inside a column's values back to the system. Only pages within the
// values are touched: the allocator's own records lie before them and after them.
void returnColumnPages(const std::vector<double>& column)
{
#if defined(__linux__) && defined(MADV_DONTNEED)
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(column.data());
    const std::uintptr_t end = begin + column.capacity() * sizeof(double);
    const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t last = end & ~(page - 1);
    if (last <= first)
        return;
#if defined(MADV_NOHUGEPAGE)
    // The range the column decoder may have advised (whole 2 MiB pages inside the values).
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t hugeFirst = (begin + huge - 1) & ~(huge - 1);
    const std::uintptr_t hugeLast = end & ~(huge - 1);
    if (hugeLast > hugeFirst)
        madvise(reinterpret_cast<void*>(hugeFirst), hugeLast - hugeFirst, MADV_NOHUGEPAGE);
#endif
    madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#else
    (void)column;
#endif
}

// Hands the storage to the installed disposer, else frees it here. The disposer is called
// under the slot's mutex, so that its owner can remove it and then go away safely.
void disposeColumns(ColumnStorage&& storage)
{
    if (storage.empty())
        return;
    ColumnDisposerSlot& slot = columnDisposerSlot();
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.disposer) {
            slot.disposer(std::move(storage));
            return;
        }
    }
    storage.clear();
}

// Whether the library's error stack (still that of the failed call) says the file ends
// before the end its superblock records.
bool libraryReportsTruncation()
{
    bool truncated = false;
    H5Ewalk2(
        H5E_DEFAULT, H5E_WALK_DOWNWARD,
        [](unsigned, const H5E_error2_t* error, void* data) -> herr_t {
            if (error && error->desc && std::string(error->desc).find("truncated file") != std::string::npos)
                *static_cast<bool*>(data) = true;
            return 0;
        },
        &truncated);
    return truncated;
}

} // namespace

void setReaderMessageSink(ReaderMessageSink sink)
{
    MessageSinkSlot& slot = messageSinkSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.sink = std::move(sink);
}

void freeColumnStorage(ColumnStorage&& storage)
{
    for (std::unique_ptr<std::vector<double>>& column : storage) {
        if (!column)
            continue;
        returnColumnPages(*column);
        column.reset();
    }
    storage.clear();
}

std::uint64_t installColumnDisposer(ColumnDisposer disposer)
{
    ColumnDisposerSlot& slot = columnDisposerSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.disposer = std::move(disposer);
    return ++slot.ticket;
}

void removeColumnDisposer(std::uint64_t ticket)
{
    ColumnDisposerSlot& slot = columnDisposerSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.ticket == ticket)
        slot.disposer = nullptr;
}

void sendReaderMessage(const std::string& line)
{
    Hdf5Detail::reportReaderMessage(line);
}

namespace Hdf5Detail {

void reportReaderMessage(const std::string& line)
{
    std::cerr << line << std::endl;
    MessageSinkSlot& slot = messageSinkSlot();
    ReaderMessageSink sink;
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        sink = slot.sink;
    }
    if (sink)
        sink(line);
}

std::string describeStoredType(hid_t id)
{
    const std::size_t size = H5Tget_size(id);
    const std::string bytes = std::to_string(size) + "-byte ";
    switch (H5Tget_class(id)) {
    case H5T_STRING:
        return "text (strings)";
    case H5T_INTEGER:
        return isPlainNumberId(id) ? bytes + "integers" : "a damaged integer type";
    case H5T_FLOAT:
        return isPlainNumberId(id) ? bytes + "floating-point numbers" : "a damaged floating-point type";
    case H5T_ENUM:
        return "an enumeration over a damaged or non-integer type";
    case H5T_COMPOUND:
        return "records of several fields (compound)";
    case H5T_BITFIELD:
        return "bit fields";
    case H5T_OPAQUE:
        return "opaque bytes";
    case H5T_REFERENCE:
        return "references to other objects";
    case H5T_VLEN:
        return "variable-length sequences";
    case H5T_ARRAY:
        return "arrays";
    case H5T_TIME:
        return "time values";
    default:
        return "an unknown type";
    }
}

void quiet()
{
    // The library's automatic error printing is per thread in a thread-safe build, so the
    // switch made at start-up does not reach pool threads. Errors are reported by us.
    H5::Exception::dontPrint();
}

bool linkExists(hid_t location, const char* path)
{
    // H5Lexists reports an error (not false) when a middle group is missing; callers test
    // each level from the top.
    return H5Lexists(location, path, H5P_DEFAULT) > 0;
}

bool plausibleSize(hsize_t fileSize, hsize_t elements, std::size_t elementSize)
{
    // A damaged header can claim any extent. Refuse what the file cannot hold even at the
    // best deflate ratio (about 1:1030), so a bad file never makes us allocate gigabytes.
    constexpr hsize_t maxElements = hsize_t(1) << 40;
    if (elementSize == 0 || elements > maxElements)
        return false;
    const long double bytes = static_cast<long double>(elements) * elementSize;
    const long double limit = static_cast<long double>(fileSize) * 1100.0L + 16.0L * 1024 * 1024;
    return bytes <= limit;
}

H5::DSetAccPropList perEventAccess()
{
    // Rows of one event are read one at a time: keep decompressed chunks of images and
    // traces around (the library default of 1 MiB holds about one image chunk).
    H5::DSetAccPropList access;
    access.setChunkCache(12421, 8 * 1024 * 1024, 0.75);
    return access;
}

void checkStorageLayout(const H5::DataSet& set)
{
    const H5::DSetCreatPropList create = set.getCreatePlist();
    const H5D_layout_t layout = create.getLayout();
    H5::DataSpace space = set.getSpace();
    if (layout == H5D_COMPACT) {
        const hssize_t points = space.getSimpleExtentNpoints();
        const long double needed =
            static_cast<long double>(points < 0 ? 0 : points) * set.getDataType().getSize();
        if (static_cast<long double>(set.getStorageSize()) < needed)
            throw H5::DataSetIException("checkStorageLayout", "stored data is smaller than the dataset's extent");
    } else if (layout == H5D_CHUNKED) {
        const int rank = space.getSimpleExtentNdims();
        if (rank < 1 || rank > 32)
            throw H5::DataSetIException("checkStorageLayout", "chunked dataset of impossible rank");
        std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
        std::vector<hsize_t> maxDims(static_cast<std::size_t>(rank));
        std::vector<hsize_t> chunk(static_cast<std::size_t>(rank) + 1, 0);
        space.getSimpleExtentDims(dims.data(), maxDims.data());
        if (create.getChunk(rank + 1, chunk.data()) != rank)
            throw H5::DataSetIException("checkStorageLayout", "chunks of another rank than the dataset");
        for (std::size_t i = 0; i < dims.size(); ++i)
            if (chunk[i] == 0 || (maxDims[i] != H5S_UNLIMITED && chunk[i] > maxDims[i]))
                throw H5::DataSetIException("checkStorageLayout", "chunks larger than the dataset");
    }
}

bool openColumnDataset(const H5::H5File& file, const std::string& name, H5::DataSet& set, hsize_t& length)
{
    const std::string fullPath = "/events/" + name;
    if (!linkExists(file.getId(), "/events") || !linkExists(file.getId(), fullPath.c_str()))
        return false;
    set = file.openDataSet(fullPath);
    H5::DataSpace space = set.getSpace();
    if (space.getSimpleExtentNdims() != 1)
        return false;
    checkStorageLayout(set);
    length = 0;
    space.getSimpleExtentDims(&length);
    return true;
}

bool isPlainNumber(const H5::DataType& type)
{
    return isPlainNumberId(type.getId());
}

bool isPlainNumberId(hid_t id)
{
    const H5T_class_t typeClass = H5Tget_class(id);
    const std::size_t size = H5Tget_size(id);
    if (size < 1 || size > 16)
        return false;
    if (typeClass == H5T_ENUM) {
        const hid_t base = H5Tget_super(id);
        if (base < 0)
            return false;
        const bool plain = H5Tget_class(base) == H5T_INTEGER && isPlainNumberId(base);
        H5Tclose(base);
        return plain;
    }
    if (typeClass != H5T_INTEGER && typeClass != H5T_FLOAT)
        return false;
    // Damaged bit fields make the library's conversions write past their buffers.
    const std::size_t bits = 8 * size;
    const std::size_t precision = H5Tget_precision(id);
    const int offset = H5Tget_offset(id);
    if (precision == 0 || offset < 0 || precision + static_cast<std::size_t>(offset) > bits)
        return false;
    if (typeClass == H5T_FLOAT) {
        std::size_t signPos = 0, expPos = 0, expSize = 0, mantPos = 0, mantSize = 0;
        if (H5Tget_fields(id, &signPos, &expPos, &expSize, &mantPos, &mantSize) < 0)
            return false;
        if (expSize == 0 || mantSize == 0 || signPos >= bits || expPos + expSize > bits
            || mantPos + mantSize > bits || expSize > 32)
            return false;
    }
    return true;
}

} // namespace Hdf5Detail

using namespace Hdf5Detail;

RTDCReader::RTDCReader() = default;

RTDCReader::~RTDCReader()
{
    Hdf5Locker lock(hdf5Mutex());
    closeLocked();
}

bool RTDCReader::open(const std::string& path)
{
    Hdf5Locker lock(hdf5Mutex());
    closeLocked();
    // Checks the library against the headers this program was compiled with.
    H5check();
    H5open();
    quiet();
    try {
        auto handles = std::make_unique<FileHandles>();
        handles->file.openFile(path, H5F_ACC_RDONLY);
        handles->fileSize = handles->file.getFileSize();
        file = std::move(handles);
    } catch (const H5::Exception& e) {
        // The library's error stack still describes the failed open.
        const bool truncated = libraryReportsTruncation();
        reportReaderMessage("Error opening file: " + e.getDetailMsg());
        file.reset();
        lastOpenError = describeOpenFailure(examineUnopenedFile(path, truncated));
        return false;
    }
    lastOpenError.clear();
    {
        std::lock_guard<std::mutex> state(stateMutex);
        filePath = path;
    }
    opened = true;
    cacheFeatureNames();
    cacheTraceInfo();
    determineEventCount();
    return true;
}

std::string RTDCReader::openError() const
{
    Hdf5Locker lock(hdf5Mutex());
    return lastOpenError;
}

void RTDCReader::close()
{
    Hdf5Locker lock(hdf5Mutex());
    closeLocked();
}

void RTDCReader::closeLocked()
{
    file.reset();
    opened = false;
    numEvents = 0;
    imagePresent = false;
    maskPresent = false;
    tracesPresent = false;
    instrumentData = false;
    samplesPerTrace = 0;
    openProblems.clear();
    metadataProblems.clear();
    // The derived-trace cache describes the file that is being closed.
    cachedTraceName.clear();
    cachedTraceEvent = ~std::uint64_t(0);
    cachedTrace.clear();
    ColumnStorage storage;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        filePath.clear();
        featureNameList.clear();
        availableFeatures.clear();
        fileFeatureList.clear();
        fileFeatures.clear();
        storage = std::move(retiredColumns);
        retiredColumns.clear();
        storage.reserve(storage.size() + columnCache.size());
        for (auto& cached : columnCache)
            storage.push_back(std::move(cached.second));
        columnCache.clear();
        rangeCache.clear();
        traceNameList.clear();
    }
    disposeColumns(std::move(storage));
}

bool RTDCReader::isOpen() const
{
    return opened;
}

std::string RTDCReader::path() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return filePath;
}

std::uint64_t RTDCReader::eventCount() const
{
    return numEvents;
}

void RTDCReader::cacheFeatureNames()
{
    std::vector<std::string> names;
    bool complete = false;
    if (opened && file) {
        try {
            if (linkExists(file->file.getId(), "/events")) {
                H5::Group events = file->file.openGroup("/events");
                const hsize_t count = events.getNumObjs();
                for (hsize_t i = 0; i < count; ++i) {
                    const std::string name = events.getObjnameByIdx(i);
                    if (events.getObjTypeByIdx(i) != H5G_DATASET)
                        continue;
                    H5::DataSet set = events.openDataSet(name);
                    H5::DataSpace space = set.getSpace();
                    const int rank = space.getSimpleExtentNdims();
                    if (rank == 1 || name == "image" || name == "mask") {
                        names.push_back(name);
                        if (rank >= 1) {
                            std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
                            space.getSimpleExtentDims(dims.data());
                            file->listedLengths.emplace_back(name, dims[0]);
                        }
                    }
                }
            }
            complete = true;
        } catch (const H5::Exception& e) {
            reportReaderMessage("Error caching features: " + e.getDetailMsg());
            openProblems.push_back("The list of features in /events cannot be read (" + e.getDetailMsg() + ").");
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::lock_guard<std::mutex> state(stateMutex);
    featureNameList = names;
    availableFeatures = std::unordered_set<std::string>(names.begin(), names.end());
    fileFeatureList = names;
    fileFeatures = availableFeatures;
    imagePresent = complete && fileFeatures.count("image") > 0;
    maskPresent = complete && fileFeatures.count("mask") > 0;
}

void RTDCReader::determineEventCount()
{
    numEvents = 0;
    std::string first;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        if (featureNameList.empty())
            return;
        first = featureNameList.front();
    }
    if (!opened || !file)
        return;
    try {
        H5::DataSet set = file->file.openDataSet("/events/" + first);
        H5::DataSpace space = set.getSpace();
        const int rank = space.getSimpleExtentNdims();
        if (rank < 1)
            return;
        std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
        space.getSimpleExtentDims(dims.data());
        numEvents = dims[0];
    } catch (const H5::Exception& e) {
        reportReaderMessage("Error determining event count: " + e.getDetailMsg());
        openProblems.push_back("The number of events cannot be read from '" + first + "' (" + e.getDetailMsg() + ").");
        return;
    }
    // Each column is read at its own length and the plot shows only the events every plotted
    // column covers, so a count that another dataset contradicts (a damaged extent, an
    // incomplete write) would otherwise change what is shown without a word.
    std::sort(file->listedLengths.begin(), file->listedLengths.end());
    std::string differing;
    std::size_t count = 0;
    for (const auto& [name, length] : file->listedLengths) {
        if (length == numEvents)
            continue;
        if (++count <= 3)
            differing += (count > 1 ? ", '" : "'") + name + "' " + std::to_string(length);
    }
    if (count > 0) {
        reportReaderMessage("Warning: the event count " + std::to_string(numEvents) + " comes from '" + first + "', but "
                            + std::to_string(count) + (count > 1 ? " datasets" : " dataset") + " of /events hold"
                            + (count > 1 ? "" : "s") + " another number of events (" + differing
                            + (count > 3 ? ", ..." : "") + ")");
    }
}

std::vector<std::string> RTDCReader::featureNames() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return featureNameList;
}

std::vector<std::string> RTDCReader::fileFeatureNames() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return fileFeatureList;
}

bool RTDCReader::hasFeature(const std::string& name) const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return availableFeatures.count(name) > 0;
}

bool RTDCReader::isComputedFeature(const std::string& name) const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return computedFeatures.count(name) > 0;
}

bool RTDCReader::hasImage() const
{
    return imagePresent;
}

bool RTDCReader::hasMask() const
{
    return maskPresent;
}

std::string RTDCReader::featureLabel(const std::string& key) const
{
    return formatFeatureLabel(key, instrumentData);
}

bool RTDCReader::isInstrumentData() const
{
    return instrumentData;
}

const std::vector<double>& RTDCReader::getFeature(const std::string& name) const
{
    // Cached columns are answered without the HDF5 lock: their storage never moves and is
    // only freed by close(), so the GUI thread never waits for a pool thread's file read.
    {
        std::lock_guard<std::mutex> state(stateMutex);
        const auto it = columnCache.find(name);
        if (it != columnCache.end())
            return *it->second;
    }
    Hdf5Locker lock(hdf5Mutex());
    {
        std::lock_guard<std::mutex> state(stateMutex);
        const auto it = columnCache.find(name);
        if (it != columnCache.end())
            return *it->second;
        // Only names listed from /events are read; this also keeps names with "/" (which
        // would address other objects) and unlisted datasets of other ranks away from the
        // file.
        if (!opened || fileFeatures.count(name) == 0)
            return emptyColumn();
    }
    std::unique_ptr<Column> column = readColumnFromFile(name);
    if (!column || column->empty())
        return emptyColumn();
    // setFeature also takes the HDF5 lock, so the slot is normally still free.
    return cacheColumn(name, std::move(column));
}

std::unique_ptr<RTDCReader::Column> RTDCReader::readColumnFromFile(const std::string& name) const
{
    quiet();
    try {
        H5::DataSet set;
        hsize_t n = 0;
        if (!file || !openColumnDataset(file->file, name, set, n))
            return nullptr;
        H5::DataType type = set.getDataType();
        const H5T_class_t typeClass = type.getClass();
        const std::size_t size = type.getSize();
        if (!plausibleSize(file->fileSize, n, std::max<std::size_t>(size, 1))) {
            reportReaderMessage("Error reading feature '" + name
                                + "': the dataset claims more values than the file can hold");
            return nullptr;
        }
        if (n == 0)
            return std::make_unique<Column>();
        const bool isInteger = typeClass == H5T_INTEGER;
        const bool convertible = isPlainNumber(type)
                                 && (typeClass == H5T_FLOAT || typeClass == H5T_ENUM
                                     || (isInteger && (size == 1 || size == 2 || size == 4 || size == 8)));
        if (!convertible) {
            // Strings, compounds, integers of unusual sizes and damaged number types: no value
            // of the file can be shown, and a zero would be one the file does not hold.
            reportReaderMessage("Warning: feature '" + name + "' is stored as " + describeStoredType(type.getId())
                                + ", which cannot be read as numbers; its " + std::to_string(n)
                                + " values are shown as not-a-number");
            return std::make_unique<Column>(static_cast<std::size_t>(n), std::numeric_limits<double>::quiet_NaN());
        }
        auto column = std::make_unique<Column>(static_cast<std::size_t>(n), 0.0);
        if (isInteger && H5Tget_sign(type.getId()) == H5T_SGN_NONE && size == 8) {
            // Read as signed 64-bit, values above 2^63 - 1 would saturate.
            std::vector<std::uint64_t> raw(column->size());
            set.read(raw.data(), H5::PredType::NATIVE_UINT64);
            std::transform(raw.begin(), raw.end(), column->begin(),
                           [](std::uint64_t v) { return static_cast<double>(v); });
        } else if (isInteger && size == 8) {
            std::vector<std::int64_t> raw(column->size());
            set.read(raw.data(), H5::PredType::NATIVE_INT64);
            std::transform(raw.begin(), raw.end(), column->begin(),
                           [](std::int64_t v) { return static_cast<double>(v); });
        } else {
            // The library converts exactly: 8-, 16- and 32-bit integers (signed or not as
            // stored), 32-bit floats widened, enumerations by their integer values.
            set.read(column->data(), H5::PredType::NATIVE_DOUBLE);
        }
        return column;
    } catch (const H5::Exception& e) {
        reportReaderMessage("Error reading feature '" + name + "': " + e.getDetailMsg());
        return nullptr;
    }
}

void RTDCReader::setFeature(const std::string& name, std::vector<double>&& values)
{
    Hdf5Locker lock(hdf5Mutex());
    auto column = std::make_unique<Column>(std::move(values));
    std::lock_guard<std::mutex> state(stateMutex);
    auto& slot = columnCache[name];
    if (slot)
        retiredColumns.push_back(std::move(slot));
    slot = std::move(column);
    rangeCache.erase(name);
    computedFeatures.insert(name);
    if (availableFeatures.insert(name).second)
        featureNameList.insert(std::lower_bound(featureNameList.begin(), featureNameList.end(), name),
                               name);
}

std::optional<RTDCReader::FiniteRange> RTDCReader::finiteRange(const std::string& name) const
{
    {
        std::lock_guard<std::mutex> state(stateMutex);
        const auto it = rangeCache.find(name);
        if (it != rangeCache.end())
            return it->second;
    }
    const std::vector<double>& column = getFeature(name);
    std::optional<FiniteRange> range;
    for (double v : column) {
        if (!std::isfinite(v))
            continue;
        if (!range) {
            range = FiniteRange{v, v};
        } else {
            range->min = std::min(range->min, v);
            range->max = std::max(range->max, v);
        }
    }
    // Kept only while the scanned column is still the cached one: a setFeature() or
    // close() on another thread meanwhile leaves nothing stale behind.
    std::lock_guard<std::mutex> state(stateMutex);
    const auto cached = columnCache.find(name);
    if (cached != columnCache.end() && cached->second.get() == &column)
        rangeCache[name] = range;
    return range;
}

std::vector<std::uint8_t> RTDCReader::readImage(std::uint64_t eventIndex, int& width, int& height) const
{
    return readFrame(false, eventIndex, width, height);
}

std::vector<std::uint8_t> RTDCReader::readMask(std::uint64_t eventIndex, int& width, int& height) const
{
    return readFrame(true, eventIndex, width, height);
}

std::vector<std::uint8_t> RTDCReader::readImages(std::uint64_t first, std::uint64_t count, int& width,
                                                 int& height) const
{
    return readFrame(false, first, width, height, nullptr, count);
}

std::vector<std::uint8_t> RTDCReader::readMasks(std::uint64_t first, std::uint64_t count, int& width,
                                                int& height) const
{
    return readFrame(true, first, width, height, nullptr, count);
}

std::vector<std::uint8_t> RTDCReader::readFramesUnreported(bool mask, std::uint64_t first, std::uint64_t count,
                                                           int& width, int& height, std::string& failure) const
{
    failure.clear();
    return readFrame(mask, first, width, height, &failure, count);
}

std::vector<std::uint8_t> RTDCReader::readFrame(bool mask, std::uint64_t eventIndex, int& width,
                                                int& height, std::string* failure, std::uint64_t count) const
{
    if (!opened || !(mask ? maskPresent : imagePresent) || count == 0)
        return {};
    Hdf5Locker lock(hdf5Mutex());
    if (!file)
        return {};
    quiet();
    FrameSet& frames = mask ? file->mask : file->image;
    try {
        if (!frames.opened) {
            frames.set = file->file.openDataSet(mask ? "/events/mask" : "/events/image",
                                                perEventAccess());
            checkStorageLayout(frames.set);
            if (!isPlainNumber(frames.set.getDataType()))
                throw H5::DataSetIException("readFrame", "pixels are not stored as numbers");
            H5::DataSpace space = frames.set.getSpace();
            frames.valid = space.getSimpleExtentNdims() == 3;
            if (frames.valid) {
                space.getSimpleExtentDims(frames.dims);
                frames.valid = frames.dims[1] <= INT_MAX && frames.dims[2] <= INT_MAX
                               && plausibleSize(file->fileSize, frames.dims[1] * frames.dims[2], 1);
            }
            frames.opened = true;
        }
        if (!frames.valid || eventIndex >= frames.dims[0])
            return {};
        // A block of frames is one read: the library walks each compressed chunk once.
        const hsize_t rows = std::min<hsize_t>(count, frames.dims[0] - eventIndex);
        height = static_cast<int>(frames.dims[1]);
        width = static_cast<int>(frames.dims[2]);
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(rows * frames.dims[1] * frames.dims[2]));
        if (pixels.empty())
            return pixels;
        H5::DataSpace fileSpace = frames.set.getSpace();
        const hsize_t start[3] = {eventIndex, 0, 0};
        const hsize_t extent[3] = {rows, frames.dims[1], frames.dims[2]};
        fileSpace.selectHyperslab(H5S_SELECT_SET, extent, start);
        H5::DataSpace memorySpace(3, extent);
        frames.set.read(pixels.data(), H5::PredType::NATIVE_UINT8, memorySpace, fileSpace);
        return pixels;
    } catch (const H5::Exception& e) {
        if (failure)
            *failure = e.getDetailMsg().empty() ? std::string("the library gave no reason") : e.getDetailMsg();
        else
            reportReaderMessage((mask ? "Error reading mask at index " : "Error reading image at index ")
                                + std::to_string(eventIndex) + ": " + e.getDetailMsg());
        return {};
    }
}

} // namespace Tervane3
