// Temporary output files renamed into place when complete.
#include "io/TemporaryOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

namespace Tervane3 {

TemporaryOutput::TemporaryOutput(const QString& finalPath)
    : target(finalPath)
{
    const QFileInfo info(finalPath);
    if (!QFileInfo(info.absolutePath()).isDir())
        return;
    const QString suffix = info.suffix();
    // "<name>.<token>.part.<suffix>": recognisable, and the same suffix as the result.
    for (int attempt = 0; attempt < 100 && temporary.isEmpty(); ++attempt) {
        const QString token = QString::number(QRandomGenerator::global()->generate(), 36);
        const QString candidate = QDir(info.absolutePath()).filePath(
            info.completeBaseName() + QLatin1Char('.') + token + QLatin1String(".part")
            + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
        if (!QFileInfo::exists(candidate))
            temporary = candidate;
    }
}

TemporaryOutput::~TemporaryOutput()
{
    if (!committed && !temporary.isEmpty())
        QFile::remove(temporary);
}

bool TemporaryOutput::commit(bool replaceExisting)
{
    if (temporary.isEmpty() || committed)
        return committed;
    if (replaceExisting) {
        // std::filesystem::rename replaces the target in one step (POSIX rename, and
        // MoveFileEx with replacing on Windows).
        std::error_code error;
        std::filesystem::rename(std::filesystem::path(QFile::encodeName(temporary).toStdString()),
                                std::filesystem::path(QFile::encodeName(target).toStdString()), error);
        committed = !error;
    } else {
        committed = QFile::rename(temporary, target);
    }
    if (!committed)
        QFile::remove(temporary);
    return committed;
}

} // namespace Tervane3
