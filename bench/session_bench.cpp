// Session files with 20 datasets of 1,000,000 events: saving, phase 1 of loading (clearing
// the old session, opening each file for its fingerprint), the whole load with the
// background caching, and phase 2 (duplicates, groups, per-dataset state, activation with
// its plot update) run once more on the loaded datasets; resident and peak memory.
// A measured trial, not a Google Benchmark: run it alone. The 20 datasets are one
// synthetic file opened under 20 spellings of its path.
#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"
#include "mainwindow/MainWindowTestAccess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <fstream>
#include <iostream>
#include <string>

using namespace Tervane3;
using Access = MainWindowTestAccess;


int main(int argc, char** argv)
{
    Bench::BenchApplication app(argc, argv);
    const std::string path = Bench::ensureSynthFile("tervane3_bench_1M_plain.rtdc", "--events 1000000 --seed 3");
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string name = path.substr(path.rfind('/'));
    QTemporaryDir sessionDir;
    const QString sessionFile = sessionDir.filePath(QStringLiteral("bench.TN3"));

    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    std::string spelling = folder;
    for (int i = 0; i < 20; ++i) {
        spelling += "/.";
        Access::addDataset(window, QString::fromStdString(spelling + name));
        Test::waitForCaching(window, 600000);
    }
    window.addFilterGroup("gate");
    std::cout << "datasets open: " << window.datasets().size() << ", RSS " << Bench::statusMiB("VmRSS") << " MiB" << std::endl;

    QElapsedTimer timer;
    env.prompts->answerFiles({sessionFile});
    timer.start();
    window.saveSession();
    std::cout << "save: " << timer.elapsed() << " ms" << std::endl;

    env.prompts->answerMessage(QStringLiteral("OK"));
    env.prompts->answerFiles({sessionFile});
    timer.start();
    window.loadSession();
    std::cout << "phase 1 (clear 20 datasets, open and fingerprint 20 files): " << timer.elapsed() << " ms" << std::endl;
    Test::waitUntil([&] { return !Access::sessionLoading(window); }, 600000);
    Test::waitForCaching(window, 600000);
    std::cout << "whole load with caching: " << timer.elapsed() << " ms, datasets " << window.datasets().size()
              << ", RSS " << Bench::statusMiB("VmRSS") << " MiB, peak " << Bench::statusMiB("VmHWM") << " MiB" << std::endl;

    // Phase 2 again on the loaded datasets, from the same file.
    QFile file(sessionFile);
    file.open(QIODevice::ReadOnly);
    Access::pendingSessionState(window) = QJsonDocument::fromJson(file.readAll()).object();
    for (size_t i = 0; i < window.datasets().size(); ++i)
        Access::sessionIds(window)[static_cast<int>(i)] = window.datasets()[i]->id;
    Access::sessionLoading(window) = true;
    Access::activeIndex(window) = -1;
    timer.start();
    Access::completeSessionLoad(window);
    std::cout << "phase 2 (groups, state of 20 datasets, activation and plot): " << timer.elapsed() << " ms" << std::endl;
    return 0;
}
