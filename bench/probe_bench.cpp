// The probe that checks each measurement in a process of its own before it is opened: from
// start to verdict on a synthetic 1,000,000-event measurement with traces (the child's start,
// the reader's open and the structure walk), the same walk in this process (what the child
// spends beyond starting), a 20,000-event file with images and masks, and 20 such 1M-event
// files opened one after another through the road File > Open takes, timed with and without
// the probe (each dataset is cached and removed again before the next, so memory stays at
// one dataset). The probe times the window logs are summed as well.
//
// The files are made on first run by tervane3-synth in the temporary folder (the same files
// as the reader and gallery benchmarks); TERVANE3_BENCH_DIR chooses another folder.
#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"
#include "mainwindow/MainWindowTestAccess.h"

#include "app/Log.h"
#include "app/MeasurementProbeRunner.h"
#include "core/MeasurementProbe.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <H5Cpp.h>

#include <iostream>
#include <string>

using namespace Tervane3;
using Access = MainWindowTestAccess;

namespace {

const std::string& largeFile()
{
    static const std::string path =
        Bench::ensureSynthFile("tervane3_bench_1M.rtdc", "--events 1000000 --traces --seed 1");
    return path;
}

const std::string& imageFile()
{
    static const std::string path =
        Bench::ensureSynthFile("tervane3_bench_images_20k.rtdc", "--events 20000 --images --masks --seed 2");
    return path;
}

void probeProgramOn(benchmark::State& state, const std::string& path)
{
    setProbeProgram(QStringLiteral(TERVANE3_PROBE_PROGRAM));
    const QString file = QString::fromStdString(path);
    for (auto _ : state) {
        const ProbeVerdict verdict = probeMeasurementFile(file);
        if (verdict.outcome != ProbeVerdict::Outcome::Usable) {
            state.SkipWithError("the probe did not find the file usable");
            return;
        }
    }
}

void BM_ProbeProgram1MEventsWithTraces(benchmark::State& state)
{
    probeProgramOn(state, largeFile());
}

void BM_ProbeProgram20kEventsWithImagesAndMasks(benchmark::State& state)
{
    probeProgramOn(state, imageFile());
}

// The same open and walk without a child process.
void BM_ProbeWalkInProcess1MEventsWithTraces(benchmark::State& state)
{
    for (auto _ : state) {
        const ProbeFindings findings = probeMeasurement(largeFile());
        if (!findings.usable) {
            state.SkipWithError("the walk did not find the file usable");
            return;
        }
    }
}

// The sum of the "Probe of ...: usable (n events, t ms)" lines the window logged since `from`.
long long loggedProbeMilliseconds(const QString& log)
{
    static const QRegularExpression line(QStringLiteral("Probe of .*: usable \\(\\d+ events, (\\d+) ms\\)"));
    long long sum = 0;
    for (auto match = line.globalMatch(log); match.hasNext();)
        sum += match.next().captured(1).toLongLong();
    return sum;
}

// 20 files through the dialog's road; the time of the 20 synchronous opening steps (probe,
// open, metadata, list item, activation), not of the background caching.
void openTwenty(benchmark::State& state, bool probe)
{
    setProbeProgram(probe ? QStringLiteral(TERVANE3_PROBE_PROGRAM) : QStringLiteral("/nonexistent/tervane3-probe"));
    const std::string path = largeFile();
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string name = path.substr(path.rfind('/'));
    for (auto _ : state) {
        Test::MainWindowEnvironment env;
        MainWindow window;
        window.resize(1200, 800);
        window.show();
        const QString logBefore = recentLogText();
        double opening = 0.0;
        std::string spelling = folder;
        for (int i = 0; i < 20; ++i) {
            // A path of its own each time (the window only selects a path it has open).
            spelling += "/.";
            QElapsedTimer clock;
            clock.start();
            Access::addDataset(window, QString::fromStdString(spelling + name));
            opening += static_cast<double>(clock.nsecsElapsed()) * 1e-9;
            Test::waitForCaching(window, 600000);
            window.removeDataset();
        }
        state.SetIterationTime(opening);
        const QString log = recentLogText();
        state.counters["logged_probe_ms"] = static_cast<double>(loggedProbeMilliseconds(log.mid(logBefore.size())));
    }
}

void BM_OpenTwenty1MFilesWithProbe(benchmark::State& state)
{
    openTwenty(state, true);
}

void BM_OpenTwenty1MFilesWithoutProbe(benchmark::State& state)
{
    openTwenty(state, false);
}

} // namespace

BENCHMARK(BM_ProbeProgram1MEventsWithTraces)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ProbeWalkInProcess1MEventsWithTraces)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ProbeProgram20kEventsWithImagesAndMasks)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenTwenty1MFilesWithProbe)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenTwenty1MFilesWithoutProbe)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    H5::Exception::dontPrint();
    Bench::BenchApplication app(argc, argv);
    // The window logs each probe's verdict and time; the log folder is a temporary one.
    QTemporaryDir logDir;
    initLogging(logDir.path());
    Bench::runRegisteredBenchmarks(argc, argv);
    return 0;
}
