// Synthetic measurements for the benchmarks, made once by tervane3-synth and kept in the
// benchmark folder (TERVANE3_BENCH_DIR, else the system's temporary folder) for later runs.
// A benchmark that generates files defines TERVANE3_SYNTH_PATH (see bench/CMakeLists.txt).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace Tervane3::Bench {

inline std::string benchDir()
{
    const char* dir = std::getenv("TERVANE3_BENCH_DIR");
    return dir ? dir : std::filesystem::temp_directory_path().string();
}

#ifdef TERVANE3_SYNTH_PATH
// The file `name` in the benchmark folder, generated with the arguments unless it exists.
inline std::string ensureSynthFile(const std::string& name, const std::string& arguments)
{
    const std::string path = benchDir() + "/" + name;
    if (!std::filesystem::exists(path)) {
        const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path + ".part\" " + arguments;
        std::cerr << "Generating " << path << " ..." << std::endl;
        if (std::system(command.c_str()) != 0) {
            std::cerr << "generator failed: " << command << std::endl;
            std::exit(1);
        }
        std::filesystem::rename(path + ".part", path);
    }
    return path;
}
#endif

// A field of /proc/self/status or /proc/meminfo (given in kB) in MiB; 0 when it is absent.
inline double procFieldMiB(const char* file, const std::string& key)
{
    std::ifstream in(file);
    std::string line;
    const std::string prefix = key + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::strtod(line.c_str() + prefix.size(), nullptr) / 1024.0;
    }
    return 0.0;
}

// A field of /proc/self/status (VmRSS, VmHWM, ...) in MiB.
inline double statusMiB(const std::string& key) { return procFieldMiB("/proc/self/status", key); }

} // namespace Tervane3::Bench
