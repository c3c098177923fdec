// Caching every column at once inflates deflated chunks outside the HDF5 library. Each value
// must be bit for bit what the library's own read (getFeature on a fresh reader) gives, the
// files the fast way does not cover (other layouts, filters, byte orders, types, chunks
// never written, skipped filters) must read as before, and a damaged chunk must cost its
// column with the same message as before. Every case runs with one thread and with several.
#include "core/RTDCReader.h"

#include "core/DeflatedColumn.h"
#include "core/Hdf5Lock.h"
#include "core/ParallelFor.h"
#include "core/RTDCReaderPrivate.h"
#include "support/DamagedCopy.h"

#include "ReaderFileTest.h"

#include <H5Cpp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace Tervane3;
using namespace Tervane3::Test;

namespace {

enum class Layout { Chunked, Contiguous, Compact };

struct StoredColumn
{
    std::string name;
    hid_t (*fileType)();
    hid_t (*memoryType)();
    std::vector<unsigned char> bytes; // native values of the memory type
    std::size_t count = 0;
    Layout layout = Layout::Chunked;
    hsize_t chunk = 0;
    bool shuffle = true;
    bool fletcher = false;
    std::size_t written = std::numeric_limits<std::size_t>::max(); // values written from the start
    bool inflated = true; // whether the preload decodes it itself
};

// Random bit patterns (for floats: NaNs with payloads, infinities, subnormals and signalling
// NaNs among them) after the edge values of the type.
template <typename T>
std::vector<unsigned char> valueBytes(std::size_t count, unsigned seed)
{
    std::vector<T> values;
    if constexpr (std::is_floating_point_v<T>) {
        using L = std::numeric_limits<T>;
        values = {T(0), -T(0), L::infinity(), -L::infinity(), L::quiet_NaN(), L::signaling_NaN(),
                  L::denorm_min(), -L::denorm_min(), L::max(), L::lowest(), L::min(), T(0.1)};
    } else {
        using L = std::numeric_limits<T>;
        values = {T(0), T(1), L::max(), L::min(), T(L::max() - 1)};
        if constexpr (sizeof(T) == 8) // not representable as doubles: the conversion must round alike
            values.push_back(static_cast<T>((std::uint64_t(1) << 53) + 1));
    }
    std::vector<unsigned char> bytes(count * sizeof(T));
    std::mt19937_64 rng(seed);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(rng());
    std::memcpy(bytes.data(), values.data(), std::min(values.size(), count) * sizeof(T));
    return bytes;
}

hid_t enumType()
{
    static const hid_t type = [] {
        const hid_t e = H5Tenum_create(H5T_NATIVE_INT8);
        const char* names[] = {"a", "b", "c", "d"};
        for (std::int8_t v = 0; v < 4; ++v)
            H5Tenum_insert(e, names[v], &v);
        return e;
    }();
    return type;
}

void writeColumn(hid_t group, const StoredColumn& c)
{
    const hsize_t dims = c.count;
    // Chunks longer than the column need an extendable dataset, as instrument files are.
    const hsize_t maxDims = c.chunk > c.count ? H5S_UNLIMITED : c.count;
    const hid_t space = H5Screate_simple(1, &dims, &maxDims);
    const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
    if (c.layout == Layout::Chunked) {
        H5Pset_chunk(create, 1, &c.chunk);
        if (c.shuffle)
            H5Pset_shuffle(create);
        H5Pset_deflate(create, 6);
        if (c.fletcher)
            H5Pset_fletcher32(create);
    } else if (c.layout == Layout::Compact) {
        H5Pset_layout(create, H5D_COMPACT);
    }
    const hid_t set = H5Dcreate2(group, c.name.c_str(), c.fileType(), space, H5P_DEFAULT, create, H5P_DEFAULT);
    ASSERT_GE(set, 0) << c.name;
    if (c.written >= c.count) {
        ASSERT_GE(H5Dwrite(set, c.memoryType(), H5S_ALL, H5S_ALL, H5P_DEFAULT, c.bytes.data()), 0) << c.name;
    } else {
        const hsize_t start = 0;
        const hsize_t written = c.written;
        const hid_t part = H5Screate_simple(1, &written, nullptr);
        H5Sselect_hyperslab(space, H5S_SELECT_SET, &start, nullptr, &written, nullptr);
        ASSERT_GE(H5Dwrite(set, c.memoryType(), part, space, H5P_DEFAULT, c.bytes.data()), 0) << c.name;
        H5Sclose(part);
    }
    H5Dclose(set);
    H5Pclose(create);
    H5Sclose(space);
}

void writeColumns(const std::string& path, const std::vector<StoredColumn>& columns)
{
    Hdf5Locker lock(hdf5Mutex());
    const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    const hid_t events = H5Gcreate2(file, "/events", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    for (const StoredColumn& c : columns)
        writeColumn(events, c);
    H5Gclose(events);
    H5Fclose(file);
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Runs the body once on one thread (decoding inline) and once on several decoding threads.
template <typename Body>
void withOneAndManyThreads(Body body)
{
    for (const int limit : {1, 0}) {
        SCOPED_TRACE(limit == 1 ? "one thread" : "all threads");
        setWorkerThreadLimit(limit);
        body();
    }
    setWorkerThreadLimit(0);
}

// Messages the reader reports while `body` runs.
template <typename Body>
std::vector<std::string> messagesOf(Body body)
{
    std::vector<std::string> lines;
    std::mutex mutex;
    setReaderMessageSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    });
    body();
    setReaderMessageSink(nullptr);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class RTDCReaderPreloadTest : public ReaderFileTest
{
};

TEST_F(RTDCReaderPreloadTest, CachedColumnsAreBitForBitTheLibrarysRead)
{
    const auto f32 = [] { return H5T_IEEE_F32LE; };
    const auto f64 = [] { return H5T_IEEE_F64LE; };
    const auto nf = [] { return H5T_NATIVE_FLOAT; };
    const auto nd = [] { return H5T_NATIVE_DOUBLE; };
    // clang-format off
    const std::vector<StoredColumn> cases = {
        {"f32_shuffled_partial_last_chunk", f32, nf, valueBytes<float>(40, 1), 40, Layout::Chunked, 7},
        {"f32_plain", f32, nf, valueBytes<float>(32, 2), 32, Layout::Chunked, 16, false},
        {"f64_shuffled", f64, nd, valueBytes<double>(37, 3), 37, Layout::Chunked, 8},
        {"f64_one_partial_chunk", f64, nd, valueBytes<double>(10, 4), 10, Layout::Chunked, 64, false},
        {"f64_one_value_per_chunk", f64, nd, valueBytes<double>(13, 5), 13, Layout::Chunked, 1},
        {"i8", [] { return H5T_STD_I8LE; }, [] { return H5T_NATIVE_INT8; }, valueBytes<std::int8_t>(50, 6), 50, Layout::Chunked, 16},
        {"u8", [] { return H5T_STD_U8LE; }, [] { return H5T_NATIVE_UINT8; }, valueBytes<std::uint8_t>(50, 7), 50, Layout::Chunked, 16, false},
        {"i16", [] { return H5T_STD_I16LE; }, [] { return H5T_NATIVE_INT16; }, valueBytes<std::int16_t>(45, 8), 45, Layout::Chunked, 16},
        {"u16", [] { return H5T_STD_U16LE; }, [] { return H5T_NATIVE_UINT16; }, valueBytes<std::uint16_t>(45, 9), 45, Layout::Chunked, 16, false},
        {"i32", [] { return H5T_STD_I32LE; }, [] { return H5T_NATIVE_INT32; }, valueBytes<std::int32_t>(45, 10), 45, Layout::Chunked, 16},
        {"u32", [] { return H5T_STD_U32LE; }, [] { return H5T_NATIVE_UINT32; }, valueBytes<std::uint32_t>(45, 11), 45, Layout::Chunked, 16},
        {"i64", [] { return H5T_STD_I64LE; }, [] { return H5T_NATIVE_INT64; }, valueBytes<std::int64_t>(45, 12), 45, Layout::Chunked, 16},
        {"u64", [] { return H5T_STD_U64LE; }, [] { return H5T_NATIVE_UINT64; }, valueBytes<std::uint64_t>(45, 13), 45, Layout::Chunked, 16, false},
        // Left to the library:
        {"f64_big_endian", [] { return H5T_IEEE_F64BE; }, nd, valueBytes<double>(30, 14), 30, Layout::Chunked, 8, true, false, std::numeric_limits<std::size_t>::max(), false},
        {"i32_big_endian", [] { return H5T_STD_I32BE; }, [] { return H5T_NATIVE_INT32; }, valueBytes<std::int32_t>(30, 15), 30, Layout::Chunked, 8, true, false, std::numeric_limits<std::size_t>::max(), false},
        {"f32_contiguous", f32, nf, valueBytes<float>(30, 16), 30, Layout::Contiguous, 0, false, false, std::numeric_limits<std::size_t>::max(), false},
        {"f64_compact", f64, nd, valueBytes<double>(30, 17), 30, Layout::Compact, 0, false, false, std::numeric_limits<std::size_t>::max(), false},
        {"f64_with_checksum", f64, nd, valueBytes<double>(30, 18), 30, Layout::Chunked, 8, true, true, std::numeric_limits<std::size_t>::max(), false},
        {"enumeration", enumType, enumType, std::vector<unsigned char>{0, 1, 2, 3, 3, 2, 1, 0, 1, 2}, 10, Layout::Chunked, 4, true, false, std::numeric_limits<std::size_t>::max(), false},
        // Chunks after the first never written: the library fills them with zeros.
        {"f64_unwritten_chunks", f64, nd, valueBytes<double>(20, 19), 20, Layout::Chunked, 8, true, false, 8, false},
    };
    // clang-format on
    for (const StoredColumn& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(c.name + ".rtdc");
        writeColumns(file, {c});
        RTDCReader library;
        ASSERT_TRUE(library.open(file));
        const std::vector<double> expected = library.getFeature(c.name);
        ASSERT_EQ(expected.size(), c.count);
        withOneAndManyThreads([&] {
            RTDCReader reader;
            ASSERT_TRUE(reader.open(file));
            const std::uint64_t before = Hdf5Detail::preloadInflatedColumns();
            const auto lines = messagesOf([&] { reader.preloadAllFeatures(); });
            EXPECT_TRUE(lines.empty()) << lines.front();
            EXPECT_EQ(Hdf5Detail::preloadInflatedColumns() - before, c.inflated ? 1u : 0u);
            EXPECT_TRUE(sameBits(reader.getFeature(c.name), expected));
        });
    }
}

// The library keeps a chunk whose filter was skipped when it was written as it is (a set bit
// in the chunk's filter mask); decoding it with the full pipeline gives other values.
TEST_F(RTDCReaderPreloadTest, ChunkWithASkippedFilterReadsAsTheLibraryReadsIt)
{
    const std::string file = path("skipped.rtdc");
    const std::vector<unsigned char> bytes = valueBytes<double>(16, 20);
    writeColumns(file, {{"x", [] { return H5T_IEEE_F64LE; }, [] { return H5T_NATIVE_DOUBLE; }, bytes, 16,
                         Layout::Chunked, 8, true, false, 8}});
    {
        // The second chunk: deflated but not shuffled, with the shuffle filter's bit set.
        Hdf5Locker lock(hdf5Mutex());
        const hid_t f = H5Fopen(file.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
        const hsize_t chunk = 8;
        const hid_t space = H5Screate_simple(1, &chunk, nullptr);
        const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
        H5Pset_chunk(create, 1, &chunk);
        H5Pset_deflate(create, 6);
        const hid_t helper = H5Dcreate2(f, "/helper", H5T_IEEE_F64LE, space, H5P_DEFAULT, create, H5P_DEFAULT);
        H5Dwrite(helper, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, bytes.data() + 8 * sizeof(double));
        const hsize_t origin = 0;
        hsize_t stored = 0;
        H5Dget_chunk_storage_size(helper, &origin, &stored);
        std::vector<unsigned char> deflated(stored);
        std::uint32_t mask = 0;
        ASSERT_GE(H5Dread_chunk(helper, H5P_DEFAULT, &origin, &mask, deflated.data()), 0);
        const hid_t x = H5Dopen2(f, "/events/x", H5P_DEFAULT);
        const hsize_t second = 8;
        ASSERT_GE(H5Dwrite_chunk(x, H5P_DEFAULT, 0x1, &second, deflated.size(), deflated.data()), 0);
        H5Dclose(x);
        H5Dclose(helper);
        H5Pclose(create);
        H5Sclose(space);
        H5Fclose(f);
    }
    std::vector<double> written(16);
    std::memcpy(written.data(), bytes.data(), bytes.size());
    RTDCReader library;
    ASSERT_TRUE(library.open(file));
    ASSERT_TRUE(sameBits(library.getFeature("x"), written));
    withOneAndManyThreads([&] {
        RTDCReader reader;
        ASSERT_TRUE(reader.open(file));
        reader.preloadAllFeatures();
        EXPECT_TRUE(sameBits(reader.getFeature("x"), written));
    });
}

// A chunk whose stored bytes are damaged costs its column, with the library's message, and
// nothing else: the other columns are cached as always.
TEST_F(RTDCReaderPreloadTest, DamagedChunkCostsItsColumnWithTheLibrarysMessage)
{
    const std::string sound = path("sound.rtdc");
    const auto f64 = [] { return H5T_IEEE_F64LE; };
    const auto nd = [] { return H5T_NATIVE_DOUBLE; };
    writeColumns(sound, {{"a", f64, nd, valueBytes<double>(64, 21), 64, Layout::Chunked, 16},
                         {"b", [] { return H5T_IEEE_F32LE; }, [] { return H5T_NATIVE_FLOAT; },
                          valueBytes<float>(64, 22), 64, Layout::Chunked, 16},
                         {"c", f64, nd, valueBytes<double>(64, 23), 64, Layout::Chunked, 16, false}});
    haddr_t address = HADDR_UNDEF;
    hsize_t size = 0;
    {
        Hdf5Locker lock(hdf5Mutex());
        H5::H5File f(sound, H5F_ACC_RDONLY);
        const hsize_t second = 16;
        unsigned mask = 0;
        ASSERT_GE(H5Dget_chunk_info_by_coord(f.openDataSet("/events/b").getId(), &second, &mask, &address, &size), 0);
    }
    const std::vector<char> bytes = readFileBytes(sound);
    struct Damage
    {
        const char* name;
        std::size_t from;
        std::size_t length;
    };
    const Damage damages[] = {
        {"garbage over the whole chunk", 0, static_cast<std::size_t>(size)},
        {"garbage over the middle", static_cast<std::size_t>(size) / 2, 3},
        {"garbage over the checksum at the end", static_cast<std::size_t>(size) - 2, 2},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::vector<char> copy = bytes;
        std::mt19937 rng(7);
        // Garbage that happens to equal the original would damage nothing.
        do {
            copy = bytes;
            garbleRange(copy, static_cast<std::size_t>(address) + damage.from, damage.length, rng);
        } while (copy == bytes);
        const std::string file = path("damaged.rtdc");
        writeFileBytes(file, copy);
        RTDCReader library;
        ASSERT_TRUE(library.open(file));
        std::vector<std::vector<double>> expected;
        const auto libraryLines = messagesOf([&] {
            for (const char* name : {"a", "b", "c"})
                expected.push_back(library.getFeature(name));
        });
        ASSERT_TRUE(expected[1].empty());
        ASSERT_EQ(libraryLines.size(), 1u);
        withOneAndManyThreads([&] {
            RTDCReader reader;
            ASSERT_TRUE(reader.open(file));
            std::size_t calls = 0;
            const auto lines = messagesOf([&] {
                // Regression: a decoding thread that read a failed column itself waited for
                // the HDF5 lock, which a caller such as the writer may hold, for ever.
                Hdf5Locker held(hdf5Mutex());
                reader.preloadAllFeatures([&](std::size_t, std::size_t) { ++calls; });
            });
            EXPECT_EQ(lines, libraryLines);
            EXPECT_EQ(calls, 3u);
            EXPECT_TRUE(sameBits(reader.getFeature("a"), expected[0]));
            EXPECT_TRUE(reader.getFeature("b").empty());
            EXPECT_TRUE(sameBits(reader.getFeature("c"), expected[2]));
        });
    }
}

// Progress reaches the callback once per column in rising order, computed and already cached
// columns included, and the columns read before preloading stay the ones handed out.
TEST_F(RTDCReaderPreloadTest, ProgressCountsEveryColumnOnceInRisingOrder)
{
    const std::string file = path("progress.rtdc");
    std::vector<StoredColumn> columns;
    for (int i = 0; i < 9; ++i)
        columns.push_back({"c" + std::to_string(i), [] { return H5T_IEEE_F64LE; }, [] { return H5T_NATIVE_DOUBLE; },
                           valueBytes<double>(100, 30 + static_cast<unsigned>(i)), 100, Layout::Chunked, 16});
    writeColumns(file, columns);
    withOneAndManyThreads([&] {
        RTDCReader reader;
        ASSERT_TRUE(reader.open(file));
        const std::vector<double>* early = &reader.getFeature("c4");
        reader.setFeature("computed", std::vector<double>(100, 1.0));
        std::vector<std::pair<std::size_t, std::size_t>> calls;
        reader.preloadAllFeatures([&](std::size_t done, std::size_t total) { calls.emplace_back(done, total); });
        ASSERT_EQ(calls.size(), 10u);
        for (std::size_t i = 0; i < calls.size(); ++i)
            EXPECT_EQ(calls[i], std::make_pair(i + 1, std::size_t(10)));
        EXPECT_EQ(&reader.getFeature("c4"), early);
        EXPECT_EQ(reader.getFeature("computed"), std::vector<double>(100, 1.0));
    });
}

// The zlib stream the library's deflate filter stores for these doubles as one chunk.
std::vector<std::uint8_t> deflatedByTheLibrary(const std::string& file, const std::vector<double>& values)
{
    Hdf5Locker lock(hdf5Mutex());
    H5::H5File h5(file, H5F_ACC_TRUNC);
    const hsize_t count = values.size();
    H5::DSetCreatPropList create;
    create.setChunk(1, &count);
    create.setDeflate(6);
    H5::DataSet set = h5.createDataSet("x", H5::PredType::IEEE_F64LE, H5::DataSpace(1, &count), create);
    set.write(values.data(), H5::PredType::NATIVE_DOUBLE);
    const hsize_t origin = 0;
    hsize_t size = 0;
    H5Dget_chunk_storage_size(set.getId(), &origin, &size);
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t mask = 0;
    H5Dread_chunk(set.getId(), H5P_DEFAULT, &origin, &mask, bytes.data());
    return bytes;
}

// A chunk that inflates to more or fewer bytes than a chunk holds is refused (the library
// then reads the column), never cut or padded into the column.
TEST_F(RTDCReaderPreloadTest, ChunksOfAnotherSizeAreRefused)
{
    struct Case
    {
        const char* name;
        std::size_t storedValues; // what the stream inflates to
        bool accepted;
    };
    const Case cases[] = {{"a full chunk", 8, true}, {"half a chunk", 4, false}, {"two chunks", 16, false}};
    ColumnInflater inflater;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> values(c.storedValues);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = 0.5 * static_cast<double>(i) - 1.0;
        const std::vector<std::uint8_t> stream = deflatedByTheLibrary(path("stream.h5"), values);
        ASSERT_FALSE(stream.empty());
        DeflatedColumn column;
        column.values = 6; // a partial chunk of 8 values
        column.chunkValues = 8;
        std::memcpy(column.reserveBytes(stream.size()), stream.data(), stream.size());
        column.chunkEnds = {stream.size()};
        std::vector<double> out;
        EXPECT_EQ(inflater.decode(column, out), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(out, std::vector<double>(values.begin(), values.begin() + 6));
        }
    }
}

} // namespace
