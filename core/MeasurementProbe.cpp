// The probe's walk over one measurement and the text form of its findings.
#include "core/MeasurementProbe.h"

#include "core/RTDCReader.h"

#include <cstdlib>
#include <sstream>

namespace Tervane3 {

namespace {

std::string oneLine(std::string text)
{
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

bool startsWith(const std::string& line, const char* prefix, std::string& rest)
{
    const std::string p(prefix);
    if (line.compare(0, p.size(), p) != 0)
        return false;
    rest = line.substr(p.size());
    return true;
}

} // namespace

ProbeFindings probeMeasurement(const std::string& path)
{
    ProbeFindings findings;
    RTDCReader reader;
    if (!reader.open(path)) {
        findings.reason = reader.openError();
        return findings;
    }
    findings.events = reader.eventCount();
    findings.features = reader.fileFeatureNames().size();
    reader.readMetadata();
    const std::vector<std::string> problems = reader.checkStructure();
    if (!problems.empty()) {
        findings.reason = problems.front();
        if (problems.size() > 1)
            findings.reason += " " + std::to_string(problems.size() - 1) + " more part"
                               + (problems.size() > 2 ? "s are" : " is") + " damaged as well.";
        return findings;
    }
    findings.usable = true;
    return findings;
}

std::string formatProbeFindings(const ProbeFindings& findings)
{
    std::string text;
    for (const std::string& message : findings.messages)
        text += "message " + oneLine(message) + "\n";
    text += "events " + std::to_string(findings.events) + "\n";
    text += "features " + std::to_string(findings.features) + "\n";
    text += findings.usable ? std::string("usable\n") : "refused " + oneLine(findings.reason) + "\n";
    return text;
}

bool parseProbeFindings(const std::string& text, ProbeFindings& findings)
{
    findings = ProbeFindings();
    std::istringstream in(text);
    std::string line;
    bool verdict = false;
    while (std::getline(in, line)) {
        std::string rest;
        verdict = false;
        if (startsWith(line, "message ", rest)) {
            findings.messages.push_back(rest);
        } else if (startsWith(line, "events ", rest)) {
            findings.events = std::strtoull(rest.c_str(), nullptr, 10);
        } else if (startsWith(line, "features ", rest)) {
            findings.features = std::strtoull(rest.c_str(), nullptr, 10);
        } else if (line == "usable") {
            findings.usable = true;
            verdict = true;
        } else if (startsWith(line, "refused ", rest)) {
            findings.usable = false;
            findings.reason = rest;
            verdict = true;
        }
    }
    return verdict;
}

} // namespace Tervane3
