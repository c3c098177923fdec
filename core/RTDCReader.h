// Read access to one .rtdc measurement (an HDF5 file): feature columns with their cache and
// the computed columns that calculations add, single event images and masks, fluorescence
// traces (stored and derived) and the root metadata. Opens files read-only, never writes.
//
// Threads: readers are shared by pointer between the GUI thread and pool threads. Every call
// into the HDF5 library holds the process-wide hdf5Mutex(); the name lists, sets and the
// column cache are guarded by a reader-state mutex, so name queries never wait for a file
// read. Lock order: hdf5Mutex() before the state mutex, never the other way round.
// Columns: a reference returned by getFeature() stays valid until the reader is closed or
// destroyed, also when setFeature() replaces the column (the old one is kept aside).
// open(), close() and the destructor must not run while another thread uses the reader.
#pragma once

#include "core/Metadata.h"
#include "core/TraceProcessing.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Tervane3 {

struct DeflatedColumn;

// The one shared empty column handed out when there is no column to give. Callers test a
// column for emptiness and for a length below eventCount() before they index it.
const std::vector<double>& emptyColumn();

// False for exactly "image", "mask" and "contour": every list of scalar features is
// RTDCReader::featureNames() filtered by this.
bool isScalarFeatureName(const std::string& name);

// Where the reader's error and warning lines go besides the standard error stream, which
// always gets them: the application hands them on to its log, the probe program to its
// parent. Process-wide; may be called from any thread (a null sink: standard error only).
// The sink runs while the reader may hold hdf5Mutex(): it must not call back into a reader.
using ReaderMessageSink = std::function<void(const std::string& line)>;
void setReaderMessageSink(ReaderMessageSink sink);
// Sends a line where the reader's own messages go (standard error and the sink), for callers
// that gather many failed reads into one line.
void sendReaderMessage(const std::string& line);

// The column storage of a reader that closes (file and computed columns, replaced ones too).
using ColumnStorage = std::vector<std::unique_ptr<std::vector<double>>>;
// Where closing readers send their column storage to be freed. Freeing the columns of large
// measurements hands gigabytes of pages back to the system, long enough to stall the thread
// that closes them (the GUI thread, on Clear Session or a removal); the application frees them
// on a thread of its own. The disposer runs on the closing thread while it may hold
// hdf5Mutex(): it must return at once and must not call into a reader. Nobody reads the
// columns any more when they are handed over (references into them end with close()).
using ColumnDisposer = std::function<void(ColumnStorage&& storage)>;
// Frees column storage so that its memory is back with the system at once: each column's
// whole pages are returned (and a huge-page advice on them withdrawn) before its block goes
// back to the allocator. Columns of a million events lie in the allocator's heaps; freed
// plainly, their pages stay resident until a trim, which holds the heap's lock (and with it
// every allocation of the GUI thread) while it walks gigabytes, and a huge-page advice left on
// freed heap lets the kernel fill whole 2 MiB pages again around any small block placed there
// later. Takes about as long as the pages are many (a few hundred milliseconds for
// gigabytes) but holds no lock: for a disposer's own thread.
void freeColumnStorage(ColumnStorage&& storage);
// Process-wide, any thread. Returns a ticket for removeColumnDisposer(). Without a disposer
// (at start, or after its removal) the closing thread frees the storage itself.
std::uint64_t installColumnDisposer(ColumnDisposer disposer);
// Removes the disposer installed with the ticket, if it is still the installed one; a call
// of it still running on another thread has ended when this returns.
void removeColumnDisposer(std::uint64_t ticket);

// What the file system and the first bytes tell about a file that would not open.
struct OpenFailureFacts
{
    bool exists = true;
    bool isFolder = false;
    bool readable = true;
    std::uint64_t size = 0;
    bool hdf5Signature = false; // "\x89HDF\r\n\x1a\n" at offset 0, 512, 1024, 2048, ...
    bool truncated = false;     // the library found the file shorter than its header says
};
OpenFailureFacts examineUnopenedFile(const std::string& path, bool truncatedPerLibrary);
// The reason in plain words, one sentence: a missing file, a folder, no permission, an
// empty file, not an HDF5 file, a truncated file, or a damaged one.
std::string describeOpenFailure(const OpenFailureFacts& facts);

class RTDCReader
{
public:
    RTDCReader();
    ~RTDCReader();
    RTDCReader(const RTDCReader&) = delete;
    RTDCReader& operator=(const RTDCReader&) = delete;

    // Opens the file read-only and indexes /events and /events/trace. On failure prints
    // "Error opening file: " + detail and leaves the reader closed.
    bool open(const std::string& path);
    // Why the last open() failed, in plain words (describeOpenFailure); empty after a
    // successful open.
    std::string openError() const;
    // Back to the closed state: the file is closed at once; the cached file and computed
    // columns go to the column disposer, or are freed here without one (references to them
    // dangle afterwards either way). Computed-name registrations, derived traces and the trace
    // settings stay.
    void close();

    bool isOpen() const;
    std::string path() const;
    std::uint64_t eventCount() const;

    // ---- scalar features and columns -------------------------------------------------
    // Every feature name (listed datasets of /events, "image" and "mask" when present,
    // computed columns), ascending byte order. A copy: safe while workers call setFeature.
    std::vector<std::string> featureNames() const;
    // The names listed from the file at open(), ascending; unaffected by setFeature, also
    // when a calculation replaces a column the file holds. For fingerprints of the file.
    std::vector<std::string> fileFeatureNames() const;
    bool hasFeature(const std::string& name) const;
    // True for names stored by setFeature().
    bool isComputedFeature(const std::string& name) const;
    bool hasImage() const;
    bool hasMask() const;

    // The column of a feature (cached, computed, or read from the file whole and converted
    // to double), else emptyColumn(). Read errors print "Error reading feature '...': ".
    const std::vector<double>& getFeature(const std::string& name) const;
    // Stores a computed column under the name (replacing an older one, whose storage stays
    // alive until the reader is closed or destroyed) and marks the name available and
    // computed. Works on a closed reader too; the length is not checked.
    void setFeature(const std::string& name, std::vector<double>&& values);
    // Reads every scalar column once; `progress` (optional, any thread) gets the number of
    // columns done and the total after each column.
    // Columns stored as deflated chunks are read under hdf5Mutex() chunk by chunk and inflated
    // on worker threads without it; a column enters the cache only when it is complete, so a
    // getFeature() meanwhile either finds it whole or reads it itself. Must not overlap close().
    void preloadAllFeatures(const std::function<void(std::size_t done, std::size_t total)>& progress = {}) const;

    // The smallest and largest finite value of a feature's column (NaN and infinities
    // skipped); nothing for a missing or empty column or one without a finite value.
    // Computed once per column and kept until setFeature() replaces the column or the
    // reader is closed, so filter rows never rescan a million values.
    struct FiniteRange
    {
        double min = 0.0;
        double max = 0.0;
    };
    std::optional<FiniteRange> finiteRange(const std::string& name) const;

    // The display text of a key from the catalogue (instrument rows when the instrument
    // flag is set). No lock, never fails.
    std::string featureLabel(const std::string& key) const;
    // Set by readMetadata() for measurements of the instrument, cleared by close().
    bool isInstrumentData() const;

    // ---- images and masks -----------------------------------------------------------
    // One event's frame, height rows of width unsigned 8-bit pixels. Empty (sizes
    // untouched) when closed, absent, the index is not below the frame count or the
    // dataset is not three-dimensional.
    std::vector<std::uint8_t> readImage(std::uint64_t eventIndex, int& width, int& height) const;
    std::vector<std::uint8_t> readMask(std::uint64_t eventIndex, int& width, int& height) const;
    // Frames first .. first + count - 1 (fewer at the end of the stack) in one read, frame
    // after frame; the number read is size / (width x height). Much cheaper per frame than
    // single reads for calculations that walk all events. Empty as readImage/readMask.
    std::vector<std::uint8_t> readImages(std::uint64_t first, std::uint64_t count, int& width, int& height) const;
    std::vector<std::uint8_t> readMasks(std::uint64_t first, std::uint64_t count, int& width, int& height) const;
    // The same reads (mask stack or image stack) for callers that report failures themselves,
    // one line for a run of unreadable events instead of one per event: a failure is not
    // reported; it gives an empty result and the library's reason in `failure`, which stays
    // empty when nothing failed (also for events past the end of the stack).
    std::vector<std::uint8_t> readFramesUnreported(bool mask, std::uint64_t first, std::uint64_t count, int& width,
                                                   int& height, std::string& failure) const;

    // ---- metadata -------------------------------------------------------------------
    // All root attributes as texts; sets the instrument flag. Empty record when closed.
    Metadata readMetadata();

    // ---- traces ---------------------------------------------------------------------
    // Stored and derived trace names, ascending, each once (a copy).
    std::vector<std::string> traceNames() const;
    // Samples per stored trace (0 without traces).
    std::uint64_t traceLength() const;
    bool hasTraces() const;
    // One event's trace; for a derived name the source trace of that event passed through
    // the enabled processing stages. Empty when there is no such trace or event.
    std::vector<float> getTrace(const std::string& name, std::uint64_t eventIndex) const;
    // Registers derivedName as sourceName passed through the processing stages and lists
    // it. A registration that would make a derived trace its own source is refused.
    void addDerivedTrace(const std::string& derivedName, const std::string& sourceName);
    void setTraceProcessing(bool hampel1Enabled, int hampel1HalfWindow, float hampel1Threshold,
                            bool hampel2Enabled, int hampel2HalfWindow, float hampel2Threshold,
                            bool medianEnabled, int medianHalfWindow,
                            bool rollingMeanEnabled, int rollingMeanHalfWindow,
                            bool savitzkyGolayEnabled, int savitzkyGolayHalfWindow);
    // The same from one record (the twelve values above, in that order).
    void setTraceProcessing(const TraceProcessingSettings& settings);

    // ---- checking a file before it is used --------------------------------------------
    // Walks what opening and caching rely on, without reading whole columns: every /events
    // member's header (type, extent, storage layout and chunk index), the first frame of the
    // image and mask stacks and the first row of every trace; the failures of the open
    // steps (listing /events and /events/trace, the event count) and of the last
    // readMetadata() count as well. Returns the damage found, one plain sentence each;
    // empty for a sound file or a closed reader.
    std::vector<std::string> checkStructure() const;

private:
    struct FileHandles; // HDF5 objects; only touched under hdf5Mutex()
    using Column = std::vector<double>;

    // Steps of open(); the caller holds hdf5Mutex(). closeLocked() also hands the column
    // storage to the disposer.
    void closeLocked();
    void cacheFeatureNames();
    void cacheTraceInfo();
    void determineEventCount();
    std::unique_ptr<Column> readColumnFromFile(const std::string& name) const;
    // Caller holds hdf5Mutex(). The stored chunks of a column that the decoder can turn into
    // exactly the library's values (deflate with or without shuffle, little-endian floats
    // and integers, every chunk present with all filters applied and inside the file); false
    // for every other column, which then takes readColumnFromFile().
    bool readDeflatedColumn(const std::string& name, DeflatedColumn& stored) const;
    // Puts a finished column into the cache unless the name has one already (read by a
    // getFeature() meanwhile, or computed) and returns the cached one; no HDF5 lock needed.
    const Column& cacheColumn(const std::string& name, std::unique_ptr<Column> column) const;
    // A failure is reported as a reader message, or, when `failure` is given, stored there
    // instead for the caller to report.
    // count > 1 reads that many frames from eventIndex on (fewer at the end), one after another.
    std::vector<std::uint8_t> readFrame(bool mask, std::uint64_t eventIndex, int& width,
                                        int& height, std::string* failure = nullptr, std::uint64_t count = 1) const;
    // Caller holds hdf5Mutex(); depth bounds the walk along chains of derived traces.
    std::vector<float> readTrace(const std::string& name, std::uint64_t eventIndex,
                                 int depth = 0) const;
    std::vector<float> readStoredTrace(const std::string& name, std::uint64_t eventIndex,
                                       std::string* failure = nullptr) const;
    static void parseMetadataEntry(const std::string& fullName, const std::string& value,
                                   Metadata& metadata);
    bool leadsTo(const std::string& from, const std::string& target) const;

    // Guarded by hdf5Mutex().
    std::unique_ptr<FileHandles> file;
    std::unordered_map<std::string, std::string> derivedTraces;
    TraceProcessingSettings traceSettings;
    mutable std::string cachedTraceName;
    mutable std::uint64_t cachedTraceEvent = ~std::uint64_t(0);
    mutable std::vector<float> cachedTrace;

    // Damage met by the open steps (listing /events, the traces, the event count); read by
    // checkStructure(). Guarded by hdf5Mutex().
    std::vector<std::string> openProblems;
    // Damage met by the last readMetadata(); also read by checkStructure().
    std::vector<std::string> metadataProblems;
    std::string lastOpenError;

    // Written by open()/close() and readMetadata(); read by any thread.
    std::atomic<bool> opened{false};
    std::atomic<std::uint64_t> numEvents{0};
    std::atomic<bool> imagePresent{false};
    std::atomic<bool> maskPresent{false};
    std::atomic<bool> tracesPresent{false};
    std::atomic<bool> instrumentData{false};
    std::atomic<std::uint64_t> samplesPerTrace{0};

    // Guarded by stateMutex.
    mutable std::mutex stateMutex;
    std::string filePath;
    std::vector<std::string> featureNameList;          // sorted
    std::unordered_set<std::string> availableFeatures; // every name of featureNameList
    std::vector<std::string> fileFeatureList;          // sorted, as listed at open()
    std::unordered_set<std::string> fileFeatures;
    std::unordered_set<std::string> computedFeatures;
    mutable std::unordered_map<std::string, std::unique_ptr<Column>> columnCache;
    // Columns replaced by setFeature(): kept until close so earlier references stay valid.
    std::vector<std::unique_ptr<Column>> retiredColumns;
    // finiteRange() results by column name; dropped with the column they describe.
    mutable std::unordered_map<std::string, std::optional<FiniteRange>> rangeCache;
    std::vector<std::string> traceNameList; // sorted
};

} // namespace Tervane3
