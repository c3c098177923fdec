// Synthetic measurements for the benchmarks, made once by tervane3-synth and kept in the
// benchmark folder (TERVANE3_BENCH_DIR, else the system's temporary folder) for later runs.
// A benchmark that uses it defines TERVANE3_SYNTH_PATH (see bench/CMakeLists.txt).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace Tervane3::Bench {

inline std::string benchDir()
{
    const char* dir = std::getenv("TERVANE3_BENCH_DIR");
    return dir ? dir : std::filesystem::temp_directory_path().string();
}

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

} // namespace Tervane3::Bench
