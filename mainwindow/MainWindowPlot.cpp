// The main plot update: the active dataset, the plot-settings widgets and the dataset's
// effective filter turned into the scatter plot's points and colours, the polygon gates,
// contour and isoelastic lines, the info line, the statistics dock and the highlight of the
// current event; also the feature combos and the small view updates around them.
// GUI thread only. Columns are taken from the reader's cache by reference only within one
// update; the plotted arrays are copies.
#include "mainwindow/MainWindow.h"

#include "app/ElidedLabel.h"
#include "app/PassingEvents.h"
#include "app/Prompts.h"
#include "calc/EModulus.h"
#include "calc/EModulusParams.h"
#include "calc/CalculationsDockWidget.h"
#include "core/AxisScaleMode.h"
#include "core/DensityEstimator.h"
#include "core/FreshPages.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/PolygonGateId.h"
#include "app/DatasetEntry.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "stats/StatisticalEvalWindow.h"
#include "windows/CombinePlotWindow.h"
#include "windows/ImageGalleryWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

const char* const kDensityPrefix = "__density_";

std::string comboKey(const QComboBox* combo)
{
    return combo->currentData(Qt::UserRole).toString().toStdString();
}

QPolygonF polygonOf(const FilterRule& rule)
{
    QPolygonF polygon;
    for (const PolygonVertex& vertex : rule.polygonVertices)
        polygon << QPointF(vertex.first, vertex.second);
    return polygon;
}

int densityMethodOf(const std::string& key)
{
    if (key == "__density_hist__")
        return DensityHistogram;
    if (key == "__density_knn__")
        return DensityKnn;
    return DensityKde;
}

// The info line shortens the dataset's name, never its counts: a long name must not push
// the numbers out of a narrow window.
void setInfoLine(QLabel* label, const QString& head, const QString& name, const QString& tail)
{
    if (auto* elided = qobject_cast<ElidedLabel*>(label))
        elided->setTextElidingPart(head, name, tail);
    else
        label->setText(head + name + tail);
}

} // namespace

DatasetEntry* MainWindow::activeEntry() const
{
    if (activeIndex < 0 || activeIndex >= static_cast<int>(entries.size()))
        return nullptr;
    return entries[static_cast<size_t>(activeIndex)].get();
}

DatasetEntry* MainWindow::shownEntry() const
{
    DatasetEntry* entry = activeEntry();
    return entry && entry->featuresLoaded ? entry : nullptr;
}

void MainWindow::showUnreadableAxes(const DatasetEntry& entry, const QStringList& features)
{
    // The same empty views as for a dataset without events, with the reason in the info
    // line: never the points, statistics or event values of the dataset shown before.
    forgetPlottedEvents();
    const std::uint64_t total = entry.reader ? entry.reader->eventCount() : 0;
    filterPanel->updateEventCount(0, static_cast<std::size_t>(total));
    setInfoLine(infoLabel, QStringLiteral("Loaded: "), entry.displayName,
                QStringLiteral(" (%1 events; failed to read feature data: %2)")
                    .arg(total)
                    .arg(features.join(QStringLiteral(", "))));
}

void MainWindow::requestPlotUpdate()
{
    updatePlot();
}

EModulusParams MainWindow::isoelasticParams(const DatasetEntry& dataset) const
{
    const bool hasTemperature = dataset.reader && dataset.reader->hasFeature("temp");
    return calculationsPanel->emodulusParams(dataset.metadata, hasTemperature);
}

std::vector<IsoelasticLine> MainWindow::isoelasticLines(const EModulusParams& params)
{
    return emodulusCalculator->isoelastics(params);
}

void MainWindow::populateFeatureCombos()
{
    const DatasetEntry* entry = activeEntry();
    if (!entry || !entry->reader)
        return;
    xFeatureCombo->clear();
    yFeatureCombo->clear();
    colorFeatureCombo->clear();

    colorFeatureCombo->addItem(QStringLiteral("None"), QString());
    colorFeatureCombo->addItem(QStringLiteral("Density (KDE)"), QStringLiteral("__density_kde__"));
    if (expertModeAction && expertModeAction->isChecked()) {
        colorFeatureCombo->addItem(QStringLiteral("Density (Histogram)"), QStringLiteral("__density_hist__"));
        colorFeatureCombo->addItem(QStringLiteral("Density (kNN)"), QStringLiteral("__density_knn__"));
    }
    const RTDCReader& reader = *entry->reader;
    for (const std::string& name : reader.featureNames()) {
        if (!isScalarFeatureName(name))
            continue;
        const QString label = QString::fromStdString(reader.featureLabel(name));
        const QString key = QString::fromStdString(name);
        xFeatureCombo->addItem(label, key);
        yFeatureCombo->addItem(label, key);
        colorFeatureCombo->addItem(label, key);
    }
    const int area = xFeatureCombo->findData(QStringLiteral("area_um"));
    if (area >= 0)
        xFeatureCombo->setCurrentIndex(area);
    const int deform = yFeatureCombo->findData(QStringLiteral("deform"));
    if (deform >= 0)
        yFeatureCombo->setCurrentIndex(deform);
    colorFeatureCombo->setCurrentIndex(0);
}

void MainWindow::refreshFeaturesAndPlot()
{
    const QVariant x = xFeatureCombo->currentData(Qt::UserRole);
    const QVariant y = yFeatureCombo->currentData(Qt::UserRole);
    const QVariant color = colorFeatureCombo->currentData(Qt::UserRole);
    const std::string xBefore = comboKey(xFeatureCombo);
    const std::string yBefore = comboKey(yFeatureCombo);
    {
        // The refill takes the combos through other items (emptied, first item, defaults)
        // on the way back to the user's choices: every calculation's finish comes here, and
        // a gate whose corners are being placed must not end because of it.
        const QScopedValueRollback<bool> refilling(refillingFeatureCombos, true);
        populateFeatureCombos();
        calculationsPanel->refreshFeatures(activeEntry());
        filterPanel->refreshFeatureLists();
        const auto reselect = [](QComboBox* combo, const QVariant& value) {
            if (!value.isValid())
                return;
            const int found = combo->findData(value, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (found >= 0)
                combo->setCurrentIndex(found);
        };
        reselect(xFeatureCombo, x);
        reselect(yFeatureCombo, y);
        reselect(colorFeatureCombo, color);
    }
    // A feature that is no longer offered leaves its combo elsewhere: the gate's axes changed.
    if (comboKey(xFeatureCombo) != xBefore || comboKey(yFeatureCombo) != yBefore)
        endPolygonInteraction();
    updatePlot();
}

void MainWindow::updateFeatureSelection()
{
    // A gate drawn or edited on other axes would take the wrong features.
    if (!refillingFeatureCombos &&
        (comboKey(xFeatureCombo) != lastPlotXFeature || comboKey(yFeatureCombo) != lastPlotYFeature))
        endPolygonInteraction();
    const DatasetEntry* entry = activeEntry();
    if (!entry || !entry->reader || !entry->reader->isOpen() || preloadBusy)
        return;
    updatePlot();
}

void MainWindow::updatePlot()
{
    // A dataset that is still being cached shows empty views until its caching ends (the
    // scale combos stay enabled meanwhile, and the previous dataset's features are still in
    // the feature combos).
    DatasetEntry* entry = shownEntry();
    if (!entry || !entry->reader || !entry->reader->isOpen())
        return;
    // Empty feature combos must not leave the previous dataset on show.
    if (!hasEventsToShow(*entry)) {
        showNoEvents();
        return;
    }
    const RTDCReader& reader = *entry->reader;
    const std::string xKey = comboKey(xFeatureCombo);
    const std::string yKey = comboKey(yFeatureCombo);
    if (xKey.empty() || yKey.empty())
        return;
    const std::vector<double>& xColumn = reader.getFeature(xKey);
    const std::vector<double>& yColumn = reader.getFeature(yKey);
    if (xColumn.empty() || yColumn.empty()) {
        // Emptied before the box: what stays on show must not be another dataset's or
        // another feature's points.
        QStringList unreadable;
        if (xColumn.empty())
            unreadable << QString::fromStdString(reader.featureLabel(xKey));
        if (yColumn.empty() && yKey != xKey)
            unreadable << QString::fromStdString(reader.featureLabel(yKey));
        showUnreadableAxes(*entry, unreadable);
        prompts().warning(this, QStringLiteral("Error"), QStringLiteral("Failed to read feature data."));
        return;
    }

    // The reader allows columns shorter than the event count: only the events that every
    // plotted column covers are plotted, and no column is read past its end.
    const size_t eventCount = static_cast<size_t>(reader.eventCount());
    const size_t usable = std::min({eventCount, xColumn.size(), yColumn.size()});
    if (usable < eventCount) {
        // Names only the columns that are short (one of them may well be complete).
        QStringList shortColumns;
        for (const auto& [key, column] : {std::make_pair(&xKey, &xColumn), std::make_pair(&yKey, &yColumn)}) {
            if (column->size() < eventCount && !(key == &yKey && yKey == xKey))
                shortColumns << QStringLiteral("\"%1\" (%2 values)").arg(QString::fromStdString(*key)).arg(column->size());
        }
        qWarning().noquote() << QStringLiteral("Plot of %1: column%2 %3 %4 shorter than the %5 events; plotting the first %6")
                                    .arg(entry->displayName, shortColumns.size() > 1 ? QStringLiteral("s") : QString(),
                                         shortColumns.join(QStringLiteral(" and ")),
                                         shortColumns.size() > 1 ? QStringLiteral("are") : QStringLiteral("is"))
                                    .arg(eventCount)
                                    .arg(usable);
    }

    // Effective filter, evaluated only when it is switched on and has rules.
    const EventFilter filter = buildEffectiveFilter(entry);
    plottedEventIndices.clear();
    const bool filtered = filter.isEnabled() && filter.ruleCount() > 0;
    if (filtered) {
        plottedEventIndices = passingEventIndices(filter, reader, usable);
        plotXValues.resize(plottedEventIndices.size());
        plotYValues.resize(plottedEventIndices.size());
        for (size_t p = 0; p < plottedEventIndices.size(); ++p) {
            const auto i = static_cast<size_t>(plottedEventIndices[p]);
            plotXValues[p] = xColumn[i];
            plotYValues[p] = yColumn[i];
        }
    } else {
        copyToFreshPages(plotXValues, xColumn.data(), usable);
        copyToFreshPages(plotYValues, yColumn.data(), usable);
    }
    // The filter's own count, over every event of the dataset (as the exports and the tool
    // windows take it): events beyond the end of a short plotted column pass or fail like the
    // others, they only have no value to plot. Evaluated a second time only for such columns.
    if (!filtered)
        filterPassingCount = eventCount;
    else if (usable == eventCount)
        filterPassingCount = plottedEventIndices.size();
    else
        filterPassingCount = passingEventIndices(filter, reader, eventCount).size();
    plotXLabel = QString::fromStdString(reader.featureLabel(xKey));
    plotYLabel = QString::fromStdString(reader.featureLabel(yKey));

    // Colouring.
    const std::string colorKey = comboKey(colorFeatureCombo);
    const int xMode = xScaleCombo->currentIndex();
    const int yMode = yScaleCombo->currentIndex();
    plotColorValues.clear();
    plotColorLabel.clear();
    if (colorKey.rfind(kDensityPrefix, 0) == 0) {
        // In the axes' coordinates and over the events that passed the filter only. A linear
        // axis maps every value to itself: no mapped copy of the plotted values is made.
        std::vector<double> mappedX;
        std::vector<double> mappedY;
        const auto axisValues = [](const std::vector<double>& values, int mode,
                                   std::vector<double>& mapped) -> const std::vector<double>& {
            if (clampScaleMode(mode) == ScaleLinear)
                return values;
            mapped = transformValues(values, mode);
            return mapped;
        };
        plotColorValues = DensityEstimator::computeDensity(axisValues(plotXValues, xMode, mappedX),
                                                           axisValues(plotYValues, yMode, mappedY),
                                                           densityMethodOf(colorKey));
        plotColorLabel = QStringLiteral("Density");
    } else if (!colorKey.empty()) {
        const std::vector<double>& colorColumn = reader.getFeature(colorKey);
        if (!colorColumn.empty()) {
            if (colorColumn.size() < usable)
                qWarning().noquote() << QStringLiteral("Plot of %1: colour column \"%2\" has %3 values for %4 events; "
                                                       "the events without a value are not plotted")
                                            .arg(entry->displayName, QString::fromStdString(colorKey))
                                            .arg(colorColumn.size())
                                            .arg(usable);
            const auto colorAt = [&colorColumn](size_t i) {
                return i < colorColumn.size() ? colorColumn[i] : std::numeric_limits<double>::quiet_NaN();
            };
            const size_t n = filtered ? plottedEventIndices.size() : usable;
            plotColorValues.resize(n);
            for (size_t p = 0; p < n; ++p)
                plotColorValues[p] = colorAt(filtered ? static_cast<size_t>(plottedEventIndices[p]) : p);
        }
        plotColorLabel = QString::fromStdString(reader.featureLabel(colorKey));
    }

    // Drop points whose x, y or colour is not finite; keep the event index of every point.
    // Compacted in place (a kept point never moves up), so no second million-entry list is
    // allocated on each update.
    const bool colored = !plotColorValues.empty();
    const bool hadIndices = !plottedEventIndices.empty();
    if (!hadIndices) {
        reserveFreshPages(plottedEventIndices, plotXValues.size());
        plottedEventIndices.resize(plotXValues.size());
    }
    size_t kept = 0;
    for (size_t i = 0; i < plotXValues.size(); ++i) {
        if (!std::isfinite(plotXValues[i]) || !std::isfinite(plotYValues[i]) ||
            (colored && !std::isfinite(plotColorValues[i])))
            continue;
        plotXValues[kept] = plotXValues[i];
        plotYValues[kept] = plotYValues[i];
        if (colored)
            plotColorValues[kept] = plotColorValues[i];
        plottedEventIndices[kept] = hadIndices ? plottedEventIndices[i] : static_cast<int>(i);
        ++kept;
    }
    plotXValues.resize(kept);
    plotYValues.resize(kept);
    if (colored)
        plotColorValues.resize(kept);
    plottedEventIndices.resize(kept);
    plottedIndicesValid = true;

    // Values at or below zero cannot be drawn on a logarithmic axis.
    const auto nonPositive = [](const std::vector<double>& values) {
        return static_cast<std::uint64_t>(std::count_if(values.begin(), values.end(), [](double v) { return v <= 0.0; }));
    };
    updateLogAxisWarning(xScaleCombo, xMode == ScaleLog ? nonPositive(plotXValues) : 0,
                         QStringLiteral("X-axis scale mode"));
    updateLogAxisWarning(yScaleCombo, yMode == ScaleLog ? nonPositive(plotYValues) : 0,
                         QStringLiteral("Y-axis scale mode"));
    // They stay plotted data (indices, picking and the axis warnings keep them), but an event
    // at or below zero on either log axis is not drawn: it counts once as not shown.
    const auto hiddenOnLog = [xMode, yMode](double x, double y) {
        return (xMode == ScaleLog && x <= 0.0) || (yMode == ScaleLog && y <= 0.0);
    };
    hiddenOnLogAxesCount = 0;
    if (xMode == ScaleLog || yMode == ScaleLog) {
        for (size_t p = 0; p < plotXValues.size(); ++p)
            hiddenOnLogAxesCount += hiddenOnLog(plotXValues[p], plotYValues[p]) ? 1 : 0;
    }

    scatterPlot->setData(plotXValues, plotYValues, plotXLabel, plotYLabel, plotColorValues, plotColorLabel);

    // Refit the axes when a plotted feature or the dataset changed, or when a calculation
    // has just produced one of the shown features; otherwise the user's zoom stays.
    bool justComputed = false;
    if (computedFeaturePredicate) {
        justComputed = computedFeaturePredicate(xKey) || computedFeaturePredicate(yKey) ||
                       computedFeaturePredicate(colorKey);
        computedFeaturePredicate = nullptr;
    }
    if (xKey != lastPlotXFeature || yKey != lastPlotYFeature || activeIndex != lastPlotDatasetIndex || justComputed)
        scatterPlot->autoScale();
    lastPlotXFeature = xKey;
    lastPlotYFeature = yKey;
    lastPlotDatasetIndex = activeIndex;

    drawPolygonGates();
    updateContourOverlay();
    updateIsoelastics();
    updateInfoLabel();

    for (CombinePlotWindow* window : combineWindows)
        window->refresh();
    for (StatisticalEvalWindow* window : statEvalWindows)
        window->refresh();
    for (ImageGalleryWindow* window : galleryWindows)
        window->refresh();

    updateFilterMixedState();
    if (!suppressGroupPanelRefresh)
        refreshFilterGroupPanel();
    updateApplyToAllButton();
    if (hiddenOnLogAxesCount == 0) {
        statisticsPanel->updateStatistics(plotXValues, plotYValues, plotXLabel, plotYLabel);
    } else {
        // Over the events the plot draws, so that its N is the info line's count.
        std::vector<double> drawnX;
        std::vector<double> drawnY;
        drawnX.reserve(plotXValues.size() - hiddenOnLogAxesCount);
        drawnY.reserve(plotXValues.size() - hiddenOnLogAxesCount);
        for (size_t p = 0; p < plotXValues.size(); ++p) {
            if (hiddenOnLog(plotXValues[p], plotYValues[p]))
                continue;
            drawnX.push_back(plotXValues[p]);
            drawnY.push_back(plotYValues[p]);
        }
        statisticsPanel->updateStatistics(drawnX, drawnY, plotXLabel, plotYLabel);
    }

    // The current event: highlighted when plotted, else the first plotted event takes over.
    const int current = entry->currentEventIndex;
    if (current >= 0) {
        const auto found = std::find(plottedEventIndices.begin(), plottedEventIndices.end(), current);
        if (plottedEventIndices.empty()) {
            scatterPlot->hideHighlight();
        } else if (found != plottedEventIndices.end()) {
            scatterPlot->setHighlightedPoint(static_cast<int>(found - plottedEventIndices.begin()));
        } else {
            scatterPlot->hideHighlight();
            entry->currentEventIndex = plottedEventIndices.front();
            {
                const QSignalBlocker blocker(eventSpin);
                eventSpin->setValue(entry->currentEventIndex);
            }
            scatterPlot->setHighlightedPoint(0);
            displayEvent(entry->currentEventIndex);
        }
    }
    emit plotUpdated();
}

void MainWindow::updateContours()
{
    updateContourOverlay();
}

void MainWindow::updateContourOverlay()
{
    const int mode = contourModeCombo->currentIndex();
    scatterPlot->setPointsVisible(mode != 2);
    // The plotted arrays still hold the previous dataset while the active one is cached.
    if (!shownEntry()) {
        scatterPlot->clearOverlayCurves();
        scatterPlot->replot();
        return;
    }
    if (mode == 0) {
        scatterPlot->clearOverlayCurves();
        scatterPlot->replot();
        return;
    }
    if (plotXValues.size() < 4) {
        scatterPlot->clearOverlayCurves();
        return;
    }
    double inner = contourInnerSpin->value() / 100.0;
    double outer = contourOuterSpin->value() / 100.0;
    if (outer < inner)
        std::swap(inner, outer);
    scatterPlot->setContourLines(DensityEstimator::computeContours(
        plotXValues, plotYValues, {inner, outer}, xScaleCombo->currentIndex(), yScaleCombo->currentIndex()));
}

void MainWindow::updateIsoelastics()
{
    const std::string xKey = comboKey(xFeatureCombo);
    const std::string yKey = comboKey(yFeatureCombo);
    const bool applicable = (xKey == "area_um" && yKey == "deform") || (xKey == "deform" && yKey == "area_um");
    isoelasticsCheck->setVisible(applicable);
    isoLabelsCheck->setVisible(applicable && isoelasticsCheck->isChecked());
    const DatasetEntry* entry = shownEntry();
    if (!applicable || !isoelasticsCheck->isChecked() || !entry) {
        scatterPlot->clearIsoLines();
        return;
    }
    const bool hasTemperature = entry->reader && entry->reader->hasFeature("temp");
    std::vector<IsoelasticLine> lines =
        emodulusCalculator->isoelastics(calculationsPanel->emodulusParams(entry->metadata, hasTemperature));
    if (xKey == "deform") {
        for (IsoelasticLine& line : lines) {
            for (auto& point : line.points)
                std::swap(point.first, point.second);
        }
    }
    scatterPlot->setIsoLines(lines, isoLabelsCheck->isChecked());
}

void MainWindow::drawPolygonGates()
{
    scatterPlot->clearFilterPolygons();
    const DatasetEntry* entry = shownEntry();
    if (!entry)
        return;
    const std::string xKey = comboKey(xFeatureCombo);
    const std::string yKey = comboKey(yFeatureCombo);
    const int editingId = scatterPlot->isEditingPolygon() ? scatterPlot->editingPolygonId() : -1;
    const std::vector<FilterRule>& rules = entry->filter.rules;
    for (size_t i = 0; i < rules.size(); ++i) {
        const FilterRule& rule = rules[i];
        if (rule.type != PolygonRule || rule.featureName != xKey || rule.featureNameY != yKey ||
            static_cast<int>(i) == editingId)
            continue;
        scatterPlot->setFilterPolygon(static_cast<int>(i), polygonOf(rule), rule.enabled);
    }
    // The gates of the groups switched on for the dataset, in group order.
    for (const auto& group : groupModel.groups()) {
        if (!Tervane3::isGroupEnabled(entry, group->id))
            continue;
        for (size_t i = 0; i < group->rules.size(); ++i) {
            const FilterRule& rule = group->rules[i];
            const int id = groupGateId(group->id, static_cast<int>(i));
            if (rule.type != PolygonRule || rule.featureName != xKey || rule.featureNameY != yKey || id == editingId)
                continue;
            scatterPlot->setFilterPolygon(id, polygonOf(rule), rule.enabled);
        }
    }
}

void MainWindow::updateInfoLabel()
{
    const DatasetEntry* entry = activeEntry();
    if (!entry || !entry->reader)
        return;
    if (!hasEventsToShow(*entry)) {
        setInfoLine(infoLabel, QStringLiteral("No events in "), entry->displayName, QString());
        return;
    }
    const std::uint64_t total = entry->reader->eventCount();
    // Shown: the points the plot draws. The share and the filter panel's count are the
    // filter's alone; passing events without a drawable value are named apart.
    const std::uint64_t plotted = plottedEventIndices.size();
    const std::uint64_t shown = !plottedIndicesValid ? total
                                : plotted > hiddenOnLogAxesCount ? plotted - hiddenOnLogAxesCount
                                                                 : 0;
    const std::uint64_t passing = plottedIndicesValid ? std::min(filterPassingCount, total) : total;
    filterPanel->updateEventCount(static_cast<std::size_t>(passing), static_cast<std::size_t>(total));
    QStringList parts;
    const auto flow = entry->metadata.setup.find("flow rate");
    if (flow != entry->metadata.setup.end()) {
        bool ok = false;
        const double rate = QString::fromStdString(flow->second).toDouble(&ok);
        if (ok)
            parts << QStringLiteral("%1 µL/s").arg(QString::number(rate, 'g', 4));
    }
    const auto region = entry->metadata.setup.find("chip region");
    if (region != entry->metadata.setup.end() && region->second == "reservoir")
        parts << QStringLiteral("Reservoir");
    const auto run = entry->metadata.experiment.find("run index");
    if (run != entry->metadata.experiment.end())
        parts << QStringLiteral("#%1").arg(QString::fromStdString(run->second));
    if (plottedIndicesValid) {
        const double percent = total > 0 ? static_cast<double>(passing) * 100.0 / static_cast<double>(total) : 0.0;
        QString events = QStringLiteral("%1/%2 events shown (%3% pass filter)")
                             .arg(shown)
                             .arg(total)
                             .arg(QString::number(percent, 'f', 1));
        if (passing > shown)
            events += QStringLiteral(", %1 without a value on these axes").arg(passing - shown);
        parts << events;
    } else {
        parts << QStringLiteral("%1 events").arg(total);
    }
    setInfoLine(infoLabel, QStringLiteral("Loaded: "), entry->displayName,
                QStringLiteral(" (%1)").arg(parts.join(QStringLiteral(", "))));
}

void MainWindow::updateLogAxisWarning(QComboBox* scaleCombo, std::uint64_t hiddenCount, const QString& baseToolTip)
{
    if (hiddenCount > 0) {
        scaleCombo->setItemText(1, QStringLiteral("Log \u26A0"));
        scaleCombo->setStyleSheet(QStringLiteral("QComboBox { background-color: #fff8e1; border: 1px solid #f9a825; }"));
        scaleCombo->setToolTip(QStringLiteral("%1: %2 point%3 with value \u2264 0 not shown (cannot be drawn on a log axis)")
                                   .arg(baseToolTip)
                                   .arg(hiddenCount)
                                   .arg(hiddenCount == 1 ? QString() : QStringLiteral("s")));
    } else {
        scaleCombo->setItemText(1, QStringLiteral("Log"));
        scaleCombo->setStyleSheet(QString());
        scaleCombo->setToolTip(baseToolTip);
    }
}

void MainWindow::updateApplyToAllButton()
{
    const bool enabled = entries.size() >= 2 && activeEntry() != nullptr;
    applyPlotSettingsButton->setEnabled(enabled);
    applyPlotSettingsButton->setStyleSheet(
        enabled && !plotSettingsShared(nullptr)
            ? QStringLiteral("QPushButton { background-color: #a6d7d5; color: #00abad; border: 1px solid #00abad; "
                             "font-weight: bold; }")
            : QString());
}

} // namespace Tervane3
