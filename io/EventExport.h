// The export of filtered events: from the dialog's options to one file per dataset (.rtdc,
// TSV or AVI), for the active dataset or for every dataset under a progress window that can
// be cancelled between datasets. The events of a dataset are those passing its effective
// filter (every event when filtering is switched off). Each file is written under a
// temporary name and renamed when complete; any failure removes it and is reported in an
// "Export Error" box that names the file and the step. GUI thread; dialogs and boxes go
// through prompts().
#pragma once

#include "io/ExportOptions.h"

#include <string>
#include <vector>

class QString;
class QWidget;

namespace Tervane3 {

class DatasetHost;
struct DatasetEntry;
class TemporaryOutput;

class EventExporter
{
public:
    EventExporter(DatasetHost& host, QWidget* parent);

    // The menu's flow: the dialog (with the previous options when hasLast), then the
    // export. Accepted options are stored into last/hasLast.
    void exportData(bool expertMode, ExportOptions& last, bool& hasLast);
    // One dataset with the options; true when its file was written completely.
    bool exportDataset(const DatasetEntry& dataset, const ExportOptions& options);
    // The formats, writing to `path` (a free final path); true when written completely.
    bool exportDatasetRtdc(const DatasetEntry& dataset, const std::string& path,
                           const std::vector<std::string>& features, const std::vector<int>& selection,
                           bool filtered, const ExportOptions& options);
    bool exportDatasetTsv(const DatasetEntry& dataset, const std::string& path,
                          const std::vector<std::string>& features, const std::vector<int>& selection);
    bool exportDatasetAvi(const DatasetEntry& dataset, const std::string& path,
                          const std::vector<int>& selection, bool aviMjpeg, bool skipDuplicateFrames,
                          bool forReanalysis);

private:
    void reportError(const QString& text) const;
    // Renames the complete file into place; reports when that fails.
    bool finish(TemporaryOutput& output) const;

    DatasetHost& host;
    QWidget* parent;
};

} // namespace Tervane3
