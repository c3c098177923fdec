// Checks of the .rtdc reader that say why a file cannot be used: the reason a file would not
// open, in plain words, and the walk over what opening and caching rely on that the probe
// runs in a child process before the application opens a file itself.
#include "core/RTDCReader.h"

#include "core/Hdf5Lock.h"
#include "core/RTDCReaderPrivate.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace Tervane3 {

using namespace Hdf5Detail;

namespace {

// The library looks for its signature at offset 0 and then at every power of two from 512
// (a user block may come first).
bool hasHdf5Signature(const std::string& path, std::uint64_t size)
{
    static const char signature[8] = {'\x89', 'H', 'D', 'F', '\r', '\n', '\x1a', '\n'};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    for (std::uint64_t offset = 0; offset + sizeof signature <= size; offset = offset == 0 ? 512 : offset * 2) {
        char bytes[sizeof signature] = {};
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        if (!in.read(bytes, sizeof bytes))
            return false;
        if (std::memcmp(bytes, signature, sizeof signature) == 0)
            return true;
    }
    return false;
}

} // namespace

OpenFailureFacts examineUnopenedFile(const std::string& path, bool truncatedPerLibrary)
{
    namespace fs = std::filesystem;
    OpenFailureFacts facts;
    facts.truncated = truncatedPerLibrary;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    facts.exists = !error && fs::exists(status);
    if (!facts.exists)
        return facts;
    facts.isFolder = fs::is_directory(status);
    if (facts.isFolder)
        return facts;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        facts.readable = errno != EACCES && errno != EPERM;
        if (!facts.readable)
            return facts;
    } else {
        ::close(fd);
    }
    const auto size = fs::file_size(path, error);
    facts.size = error ? 0 : static_cast<std::uint64_t>(size);
    facts.hdf5Signature = facts.size > 0 && hasHdf5Signature(path, facts.size);
    return facts;
}

std::string describeOpenFailure(const OpenFailureFacts& facts)
{
    if (!facts.exists)
        return "The file does not exist.";
    if (facts.isFolder)
        return "It is a folder, not a measurement file.";
    if (!facts.readable)
        return "There is no permission to read the file.";
    if (facts.size == 0)
        return "The file is empty (0 bytes).";
    if (!facts.hdf5Signature)
        return "It is not an HDF5 file, so it cannot be an RT-DC measurement.";
    if (facts.truncated)
        return "The file is truncated: it ends before the size its header records (an incomplete copy "
               "or download).";
    return "The file is damaged: its HDF5 header cannot be read.";
}

std::vector<std::string> RTDCReader::checkStructure() const
{
    std::vector<std::string> problems;
    if (!opened)
        return problems;
    Hdf5Locker lock(hdf5Mutex());
    if (!file)
        return problems;
    problems = openProblems;
    problems.insert(problems.end(), metadataProblems.begin(), metadataProblems.end());
    quiet();
    for (const std::string& name : fileFeatureNames()) {
        try {
            H5::DataSet set = file->file.openDataSet("/events/" + name);
            H5::DataSpace space = set.getSpace();
            const int rank = space.getSimpleExtentNdims();
            H5::DataType type = set.getDataType();
            checkStorageLayout(set);
            if (rank == 1) {
                hsize_t n = 0;
                space.getSimpleExtentDims(&n);
                if (!plausibleSize(file->fileSize, n, std::max<std::size_t>(type.getSize(), 1)))
                    throw H5::DataSetIException("checkStructure", "it claims more values than the file can hold");
            }
            // Walks the whole chunk index: what reading the column will follow.
            if (set.getCreatePlist().getLayout() == H5D_CHUNKED) {
                hsize_t chunks = 0;
                H5::DataSpace all = set.getSpace();
                all.selectAll();
                if (H5Dget_num_chunks(set.getId(), all.getId(), &chunks) < 0)
                    throw H5::DataSetIException("checkStructure", "its index of chunks cannot be read");
            }
        } catch (const H5::Exception& e) {
            problems.push_back("The feature '" + name + "' is damaged (" + e.getDetailMsg() + ").");
        }
    }
    // What showing the first event reads.
    for (const bool mask : {false, true}) {
        if (!(mask ? maskPresent : imagePresent))
            continue;
        std::string failure;
        int width = 0;
        int height = 0;
        readFrame(mask, 0, width, height, &failure);
        if (!failure.empty())
            problems.push_back(std::string(mask ? "The mask" : "The image") + " stack is damaged (" + failure + ").");
    }
    for (const std::string& name : traceNames()) {
        if (derivedTraces.count(name) > 0)
            continue;
        std::string failure;
        readStoredTrace(name, 0, &failure);
        if (!failure.empty())
            problems.push_back("The trace '" + name + "' is damaged (" + failure + ").");
    }
    return problems;
}

} // namespace Tervane3
