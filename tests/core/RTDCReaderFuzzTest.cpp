// Damaged files: a few hundred randomly corrupted copies of a complete fixture (fixed seed)
// are opened and read in every way the reader offers. Our code must neither crash, hang nor
// allocate what the file cannot hold; failures show up as messages and empty results.
//
// Each copy is read in a child process, because the HDF5 library itself (1.10.8) crashes
// inside a few of its own functions on some damaged files whatever its caller does. A crash
// whose stack passes through one of those known functions, or a sanitizer report of the
// library reading past its own buffers, is counted and reported; any other crash, sanitizer
// report or abnormal exit fails the test.
#include "core/RTDCReader.h"

#include "support/DamagedCopy.h"
#include "support/RtdcFixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <execinfo.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

using namespace Tervane3;
using namespace Tervane3::Test;

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));
extern "C" int __asan_report_present() __attribute__((weak));
extern "C" int __asan_get_report_access_type() __attribute__((weak));

// A damaged length of a variable-length string makes the library allocate and clear up to
// 4 GiB per string. Let such allocations fail (the read then fails cleanly) instead of
// filling the machine's memory; under AddressSanitizer the address-space limit below
// cannot be used, so its allocator is told instead.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=1024:detect_leaks=0";
}

namespace {

constexpr int kOpened = 10;
constexpr int kNotOpened = 11;
constexpr int kKnownLibraryFault = 12;
constexpr int kOtherCrash = 13;

// Functions of the HDF5 library that crash or hang on damaged input whatever the caller does:
// reading a variable-length string with a damaged length or from a damaged global heap, and
// building (or releasing) the table of a damaged attribute message.
const char* const knownLibraryFaults[] = {"H5HG_read", "H5T__conv_vlen", "H5A__compact_build_table",
                                          "H5A__attr_release_table"};

int diagnosticsFd = -1;

// Runs in the dying child: classify the stack, write it to the diagnostics file, exit.
// A sanitizer report of a read (not a write) made inside the library is the library reading
// past its own buffers; a write there could be a buffer of ours that is too small.
[[noreturn]] void classifyCrashAndExit()
{
    void* frames[64];
    const int count = backtrace(frames, 64);
    bool known = false;
    bool inLibrary = false;
    for (int i = 0; i < count; ++i) {
        Dl_info info;
        if (!dladdr(frames[i], &info))
            continue;
        if (info.dli_fname && std::strstr(info.dli_fname, "libhdf5"))
            inLibrary = true;
        if (info.dli_sname)
            for (const char* name : knownLibraryFaults)
                known = known || std::strcmp(info.dli_sname, name) == 0;
    }
    const bool libraryRead = __asan_report_present && __asan_report_present()
                             && __asan_get_report_access_type && __asan_get_report_access_type() == 0
                             && inLibrary;
    if (diagnosticsFd >= 0)
        backtrace_symbols_fd(frames, count, diagnosticsFd);
    _exit(known || libraryRead ? kKnownLibraryFault : kOtherCrash);
}

void onFatalSignal(int)
{
    classifyCrashAndExit();
}

void onSanitizerDeath()
{
    classifyCrashAndExit();
}

// Reads everything the reader offers; returns a number so that nothing is optimised away.
double readEverything(RTDCReader& reader)
{
    double sum = 0;
    const Metadata metadata = reader.readMetadata();
    sum += static_cast<double>(metadata.allEntries.size() + metadata.polygonFilters.size());
    for (const auto& name : reader.featureNames()) {
        const auto& column = reader.getFeature(name);
        sum += static_cast<double>(column.size());
        if (!column.empty())
            sum += column.front() == column.front() ? 1 : 0;
    }
    reader.preloadAllFeatures();
    const std::uint64_t frames = std::min<std::uint64_t>(reader.eventCount(), 8);
    for (std::uint64_t e = 0; e <= frames; ++e) {
        int width = 0;
        int height = 0;
        sum += static_cast<double>(reader.readImage(e, width, height).size());
        sum += static_cast<double>(reader.readMask(e, width, height).size());
    }
    int width = 0;
    int height = 0;
    sum += static_cast<double>(reader.readImage(~std::uint64_t(0), width, height).size());
    for (const auto& name : reader.traceNames())
        for (std::uint64_t e = 0; e < 7; ++e)
            sum += static_cast<double>(reader.getTrace(name, e).size());
    reader.addDerivedTrace("fl1_raw_rf", "fl1_raw");
    sum += static_cast<double>(reader.getTrace("fl1_raw_rf", 0).size());
    return sum;
}

// Opens and reads the file in a child process; returns the child's exit code (or -signal).
int readInChild(const std::string& file, const std::string& diagnostics)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        diagnosticsFd = ::open(diagnostics.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // The reader's error lines are expected here; keep them out of the test log.
        if (!std::freopen("/dev/null", "w", stderr))
            _exit(kOtherCrash);
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = onFatalSignal;
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGALRM})
            sigaction(sig, &action, nullptr);
#ifndef __SANITIZE_ADDRESS__
        const rlimit limit{rlim_t(3) << 30, rlim_t(3) << 30};
        setrlimit(RLIMIT_AS, &limit);
#endif
        if (__sanitizer_set_death_callback)
            __sanitizer_set_death_callback(onSanitizerDeath);
        alarm(60); // a hang ends the child through SIGALRM, classified like a crash
        RTDCReader reader;
        const bool opened = reader.open(file);
        if (opened)
            readEverything(reader);
        _exit(opened ? kOpened : kNotOpened);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

} // namespace

TEST(RTDCReaderFuzzTest, CorruptedCopiesNeverCrashTheReader)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    H5::Exception::dontPrint();
    const std::string original = dir.filePath("complete.rtdc").toStdString();
    writeCompleteFixture(original);
    const std::vector<char> bytes = readFileBytes(original);
    ASSERT_GT(bytes.size(), 1000u);
    {
        RTDCReader intact;
        ASSERT_TRUE(intact.open(original));
        EXPECT_GT(readEverything(intact), 0.0);
    }

    // Longer explorations: TERVANE3_FUZZ_ROUNDS and TERVANE3_FUZZ_SEED.
    const int rounds = qEnvironmentVariableIsSet("TERVANE3_FUZZ_ROUNDS") ? qEnvironmentVariableIntValue("TERVANE3_FUZZ_ROUNDS") : 300;
    const auto seed = qEnvironmentVariableIsSet("TERVANE3_FUZZ_SEED")
                          ? static_cast<std::mt19937::result_type>(qEnvironmentVariableIntValue("TERVANE3_FUZZ_SEED"))
                          : 20240517u;
    std::mt19937 rng(seed);
    const std::string damaged = dir.filePath("damaged.rtdc").toStdString();
    const std::string diagnostics = dir.filePath("crash.txt").toStdString();
    int opened = 0;
    int libraryFaults = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        writeFileBytes(damaged, damagedCopy(bytes, rng));
        const int result = readInChild(damaged, diagnostics);
        if (result == kOpened) {
            ++opened;
        } else if (result == kKnownLibraryFault) {
            ++libraryFaults;
        } else if (result != kNotOpened) {
            std::ifstream in(diagnostics);
            std::stringstream stack;
            stack << in.rdbuf();
            ADD_FAILURE() << "reading a damaged copy ended with " << result << "\n" << stack.str();
            writeFileBytes(dir.filePath(QStringLiteral("failed%1.rtdc").arg(round)).toStdString(), readFileBytes(damaged));
            dir.setAutoRemove(false);
        }
    }
    std::printf("damaged copies: %d opened and read, %d hit known faults of the HDF5 library\n", opened,
                libraryFaults);
    // Most damage lands in data or in headers read after the superblock.
    EXPECT_GT(opened, rounds / 3);
}
