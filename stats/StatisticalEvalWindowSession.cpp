// The statistical evaluation window in a session file: categories with their datasets
// (by position in the session's dataset list) and replicate IDs, the feature selection and
// the settings; no results. Restoring shows no box and runs no evaluation.
#include "stats/StatisticalEvalWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "stats/CategoryColors.h"
#include "stats/CategoryPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <set>
#include <unordered_map>

namespace Tervane3 {

namespace {

// Selects the item with exactly this text (case-sensitive); an unknown text changes nothing.
void selectText(QComboBox* combo, const QString& text)
{
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

} // namespace

QJsonObject StatisticalEvalWindow::toJson(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const
{
    std::unordered_map<int, int> sessionIndex;
    for (size_t i = 0; i < datasets.size(); ++i)
        sessionIndex.emplace(datasets[i]->id, static_cast<int>(i));
    QJsonArray categories;
    for (const CategoryPanel* panel : categoryPanels) {
        QJsonArray entries;
        for (const CategoryEntry& entry : panel->entries()) {
            const auto found = sessionIndex.find(entry.datasetId);
            if (found == sessionIndex.end())
                continue;
            entries.append(QJsonObject{{QStringLiteral("datasetSessionIndex"), found->second},
                                       {QStringLiteral("numberId"), entry.numberId},
                                       {QStringLiteral("bioRepId"), entry.bioRepId},
                                       {QStringLiteral("techRepId"), entry.techRepId}});
        }
        categories.append(QJsonObject{{QStringLiteral("name"), panel->name()},
                                      {QStringLiteral("removable"), panel->removable()},
                                      {QStringLiteral("color"), panel->color().name()},
                                      {QStringLiteral("entries"), entries}});
    }
    QJsonArray selected;
    for (const std::string& key : selectedFeatureKeys())
        selected.append(QString::fromStdString(key));
    return QJsonObject{{QStringLiteral("categories"), categories},
                       {QStringLiteral("selectedFeatures"), selected},
                       {QStringLiteral("alpha"), alphaSpin->value()},
                       {QStringLiteral("correctionMethod"), correctionCombo->currentText()},
                       {QStringLiteral("averageMethod"), summaryCombo->currentText()},
                       {QStringLiteral("pairingMode"), designCombo->currentText()},
                       {QStringLiteral("technicalReplicates"), replicatesCheck->isChecked()},
                       {QStringLiteral("connectionLines"), connectionLinesCheck->isChecked()},
                       {QStringLiteral("nextCategoryIndex"), nextCategoryIndex},
                       {QStringLiteral("activeTab"), tabs->currentIndex()}};
}

void StatisticalEvalWindow::restoreFromJson(const QJsonObject& state, const std::map<int, int>& sessionIndexToDatasetId)
{
    // Toggling the connection lines runs the comparison; nothing may run while restoring.
    const QSignalBlocker quietLines(connectionLinesCheck);
    for (CategoryPanel* panel : categoryPanels) {
        categoryLayout->removeWidget(panel);
        delete panel;
    }
    categoryPanels.clear();

    for (const QJsonValue& value : state.value(QStringLiteral("categories")).toArray()) {
        const QJsonObject object = value.toObject();
        QColor color(object.value(QStringLiteral("color")).toString());
        if (!object.contains(QStringLiteral("color")) || !color.isValid())
            color = categoryColorAt(static_cast<int>(categoryPanels.size()));
        auto* panel = new CategoryPanel(object.value(QStringLiteral("name")).toString(),
                                        object.value(QStringLiteral("removable")).toBool(false), color, host,
                                        categoryContainer);
        connectPanel(panel);
        categoryPanels.push_back(panel);
        categoryLayout->addWidget(panel);
        std::set<int> seen;
        for (const QJsonValue& item : object.value(QStringLiteral("entries")).toArray()) {
            const QJsonObject e = item.toObject();
            const int index = e.value(QStringLiteral("datasetSessionIndex")).toInt(-1);
            if (index < 0 || !seen.insert(index).second)
                continue;
            const auto mapped = sessionIndexToDatasetId.find(index);
            if (mapped == sessionIndexToDatasetId.end() || mapped->second < 0)
                continue;
            const DatasetEntry* dataset = host ? host->findDatasetById(mapped->second) : nullptr;
            if (!dataset || !dataset->featuresLoaded)
                continue;
            CategoryEntry entry;
            entry.datasetId = dataset->id;
            entry.name = dataset->displayName;
            entry.sample = dataset->metadata.value("experiment", "sample");
            entry.numberId = e.value(QStringLiteral("numberId")).toInt(0);
            entry.bioRepId = e.value(QStringLiteral("bioRepId")).toInt(0);
            entry.techRepId = e.value(QStringLiteral("techRepId")).toInt(0);
            panel->addEntry(entry);
        }
    }

    alphaSpin->setValue(state.value(QStringLiteral("alpha")).toDouble(0.05));
    selectText(correctionCombo, state.value(QStringLiteral("correctionMethod")).toString(QStringLiteral("Bonferroni")));
    selectText(summaryCombo, state.value(QStringLiteral("averageMethod")).toString(QStringLiteral("Median")));
    selectText(designCombo,
               state.value(QStringLiteral("pairingMode")).toString(QStringLiteral("Independent / No matching")));
    {
        const QSignalBlocker quietReplicates(replicatesCheck);
        replicatesCheck->setChecked(state.value(QStringLiteral("technicalReplicates")).toBool(false));
    }
    connectionLinesCheck->setChecked(state.value(QStringLiteral("connectionLines")).toBool(false));
    nextCategoryIndex = state.value(QStringLiteral("nextCategoryIndex")).toInt(2);
    applyIdDisplay();

    onCategoryChanged();
    std::set<QString> selected;
    for (const QJsonValue& key : state.value(QStringLiteral("selectedFeatures")).toArray())
        selected.insert(key.toString());
    for (int row = 0; row < featureList->count(); ++row)
        if (selected.count(featureList->item(row)->data(Qt::UserRole).toString()))
            featureList->item(row)->setSelected(true);
    const int tab = state.value(QStringLiteral("activeTab")).toInt(0);
    if (tab >= 0 && tab < tabs->count())
        tabs->setCurrentIndex(tab);
    onTabChanged(tabs->currentIndex());
}

void StatisticalEvalWindow::applyIdDisplay()
{
    const bool matched = isMatchedDesign();
    const bool checked = replicatesCheck->isChecked();
    if (tabs->currentIndex() == 0)
        replicatesCheck->setText(matched ? QStringLiteral("Technical replicates") : QStringLiteral("Replicates included"));
    connectionLinesCheck->setVisible(matched);
    updateAutoDetectVisibility();
    for (CategoryPanel* panel : categoryPanels) {
        panel->setShowIds(matched || checked);
        panel->setShowReplicateIds(checked);
    }
}

} // namespace Tervane3
