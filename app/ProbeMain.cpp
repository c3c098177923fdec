// tervane3-probe: checks one measurement for the application in a process of its own, so
// that a crash or hang of the HDF5 library on a damaged file ends this process and not the
// application. Installed beside the application's executable.
//
//   tervane3-probe <file>     or the path on standard input (the application's way: any
//                             bytes, no encoding of the command line in between)
// Writes the findings (core/MeasurementProbe.h) to standard output; exit status 0 usable,
// 1 refused, 2 wrong use.
#include "core/MeasurementProbe.h"
#include "core/RTDCReader.h"

#include <H5Cpp.h>

#include <iostream>
#include <iterator>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::string path;
    if (argc == 2) {
        path = argv[1];
    } else if (argc == 1) {
        path.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }
    if (path.empty() || argc > 2) {
        std::cerr << "usage: tervane3-probe <file.rtdc>  (or the path on standard input)\n";
        return 2;
    }
    H5::Exception::dontPrint();
    // A damaged length can make the library allocate and clear gigabytes for one string; let
    // that fail here (the attribute then counts as damaged) rather than fill the memory.
    const rlimit memory{rlim_t(3) << 30, rlim_t(3) << 30};
    setrlimit(RLIMIT_AS, &memory);
    // The application stops waiting after a few seconds; this ends a hang it left behind.
    alarm(60);

    Tervane3::ProbeFindings findings;
    std::vector<std::string> messages;
    Tervane3::setReaderMessageSink([&messages](const std::string& line) { messages.push_back(line); });
    findings = Tervane3::probeMeasurement(path);
    findings.messages = messages;
    std::cout << Tervane3::formatProbeFindings(findings) << std::flush;
    return findings.usable ? 0 : 1;
}
