// Inputs of the dimension-reduction benchmarks: the generator's measurement (made on first
// use in the temporary folder or TERVANE3_BENCH_DIR), its six features as a matrix, peak
// memory from /proc, and the comparison runs of tools/dimred/umap_learn_trial.py with
// Debian's python3 (installed by ./dev bench; skipped when it is missing).
#pragma once

#include "BenchFiles.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedMatrix.h"
#include "dimred/DimRedModel.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace Tervane3::Bench {

// The generator's 1,000,000-event measurement with seed 1.
inline std::string generatedMeasurement()
{
    return ensureSynthFile("tervane3_bench_dimred_1M.rtdc", "--events 1000000 --seed 1");
}

inline const std::vector<std::string>& sixFeatures()
{
    static const std::vector<std::string> names = {"area_um", "deform", "bright_avg", "bright_sd", "fl1_max", "fl2_max"};
    return names;
}

// The first `rows` events of the six features, raw.
inline DimRedMatrix measurementMatrix(uint64_t rows)
{
    RTDCReader reader;
    if (!reader.open(generatedMeasurement())) {
        std::cerr << "cannot open the generated measurement" << std::endl;
        std::exit(1);
    }
    const auto& names = sixFeatures();
    DimRedMatrix X;
    X.rows = std::min<uint64_t>(rows, reader.eventCount());
    X.cols = names.size();
    X.data.resize(X.rows * X.cols);
    for (size_t c = 0; c < names.size(); ++c) {
        const std::vector<double>& column = reader.getFeature(names[c]);
        for (uint64_t r = 0; r < X.rows; ++r)
            X.data[r * X.cols + c] = column.at(r);
    }
    return X;
}

inline DimRedMatrix robustStandardised(const DimRedMatrix& X)
{
    return DimRedModel::standardize(DimRedModel::fitScaler(X, sixFeatures()), X);
}

// Resets the peak resident size so that a later VmHWM shows the peak of what follows.
inline void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline void writeMatrix(const std::string& path, const std::vector<double>& values)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(double)));
}

inline std::vector<double> readMatrix(const std::string& path, size_t count)
{
    std::vector<double> values(count);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(count * sizeof(double)));
    if (!in)
        values.clear();
    return values;
}

// Runs the comparison script with Debian's python3; returns the "seconds" it printed, or
// a negative value when it could not run.
inline double runPythonTrial(const std::string& arguments)
{
    const std::string command = std::string("PATH=$(getconf PATH) python3 \"") + TERVANE3_SOURCE_DIR
        + "/tools/dimred/umap_learn_trial.py\" " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1.0;
    double seconds = -1.0;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) {
        double s = 0.0;
        if (std::sscanf(line, "seconds %lf", &s) == 1)
            seconds = s;
    }
    return pclose(pipe) == 0 ? seconds : -1.0;
}

} // namespace Tervane3::Bench
