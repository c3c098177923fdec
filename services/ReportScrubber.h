// Feedback reports promise "no file paths or sample names": the error text and the log
// lines pass through here before a report is previewed or sent. What the program knows
// (each dataset's path, folder, file name, display name and sample) is replaced first, then
// any other absolute path and any file: address.
#pragma once

#include <QString>
#include <QStringList>

namespace Tervane3 {

struct ReportSecrets
{
    QStringList paths; // full file paths and folders: become "<path>"
    QStringList names; // file names, display names, sample names: become "<name>"
};

// The text with every secret and every absolute path replaced:
// - file: addresses up to a blank or quote -> "<path>";
// - the given paths, longest first (also with the other kind of separator) -> "<path>";
// - the given names, longest first, where they stand as a whole word -> "<name>";
// - any other absolute path: "/" or a drive letter with ":" and a separator, followed by a
//   second separator before the next blank or quote, up to that blank or quote -> "<path>".
// A single-component path ("/tmp") and web addresses stay.
QString scrubReportText(const QString& text, const ReportSecrets& secrets);

} // namespace Tervane3
