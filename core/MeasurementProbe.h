// The check a short-lived child process runs on a measurement before the application opens
// it: the HDF5 library (1.10) crashes or hangs inside its own code on some damaged files,
// and only a separate process can take that blow. The walk uses the reader itself, so it
// touches what opening and caching in the application will touch, without reading whole
// columns. The findings travel to the application as a few lines of text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tervane3 {

struct ProbeFindings
{
    bool usable = false;
    // Why the file is refused, in plain words; empty when usable.
    std::string reason;
    std::uint64_t events = 0;
    std::uint64_t features = 0;
    // The reader's own error and warning lines met on the way.
    std::vector<std::string> messages;
};

// Opens the file with a reader, reads its metadata and walks its structure
// (RTDCReader::checkStructure). Refused: the file does not open, or damage was found.
// `messages` is left empty here; the probe program fills it from the reader's message sink.
ProbeFindings probeMeasurement(const std::string& path);

// The findings as lines "message <text>", "events <n>", "features <n>", then "usable" or
// "refused <reason>" last; line breaks inside texts become blanks.
std::string formatProbeFindings(const ProbeFindings& findings);
// The reverse; false when the text does not end in a verdict line (the child died before).
bool parseProbeFindings(const std::string& text, ProbeFindings& findings);

} // namespace Tervane3
