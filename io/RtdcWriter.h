// Writes a new .rtdc measurement holding chosen events of an opened one: the source's
// metadata, the record of the filter that chose the events, the record of the export, the
// scalar features (float64, contiguous) and, on request, the event images and masks (uint8
// n x h x w) and traces (float32 n x L), each per-event dataset in chunks of one event,
// deflated at level 4. The layout is the one RTDCReader reads.
//
// One function per step, each on one open output file. Every step reports whether it wrote
// everything it should; failures of the HDF5 library are caught inside, printed on the
// standard error stream with the step's prefix, and give false. The steps take the
// process-wide HDF5 lock themselves and release it between steps (and between batches of
// events in the per-event steps), so readers on worker threads are never held up for a
// whole export. GUI thread: one export at a time.
#pragma once

#include "core/EventFilter.h"
#include "core/Metadata.h"

#include <H5Cpp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

class RTDCReader;

namespace RtdcWriter {

// Empty until create() succeeds; released by close() or closeNoThrow().
using FileHandle = std::unique_ptr<H5::H5File>;

// Creates (truncates) the file at path with the group "/events".
bool create(FileHandle& file, const std::string& path);
// Every metadata entry as a string attribute of its full name, in ascending byte order,
// except the names of the stored polygon filters, which are written as float32 N x 2
// arrays under "online_filter:<x>,<y> polygon points".
bool copyMetadata(FileHandle& file, const Metadata& metadata);
// The "offline_filter:" record of the filter (see OfflineFilterRecord.h); the reader tells
// which rule columns the filter could use. Rules left out are printed as warnings.
bool writeOfflineFilter(FileHandle& file, const EventFilter& filter, const RTDCReader& reader);
// "export:date", "export:event count" and, when not empty, "export:changed sample name";
// a copied changed sample name is removed when this export has none.
bool writeExportMetadata(FileHandle& file, std::uint64_t eventCount,
                         const std::string& changedSampleName);
// "/events/<name>" per feature the reader has a column for; events beyond the end of a
// short column are written as NaN.
bool writeScalarFeatures(FileHandle& file, const std::vector<std::string>& names,
                         const std::vector<int>& selection, const RTDCReader& reader);
// "/events/image" and "/events/mask" in the size of the first readable frame; a frame that
// cannot be read or has another size leaves its row at 0.
bool writeImages(FileHandle& file, const RTDCReader& reader, const std::vector<int>& selection);
bool writeMasks(FileHandle& file, const RTDCReader& reader, const std::vector<int>& selection);
// "/events/trace/<name>" for every trace name of the reader (derived traces included), rows
// of the reader's trace length; a trace that cannot be read leaves its row at 0, a longer
// or shorter one is cut or padded with 0.
bool writeTraces(FileHandle& file, const RTDCReader& reader, const std::vector<int>& selection);
// Flushes and closes the file; false when the library reported an error.
bool close(FileHandle& file);
// Releases the file whatever happened; for the end of every export path.
void closeNoThrow(FileHandle& file) noexcept;

// Root attributes, replacing one of the same name. The caller holds the HDF5 lock;
// exceptions of the library pass to the caller.
void writeStringAttribute(H5::H5File& file, const std::string& name, const std::string& value);
void writePointsAttribute(H5::H5File& file, const std::string& name,
                          const std::vector<std::pair<double, double>>& points);

// Makes the named step ("create", "metadata", "filter", "export", "features", "images",
// "masks", "traces", "close") fail as if the library had reported an error; empty: none.
// For tests of the error paths.
void failStepForTesting(const std::string& step);

} // namespace RtdcWriter
} // namespace Tervane3
