// The statistical summary export (see StatSummaryExport.h).
#include "io/StatSummaryExport.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "io/StatSummaryExportDialog.h"
#include "io/SummaryStatistics.h"
#include "io/TsvEventWriter.h"

#include <QApplication>
#include <QFileInfo>
#include <QSaveFile>

#include <boost/sort/spreadsort/float_sort.hpp>

#include <charconv>
#include <cmath>

namespace Tervane3 {

namespace {

const QString exportTitle = QStringLiteral("Export");

enum class Statistic { N, Median, Iqr, Q1, Q3, Percentile, Mean, Sd, Sem, Cv, Min, Max, Skewness };

std::vector<Statistic> chosenStatistics(const StatSummaryOptions& o)
{
    const std::pair<bool, Statistic> all[] = {
        {o.n, Statistic::N},       {o.median, Statistic::Median},         {o.iqr, Statistic::Iqr},
        {o.q1, Statistic::Q1},     {o.q3, Statistic::Q3},                 {o.percentile, Statistic::Percentile},
        {o.mean, Statistic::Mean}, {o.sd, Statistic::Sd},                 {o.sem, Statistic::Sem},
        {o.cv, Statistic::Cv},     {o.min, Statistic::Min},               {o.max, Statistic::Max},
        {o.skewness, Statistic::Skewness}};
    std::vector<Statistic> out;
    for (const auto& [on, statistic] : all)
        if (on)
            out.push_back(statistic);
    return out;
}

QString columnName(Statistic statistic, double percent)
{
    switch (statistic) {
    case Statistic::N: return QStringLiteral("N");
    case Statistic::Median: return QStringLiteral("Median");
    case Statistic::Iqr: return QStringLiteral("IQR");
    case Statistic::Q1: return QStringLiteral("Q1");
    case Statistic::Q3: return QStringLiteral("Q3");
    case Statistic::Percentile: return QStringLiteral("P") + QString::number(percent, 'f', 1);
    case Statistic::Mean: return QStringLiteral("Mean");
    case Statistic::Sd: return QStringLiteral("SD");
    case Statistic::Sem: return QStringLiteral("SEM");
    case Statistic::Cv: return QStringLiteral("CV (%)");
    case Statistic::Min: return QStringLiteral("Min");
    case Statistic::Max: return QStringLiteral("Max");
    case Statistic::Skewness: return QStringLiteral("Skewness");
    }
    return QString();
}

double valueOf(const SummaryValues& v, Statistic statistic)
{
    switch (statistic) {
    case Statistic::N: return static_cast<double>(v.n);
    case Statistic::Median: return v.median;
    case Statistic::Iqr: return v.iqr;
    case Statistic::Q1: return v.q1;
    case Statistic::Q3: return v.q3;
    case Statistic::Percentile: return v.percentile;
    case Statistic::Mean: return v.mean;
    case Statistic::Sd: return v.sd;
    case Statistic::Sem: return v.sem;
    case Statistic::Cv: return v.cv;
    case Statistic::Min: return v.min;
    case Statistic::Max: return v.max;
    case Statistic::Skewness: return v.skewness;
    }
    return 0.0;
}

// 6 significant digits as printf's %g writes them, without the locale.
void appendNumber(std::string& out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    out.append(buffer, result.ptr);
}

struct Cell
{
    bool hasFeature = false;
    SummaryValues values;
};

// The finite values of the events, sorted (a radix-based sort for floating-point keys, about
// twice as fast as std::sort on a million values); events beyond a short column count as
// missing.
std::vector<double> sortedFiniteValues(const std::vector<double>& column, const std::vector<int>& events)
{
    std::vector<double> values;
    values.reserve(events.size());
    for (int index : events) {
        if (index < 0 || static_cast<size_t>(index) >= column.size())
            continue;
        const double v = column[static_cast<size_t>(index)];
        if (std::isfinite(v))
            values.push_back(v);
    }
    boost::sort::spreadsort::float_sort(values.begin(), values.end());
    return values;
}

} // namespace

std::vector<QString> statSummaryColumns(const StatSummaryOptions& options)
{
    std::vector<QString> names;
    for (Statistic statistic : chosenStatistics(options))
        names.push_back(columnName(statistic, options.percentileValue));
    return names;
}

std::string statSummaryTable(const std::vector<SummaryRowInput>& rows, const StatSummaryOptions& options)
{
    const std::vector<Statistic> statistics = chosenStatistics(options);
    const std::vector<std::string>& features = options.features;
    const size_t featureCount = features.size();

    // One sort per (row, feature), in parallel; each pair writes only its own cell.
    std::vector<Cell> cells(rows.size() * featureCount);
    parallelFor(cells.size(), 1, [&](size_t begin, size_t end) {
        for (size_t c = begin; c < end; ++c) {
            const SummaryRowInput& row = rows[c / featureCount];
            const std::string& feature = features[c % featureCount];
            if (!row.reader || !row.reader->hasFeature(feature))
                continue;
            cells[c].hasFeature = true;
            cells[c].values = summarizeSorted(sortedFiniteValues(row.reader->getFeature(feature), row.events),
                                              options.percentileValue);
        }
    });

    std::string out = "Dataset";
    for (const std::string& feature : features) {
        std::string label;
        for (const SummaryRowInput& row : rows) {
            if (row.reader && row.reader->hasFeature(feature)) {
                label = row.reader->featureLabel(feature);
                break;
            }
        }
        if (label.empty())
            label = feature;
        for (Statistic statistic : statistics)
            out += "\t" + label + " " + columnName(statistic, options.percentileValue).toStdString();
    }
    out += '\n';
    for (size_t r = 0; r < rows.size(); ++r) {
        out += escapeTsvComment(rows[r].displayName.toStdString());
        for (size_t f = 0; f < featureCount; ++f) {
            const Cell& cell = cells[r * featureCount + f];
            for (Statistic statistic : statistics) {
                out += '\t';
                if (!cell.hasFeature)
                    continue;
                if (statistic == Statistic::N)
                    out += std::to_string(cell.values.n);
                else if (cell.values.n > 0)
                    appendNumber(out, valueOf(cell.values, statistic));
            }
        }
        out += '\n';
    }
    return out;
}

StatSummaryExporter::StatSummaryExporter(DatasetHost& datasetHost, QWidget* parentWidget)
    : host(datasetHost)
    , parent(parentWidget)
{
}

void StatSummaryExporter::exportStatSummary(StatSummaryOptions& last, bool& hasLast)
{
    const DatasetEntry* active = host.findDatasetById(host.activeDatasetId());
    if (!active || !active->featuresLoaded) {
        prompts().warning(parent, exportTitle, QStringLiteral("No loaded dataset available for export."));
        return;
    }
    StatSummaryOptions options;
    bool confirmed = false;
    {
        StatSummaryExportDialog dialog(active, &host.datasets(), parent, hasLast ? &last : nullptr);
        if (prompts().execDialog(&dialog) != QDialog::Accepted)
            return;
        options = dialog.options();
        confirmed = dialog.outputConfirmed();
    }
    if (options.features.empty()) {
        prompts().warning(parent, exportTitle, QStringLiteral("No features selected."));
        return;
    }
    last = options;
    hasLast = true;
    if (chosenStatistics(options).empty()) {
        prompts().warning(parent, exportTitle, QStringLiteral("No statistics selected."));
        return;
    }
    const QString path = QString::fromStdString(options.outputPath);
    // A file the browse dialog did not ask about is replaced only when the user says so.
    if (!confirmed && QFileInfo(path).isFile()
        && !prompts().question(parent, exportTitle,
                               QStringLiteral("The file already exists:\n%1\n\nReplace it?").arg(path)))
        return;

    std::vector<SummaryRowInput> rows;
    for (const auto& dataset : host.datasets()) {
        const bool exported = options.allDatasets ? dataset->featuresLoaded : dataset.get() == active;
        if (exported)
            rows.push_back({dataset->displayName, dataset->reader.get(), host.passingEvents(dataset.get())});
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string table = statSummaryTable(rows, options);
    QApplication::restoreOverrideCursor();

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        prompts().warning(parent, exportTitle, QStringLiteral("Could not open file for writing:\n%1").arg(path));
        return;
    }
    const bool written = file.write(table.data(), static_cast<qint64>(table.size()))
                         == static_cast<qint64>(table.size());
    if (!written)
        file.cancelWriting();
    if (!file.commit() || !written) {
        prompts().warning(parent, exportTitle, QStringLiteral("Could not write file:\n%1").arg(path));
        return;
    }
    prompts().information(parent, exportTitle, QStringLiteral("Statistical summary exported to:\n%1").arg(path));
}

} // namespace Tervane3
