// The video of an export of filtered events: one frame per event image at 25 frames per
// second, Motion JPEG (colour frames) or uncompressed 8-bit grey frames, which read back
// exactly. Optionally only the first event of each camera frame, and optionally 100 frames
// of the average image first (for reanalysis). GUI thread.
#pragma once

#include <QString>

#include <vector>

namespace Tervane3 {

class RTDCReader;

// FFmpeg's colour conversion for MJPEG (4.4 as shipped) writes past its frame buffer for
// frames narrower than this; the uncompressed grey frames are not converted.
constexpr int kMinimumMjpegWidth = 8;

struct AviWriteResult
{
    enum Status { Written, NoImages, NoEvents, NoDimensions, TooNarrowForMjpeg, OpenFailed, WriteFailed };
    Status status = WriteFailed;
    int frames = 0; // frames written, the average-image frames included
};

// Frames take the size of the first selected event whose image can be read (for MJPEG at
// least kMinimumMjpegWidth pixels wide), an odd width or height made even by a black
// column or row on the right or at the bottom; images of
// another size and images that cannot be read are left out. With skipDuplicateFrames an
// event whose "frame" value (truncated to an integer) was seen before is left out; a value
// that is not finite, out of range or beyond the end of the column is never a duplicate.
AviWriteResult writeEventsAvi(const QString& path, const RTDCReader& reader,
                              const std::vector<int>& selection, bool mjpeg,
                              bool skipDuplicateFrames, bool forReanalysis);

} // namespace Tervane3
