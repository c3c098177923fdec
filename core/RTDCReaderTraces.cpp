// Traces of the .rtdc reader: indexing /events/trace, reading one event's row of a stored
// trace, and derived traces (a source trace passed through the processing stages, with a
// one-entry cache for repeated reads of the same trace and event).
#include "core/RTDCReader.h"

#include "core/Hdf5Lock.h"
#include "core/RTDCReaderPrivate.h"
#include "core/TraceProcessing.h"

#include <algorithm>

namespace Tervane3 {

using namespace Hdf5Detail;

namespace {

bool isTraceDatasetName(const std::string& name)
{
    return name.find("_median") != std::string::npos || name.find("_raw") != std::string::npos;
}

} // namespace

void RTDCReader::cacheTraceInfo()
{
    std::vector<std::string> names;
    std::uint64_t samples = 0;
    bool complete = false;
    samplesPerTrace = 0;
    tracesPresent = false;
    if (opened && file) {
        try {
            const hid_t id = file->file.getId();
            if (linkExists(id, "/events") && linkExists(id, "/events/trace")) {
                H5::Group group = file->file.openGroup("/events/trace");
                const hsize_t count = group.getNumObjs();
                for (hsize_t i = 0; i < count; ++i) {
                    const std::string name = group.getObjnameByIdx(i);
                    if (group.getObjTypeByIdx(i) != H5G_DATASET || !isTraceDatasetName(name))
                        continue;
                    // Traces are events x samples; other ranks have no row to give.
                    H5::DataSpace space = group.openDataSet(name).getSpace();
                    if (space.getSimpleExtentNdims() != 2)
                        continue;
                    names.push_back(name);
                    if (samples == 0) {
                        hsize_t dims[2] = {0, 0};
                        space.getSimpleExtentDims(dims);
                        samples = dims[1];
                    }
                }
            }
            complete = true;
        } catch (const H5::Exception& e) {
            reportReaderMessage("Error caching trace info: " + e.getDetailMsg());
            openProblems.push_back("The list of traces in /events/trace cannot be read (" + e.getDetailMsg() + ").");
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    samplesPerTrace = samples;
    tracesPresent = complete && !names.empty();
    std::lock_guard<std::mutex> state(stateMutex);
    traceNameList = std::move(names);
}

std::vector<std::string> RTDCReader::traceNames() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return traceNameList;
}

std::uint64_t RTDCReader::traceLength() const
{
    return samplesPerTrace;
}

bool RTDCReader::hasTraces() const
{
    return tracesPresent;
}

std::vector<float> RTDCReader::getTrace(const std::string& name, std::uint64_t eventIndex) const
{
    Hdf5Locker lock(hdf5Mutex());
    quiet();
    return readTrace(name, eventIndex);
}

std::vector<float> RTDCReader::readTrace(const std::string& name, std::uint64_t eventIndex,
                                         int depth) const
{
    const auto derived = derivedTraces.find(name);
    if (derived == derivedTraces.end())
        return readStoredTrace(name, eventIndex);
    if (cachedTraceName == name && cachedTraceEvent == eventIndex)
        return cachedTrace;
    // addDerivedTrace refuses cycles; the bound keeps a read finite whatever happens.
    if (depth > static_cast<int>(derivedTraces.size()))
        return {};
    const std::string source = derived->second;
    std::vector<float> trace = readTrace(source, eventIndex, depth + 1);
    applyTraceProcessing(trace, traceSettings);
    cachedTraceName = name;
    cachedTraceEvent = eventIndex;
    cachedTrace = trace;
    return trace;
}

std::vector<float> RTDCReader::readStoredTrace(const std::string& name, std::uint64_t eventIndex,
                                               std::string* failure) const
{
    if (!opened || !tracesPresent || !file)
        return {};
    try {
        auto found = file->traces.find(name);
        if (found == file->traces.end()) {
            // A "/" would address an object outside the trace group.
            if (name.empty() || name.find('/') != std::string::npos)
                throw H5::GroupIException("readTrace", "not a trace name");
            TraceSet trace;
            trace.set = file->file.openDataSet("/events/trace/" + name, perEventAccess());
            checkStorageLayout(trace.set);
            H5::DataSpace space = trace.set.getSpace();
            if (space.getSimpleExtentNdims() != 2)
                throw H5::DataSetIException("readTrace", "not a two-dimensional trace dataset");
            hsize_t dims[2] = {0, 0};
            space.getSimpleExtentDims(dims);
            trace.events = dims[0];
            trace.samples = dims[1];
            if (!plausibleSize(file->fileSize, trace.samples, sizeof(float)))
                throw H5::DataSetIException("readTrace", "the dataset claims more samples than the file can hold");
            H5::DataType type = trace.set.getDataType();
            if (!isPlainNumber(type))
                throw H5::DataSetIException("readTrace", "samples are not stored as numbers");
            if (type.getClass() == H5T_INTEGER && type.getSize() == 2)
                trace.kind = H5Tget_sign(type.getId()) == H5T_SGN_NONE ? TraceSet::Kind::UInt16
                                                                        : TraceSet::Kind::Int16;
            found = file->traces.emplace(name, std::move(trace)).first;
        }
        TraceSet& trace = found->second;
        if (eventIndex >= trace.events)
            return {};
        std::vector<float> samples(static_cast<std::size_t>(trace.samples));
        if (samples.empty())
            return samples;
        H5::DataSpace fileSpace = trace.set.getSpace();
        const hsize_t start[2] = {eventIndex, 0};
        const hsize_t count[2] = {1, trace.samples};
        fileSpace.selectHyperslab(H5S_SELECT_SET, count, start);
        H5::DataSpace memorySpace(1, &trace.samples);
        switch (trace.kind) {
        case TraceSet::Kind::Int16: {
            std::vector<std::int16_t> raw(samples.size());
            trace.set.read(raw.data(), H5::PredType::NATIVE_INT16, memorySpace, fileSpace);
            std::copy(raw.begin(), raw.end(), samples.begin());
            break;
        }
        case TraceSet::Kind::UInt16: {
            // Read as signed, detector counts above 32767 would saturate and flatten peaks.
            std::vector<std::uint16_t> raw(samples.size());
            trace.set.read(raw.data(), H5::PredType::NATIVE_UINT16, memorySpace, fileSpace);
            std::copy(raw.begin(), raw.end(), samples.begin());
            break;
        }
        case TraceSet::Kind::Float:
            trace.set.read(samples.data(), H5::PredType::NATIVE_FLOAT, memorySpace, fileSpace);
            break;
        }
        return samples;
    } catch (const H5::Exception& e) {
        reportReaderMessage("Error reading trace '" + name + "' at index " + std::to_string(eventIndex) + ": "
                            + e.getDetailMsg());
        if (failure)
            *failure = e.getDetailMsg();
        return {};
    }
}

bool RTDCReader::leadsTo(const std::string& from, const std::string& target) const
{
    std::string current = from;
    for (std::size_t steps = 0; steps <= derivedTraces.size(); ++steps) {
        const auto next = derivedTraces.find(current);
        if (next == derivedTraces.end())
            return false;
        current = next->second;
        if (current == target)
            return true;
    }
    return true; // a cycle that does not pass through target: refuse as well
}

void RTDCReader::addDerivedTrace(const std::string& derivedName, const std::string& sourceName)
{
    Hdf5Locker lock(hdf5Mutex());
    if (derivedName == sourceName || leadsTo(sourceName, derivedName)) {
        reportReaderMessage("Error adding derived trace '" + derivedName + "': its source '" + sourceName
                            + "' is derived from it");
        return;
    }
    const auto existing = derivedTraces.find(derivedName);
    if (existing == derivedTraces.end() || existing->second != sourceName) {
        derivedTraces[derivedName] = sourceName;
        // A cached row of the re-pointed name (or of a trace derived from it) is stale.
        cachedTraceName.clear();
        cachedTraceEvent = ~std::uint64_t(0);
        cachedTrace.clear();
    }
    std::lock_guard<std::mutex> state(stateMutex);
    const auto position = std::lower_bound(traceNameList.begin(), traceNameList.end(), derivedName);
    if (position == traceNameList.end() || *position != derivedName)
        traceNameList.insert(position, derivedName);
}

void RTDCReader::setTraceProcessing(bool hampel1Enabled, int hampel1HalfWindow, float hampel1Threshold,
                                    bool hampel2Enabled, int hampel2HalfWindow, float hampel2Threshold,
                                    bool medianEnabled, int medianHalfWindow,
                                    bool rollingMeanEnabled, int rollingMeanHalfWindow,
                                    bool savitzkyGolayEnabled, int savitzkyGolayHalfWindow)
{
    setTraceProcessing(TraceProcessingSettings{
        hampel1Enabled, hampel1HalfWindow, hampel1Threshold, hampel2Enabled, hampel2HalfWindow,
        hampel2Threshold, medianEnabled, medianHalfWindow, rollingMeanEnabled, rollingMeanHalfWindow,
        savitzkyGolayEnabled, savitzkyGolayHalfWindow});
}

void RTDCReader::setTraceProcessing(const TraceProcessingSettings& settings)
{
    Hdf5Locker lock(hdf5Mutex());
    traceSettings = settings;
    cachedTraceName.clear();
    cachedTraceEvent = ~std::uint64_t(0);
    cachedTrace.clear();
}

} // namespace Tervane3
