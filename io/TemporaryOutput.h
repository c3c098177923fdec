// An output file written under a temporary name beside its final path and renamed there
// only once it is complete, so that a failed or interrupted export never leaves a file
// that looks finished. The temporary name keeps the final suffix (the video writer picks
// its container by it). GUI thread.
#pragma once

#include <QString>

namespace Tervane3 {

class TemporaryOutput
{
public:
    // Chooses a free temporary name in the folder of finalPath (the writer creates the file,
    // with the permissions any new file gets); ok() is false when that folder is missing.
    explicit TemporaryOutput(const QString& finalPath);
    // Removes the temporary file unless commit() succeeded.
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    bool ok() const { return !temporary.isEmpty(); }
    // Where the writer writes; empty when the reservation failed.
    const QString& path() const { return temporary; }
    const QString& finalPath() const { return target; }
    // Renames the written file to the final path; false when that failed, in which case the
    // temporary file is removed. An existing file at the final path is replaced (in one
    // step) only with replaceExisting; otherwise it makes the rename fail.
    bool commit(bool replaceExisting = false);

private:
    QString target;
    QString temporary;
    bool committed = false;
};

} // namespace Tervane3
