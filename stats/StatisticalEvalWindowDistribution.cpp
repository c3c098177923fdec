// The distribution explorer of the statistical evaluation window: per selected feature a
// plot of the event-level densities of every dataset, or of every category's mean density.
// The events are those passing each dataset's filter ("Filtering Enabled" honoured); each
// filter is evaluated once per run, and the values and densities are worked on over the
// datasets in parallel.
#include "stats/StatisticalEvalWindow.h"

#include "app/Prompts.h"
#include "core/ParallelFor.h"
#include "stats/CategoryPanel.h"
#include "stats/DatasetValues.h"
#include "stats/DistributionPlot.h"

#include <qwt_plot.h>

#include <QApplication>
#include <QComboBox>
#include <QTabWidget>

#include <unordered_map>

namespace Tervane3 {

void StatisticalEvalWindow::onRunDistribution()
{
    replacePlots(distributionPlots, distributionPlotLayout, {});
    const std::vector<std::string> keys = selectedFeatureKeys();
    const QStringList titles = selectedFeatureLabels();
    if (keys.empty()) {
        prompts().warning(this, QStringLiteral("Distribution Explorer"), QStringLiteral("Select at least one feature."));
        return;
    }
    const bool perCategory = distributionModeCombo->currentIndex() == 1;
    QApplication::setOverrideCursor(Qt::WaitCursor);

    std::vector<int> ids;
    std::unordered_map<int, size_t> position;
    std::vector<DistributionCategory> categories;
    for (const CategoryPanel* panel : categoryPanels) {
        categories.push_back({panel->name(), panel->color()});
        for (const CategoryEntry& entry : panel->entries())
            if (position.emplace(entry.datasetId, ids.size()).second)
                ids.push_back(entry.datasetId);
    }
    const std::vector<DatasetSnapshot> snapshots
        = host ? snapshotDatasets(*host, ids, keys) : std::vector<DatasetSnapshot>();
    const std::vector<std::vector<int>> passing = passingEventsOf(snapshots);

    std::vector<QwtPlot*> plots;
    for (size_t f = 0; f < keys.size(); ++f) {
        // One feature at a time, so that only its values are held.
        std::vector<std::vector<double>> values(snapshots.size());
        parallelFor(snapshots.size(), 1, [&](size_t begin, size_t end) {
            for (size_t d = begin; d < end; ++d)
                if (snapshots[d].reader)
                    values[d] = filteredFiniteValues(*snapshots[d].columns[f], passing[d]);
        });
        // A dataset's values move into its last sample; only a dataset held by several
        // categories is copied.
        std::vector<int> usesLeft(snapshots.size(), 0);
        for (const CategoryPanel* panel : categoryPanels)
            for (const CategoryEntry& entry : panel->entries())
                ++usesLeft[position.at(entry.datasetId)];
        std::vector<DistributionSample> samples;
        for (size_t c = 0; c < categoryPanels.size(); ++c)
            for (const CategoryEntry& entry : categoryPanels[c]->entries()) {
                const size_t d = position.at(entry.datasetId);
                if (values[d].empty())
                    continue;
                std::vector<double> sample = --usesLeft[d] == 0 ? std::move(values[d]) : values[d];
                samples.push_back({std::move(sample), entry.name, categories[c].color, static_cast<int>(c)});
            }
        if (QwtPlot* plot = buildDistributionPlot(titles.value(static_cast<int>(f)), featureLabel(keys[f]), samples,
                                                  categories, perCategory))
            plots.push_back(plot);
    }
    replacePlots(distributionPlots, distributionPlotLayout, std::move(plots));
    QApplication::restoreOverrideCursor();
    tabs->setCurrentIndex(2);
}

} // namespace Tervane3
