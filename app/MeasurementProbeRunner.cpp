// The child process runs the same reader code as the application; all it hands back is text
// on its standard output (core/MeasurementProbe.h), its exit status and whether it ended at
// all within the time allowed.
#include "app/MeasurementProbeRunner.h"

#include "core/MeasurementProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>

#include <algorithm>

namespace Tervane3 {

namespace {

QMutex programMutex;
QString programOverride;

QString defaultProgram()
{
    const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("tervane3-probe"));
}

} // namespace

void setProbeProgram(const QString& path)
{
    QMutexLocker lock(&programMutex);
    programOverride = path;
}

QString probeProgram()
{
    {
        QMutexLocker lock(&programMutex);
        if (!programOverride.isEmpty())
            return programOverride;
    }
    return defaultProgram();
}

ProbeVerdict probeMeasurementFile(const QString& path, int timeoutMs)
{
    ProbeVerdict verdict;
    QElapsedTimer clock;
    clock.start();
    const QString program = probeProgram();
    const QFileInfo programInfo(program);
    if (program.isEmpty() || !programInfo.isFile() || !programInfo.isExecutable()) {
        verdict.reason = QStringLiteral("the probe program %1 was not found").arg(program);
        return verdict;
    }

    QProcess probe;
    probe.setProgram(program);
    // The reader's lines come on standard output as well; standard error would only repeat them.
    probe.setStandardErrorFile(QProcess::nullDevice());
    probe.start();
    if (!probe.waitForStarted(timeoutMs)) {
        verdict.reason = QStringLiteral("the probe program %1 did not start (%2)").arg(program, probe.errorString());
        return verdict;
    }
    // The path as the application opens it (UTF-8), not re-encoded for a command line.
    probe.write(path.toUtf8());
    probe.closeWriteChannel();
    const qint64 remaining = std::max<qint64>(1, timeoutMs - clock.elapsed());
    if (!probe.waitForFinished(static_cast<int>(remaining))) {
        probe.kill();
        probe.waitForFinished(1000);
        verdict.outcome = ProbeVerdict::Outcome::Refused;
        verdict.reason = QStringLiteral("Reading the file did not finish within %1 s: the file is damaged in a "
                                        "way that makes the HDF5 library hang.")
                             .arg(timeoutMs / 1000.0, 0, 'g', 3);
        verdict.milliseconds = clock.elapsed();
        return verdict;
    }
    verdict.milliseconds = clock.elapsed();
    ProbeFindings findings;
    const bool complete = parseProbeFindings(probe.readAllStandardOutput().toStdString(), findings);
    for (const std::string& message : findings.messages)
        verdict.messages << QString::fromStdString(message);
    verdict.events = findings.events;
    if (probe.exitStatus() == QProcess::CrashExit) {
        verdict.outcome = ProbeVerdict::Outcome::Refused;
        verdict.reason = QStringLiteral("The file is damaged: reading its structure crashed the HDF5 library.");
        return verdict;
    }
    if (!complete) {
        // Not the file's fault that can be told: a probe program that does not do its work.
        verdict.reason = QStringLiteral("the probe program %1 gave no verdict (exit status %2)")
                             .arg(program)
                             .arg(probe.exitCode());
        return verdict;
    }
    verdict.outcome = findings.usable ? ProbeVerdict::Outcome::Usable : ProbeVerdict::Outcome::Refused;
    verdict.reason = QString::fromStdString(findings.reason);
    return verdict;
}

QString describeProbeVerdict(const QString& path, const ProbeVerdict& verdict)
{
    switch (verdict.outcome) {
    case ProbeVerdict::Outcome::Usable:
        return QStringLiteral("Probe of %1: usable (%2 events, %3 ms)").arg(path).arg(verdict.events).arg(verdict.milliseconds);
    case ProbeVerdict::Outcome::Refused:
        return QStringLiteral("Probe of %1: refused after %2 ms: %3").arg(path).arg(verdict.milliseconds).arg(verdict.reason);
    case ProbeVerdict::Outcome::NotRun:
        break;
    }
    return QStringLiteral("Probe of %1: not run (%2); the file is opened unchecked").arg(path, verdict.reason);
}

} // namespace Tervane3
