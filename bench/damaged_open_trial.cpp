// Damaged-file trial: a few hundred damaged copies of a small synthetic measurement (images,
// masks, traces; made by tervane3-synth) are opened one after another in one main window
// through the road File > Open takes (probe, open, caching, activation with the plot and the
// first event), next to the intact measurement. Two copies in three are damaged within the
// first 16 KiB (superblock, root group, attributes: where the HDF5 library's own faults sit),
// the others anywhere in the file. Each copy counts as opened and intact, opened with changed
// data and a message (a warning in the log or an error box), opened with changed data and no
// message, or refused (with or without a reason). The intact dataset must stay as it was.
//
// The window runs in a child process of this program, which stands for the application's
// process: when it dies, the copy it died on is counted as a crash and kept, and a fresh
// child goes on with the next copy. The trial passes with zero crashes.
// A measured trial, not a Google Benchmark:
//   damaged_open_trial [--copies N] [--seed S] [--only I]    (defaults 400 and 1)
// --only I opens copy I alone in this process (for a debugger) and keeps it in the folder.
// TERVANE3_BENCH_DIR chooses the folder of the synthetic file and of kept copies.
#include "bench/BenchApplication.h"
#include "bench/BenchFiles.h"
#include "mainwindow/DamagedOpening.h"
#include "support/DamagedCopy.h"

#include "app/Log.h"
#include "app/MeasurementProbeRunner.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace Tervane3;
using namespace Tervane3::Test;
using Outcome = DamagedCopyResult::Outcome;

namespace {

constexpr std::size_t kHeadSpan = 16384;

// Copy i depends on the seed and i alone, so a fresh child can start at any copy.
std::vector<char> copyBytes(const std::vector<char>& bytes, unsigned seed, int i)
{
    std::mt19937 rng(seed * 1000003u + static_cast<unsigned>(i));
    return damagedCopy(bytes, rng, i % 3 == 2 ? bytes.size() : kHeadSpan);
}

const char* outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Intact:
        return "intact";
    case Outcome::ChangedWithMessage:
        return "changed-with-message";
    case Outcome::ChangedWithoutMessage:
        return "changed-without-message";
    case Outcome::Refused:
        return "refused";
    case Outcome::RefusedWithoutReason:
        return "refused-without-reason";
    }
    return "?";
}

// The reader's lines and the window's warnings, as the log gets them; counted, not printed.
std::atomic<int> warningCount{0};
void countingHandler(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        ++warningCount;
}

// The application's side: one window, the intact measurement first, then copies first ..
// count-1. Writes "start <i>" before and "<i> <outcome> <messages> <detail>" after each copy
// to the results file (unbuffered), so the parent knows where a crash happened.
int runWindow(int argc, char** argv, const std::string& original, const std::vector<char>& bytes,
              const std::string& folder, unsigned seed, int first, int count, const std::string& resultsFile)
{
    Bench::BenchApplication app(argc, argv);
    qInstallMessageHandler(countingHandler);
    forwardReaderMessagesToLog();
    setProbeProgram(QStringLiteral(TERVANE3_PROBE_PROGRAM));
    FILE* results = std::fopen(resultsFile.c_str(), "a");
    std::setvbuf(results, nullptr, _IONBF, 0);

    MainWindowEnvironment env;
    MainWindow window;
    window.resize(1200, 800);
    window.show();
    MainWindowTestAccess::addDataset(window, QString::fromStdString(original));
    waitForCaching(window, 120000);
    if (window.datasets().size() != 1) {
        std::fprintf(results, "setup the intact measurement did not open\n");
        return 1;
    }
    const DatasetEntry& intactEntry = *window.datasets().front();
    const MeasurementContent intact = readContent(*intactEntry.reader, intactEntry.metadata);

    const QString copyPath = QString::fromStdString(folder + "/copy.rtdc");
    const auto messageCount = [] { return warningCount.load(); };
    // What an undamaged copy brings: the measure of "a message came".
    writeFileBytes(copyPath.toStdString(), bytes);
    const DamagedCopyResult same = openDamagedCopy(window, *env.prompts, copyPath, intact, messageCount, 0, true);
    if (same.outcome != Outcome::Intact) {
        std::fprintf(results, "setup an undamaged copy shows %s\n", same.detail.toStdString().c_str());
        return 1;
    }
    for (int i = first; i < count; ++i) {
        writeFileBytes(copyPath.toStdString(), copyBytes(bytes, seed, i));
        std::fprintf(results, "start %d\n", i);
        const DamagedCopyResult result =
            openDamagedCopy(window, *env.prompts, copyPath, intact, messageCount, same.messages, true);
        std::string detail = result.detail.toStdString();
        for (char& c : detail)
            c = c == '\n' ? ' ' : c;
        std::fprintf(results, "%d %s %d %s\n", i, outcomeName(result.outcome), result.messages, detail.c_str());
    }
    const DatasetEntry& after = *window.datasets().front();
    const std::string difference = firstDifference(readContent(*after.reader, after.metadata), intact);
    std::fprintf(results, "end %s\n", difference.empty() ? "intact-unchanged" : ("intact-changed " + difference).c_str());
    std::fclose(results);
    return 0;
}

// The kind of a refusal: its reason without the library's details in parentheses.
std::string reasonKind(const std::string& reason)
{
    std::string kind = reason.substr(0, reason.find(" ("));
    const std::size_t feature = kind.find("The feature '");
    if (feature == 0)
        kind = "The feature '<name>' is damaged";
    const std::size_t trace = kind.find("The trace '");
    if (trace == 0)
        kind = "The trace '<name>' is damaged";
    const std::size_t more = kind.find(" more part");
    if (more != std::string::npos)
        kind = kind.substr(0, kind.rfind(' ', more - 1));
    return kind;
}

} // namespace

int main(int argc, char** argv)
{
    int copies = 400;
    unsigned seed = 1;
    int only = -1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--copies") == 0)
            copies = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--seed") == 0)
            seed = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--only") == 0)
            only = std::atoi(argv[++i]);
    }
    const std::string original =
        Bench::ensureSynthFile("tervane3_trial_small.rtdc", "--events 40 --images --masks --traces --seed 11");
    const std::vector<char> bytes = readFileBytes(original);
    QTemporaryDir work;
    const std::string folder = work.path().toStdString();
    const std::string resultsFile = folder + "/results.txt";
    std::cout << "original: " << original << " (" << bytes.size() << " bytes), " << copies << " copies, seed " << seed
              << std::endl;

    if (only >= 0) {
        const std::string kept = Bench::benchDir() + "/tervane3_trial_copy_" + std::to_string(seed) + "_"
                                 + std::to_string(only) + ".rtdc";
        writeFileBytes(kept, copyBytes(bytes, seed, only));
        std::cout << "copy kept as " << kept << std::endl;
        const int status = runWindow(argc, argv, original, bytes, folder, seed, only, only + 1, resultsFile);
        std::ifstream in(resultsFile);
        std::cout << in.rdbuf();
        return status;
    }

    QElapsedTimer clock;
    clock.start();
    std::vector<int> crashes;
    int next = 0;
    bool intactChanged = false;
    bool finished = false;
    while (!finished && next < copies) {
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0)
            _exit(runWindow(argc, argv, original, bytes, folder, seed, next, copies, resultsFile));
        int status = 0;
        waitpid(pid, &status, 0);
        // Where the child got to.
        std::ifstream in(resultsFile);
        std::string line;
        int started = -1;
        int done = -1;
        while (std::getline(in, line)) {
            if (line.rfind("start ", 0) == 0)
                started = std::stoi(line.substr(6));
            else if (line.rfind("end ", 0) == 0)
                intactChanged = line != "end intact-unchanged";
            else if (line.rfind("setup ", 0) == 0) {
                std::cout << line << std::endl;
                return 1;
            }
            else if (!line.empty())
                done = std::stoi(line);
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            finished = true;
            break;
        }
        const int crashed = started > done ? started : done + 1;
        std::cout << "the window's process ended with "
                  << (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                          : "status " + std::to_string(WEXITSTATUS(status)))
                  << " on copy " << crashed << std::endl;
        crashes.push_back(crashed);
        const std::string kept = Bench::benchDir() + "/tervane3_trial_crash_" + std::to_string(seed) + "_"
                                 + std::to_string(crashed) + ".rtdc";
        writeFileBytes(kept, copyBytes(bytes, seed, crashed));
        std::cout << "  kept as " << kept << std::endl;
        next = crashed + 1;
    }

    std::map<std::string, int> counts;
    std::map<std::string, int> refusals;
    std::map<std::string, int> silentChanges;
    std::vector<int> silentCopies;
    std::map<std::string, int> spanCounts;
    std::ifstream in(resultsFile);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("start ", 0) == 0 || line.rfind("end ", 0) == 0 || line.empty())
            continue;
        std::istringstream fields(line);
        int index = 0;
        std::string outcome;
        int messages = 0;
        fields >> index >> outcome >> messages;
        std::string detail;
        std::getline(fields, detail);
        if (!detail.empty() && detail[0] == ' ')
            detail.erase(0, 1);
        ++counts[outcome];
        ++spanCounts[(index % 3 == 2 ? "whole file " : "first 16 KiB ") + outcome];
        if (outcome == "refused")
            ++refusals[reasonKind(detail)];
        if (outcome == "changed-without-message") {
            ++silentChanges[detail];
            silentCopies.push_back(index);
        }
    }
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    std::cout << "\ncopies: " << copies << " in " << seconds << " s (" << 1000.0 * seconds / copies
              << " ms per copy)\n";
    std::cout << "crashes of the window's process: " << crashes.size() << "\n";
    for (const char* outcome : {"intact", "changed-with-message", "changed-without-message", "refused",
                                "refused-without-reason"})
        std::cout << "  " << outcome << ": " << counts[outcome] << "\n";
    std::cout << "by where the damage was:\n";
    for (const auto& [key, n] : spanCounts)
        std::cout << "  " << key << ": " << n << "\n";
    std::cout << "reasons of refusals:\n";
    for (const auto& [reason, n] : refusals)
        std::cout << "  " << n << "  " << reason << "\n";
    std::cout << "what changed without a message:\n";
    for (const auto& [part, n] : silentChanges)
        std::cout << "  " << n << "  " << part << "\n";
    std::cout << "  (copies";
    for (int index : silentCopies)
        std::cout << " " << index;
    std::cout << ")\n";
    std::cout << "the intact dataset " << (intactChanged ? "CHANGED" : "stayed as it was") << std::endl;
    return crashes.empty() && !intactChanged && counts["refused-without-reason"] == 0 ? 0 : 1;
}
