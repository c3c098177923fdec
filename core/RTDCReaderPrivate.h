// HDF5 objects of an open RTDCReader and small helpers shared by the reader's source files.
// Everything here is used only while hdf5Mutex() is held.
#pragma once

#include "core/RTDCReader.h"

#include <H5Cpp.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Tervane3 {

namespace Hdf5Detail {
// One line of the reader on the standard error stream (newline and flush) and to the
// message sink, if one is set.
void reportReaderMessage(const std::string& line);
// Switches the library's automatic error printing off for the calling thread.
void quiet();
// Whether the link exists; false also when the library reports an error for the path.
bool linkExists(hid_t location, const char* path);
// Whether elements x elementSize bytes could plausibly come from a file of fileSize bytes.
bool plausibleSize(hsize_t fileSize, hsize_t elements, std::size_t elementSize);
// Dataset access with a chunk cache large enough for per-event reads.
H5::DSetAccPropList perEventAccess();
// Throws for storage layouts that cannot belong to an intact file and that the library
// would read past its own buffers: compact data smaller than the extent, chunks larger than
// a fixed dimension or of another rank.
void checkStorageLayout(const H5::DataSet& set);
// The one-dimensional dataset /events/<name> with its storage layout checked (throws for an
// impossible one) and its length; false when the file has no such dataset or it has another
// rank.
bool openColumnDataset(const H5::H5File& file, const std::string& name, H5::DataSet& set, hsize_t& length);
// Integer, floating-point or enumeration (over an integer) of at most 16 bytes with bit
// fields inside its size: what per-event data is stored as. Damaged headers can claim
// element sizes of megabytes or precisions beyond the size.
bool isPlainNumber(const H5::DataType& type);
bool isPlainNumberId(hid_t type);
// Columns that preloadAllFeatures() has inflated itself (not through the library) since the
// program started; tests tell by it which way a column was read.
std::uint64_t preloadInflatedColumns();
// Time the preload's reading thread has held hdf5Mutex() for the stored chunks since the
// program started (columns read through the library not included); for the benchmark.
double preloadLockedSeconds();
// How a stored type reads to a person: "text (strings)", "3-byte integers", ...
std::string describeStoredType(hid_t type);
} // namespace Hdf5Detail

// The image or mask stack, opened on first use and kept open so its chunk cache survives
// between the reads of single events.
struct FrameSet
{
    bool opened = false;
    bool valid = false;
    H5::DataSet set;
    hsize_t dims[3] = {0, 0, 0};
};

// One stored trace dataset, kept open like the frames.
struct TraceSet
{
    enum class Kind { Int16, UInt16, Float };
    H5::DataSet set;
    hsize_t events = 0;
    hsize_t samples = 0;
    Kind kind = Kind::Float;
};

struct RTDCReader::FileHandles
{
    H5::H5File file;
    hsize_t fileSize = 0;
    FrameSet image;
    FrameSet mask;
    std::unordered_map<std::string, TraceSet> traces;
    // First dimension of every listed dataset of /events, gathered while listing and compared
    // with the event count once that is known.
    std::vector<std::pair<std::string, hsize_t>> listedLengths;
};

} // namespace Tervane3
