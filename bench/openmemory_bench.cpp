// Memory of open measurements: opens the synthetic 1,000,000-event measurement (made by
// tervane3-synth) 20 times under different spellings of its path, so that each becomes a
// dataset of its own with its own cached columns, and prints the resident set size after
// each one is cached and the peak. A measured trial, not a Google Benchmark: run it alone.
// It stops early when the machine has less than 3 GB left.
//
// TERVANE3_BENCH_DIR chooses the folder of the file (default: the temporary folder).
#include "bench/BenchApplication.h"
#include "mainwindow/MainWindowTestAccess.h"

#include <QFile>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

// A field of /proc/self/status or /proc/meminfo in MiB (the files give kB).
double procField(const char* file, const std::string& key)
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

} // namespace

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);

    const char* dir = std::getenv("TERVANE3_BENCH_DIR");
    const std::string folder = dir ? dir : std::filesystem::temp_directory_path().string();
    const std::string path = folder + "/tervane3_bench_mainplot_1M.rtdc";
    if (!std::filesystem::exists(path)) {
        const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path + "\" --events 1000000 --seed 7";
        if (std::system(command.c_str()) != 0)
            return 1;
    }

    {
        Test::MainWindowEnvironment env;
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        QCoreApplication::processEvents();
        std::cout << "datasets  rss_MiB  peak_MiB" << std::endl;
        std::cout << "0  " << procField("/proc/self/status", "VmRSS") << "  "
                  << procField("/proc/self/status", "VmHWM") << std::endl;
        std::string spelling = folder;
        for (int i = 1; i <= 20; ++i) {
            if (procField("/proc/meminfo", "MemAvailable") < 3072.0) {
                std::cout << "stopped: less than 3 GB available" << std::endl;
                break;
            }
            // "/tmp/./file", "/tmp/././file", ...: the same file, another dataset each time.
            spelling += "/.";
            Access::addDataset(window, QString::fromStdString(spelling + "/tervane3_bench_mainplot_1M.rtdc"));
            Test::waitForCaching(window, 600000);
            std::cout << i << "  " << procField("/proc/self/status", "VmRSS") << "  "
                      << procField("/proc/self/status", "VmHWM") << std::endl;
        }
    }
    return 0;
}
