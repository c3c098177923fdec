// The drag payload of a dataset: what the dataset list and the folder tree put on a drag and
// what the tool windows (combine plot, statistical evaluation) read from a drop.
#pragma once

class QMimeData;

namespace Tervane3 {

namespace DatasetDragPayload {

// The MIME type; its bytes are the dataset id as decimal UTF-8 text.
inline constexpr const char* mimeType = "application/x-tervane3-dataset";

// A new payload carrying the id under the MIME type and as plain text; the caller (usually
// a QDrag) takes ownership.
QMimeData* create(int datasetId);

// True when the data has the dataset MIME type (whatever its bytes).
bool hasDataset(const QMimeData* data);

// The id carried by the data, or -1 when the data is null, lacks the MIME type or its bytes
// are not a dataset id (plain decimal digits of a non-negative int, nothing else).
int datasetId(const QMimeData* data);

} // namespace DatasetDragPayload

} // namespace Tervane3
