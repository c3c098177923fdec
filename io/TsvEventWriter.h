// The tab-separated table of an export of filtered events: a comment block with the export
// record and the measurement's metadata, a header of feature labels, then one line per
// event with every value in %.17g (17 significant digits, so it reads back exactly),
// written without the locale. GUI thread.
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;
struct Metadata;

enum class TsvWriteResult { Written, OpenFailed, WriteFailed };

// Writes the table to path (created or truncated). An event beyond the end of a feature's
// column gets an empty cell.
TsvWriteResult writeEventsTsv(const QString& path, const RTDCReader& reader, const Metadata& metadata,
                              const QString& displayName, const std::vector<std::string>& features,
                              const std::vector<int>& selection);

// A name or value for one comment line: CR, LF and tab become "\r", "\n" and "\t".
std::string escapeTsvComment(const std::string& text);

} // namespace Tervane3
