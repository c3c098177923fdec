// Caching every scalar column of a measurement at once. The calling thread reads each
// column's stored chunks under the HDF5 lock (a copy of the compressed bytes, the only part
// that touches the file) and hands them to decoding threads, which inflate, unshuffle and
// widen them to doubles without the lock. Columns the decoder does not cover, and columns
// whose chunks fail to decode, are read by the library as getFeature() reads them, with the
// same messages and the same refusals.
#include "core/RTDCReader.h"

#include "core/DeflatedColumn.h"
#include "core/Hdf5Lock.h"
#include "core/ParallelFor.h"
#include "core/RTDCReaderPrivate.h"

#include <H5Dpublic.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace Tervane3 {

using namespace Hdf5Detail;

namespace {

// Compressed bytes waiting for a decoding thread at most (a column is always let through):
// enough to keep eight threads busy with columns of a million doubles.
constexpr std::size_t kQueuedBytesLimit = std::size_t(48) << 20;
// A chunk of more than this many bytes is left to the library: a damaged header can claim
// chunks of gigabytes, and files written as this program expects have chunks of about 128 KiB.
constexpr std::size_t kMaxChunkBytes = std::size_t(64) << 20;

std::atomic<std::uint64_t> inflatedColumns{0};
std::atomic<std::uint64_t> lockedNanoseconds{0};

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndianHost = true;
#else
constexpr bool kLittleEndianHost = false;
#endif

bool storedNumberOf(hid_t type, StoredNumber& stored)
{
    const std::pair<hid_t, StoredNumber> known[] = {
        {H5T_IEEE_F32LE, StoredNumber::Float32}, {H5T_IEEE_F64LE, StoredNumber::Float64},
        {H5T_STD_I8LE, StoredNumber::Int8},      {H5T_STD_U8LE, StoredNumber::UInt8},
        {H5T_STD_I16LE, StoredNumber::Int16},    {H5T_STD_U16LE, StoredNumber::UInt16},
        {H5T_STD_I32LE, StoredNumber::Int32},    {H5T_STD_U32LE, StoredNumber::UInt32},
        {H5T_STD_I64LE, StoredNumber::Int64},    {H5T_STD_U64LE, StoredNumber::UInt64},
    };
    for (const auto& [id, number] : known) {
        if (H5Tequal(type, id) > 0) {
            stored = number;
            return true;
        }
    }
    return false;
}

// Exactly deflate, or shuffle (over the stored value size) then deflate.
bool deflatePipeline(hid_t create, std::size_t valueSize, bool& shuffled)
{
    const int filters = H5Pget_nfilters(create);
    if (filters != 1 && filters != 2)
        return false;
    shuffled = filters == 2;
    for (int i = 0; i < filters; ++i) {
        unsigned flags = 0;
        unsigned values[8] = {};
        std::size_t count = 8;
        char name[64] = {};
        unsigned config = 0;
        const H5Z_filter_t id =
            H5Pget_filter2(create, static_cast<unsigned>(i), &flags, &count, values, sizeof name, name, &config);
        const bool last = i + 1 == filters;
        if (last && id != H5Z_FILTER_DEFLATE)
            return false;
        if (!last && (id != H5Z_FILTER_SHUFFLE || count < 1 || values[0] != valueSize))
            return false;
    }
    return true;
}

} // namespace

std::uint64_t Hdf5Detail::preloadInflatedColumns()
{
    return inflatedColumns.load();
}

double Hdf5Detail::preloadLockedSeconds()
{
    return static_cast<double>(lockedNanoseconds.load()) * 1e-9;
}

bool RTDCReader::readDeflatedColumn(const std::string& name, DeflatedColumn& stored) const
{
    if (!kLittleEndianHost || !file)
        return false;
    quiet();
    try {
        {
            std::lock_guard<std::mutex> state(stateMutex);
            if (!opened || fileFeatures.count(name) == 0)
                return false;
        }
        H5::DataSet set;
        hsize_t n = 0;
        if (!openColumnDataset(file->file, name, set, n))
            return false;
        H5::DataType type = set.getDataType();
        if (n == 0 || !storedNumberOf(type.getId(), stored.type))
            return false;
        const std::size_t valueSize = storedNumberSize(stored.type);
        if (!plausibleSize(file->fileSize, n, valueSize))
            return false;

        const H5::DSetCreatPropList create = set.getCreatePlist();
        if (create.getLayout() != H5D_CHUNKED)
            return false;
        hsize_t chunkValues = 0;
        unsigned options = 0;
        if (H5Pget_chunk(create.getId(), 1, &chunkValues) != 1 || chunkValues == 0
            || chunkValues > kMaxChunkBytes / valueSize || H5Pget_chunk_opts(create.getId(), &options) < 0
            || (options & H5D_CHUNK_DONT_FILTER_PARTIAL_CHUNKS) != 0
            || !deflatePipeline(create.getId(), valueSize, stored.shuffled))
            return false;
        stored.values = n;
        stored.chunkValues = chunkValues;

        // Where each chunk lies, checked against the file before a byte is read: a damaged
        // index must not make us allocate or copy more than the file holds.
        const hsize_t chunks = (n + chunkValues - 1) / chunkValues;
        const std::size_t chunkBytes = static_cast<std::size_t>(chunkValues) * valueSize;
        const std::size_t maxStored = chunkBytes + chunkBytes / 8 + 1024;
        std::vector<hsize_t> sizes(static_cast<std::size_t>(chunks));
        std::size_t total = 0;
        for (hsize_t k = 0; k < chunks; ++k) {
            const hsize_t offset = k * chunkValues;
            unsigned filterMask = 0;
            haddr_t address = HADDR_UNDEF;
            hsize_t size = 0;
            // A set bit in the filter mask means a filter was skipped for that chunk.
            if (H5Dget_chunk_info_by_coord(set.getId(), &offset, &filterMask, &address, &size) < 0
                || filterMask != 0 || address == HADDR_UNDEF || size == 0 || size > maxStored
                || address > file->fileSize || size > file->fileSize - address)
                return false;
            sizes[static_cast<std::size_t>(k)] = size;
            total += static_cast<std::size_t>(size);
        }
        std::uint8_t* bytes = stored.reserveBytes(total);
        stored.chunkEnds.clear();
        stored.chunkEnds.reserve(sizes.size());
        std::size_t end = 0;
        for (hsize_t k = 0; k < chunks; ++k) {
            const hsize_t offset = k * chunkValues;
            std::uint32_t filterMask = 0;
            if (H5Dread_chunk(set.getId(), H5P_DEFAULT, &offset, &filterMask, bytes + end) < 0 || filterMask != 0)
                return false;
            end += static_cast<std::size_t>(sizes[static_cast<std::size_t>(k)]);
            stored.chunkEnds.push_back(end);
        }
        return true;
    } catch (const H5::Exception&) {
        // The library's own read meets the same damage and reports it.
        return false;
    }
}

const RTDCReader::Column& RTDCReader::cacheColumn(const std::string& name, std::unique_ptr<Column> column) const
{
    std::lock_guard<std::mutex> state(stateMutex);
    auto& slot = columnCache[name];
    if (!slot)
        slot = std::move(column);
    return *slot;
}

void RTDCReader::preloadAllFeatures(const std::function<void(std::size_t done, std::size_t total)>& progress) const
{
    std::vector<std::string> names;
    for (std::string& name : featureNames()) {
        if (isScalarFeatureName(name))
            names.push_back(std::move(name));
    }
    const std::size_t total = names.size();
    std::mutex progressMutex;
    std::size_t done = 0;
    // Serialised, so that `done` reaches the callback in rising order from any thread.
    const auto columnDone = [&] {
        std::lock_guard<std::mutex> lock(progressMutex);
        ++done;
        if (progress)
            progress(done, total);
    };

    struct Job
    {
        std::string name;
        DeflatedColumn stored;
    };
    std::mutex queueMutex;
    std::condition_variable jobReady;
    std::condition_variable roomFree;
    std::deque<std::unique_ptr<Job>> queue;
    std::size_t queuedBytes = 0;
    // Jobs whose column is done, kept for their buffer of stored bytes.
    std::vector<std::unique_ptr<Job>> spareJobs;
    // Columns whose chunks did not decode; the calling thread reads them through the library
    // at the end, so that decoding threads never wait for the HDF5 lock (the caller may hold it).
    std::vector<std::string> undecoded;
    bool producing = true;
    std::exception_ptr failure;

    // Decodes a queued job on the calling thread, whichever it is.
    const auto finish = [&](ColumnInflater& inflater, std::unique_ptr<Job> job) {
        auto column = std::make_unique<Column>();
        const bool decoded = inflater.decode(job->stored, *column);
        if (decoded) {
            cacheColumn(job->name, std::move(column));
            ++inflatedColumns;
            columnDone();
        }
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (!decoded)
                undecoded.push_back(job->name);
            queuedBytes -= job->stored.capacity();
            spareJobs.push_back(std::move(job));
        }
        roomFree.notify_one();
    };
    // The next queued job, or nothing; the caller holds queueMutex.
    const auto takeJob = [&]() {
        std::unique_ptr<Job> job;
        if (!queue.empty()) {
            job = std::move(queue.front());
            queue.pop_front();
        }
        return job;
    };
    const auto decodeQueued = [&] {
        try {
            ColumnInflater inflater;
            for (;;) {
                std::unique_ptr<Job> job;
                {
                    std::unique_lock<std::mutex> lock(queueMutex);
                    jobReady.wait(lock, [&] { return !queue.empty() || !producing; });
                    job = takeJob();
                }
                if (!job)
                    return;
                finish(inflater, std::move(job));
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (!failure)
                failure = std::current_exception();
            roomFree.notify_all();
        }
    };

    std::vector<std::thread> decoders;
    // Ends the decoding threads once they have run out of queued columns: called when the
    // reading is done, and on every other way out (also when the reading thread throws).
    struct Joiner
    {
        std::vector<std::thread>& running;
        std::mutex& mutex;
        bool& stillProducing;
        std::condition_variable& ready;
        void end()
        {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stillProducing = false;
            }
            ready.notify_all();
            for (std::thread& thread : running)
                thread.join();
            running.clear();
        }
        ~Joiner() { end(); }
    } joiner{decoders, queueMutex, producing, jobReady};
    // The calling thread copies the stored bytes (the part under the lock, which sets the
    // pace) and decodes too whenever it would otherwise wait; one core is left to it.
    const int threads = workerThreadCount();
    const std::size_t decoderCount = std::min(static_cast<std::size_t>(std::max(threads - 1, 0)), names.size());
    for (std::size_t t = 0; t < decoderCount; ++t)
        decoders.emplace_back(decodeQueued);
    ColumnInflater ownInflater;
    // Alone, the calling thread decodes each column before it reads the next.
    const std::size_t queueLimit = decoders.empty() ? 0 : kQueuedBytesLimit;

    for (const std::string& name : names) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            // Rather than wait for room, decode the oldest queued column here.
            while (!failure && !queue.empty() && queuedBytes >= queueLimit) {
                std::unique_ptr<Job> oldest = takeJob();
                lock.unlock();
                finish(ownInflater, std::move(oldest));
                lock.lock();
            }
            if (failure)
                break;
            if (!spareJobs.empty()) {
                job = std::move(spareJobs.back());
                spareJobs.pop_back();
            }
        }
        if (!job)
            job = std::make_unique<Job>();
        job->name = name;
        bool deflated = false;
        {
            Hdf5Locker lock(hdf5Mutex());
            const auto locked = std::chrono::steady_clock::now();
            bool cached = false;
            {
                std::lock_guard<std::mutex> state(stateMutex);
                cached = columnCache.count(name) > 0;
            }
            deflated = !cached && readDeflatedColumn(name, job->stored);
            lockedNanoseconds += static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - locked).count());
        }
        if (!deflated) {
            getFeature(name); // the library's read, with its message if it fails
            columnDone();
            std::lock_guard<std::mutex> lock(queueMutex);
            spareJobs.push_back(std::move(job));
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            queuedBytes += job->stored.capacity();
            queue.push_back(std::move(job));
        }
        jobReady.notify_one();
    }
    // Help with what is left, then wait for the decoding threads.
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (failure)
                break;
            job = takeJob();
        }
        if (!job)
            break;
        finish(ownInflater, std::move(job));
    }
    joiner.end();
    if (failure)
        std::rethrow_exception(failure);
    for (const std::string& name : undecoded) {
        getFeature(name);
        columnDone();
    }
}

} // namespace Tervane3
