// Runs a reference script under Debian's own python3 (PATH=$(getconf PATH) python3, which
// has numpy, scipy and scikit-learn; the python3 first on PATH may lack them) on JSON
// input and reads its JSON output. A missing interpreter or module (exit code 3) is
// reported as a reason to skip.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <QFile>

namespace Tervane3::Test {

struct PythonResult
{
    QJsonArray output;
    // Empty on success; else why the reference could not be computed.
    QString skipReason;
    QString failure;
};

inline PythonResult runPythonReference(const QString& script, const QJsonArray& input)
{
    PythonResult result;
    QTemporaryDir dir;
    const QString inPath = dir.filePath(QStringLiteral("in.json"));
    const QString outPath = dir.filePath(QStringLiteral("out.json"));
    QFile in(inPath);
    if (!in.open(QIODevice::WriteOnly)) {
        result.failure = QStringLiteral("cannot write ") + inPath;
        return result;
    }
    in.write(QJsonDocument(input).toJson(QJsonDocument::Compact));
    in.close();

    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"),
                                             QStringLiteral("PATH=$(getconf PATH) PYTHONDONTWRITEBYTECODE=1 exec python3 \"$@\""),
                                             QStringLiteral("sh"), script, inPath, outPath});
    if (!python.waitForStarted(10000) || !python.waitForFinished(120000)) {
        result.skipReason = QStringLiteral("Debian's python3 could not be run");
        return result;
    }
    const QString log = QString::fromUtf8(python.readAll());
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() == 127) {
        result.skipReason = QStringLiteral("Debian's python3 is not installed: ") + log;
        return result;
    }
    if (python.exitCode() == 3) {
        result.skipReason = log.trimmed();
        return result;
    }
    if (python.exitCode() != 0) {
        result.failure = QStringLiteral("the reference script failed: ") + log;
        return result;
    }
    QFile out(outPath);
    if (!out.open(QIODevice::ReadOnly)) {
        result.failure = QStringLiteral("no output from the reference script");
        return result;
    }
    result.output = QJsonDocument::fromJson(out.readAll()).array();
    return result;
}

} // namespace Tervane3::Test
