// Per-dataset summary values and their merging per replicate identifier.
#include "stats/DatasetValues.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/PassingEvents.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

const double missing = std::numeric_limits<double>::quiet_NaN();

double meanOf(const std::vector<double>& v)
{
    double sum = 0.0;
    for (double x : v)
        sum += x;
    return sum / static_cast<double>(v.size());
}

double sampleSd(const std::vector<double>& v, double mean)
{
    if (v.size() < 2)
        return 0.0;
    double sum = 0.0;
    for (double x : v)
        sum += (x - mean) * (x - mean);
    return std::sqrt(sum / static_cast<double>(v.size() - 1));
}

// The value that would sit at position k of the sorted list.
double selectAt(std::vector<double>& v, size_t k)
{
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}

template <typename Key>
std::map<Key, double> mergeGroups(const std::map<Key, std::vector<double>>& groups, bool useRms)
{
    std::map<Key, double> merged;
    for (const auto& [key, list] : groups)
        merged[key] = aggregateValues(useRms, list);
    return merged;
}

} // namespace

SummaryKind summaryKindFromIndex(int index)
{
    if (index >= 1 && index <= 4)
        return static_cast<SummaryKind>(index);
    return SummaryKind::Median;
}

std::vector<double> filteredFiniteValues(const std::vector<double>& column, const std::vector<int>& passing)
{
    std::vector<double> v;
    v.reserve(passing.size());
    for (int index : passing) {
        if (index < 0 || static_cast<size_t>(index) >= column.size())
            continue;
        const double x = column[static_cast<size_t>(index)];
        if (std::isfinite(x))
            v.push_back(x);
    }
    return v;
}

double summaryValue(const std::vector<double>& column, const std::vector<int>& passing, SummaryKind kind)
{
    std::vector<double> v = filteredFiniteValues(column, passing);
    const size_t n = v.size();
    if (n == 0)
        return missing;
    switch (kind) {
    case SummaryKind::Mean:
        return meanOf(v);
    case SummaryKind::StandardDeviation:
        return sampleSd(v, meanOf(v));
    case SummaryKind::CoefficientOfVariation: {
        const double mean = meanOf(v);
        if (std::fabs(mean) < 1e-15 || n < 2)
            return 0.0;
        return sampleSd(v, mean) / std::fabs(mean);
    }
    case SummaryKind::Iqr: {
        const double upper = selectAt(v, 3 * n / 4);
        const double lower = selectAt(v, n / 4);
        return upper - lower;
    }
    case SummaryKind::Median:
        break;
    }
    const double upperMiddle = selectAt(v, n / 2);
    if (n % 2 == 1)
        return upperMiddle;
    // After selecting position n/2 every value before it is not larger: the lower middle
    // is their maximum.
    const double lowerMiddle = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n / 2));
    return (lowerMiddle + upperMiddle) / 2.0;
}

double aggregateValues(bool useRms, const std::vector<double>& values)
{
    if (values.empty())
        return 0.0;
    if (values.size() == 1)
        return values.front();
    double sum = 0.0;
    for (double x : values)
        sum += useRms ? x * x : x;
    const double mean = sum / static_cast<double>(values.size());
    return useRms ? std::sqrt(mean) : mean;
}

std::map<int, double> groupById(const std::vector<CategoryEntry>& entries, const std::vector<double>& values,
                                bool useRms)
{
    std::map<int, std::vector<double>> groups;
    for (size_t i = 0; i < entries.size() && i < values.size(); ++i)
        if (!std::isnan(values[i]))
            groups[entries[i].numberId].push_back(values[i]);
    return mergeGroups(groups, useRms);
}

std::map<int, double> groupByReplicate(const std::vector<CategoryEntry>& entries, const std::vector<double>& values,
                                       bool useRms)
{
    std::map<std::pair<int, int>, std::vector<double>> replicates;
    for (size_t i = 0; i < entries.size() && i < values.size(); ++i)
        if (!std::isnan(values[i]))
            replicates[{entries[i].numberId, entries[i].bioRepId}].push_back(values[i]);
    std::map<int, std::vector<double>> groups;
    for (const auto& [key, value] : mergeGroups(replicates, useRms))
        groups[key.first].push_back(value);
    return mergeGroups(groups, useRms);
}

std::map<int, double> groupByIdentifiers(const std::vector<CategoryEntry>& entries, const std::vector<double>& values,
                                         bool useRms)
{
    const bool anyReplicate
        = std::any_of(entries.begin(), entries.end(), [](const CategoryEntry& e) { return e.bioRepId > 0; });
    return anyReplicate ? groupByReplicate(entries, values, useRms) : groupById(entries, values, useRms);
}

std::optional<int> findTaggedNumber(const QString& text, IdTag tag)
{
    // Compiled once for the life of the program.
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral("ID(\\d+)"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral("BR(\\d+)"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral("TR(\\d+)"), QRegularExpression::CaseInsensitiveOption),
    };
    QRegularExpressionMatchIterator matches = patterns[static_cast<int>(tag)].globalMatch(text);
    while (matches.hasNext()) {
        bool ok = false;
        const int value = matches.next().captured(1).toInt(&ok);
        if (ok)
            return value;
    }
    return std::nullopt;
}

std::vector<DatasetSnapshot> snapshotDatasets(const DatasetHost& host, const std::vector<int>& datasetIds,
                                              const std::vector<std::string>& featureKeys)
{
    std::vector<DatasetSnapshot> snapshots;
    snapshots.reserve(datasetIds.size());
    for (int id : datasetIds) {
        DatasetSnapshot snapshot;
        snapshot.datasetId = id;
        const DatasetEntry* dataset = host.findDatasetById(id);
        if (dataset && dataset->reader) {
            snapshot.reader = dataset->reader;
            snapshot.filter = host.buildEffectiveFilter(dataset);
            for (const std::string& key : featureKeys)
                snapshot.columns.push_back(&dataset->reader->getFeature(key));
        } else {
            snapshot.columns.assign(featureKeys.size(), &emptyColumn());
        }
        snapshots.push_back(std::move(snapshot));
    }
    return snapshots;
}

std::vector<std::vector<int>> passingEventsOf(const std::vector<DatasetSnapshot>& datasets)
{
    std::vector<std::vector<int>> passing(datasets.size());
    parallelFor(datasets.size(), 1, [&](size_t begin, size_t end) {
        for (size_t d = begin; d < end; ++d)
            if (datasets[d].reader)
                passing[d] = passingEventIndices(datasets[d].filter, *datasets[d].reader);
    });
    return passing;
}

std::vector<std::vector<double>> summarizeDatasets(const std::vector<DatasetSnapshot>& datasets, SummaryKind kind)
{
    // Two parallel passes: each dataset's filter once, then every (dataset, feature) pair,
    // so that a few large datasets with many features still spread over all threads.
    const std::vector<std::vector<int>> passing = passingEventsOf(datasets);
    std::vector<std::vector<double>> result(datasets.size());
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t d = 0; d < datasets.size(); ++d) {
        result[d].assign(datasets[d].columns.size(), missing);
        if (datasets[d].reader)
            for (size_t f = 0; f < datasets[d].columns.size(); ++f)
                pairs.emplace_back(d, f);
    }
    parallelFor(pairs.size(), 1, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const auto [d, f] = pairs[i];
            result[d][f] = summaryValue(*datasets[d].columns[f], passing[d], kind);
        }
    });
    return result;
}

} // namespace Tervane3
