// A synthetic measurement for a benchmark: made once by tervane3-synth in the temporary
// folder (or TERVANE3_BENCH_DIR) and reused by later runs.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace Tervane3::Bench {

// The file `name` written with the generator's arguments; exits when the generator fails.
inline std::string synthFile(const std::string& name, const std::string& arguments)
{
    const char* dir = std::getenv("TERVANE3_BENCH_DIR");
    const std::string folder = dir ? dir : std::filesystem::temp_directory_path().string();
    const std::string path = folder + "/" + name;
    if (!std::filesystem::exists(path)) {
        const std::string command =
            std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path + ".part\" " + arguments;
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
