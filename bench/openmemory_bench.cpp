// Memory of open measurements: opens the synthetic 1,000,000-event measurement (made by
// tervane3-synth) 20 times under different spellings of its path, so that each becomes a
// dataset of its own with its own cached columns, and prints the resident set size after
// each one is cached and the peak. A measured trial, not a Google Benchmark: run it alone.
// It stops early when the machine has less than 3 GB left.
//
// TERVANE3_BENCH_DIR chooses the folder of the file (default: the temporary folder).
#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"
#include "mainwindow/MainWindowTestAccess.h"

#include <QFile>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

using namespace Tervane3;
using Access = MainWindowTestAccess;

int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);

    const std::string path = Bench::ensureSynthFile("tervane3_bench_mainplot_1M.rtdc", "--events 1000000 --seed 7");
    const std::string folder = path.substr(0, path.rfind('/'));

    {
        Test::MainWindowEnvironment env;
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        QCoreApplication::processEvents();
        std::cout << "datasets  rss_MiB  peak_MiB" << std::endl;
        std::cout << "0  " << Bench::procFieldMiB("/proc/self/status", "VmRSS") << "  "
                  << Bench::procFieldMiB("/proc/self/status", "VmHWM") << std::endl;
        std::string spelling = folder;
        for (int i = 1; i <= 20; ++i) {
            if (Bench::procFieldMiB("/proc/meminfo", "MemAvailable") < 3072.0) {
                std::cout << "stopped: less than 3 GB available" << std::endl;
                break;
            }
            // "/tmp/./file", "/tmp/././file", ...: the same file, another dataset each time.
            spelling += "/.";
            Access::addDataset(window, QString::fromStdString(spelling + "/tervane3_bench_mainplot_1M.rtdc"));
            Test::waitForCaching(window, 600000);
            std::cout << i << "  " << Bench::procFieldMiB("/proc/self/status", "VmRSS") << "  "
                      << Bench::procFieldMiB("/proc/self/status", "VmHWM") << std::endl;
        }
    }
    return 0;
}
