// The Qt application object of a benchmark that builds widgets: on the offscreen platform
// unless the caller chose one, and with C numbers, as the program itself runs.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

#include <clocale>

namespace Tervane3::Bench {

class BenchApplication
{
public:
    BenchApplication(int& argc, char** argv)
        : platform(prepare())
        , app(argc, argv)
    {
        std::setlocale(LC_NUMERIC, "C");
    }

private:
    static bool prepare()
    {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return true;
    }

    bool platform;
    QApplication app;
};

// Runs the registered benchmarks with the command-line options Google Benchmark knows.
inline void runRegisteredBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

} // namespace Tervane3::Bench
