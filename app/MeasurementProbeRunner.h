// Runs the probe program (tervane3-probe, app/ProbeMain.cpp) on a measurement before the
// application opens it, and turns what the child process did into a verdict: the file is
// usable, or refused with a reason (damage found, the library crashed, or it hung), or the
// probe could not run at all (then the file is opened as it is, and the caller logs that).
#pragma once

#include <QString>
#include <QStringList>

namespace Tervane3 {

struct ProbeVerdict
{
    enum class Outcome { Usable, Refused, NotRun };
    Outcome outcome = Outcome::NotRun;
    // Refused: why, in plain words. NotRun: why the probe did not run.
    QString reason;
    // The reader's error and warning lines in the probe.
    QStringList messages;
    quint64 events = 0;
    qint64 milliseconds = 0;
};

// How long a probe may take before the file counts as one that hangs the library.
constexpr int ProbeTimeoutMs = 5000;

// The probe program: the path set here (tests), else "tervane3-probe" in the folder of the
// running executable. An empty path goes back to that default.
void setProbeProgram(const QString& path);
QString probeProgram();

// Runs the probe on the file and waits for its verdict; blocks the calling thread for at most
// about timeoutMs (a probe still running then is killed).
ProbeVerdict probeMeasurementFile(const QString& path, int timeoutMs = ProbeTimeoutMs);

// One line for the log: "Probe of <path>: usable (<n> events, <t> ms)" and the like.
QString describeProbeVerdict(const QString& path, const ProbeVerdict& verdict);

} // namespace Tervane3
