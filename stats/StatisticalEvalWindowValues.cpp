// The statistical evaluation window's dataset values: summaries per dataset and category,
// the features common to all categories, the ID detection and the pairing check.
#include "stats/StatisticalEvalWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "core/RTDCReader.h"
#include "stats/CategoryPanel.h"
#include "stats/DatasetValues.h"

#include <QComboBox>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <set>
#include <unordered_map>

namespace Tervane3 {

double StatisticalEvalWindow::computeDatasetValue(int datasetId, const std::string& featureKey) const
{
    const DatasetEntry* dataset = host ? host->findDatasetById(datasetId) : nullptr;
    if (!dataset || !dataset->reader)
        return std::numeric_limits<double>::quiet_NaN();
    const std::vector<double>& column = dataset->reader->getFeature(featureKey);
    return summaryValue(column, host->passingEvents(dataset), summaryKindFromIndex(summaryCombo->currentIndex()));
}

std::vector<std::vector<std::vector<double>>>
StatisticalEvalWindow::categoryValues(const std::vector<std::string>& featureKeys, std::vector<int> categories) const
{
    if (categories.empty())
        for (int c = 0; c < static_cast<int>(categoryPanels.size()); ++c)
            categories.push_back(c);
    // Each dataset once, however many categories hold it.
    std::vector<int> ids;
    std::unordered_map<int, size_t> position;
    for (int c : categories)
        for (const CategoryEntry& entry : categoryPanels[static_cast<size_t>(c)]->entries())
            if (position.emplace(entry.datasetId, ids.size()).second)
                ids.push_back(entry.datasetId);
    std::vector<std::vector<double>> perDataset;
    if (host) {
        const std::vector<DatasetSnapshot> snapshots = snapshotDatasets(*host, ids, featureKeys);
        perDataset = summarizeDatasets(snapshots, summaryKindFromIndex(summaryCombo->currentIndex()));
    } else {
        perDataset.assign(ids.size(), std::vector<double>(featureKeys.size(), std::numeric_limits<double>::quiet_NaN()));
    }
    std::vector<std::vector<std::vector<double>>> result;
    result.reserve(categories.size());
    for (int c : categories) {
        std::vector<std::vector<double>> entries;
        for (const CategoryEntry& entry : categoryPanels[static_cast<size_t>(c)]->entries())
            entries.push_back(perDataset[position.at(entry.datasetId)]);
        result.push_back(std::move(entries));
    }
    return result;
}

std::vector<double> StatisticalEvalWindow::collectCategoryValues(int categoryIndex, const std::string& featureKey,
                                                                 bool useRms) const
{
    if (categoryIndex < 0 || categoryIndex >= static_cast<int>(categoryPanels.size()))
        return {};
    const auto rows = categoryValues({featureKey}, {categoryIndex}).front();
    std::vector<double> values;
    for (const std::vector<double>& row : rows)
        values.push_back(row.front());
    std::vector<double> merged;
    for (const auto& [id, value] : groupByIdentifiers(categoryPanels[static_cast<size_t>(categoryIndex)]->entries(),
                                                      values, useRms))
        merged.push_back(value);
    return merged;
}

std::vector<std::string> StatisticalEvalWindow::commonScalarFeatures() const
{
    std::set<std::string> common;
    bool first = true;
    for (const CategoryPanel* panel : categoryPanels) {
        for (const CategoryEntry& entry : panel->entries()) {
            const DatasetEntry* dataset = host ? host->findDatasetById(entry.datasetId) : nullptr;
            if (!dataset || !dataset->reader)
                continue;
            std::set<std::string> names;
            for (const std::string& name : dataset->reader->featureNames())
                if (isScalarFeatureName(name))
                    names.insert(name);
            if (first) {
                common = std::move(names);
                first = false;
            } else {
                std::set<std::string> both;
                std::set_intersection(common.begin(), common.end(), names.begin(), names.end(),
                                      std::inserter(both, both.end()));
                common = std::move(both);
            }
        }
    }
    return std::vector<std::string>(common.begin(), common.end());
}

void StatisticalEvalWindow::autoDetectIds()
{
    int visited = 0;
    int detected = 0;
    for (CategoryPanel* panel : categoryPanels) {
        // The setters rebuild the panel's list but leave its entries in place.
        const std::vector<CategoryEntry> entries = panel->entries();
        for (const CategoryEntry& entry : entries) {
            ++visited;
            QString text = entry.name;
            std::optional<int> id = findTaggedNumber(text, IdTag::Id);
            if (!id && !entry.sample.empty()) {
                text = QString::fromStdString(entry.sample);
                id = findTaggedNumber(text, IdTag::Id);
            }
            if (!id)
                continue;
            panel->setNumberId(entry.datasetId, *id);
            ++detected;
            if (const std::optional<int> bio = findTaggedNumber(text, IdTag::BioRep))
                panel->setBioRepId(entry.datasetId, *bio);
            if (const std::optional<int> tech = findTaggedNumber(text, IdTag::TechRep))
                panel->setTechRepId(entry.datasetId, *tech);
        }
    }
    if (visited == 0 || detected == visited)
        return;
    if (detected > 0) {
        prompts().information(this, QStringLiteral("Auto-detect IDs"),
                              QStringLiteral("Detected IDs in %1 of %2 datasets. Remaining datasets need manual "
                                             "assignment or names containing ID#.")
                                  .arg(detected)
                                  .arg(visited));
    } else {
        prompts().information(
            this, QStringLiteral("Auto-detect IDs"),
            QStringLiteral("No IDs detected. Use the naming convention ID#, BR#, TR# in dataset names (e.g. \"Sample "
                           "ID1 BR2 TR1\").\n\nID = subject/sample identifier\nBR = biological replicate "
                           "(optional)\nTR = technical replicate (optional)"));
    }
}

bool StatisticalEvalWindow::pairingIdsConsistent() const
{
    if (categoryPanels.size() < 2)
        return false;
    std::vector<std::set<int>> idSets;
    for (const CategoryPanel* panel : categoryPanels) {
        if (panel->entries().empty())
            return false;
        std::set<int> ids;
        for (const CategoryEntry& entry : panel->entries()) {
            if (entry.numberId <= 0)
                return false;
            ids.insert(entry.numberId);
        }
        idSets.push_back(std::move(ids));
    }
    return std::all_of(idSets.begin(), idSets.end(), [&](const std::set<int>& ids) { return ids == idSets.front(); });
}

int StatisticalEvalWindow::smallestIdCount() const
{
    int smallest = 0;
    for (const CategoryPanel* panel : categoryPanels) {
        std::set<int> ids;
        for (const CategoryEntry& entry : panel->entries())
            if (entry.numberId > 0)
                ids.insert(entry.numberId);
        if (ids.empty())
            continue;
        const int count = static_cast<int>(ids.size());
        smallest = smallest == 0 ? count : std::min(smallest, count);
    }
    return smallest;
}

QString StatisticalEvalWindow::featureLabel(const std::string& key) const
{
    for (const CategoryPanel* panel : categoryPanels) {
        if (panel->entries().empty())
            continue;
        const DatasetEntry* dataset = host ? host->findDatasetById(panel->entries().front().datasetId) : nullptr;
        if (!dataset || !dataset->reader)
            continue;
        const std::string label = dataset->reader->featureLabel(key);
        if (!label.empty())
            return QString::fromStdString(label);
        break;
    }
    return QString::fromStdString(key);
}

} // namespace Tervane3
