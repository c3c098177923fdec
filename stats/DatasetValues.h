// One number per dataset and feature: a summary of the feature over the dataset's filtered
// events, and the merging of such numbers per replicate identifier.
//
// A dataset without reader, without the feature or without a finite value after filtering
// has no value (NaN), never a stand-in 0: callers leave it out and name it.
#pragma once

#include "core/EventFilter.h"
#include "stats/CategoryEntry.h"

#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Tervane3 {

class DatasetHost;
class RTDCReader;

// The order of the "Dataset summary" combo.
enum class SummaryKind { Median = 0, Mean = 1, StandardDeviation = 2, CoefficientOfVariation = 3, Iqr = 4 };

// Any index other than 1 to 4 is the median.
SummaryKind summaryKindFromIndex(int index);

// column[i] for the passing indices i, in their order, without indices beyond the column
// and without NaN or infinite values.
std::vector<double> filteredFiniteValues(const std::vector<double>& column, const std::vector<int>& passing);

// The summary of column[i] over the passing indices i, skipping indices beyond the column
// and values that are NaN or infinite; NaN when nothing is left.
// Standard deviation: divisor n - 1, 0 below two values. Coefficient of variation: the
// standard deviation over |mean| (a ratio), 0 when |mean| < 1e-15 or below two values.
// IQR: value at floor(3n/4) minus value at floor(n/4) of the sorted values, without
// interpolation. Median: middle value, or the mean of the two middle values.
// Quantiles are found by selection, not by a full sort.
double summaryValue(const std::vector<double>& column, const std::vector<int>& passing, SummaryKind kind);

// 0 for no values, a single value unchanged; else the root mean square (useRms, for
// spreads) or the mean.
double aggregateValues(bool useRms, const std::vector<double>& values);

// values[i] belongs to entries[i]. NaN values are skipped; an identifier left without a
// value is absent from the result.
// By ID: one merged value per numberId (0 forms a group like any other).
std::map<int, double> groupById(const std::vector<CategoryEntry>& entries, const std::vector<double>& values,
                                bool useRms);
// By replicate: merged per (numberId, bioRepId) first, then per numberId, so each
// biological replicate counts once however many technical replicates it has.
std::map<int, double> groupByReplicate(const std::vector<CategoryEntry>& entries, const std::vector<double>& values,
                                       bool useRms);
// groupByReplicate when any entry has a bioRepId above 0, else groupById.
std::map<int, double> groupByIdentifiers(const std::vector<CategoryEntry>& entries, const std::vector<double>& values,
                                         bool useRms);

enum class IdTag { Id = 0, BioRep = 1, TechRep = 2 };

// The number after "ID", "BR" or "TR" (any letter case) anywhere in the text, the first
// match winning, e.g. 12 in "fluid12". A digit run that does not fit a 32-bit int is no
// match; the search goes on behind it.
std::optional<int> findTaggedNumber(const QString& text, IdTag tag);

// What a run needs of one dataset, taken on the GUI thread: the reader, a copy of the
// effective filter and the requested feature columns (empty where missing). No reader:
// every value is missing.
struct DatasetSnapshot
{
    int datasetId = -1;
    std::shared_ptr<RTDCReader> reader;
    EventFilter filter;
    std::vector<const std::vector<double>*> columns;
};

// Snapshots of the datasets in the given order (gone datasets get one without reader).
std::vector<DatasetSnapshot> snapshotDatasets(const DatasetHost& host, const std::vector<int>& datasetIds,
                                              const std::vector<std::string>& featureKeys);

// The events passing each snapshot's filter (every event when it is switched off; none
// without reader), the datasets worked on in parallel.
std::vector<std::vector<int>> passingEventsOf(const std::vector<DatasetSnapshot>& datasets);

// result[d][f]: the summary of feature f of dataset d. Each filter is evaluated once; the
// datasets and then their features are worked on in parallel. The result does not depend
// on the thread count.
std::vector<std::vector<double>> summarizeDatasets(const std::vector<DatasetSnapshot>& datasets, SummaryKind kind);

} // namespace Tervane3
