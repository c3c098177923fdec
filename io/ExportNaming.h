// Where an export of filtered events writes: the file name derived from the source file,
// in the source's folder or the chosen one, never over an existing file or folder.
#pragma once

#include "io/ExportOptions.h"

#include <QString>

#include <functional>
#include <string>

namespace Tervane3 {

enum class ExportFormat { Rtdc, Tsv, Avi };

// AVI when chosen, else TSV when chosen, else .rtdc.
ExportFormat exportFormat(const ExportOptions& options);

// The output path for a source file: "TN3export_" + the source's file name, for TSV and AVI
// without a trailing ".rtdc" (any case) and with ".tsv" or ".avi" appended; in
// options.directory when options.customDirectory is set, else in the source's absolute
// folder. While `exists` says the path is taken, "_2", "_3", ... go before the last dot
// (at the end of a name without dot).
QString exportOutputPath(const QString& sourcePath, const ExportOptions& options,
                         const std::function<bool(const QString&)>& exists);
// The same against the file system.
QString exportOutputPath(const QString& sourcePath, const ExportOptions& options);

struct Metadata;
// The name an export records as "changed sample name": the display name (UTF-8) when it
// differs from the measurement's "experiment:sample" (or there is none), else empty.
std::string changedSampleName(const Metadata& metadata, const QString& displayName);

} // namespace Tervane3
