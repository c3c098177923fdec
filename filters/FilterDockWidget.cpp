// The filter panel of the "Filters" dock.
#include "filters/FilterDockWidget.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroup.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterPanelParts.h"
#include "filters/FilterRuleWidget.h"
#include "filters/PolygonRuleWidget.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace Tervane3 {

namespace {

QPushButton* allDatasetsButton(const QString& objectName, const QString& toolTip, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(objectName);
    button->setStyleSheet(plainButtonStyle());
    button->setToolTip(toolTip);
    return button;
}

void discardLater(QVBoxLayout* layout, QWidget* widget)
{
    layout->removeWidget(widget);
    widget->deleteLater();
}

} // namespace

FilterDockWidget::FilterDockWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    datasetFilterBox = new QGroupBox(QStringLiteral("Active Dataset Filter"), this);
    datasetFilterBox->setObjectName(QStringLiteral("datasetFilterBox"));
    outer->addWidget(datasetFilterBox, 1);
    auto* box = new QVBoxLayout(datasetFilterBox);

    switchGrid = new QGridLayout;
    switchGrid->setContentsMargins(0, 0, 0, 0);
    enabledCheck = new QCheckBox(QStringLiteral("Filtering Enabled"), datasetFilterBox);
    enabledCheck->setObjectName(QStringLiteral("filteringEnabledCheck"));
    enabledCheck->setChecked(true);
    enableAllButton = allDatasetsButton(QStringLiteral("enableAllButton"),
                                        QStringLiteral("Apply this dataset's filter-enabled state to every loaded "
                                                       "dataset."),
                                        datasetFilterBox);
    showExcludedCheck = new QCheckBox(QStringLiteral("Show Excluded Events"), datasetFilterBox);
    showExcludedCheck->setObjectName(QStringLiteral("showExcludedCheck"));
    showExcludedCheck->setToolTip(
        QStringLiteral("Invert the filter result so the events the rules normally reject are shown instead."));
    showExcludedAllButton = allDatasetsButton(QStringLiteral("showExcludedAllButton"),
                                              QStringLiteral("Apply this dataset's inversion state to every loaded "
                                                             "dataset."),
                                              datasetFilterBox);
    switchGrid->addWidget(enabledCheck, 0, 0);
    switchGrid->addWidget(showExcludedCheck, 2, 0);
    switchGrid->setColumnStretch(2, 1);
    arrangeSwitches(true);
    box->addLayout(switchGrid);

    scrollArea = new QScrollArea(datasetFilterBox);
    scrollArea->setWidgetResizable(true);
    scrollArea->setMinimumHeight(100);
    auto* content = new QWidget(scrollArea);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(4);
    rulesLayout = new QVBoxLayout;
    rulesLayout->setContentsMargins(0, 0, 0, 0);
    rulesLayout->setSpacing(2);
    groupsLayout = new QVBoxLayout;
    groupsLayout->setContentsMargins(0, 0, 0, 0);
    groupsLayout->setSpacing(4);
    contentLayout->addLayout(rulesLayout);
    contentLayout->addLayout(groupsLayout);
    contentLayout->addStretch();
    scrollArea->setWidget(content);
    box->addWidget(scrollArea, 1);

    auto* buttonRow = new QHBoxLayout;
    addRuleButton = new QPushButton(QStringLiteral("+ Rule"), datasetFilterBox);
    addRuleButton->setObjectName(QStringLiteral("addRuleButton"));
    addRuleButton->setToolTip(QStringLiteral("Add a range rule to this dataset's filter"));
    addPolygonButton = new QPushButton(QStringLiteral("+ Polygon"), datasetFilterBox);
    addPolygonButton->setObjectName(QStringLiteral("addPolygonButton"));
    addPolygonButton->setCheckable(true);
    addPolygonButton->setStyleSheet(
        QStringLiteral("QPushButton:checked { background-color: #a6d7d5; color: #00abad; border: 1px solid #00abad; }"));
    addPolygonButton->setToolTip(QStringLiteral("Click in the plot to place polygon vertices. Double-click to close "
                                                "the polygon, or press Esc to cancel."));
    addGroupButton = new QPushButton(QStringLiteral("+ Group"), datasetFilterBox);
    addGroupButton->setObjectName(QStringLiteral("addGroupButton"));
    addGroupButton->setToolTip(QStringLiteral("Add a filter group whose rules are shared across all datasets, with "
                                              "per-dataset on/off toggles."));
    auto* menuButton = new QPushButton(QStringLiteral("\u22EE"), datasetFilterBox);
    menuButton->setObjectName(QStringLiteral("moreFilterActionsButton"));
    menuButton->setToolTip(QStringLiteral("More filter actions"));
    menuButton->setStyleSheet(QStringLiteral("QPushButton::menu-indicator { image: none; subcontrol-origin: padding; "
                                             "subcontrol-position: right center; width: 0; }"));
    auto* menu = new QMenu(menuButton);
    QAction* applyAll = menu->addAction(QStringLiteral("Apply Filter to All Datasets"));
    applyAll->setToolTip(QStringLiteral("Copy this dataset's enabled state, combine mode, and rules onto every other "
                                        "dataset (overwrites their existing rules)."));
    menu->addSeparator();
    QMenu* importMenu = menu->addMenu(QStringLiteral("Import Measurement Filters"));
    QAction* importActive = importMenu->addAction(QStringLiteral("For Active Dataset"));
    importActive->setToolTip(QStringLiteral("Import online filter settings from HDF5 metadata (soft limits only)"));
    QAction* importAll = importMenu->addAction(QStringLiteral("For All Datasets"));
    importAll->setToolTip(QStringLiteral("Import online filter settings into every loaded dataset"));
    menu->addSeparator();
    QAction* importGroups = menu->addAction(QStringLiteral("Import Filter Groups\u2026"));
    QAction* exportGroups = menu->addAction(QStringLiteral("Export Filter Groups\u2026"));
    menuButton->setMenu(menu);
    buttonRow->addWidget(addRuleButton);
    buttonRow->addWidget(addPolygonButton);
    buttonRow->addWidget(addGroupButton);
    buttonRow->addStretch();
    buttonRow->addWidget(menuButton);
    box->addLayout(buttonRow);

    statusLabel = new QLabel(QStringLiteral("No filter active"), datasetFilterBox);
    statusLabel->setObjectName(QStringLiteral("filterStatusLabel"));
    statusLabel->setStyleSheet(QStringLiteral("QLabel { padding: 3px; color: #606468; font-style: italic; }"));
    box->addWidget(statusLabel);
    datasetFilterBox->setEnabled(false);

    connect(applyAll, &QAction::triggered, this, &FilterDockWidget::applyToAllRequested);
    connect(importActive, &QAction::triggered, this, [this] { emit importMeasurementFiltersRequested(false); });
    connect(importAll, &QAction::triggered, this, [this] { emit importMeasurementFiltersRequested(true); });
    connect(importGroups, &QAction::triggered, this, &FilterDockWidget::importGroupsRequested);
    connect(exportGroups, &QAction::triggered, this, &FilterDockWidget::exportGroupsRequested);
    connect(enabledCheck, &QCheckBox::toggled, this, &FilterDockWidget::onDatasetFilterToggled);
    connect(showExcludedCheck, &QCheckBox::toggled, this, &FilterDockWidget::onCombineModeChanged);
    connect(addRuleButton, &QPushButton::clicked, this, &FilterDockWidget::onAddRule);
    connect(addGroupButton, &QPushButton::clicked, this, &FilterDockWidget::addFilterGroupRequested);
    connect(addPolygonButton, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            emit polygonDrawRequested();
        else
            emit polygonDrawCancelRequested();
    });
    connect(enableAllButton, &QPushButton::clicked, this, [this] {
        if (dataset)
            emit enabledChangedForAll(enabledCheck->isChecked());
    });
    connect(showExcludedAllButton, &QPushButton::clicked, this, [this] {
        if (dataset)
            emit combineModeChangedForAll(showExcludedCheck->isChecked() ? 1 : 0);
    });
}

std::vector<std::string> FilterDockWidget::selectableFeatureNames() const
{
    std::vector<std::string> names;
    if (!dataset || !dataset->reader)
        return names;
    for (const std::string& name : dataset->reader->featureNames()) {
        if (isScalarFeatureName(name))
            names.push_back(name);
    }
    return names;
}

void FilterDockWidget::setDataset(DatasetEntry* entry)
{
    dataset = entry;
    datasetFilterBox->setEnabled(entry != nullptr);
    rebuildRuleWidgets();
}

void FilterDockWidget::resetToEmpty()
{
    setDataset(nullptr);
    {
        const QSignalBlocker blocker(enabledCheck);
        enabledCheck->setChecked(true);
    }
    statusLabel->setText(QStringLiteral("No filter active"));
    for (QPushButton* button : {enableAllButton, showExcludedAllButton}) {
        button->setText(QString());
        button->setEnabled(true);
        button->setStyleSheet(plainButtonStyle());
    }
    fitSwitches();
    setPolygonDrawChecked(false);
}

void FilterDockWidget::setDatasetCount(int count)
{
    datasetCount = count;
    for (RuleRowWidget* row : ruleWidgets)
        row->setMultipleDatasets(count > 1);
}

void FilterDockWidget::rebuildRuleWidgets()
{
    for (RuleRowWidget* row : ruleWidgets)
        discardLater(rulesLayout, row);
    for (QWidget* separator : separators)
        discardLater(rulesLayout, separator);
    ruleWidgets.clear();
    separators.clear();

    if (!dataset) {
        enabledCheck->setChecked(false);
        {
            const QSignalBlocker blocker(showExcludedCheck);
            showExcludedCheck->setChecked(false);
        }
        statusLabel->setText(QStringLiteral("No dataset selected"));
        return;
    }
    {
        const QSignalBlocker blockEnabled(enabledCheck);
        const QSignalBlocker blockExcluded(showExcludedCheck);
        enabledCheck->setChecked(dataset->filter.isEnabled());
        showExcludedCheck->setChecked(dataset->filter.combineMode() == CombineShowExcluded);
    }
    const std::vector<std::string> features = selectableFeatureNames();
    for (const FilterRule& rule : dataset->filter.rules) {
        RuleRowWidget* row = nullptr;
        if (rule.type == PolygonRule)
            row = new PolygonRuleWidget(dataset->reader, this);
        else
            row = new FilterRuleWidget(features, dataset->reader, this);
        row->setRule(rule);
        row->setMultipleDatasets(datasetCount > 1);
        appendRow(row);
    }
    statusLabel->setText(QStringLiteral("No filter active"));
}

void FilterDockWidget::appendRow(RuleRowWidget* row)
{
    if (!ruleWidgets.empty()) {
        separators.push_back(createRuleSeparator(this));
        rulesLayout->addWidget(separators.back());
    }
    rulesLayout->addWidget(row);
    ruleWidgets.push_back(row);
    connectRuleRow(row);
}

int FilterDockWidget::rowIndex(const QObject* row) const
{
    const auto found = std::find(ruleWidgets.begin(), ruleWidgets.end(), row);
    return found == ruleWidgets.end() ? -1 : static_cast<int>(found - ruleWidgets.begin());
}

void FilterDockWidget::connectRuleRow(RuleRowWidget* row)
{
    connect(row, &RuleRowWidget::ruleChanged, this, [this, row] {
        boundEdit = row->lastChangeWasBoundEdit();
        onRuleChanged();
    });
    connect(row, &RuleRowWidget::removeRequested, this, [this, row] {
        takeRow(row, rowIndex(row));
        boundEdit = false;
        syncFilterFromWidgets();
        emit filterChanged();
    });
    // The index is looked up at the moment of the click: rows before it may have gone.
    const auto forward = [this, row](void (FilterDockWidget::*request)(int)) {
        return [this, row, request] {
            const int index = rowIndex(row);
            if (index >= 0)
                emit(this->*request)(index);
        };
    };
    connect(row, &RuleRowWidget::applyRuleToAllRequested, this, forward(&FilterDockWidget::applyRuleToAll));
    connect(row, &RuleRowWidget::updateRuleToAllRequested, this, forward(&FilterDockWidget::updateRuleToAll));
    connect(row, &RuleRowWidget::uncheckRuleInAllRequested, this, forward(&FilterDockWidget::uncheckRuleInAll));
    connect(row, &RuleRowWidget::checkRuleInAllRequested, this, forward(&FilterDockWidget::checkRuleInAll));
    connect(row, &RuleRowWidget::deleteRuleFromAllRequested, this, forward(&FilterDockWidget::deleteRuleFromAll));
    if (auto* polygon = qobject_cast<PolygonRuleWidget*>(row)) {
        connect(polygon, &PolygonRuleWidget::editToggled, this, [this, polygon](bool on) {
            const int index = rowIndex(polygon);
            if (index < 0)
                return;
            // At most one gate of the dataset shows "Edit" pressed.
            if (on) {
                for (RuleRowWidget* other : ruleWidgets) {
                    if (auto* otherPolygon = qobject_cast<PolygonRuleWidget*>(other); otherPolygon && other != polygon)
                        otherPolygon->setEditChecked(false);
                }
            }
            emit polygonEditRequested(index, on);
        });
    }
}

void FilterDockWidget::takeRow(QWidget* row, int index)
{
    if (index >= 0)
        ruleWidgets.erase(ruleWidgets.begin() + index);
    discardLater(rulesLayout, row);
    if (index >= 0 && !separators.empty()) {
        const int which = std::min(std::max(index - 1, 0), static_cast<int>(separators.size()) - 1);
        discardLater(rulesLayout, separators[static_cast<size_t>(which)]);
        separators.erase(separators.begin() + which);
    }
}

void FilterDockWidget::onAddRule()
{
    const std::vector<std::string> features = selectableFeatureNames();
    if (!dataset || !dataset->reader || features.empty())
        return;
    auto* row = new FilterRuleWidget(features, dataset->reader, this);
    row->setMultipleDatasets(datasetCount > 1);
    appendRow(row);
    boundEdit = false;
    syncFilterFromWidgets();
    emit filterChanged();
}

void FilterDockWidget::onRuleChanged()
{
    syncFilterFromWidgets();
    emit filterChanged();
}

void FilterDockWidget::onCombineModeChanged()
{
    if (!dataset)
        return;
    dataset->filter.setCombineMode(showExcludedCheck->isChecked() ? CombineShowExcluded : CombineAllPass);
    boundEdit = false;
    emit filterChanged();
}

void FilterDockWidget::onDatasetFilterToggled(bool enabled)
{
    if (!dataset)
        return;
    dataset->filter.setEnabled(enabled);
    boundEdit = false;
    emit filterChanged();
}

void FilterDockWidget::syncFilterFromWidgets()
{
    if (!dataset)
        return;
    dataset->filter.clearRules();
    for (const RuleRowWidget* row : ruleWidgets)
        dataset->filter.addRule(row->rule());
}

void FilterDockWidget::refreshFeatureLists()
{
    const std::vector<std::string> features = selectableFeatureNames();
    for (RuleRowWidget* row : ruleWidgets) {
        if (auto* range = qobject_cast<FilterRuleWidget*>(row))
            range->setAvailableFeatures(features);
    }
    for (FilterGroupWidget* group : groupWidgets)
        group->setAvailableFeatures(features);
}

void FilterDockWidget::setFilterGroups(const std::vector<const FilterGroup*>& groups,
                                       std::shared_ptr<RTDCReader> reader)
{
    for (FilterGroupWidget* group : groupWidgets)
        discardLater(groupsLayout, group);
    groupWidgets.clear();
    const std::vector<std::string> features = selectableFeatureNames();
    for (const FilterGroup* group : groups) {
        auto* widget = new FilterGroupWidget(group->id, features, reader, this);
        widget->setName(QString::fromStdString(group->name));
        bool on = false;
        if (dataset) {
            const auto found = dataset->groupEnabled.find(group->id);
            on = found != dataset->groupEnabled.end() && found->second;
        }
        widget->setGroupEnabled(on);
        widget->setMultipleDatasets(datasetCount > 1);
        widget->setRules(group->rules);
        connect(widget, &FilterGroupWidget::renameRequested, this, &FilterDockWidget::renameFilterGroupRequested);
        connect(widget, &FilterGroupWidget::deleteRequested, this, &FilterDockWidget::deleteFilterGroupRequested);
        connect(widget, &FilterGroupWidget::enableToggled, this, &FilterDockWidget::groupEnableChanged);
        connect(widget, &FilterGroupWidget::enablePropagateRequested, this,
                &FilterDockWidget::groupEnablePropagateRequested);
        connect(widget, &FilterGroupWidget::addRuleRequested, this, &FilterDockWidget::addRuleToGroupRequested);
        connect(widget, &FilterGroupWidget::addPolygonRequested, this, &FilterDockWidget::addPolygonToGroupRequested);
        connect(widget, &FilterGroupWidget::ruleChanged, this,
                [this, widget](int groupId, int ruleIndex, const FilterRule& rule) {
                    boundEdit = widget->lastChangeWasBoundEdit();
                    emit groupRuleChanged(groupId, ruleIndex, rule);
                });
        connect(widget, &FilterGroupWidget::ruleRemoved, this, &FilterDockWidget::groupRuleRemoved);
        connect(widget, &FilterGroupWidget::polygonEditToggled, this, &FilterDockWidget::groupPolygonEditRequested);
        groupsLayout->addWidget(widget);
        groupWidgets.push_back(widget);
    }
}

void FilterDockWidget::removeRuleAt(int index)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    takeRow(ruleWidgets[static_cast<size_t>(index)], index);
    boundEdit = false;
    syncFilterFromWidgets();
    emit filterChanged();
}

void FilterDockWidget::setRuleEnabled(int index, bool enabled)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    ruleWidgets[static_cast<size_t>(index)]->setEnabledSilently(enabled);
    boundEdit = false;
    syncFilterFromWidgets();
    emit filterChanged();
}

void FilterDockWidget::setRuleAllFlags(int index, bool contentDiffers, bool enabledDiffers)
{
    if (index >= 0 && index < static_cast<int>(ruleWidgets.size()))
        ruleWidgets[static_cast<size_t>(index)]->setAllFlags(contentDiffers, enabledDiffers);
}

void FilterDockWidget::setRulePropagationId(int index, const std::string& id)
{
    if (index >= 0 && index < static_cast<int>(ruleWidgets.size()))
        ruleWidgets[static_cast<size_t>(index)]->setPropagationId(id);
}

void FilterDockWidget::updateAllButton(QPushButton* button, bool checked, const QString& onText,
                                       const QString& offText, bool othersDiffer)
{
    const bool several = datasetCount > 1;
    button->setText(checked ? onText : offText);
    button->setEnabled(several);
    button->setStyleSheet(several && othersDiffer ? highlightedButtonStyle() : plainButtonStyle());
}

void FilterDockWidget::updateEnableAllButton(bool othersDiffer)
{
    updateAllButton(enableAllButton, enabledCheck->isChecked(), QStringLiteral("Enable in All Datasets"),
                    QStringLiteral("Disable in All Datasets"), othersDiffer);
    fitSwitches();
}

void FilterDockWidget::updateShowExcludedAllButton(bool othersDiffer)
{
    updateAllButton(showExcludedAllButton, showExcludedCheck->isChecked(),
                    QStringLiteral("Show Excluded in All Datasets"), QStringLiteral("Hide Excluded in All Datasets"),
                    othersDiffer);
    fitSwitches();
}

void FilterDockWidget::arrangeSwitches(bool beside)
{
    buttonsBesideSwitches = beside;
    switchGrid->removeWidget(enableAllButton);
    switchGrid->removeWidget(showExcludedAllButton);
    // Below its switch a button keeps its text whole in a narrow dock (the rows of two
    // widgets need about 530 px with the longer texts, more than the dock may be wide).
    const int column = beside ? 1 : 0;
    switchGrid->addWidget(enableAllButton, beside ? 0 : 1, column, Qt::AlignLeft);
    switchGrid->addWidget(showExcludedAllButton, beside ? 2 : 3, column, Qt::AlignLeft);
}

void FilterDockWidget::fitSwitches()
{
    const int spacing = std::max(switchGrid->horizontalSpacing(), 0);
    const int needed = std::max(enabledCheck->sizeHint().width() + enableAllButton->sizeHint().width(),
                                showExcludedCheck->sizeHint().width() + showExcludedAllButton->sizeHint().width())
                       + spacing;
    const QMargins margins = datasetFilterBox->layout()->contentsMargins();
    const int available = datasetFilterBox->contentsRect().width() - margins.left() - margins.right();
    const bool beside = needed <= available;
    if (beside != buttonsBesideSwitches)
        arrangeSwitches(beside);
}

void FilterDockWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitSwitches();
}

void FilterDockWidget::setGroupAllState(int groupId, bool mixed)
{
    for (FilterGroupWidget* group : groupWidgets) {
        if (group->groupId() != groupId)
            continue;
        if (group->isMixed() != mixed)
            group->setMixed(mixed);
        return;
    }
}

void FilterDockWidget::setGroupPolygonEditChecked(int groupId, int ruleIndex, bool on)
{
    for (FilterGroupWidget* group : groupWidgets) {
        if (group->groupId() == groupId) {
            group->setPolygonEditChecked(ruleIndex, on);
            return;
        }
    }
}

void FilterDockWidget::setPolygonDrawChecked(bool on)
{
    const QSignalBlocker blocker(addPolygonButton);
    addPolygonButton->setChecked(on);
}

void FilterDockWidget::setPolygonEditChecked(int index, bool on)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    if (auto* polygon = qobject_cast<PolygonRuleWidget*>(ruleWidgets[static_cast<size_t>(index)]))
        polygon->setEditChecked(on);
}

void FilterDockWidget::updateEventCount(std::size_t shown, std::size_t total)
{
    if (total == 0)
        statusLabel->setText(QStringLiteral("No events"));
    else if (shown == total)
        statusLabel->setText(QStringLiteral("%1 events (no filter active)").arg(total));
    else
        statusLabel->setText(QStringLiteral("%1 / %2 events shown (%3%)")
                                 .arg(shown)
                                 .arg(total)
                                 .arg(QString::number(static_cast<double>(shown) * 100.0 / static_cast<double>(total),
                                                      'f', 1)));
}

} // namespace Tervane3
