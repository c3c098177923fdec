// The choices of one export of filtered events, as the export dialog returns them. The main
// window keeps the last accepted record for the next dialog of the run (not in the settings
// store, not in session files).
#pragma once

#include <string>
#include <vector>

namespace Tervane3 {

struct ExportOptions
{
    std::vector<std::string> features; // chosen scalar feature keys, in the dialog's order
    bool images = false;
    bool masks = false;
    bool traces = false;
    bool tsv = false;  // format TSV
    bool avi = false;  // format AVI; neither tsv nor avi: .rtdc
    bool aviMjpeg = true;             // false: uncompressed grey frames
    bool skipDuplicateFrames = false; // AVI: only the first event of each camera frame
    bool forReanalysis = false;       // AVI: 100 frames of the average image first
    bool customDirectory = false;     // write into `directory`, not beside each source
    std::string directory;            // the folder field's text, UTF-8
    bool allDatasets = false;         // every dataset instead of the active one
};

} // namespace Tervane3
