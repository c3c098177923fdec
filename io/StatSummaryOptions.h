// The choices of one statistical summary export. The main window keeps the last accepted
// record for the next dialog of the run (not in the settings store, not in session files).
#pragma once

#include <string>
#include <vector>

namespace Tervane3 {

struct StatSummaryOptions
{
    std::vector<std::string> features; // chosen feature keys, in the dialog's list order
    bool allDatasets = false;          // every loaded dataset instead of the active one
    std::string outputPath;            // UTF-8
    bool n = true;
    bool median = true;
    bool iqr = false;
    bool mean = true;
    bool sd = true;
    bool sem = false;
    bool q1 = false;
    bool q3 = false;
    bool min = false;
    bool max = false;
    bool cv = false;
    bool skewness = false;
    bool percentile = false;
    double percentileValue = 95.0; // percent, 0 .. 100
};

} // namespace Tervane3
