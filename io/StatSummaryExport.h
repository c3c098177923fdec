// The statistical summary export: a tab-separated table with one row per dataset and, for
// every chosen feature, one column per chosen statistic over the finite values of the events
// that pass the dataset's effective filter (every event when filtering is switched off).
// One sort per dataset and feature serves all statistics; the pairs run in parallel, the
// file is written on the calling thread (through QSaveFile, so a failed write leaves an
// older file whole). GUI thread; dialogs and boxes go through prompts().
#pragma once

#include "io/StatSummaryOptions.h"

#include <QString>

#include <string>
#include <vector>

class QWidget;

namespace Tervane3 {

class DatasetHost;
class RTDCReader;

// One row of the table: the dataset's name, reader and passing events.
struct SummaryRowInput
{
    QString displayName;
    const RTDCReader* reader = nullptr;
    std::vector<int> events;
};

// The whole table: the header "Dataset" + "\t<label> <statistic>" per feature and chosen
// statistic, then one line per row; every line ends with a line feed. N is an integer, the
// other cells have 6 significant digits (%g); a row without values for a feature has "0"
// under N and empty cells otherwise, a row whose reader lacks the feature empty cells only.
std::string statSummaryTable(const std::vector<SummaryRowInput>& rows, const StatSummaryOptions& options);

// The column names of the chosen statistics, in table order ("P95.0" for the percentile).
std::vector<QString> statSummaryColumns(const StatSummaryOptions& options);

class StatSummaryExporter
{
public:
    StatSummaryExporter(DatasetHost& host, QWidget* parent);

    // The menu's flow: dialog (with the previous options when hasLast), checks, table,
    // file, message. Options with at least one feature are stored into last/hasLast.
    void exportStatSummary(StatSummaryOptions& last, bool& hasLast);

private:
    DatasetHost& host;
    QWidget* parent;
};

} // namespace Tervane3
