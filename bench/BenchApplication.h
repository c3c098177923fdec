// The Qt application object of a benchmark that builds widgets: on the offscreen platform
// unless the caller chose one, and with C numbers, as the program itself runs.
#pragma once

#include "support/OffscreenApplication.h"

#include <benchmark/benchmark.h>

namespace Tervane3::Bench {

using BenchApplication = Test::OffscreenApplication;

// Runs the registered benchmarks with the command-line options Google Benchmark knows.
inline void runRegisteredBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

} // namespace Tervane3::Bench
