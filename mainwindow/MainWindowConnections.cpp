// The table of signal connections of the main window: its own widgets, its panels and its
// two future watchers. Every handler is hooked in here, in a fixed order, once; a new
// handler is added to this table rather than connected elsewhere.
#include "mainwindow/MainWindow.h"

#include "app/AppSettings.h"
#include "calc/CalculationsDockWidget.h"
#include "filters/FilterDockWidget.h"
#include "app/DatasetEntry.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/DatasetTreeWidget.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>

namespace Tervane3 {

void MainWindow::setupConnections()
{
    const auto comboChanged = QOverload<int>::of(&QComboBox::currentIndexChanged);
    const auto spinChanged = QOverload<int>::of(&QSpinBox::valueChanged);
    const auto doubleSpinChanged = QOverload<double>::of(&QDoubleSpinBox::valueChanged);

    connect(datasetNameEdit, &QLineEdit::editingFinished, this, &MainWindow::onRenameFinished);

    // Calculations panel.
    connect(calculationsPanel, &CalculationsDockWidget::refineFluorescence, this, &MainWindow::onRefineFluorescence);
    connect(calculationsPanel, &CalculationsDockWidget::traceDisplayChanged, this, [this] {
        configureTracePlot();
        const DatasetEntry* entry = findDatasetById(activeDatasetId());
        if (entry && entry->currentEventIndex >= 0)
            displayEventTraces(entry->currentEventIndex);
    });
    connect(calculationsPanel, &CalculationsDockWidget::compensateCrosstalk, this, &MainWindow::onCompensateCrosstalk);
    connect(calculationsPanel, &CalculationsDockWidget::computeEmodulus, this, &MainWindow::onComputeEmodulus);
    connect(calculationsPanel, &CalculationsDockWidget::assessEmodQuality, this, &MainWindow::onAssessEmodQuality);
    connect(calculationsPanel, &CalculationsDockWidget::computeFourierDeform, this,
            &MainWindow::onComputeFourierDeform);
    connect(calculationsPanel, &CalculationsDockWidget::computeImageFeatures, this,
            &MainWindow::onComputeImageFeatures);
    connect(calculationsPanel, &CalculationsDockWidget::computeDimReduction, this, &MainWindow::onComputeDimReduction);
    connect(calculationsPanel, &CalculationsDockWidget::saveDimRedReference, this, &MainWindow::onSaveDimRedReference);
    connect(calculationsPanel, &CalculationsDockWidget::loadDimRedReference, this, &MainWindow::onLoadDimRedReference);
    connect(calculationsPanel, &CalculationsDockWidget::cancelCalculation, this, &MainWindow::onCancelCalculation);

    connect(scatterPlot, &ScatterPlot::pointClicked, this, &MainWindow::onPointClicked);

    // Plot settings.
    connect(xFeatureCombo, comboChanged, this, &MainWindow::updateFeatureSelection);
    connect(yFeatureCombo, comboChanged, this, &MainWindow::updateFeatureSelection);
    connect(colorFeatureCombo, comboChanged, this, &MainWindow::updateFeatureSelection);
    connect(applyPlotSettingsButton, &QPushButton::clicked, this, &MainWindow::onApplyPlotSettingsToAll);

    // Background tasks: a finish reaches the window only through these two rows.
    connect(preloadWatcher, &QFutureWatcher<void>::finished, this, &MainWindow::onFeaturesLoaded);
    connect(calculationWatcher, &QFutureWatcher<void>::finished, this, &MainWindow::onCalcFinished);

    // Event display.
    connect(eventSpin, spinChanged, this, &MainWindow::onEventSpinBoxChanged);
    connect(imageViewer, &ImageViewer::showMaskToggled, this, &MainWindow::onMaskToggled);

    // Dataset list and folder tree.
    connect(datasetList, &DatasetListWidget::currentRowChanged, this, &MainWindow::onDatasetSelected);
    connect(datasetList, &DatasetListWidget::internalReorderRequested, this, &MainWindow::moveDataset);
    connect(datasetTree, &DatasetTreeWidget::internalReorderRequested, this, &MainWindow::onDatasetTreeReorder);
    connect(datasetList, &DatasetListWidget::customContextMenuRequested, this, &MainWindow::onDatasetListContextMenu);
    connect(datasetViewModeCombo, comboChanged, this, &MainWindow::onDatasetViewModeChanged);
    connect(folderDepthSpin, spinChanged, this, &MainWindow::onFolderDepthChanged);
    connect(datasetTree, &DatasetTreeWidget::currentItemChanged, this, &MainWindow::onDatasetTreeCurrentItemChanged);
    connect(datasetTree, &DatasetTreeWidget::customContextMenuRequested, this, &MainWindow::onDatasetTreeContextMenu);

    // Filter panel.
    connect(filterPanel, &FilterDockWidget::filterChanged, this, &MainWindow::onFilterChanged);
    connect(filterPanel, &FilterDockWidget::applyToAllRequested, this, &MainWindow::onApplyFilterToAll);
    connect(filterPanel, &FilterDockWidget::applyRuleToAll, this, &MainWindow::onApplyRuleToAll);
    connect(filterPanel, &FilterDockWidget::updateRuleToAll, this, &MainWindow::onUpdateRuleToAll);
    connect(filterPanel, &FilterDockWidget::uncheckRuleInAll, this, &MainWindow::onUncheckRuleInAll);
    connect(filterPanel, &FilterDockWidget::checkRuleInAll, this, &MainWindow::onCheckRuleInAll);
    connect(filterPanel, &FilterDockWidget::deleteRuleFromAll, this, &MainWindow::onDeleteRuleFromAll);
    connect(filterPanel, &FilterDockWidget::enabledChangedForAll, this, &MainWindow::onEnabledChangedForAll);
    connect(filterPanel, &FilterDockWidget::combineModeChangedForAll, this, &MainWindow::onCombineModeChangedForAll);
    connect(filterPanel, &FilterDockWidget::importMeasurementFiltersRequested, this,
            &MainWindow::onImportMeasurementFilters);
    connect(filterPanel, &FilterDockWidget::polygonDrawRequested, scatterPlot, &ScatterPlot::startPolygonDrawing);
    connect(filterPanel, &FilterDockWidget::polygonDrawCancelRequested, scatterPlot,
            &ScatterPlot::stopPolygonDrawing);
    connect(scatterPlot, &ScatterPlot::polygonCompleted, this, &MainWindow::onPolygonCompleted);
    connect(scatterPlot, &ScatterPlot::polygonDrawingStopped, this, &MainWindow::onPolygonDrawingStopped);
    connect(filterPanel, &FilterDockWidget::polygonEditRequested, this, &MainWindow::onPolygonEditRequested);
    connect(scatterPlot, &ScatterPlot::polygonEdited, this, &MainWindow::onPolygonEdited);
    connect(scatterPlot, &ScatterPlot::polygonEditingStopped, this, &MainWindow::onPolygonEditingStopped);
    connect(filterPanel, &FilterDockWidget::addFilterGroupRequested, this, &MainWindow::onAddFilterGroupRequested);
    connect(filterPanel, &FilterDockWidget::renameFilterGroupRequested, this,
            &MainWindow::onRenameFilterGroupRequested);
    connect(filterPanel, &FilterDockWidget::deleteFilterGroupRequested, this,
            &MainWindow::onDeleteFilterGroupRequested);
    connect(filterPanel, &FilterDockWidget::groupEnableChanged, this, &MainWindow::onGroupEnableChanged);
    connect(filterPanel, &FilterDockWidget::groupEnablePropagateRequested, this,
            &MainWindow::onGroupEnablePropagateRequested);
    connect(filterPanel, &FilterDockWidget::addRuleToGroupRequested, this, &MainWindow::onAddRuleToGroupRequested);
    connect(filterPanel, &FilterDockWidget::addPolygonToGroupRequested, this,
            &MainWindow::onAddPolygonToGroupRequested);
    connect(filterPanel, &FilterDockWidget::groupRuleChanged, this, &MainWindow::onGroupRuleChanged);
    connect(filterPanel, &FilterDockWidget::groupRuleRemoved, this, &MainWindow::onGroupRuleRemoved);
    connect(filterPanel, &FilterDockWidget::importGroupsRequested, this, &MainWindow::importFilterGroups);
    connect(filterPanel, &FilterDockWidget::exportGroupsRequested, this, &MainWindow::exportFilterGroups);
    connect(filterPanel, &FilterDockWidget::groupPolygonEditRequested, this,
            &MainWindow::onGroupPolygonEditRequested);

    // A hovered point (reported only while a polygon is drawn or edited) selects like a click.
    connect(scatterPlot, &ScatterPlot::pointHovered, this, &MainWindow::onPointClicked);

    // Overlays and axes.
    connect(isoelasticsCheck, &QCheckBox::toggled, this, [this](bool) { updateIsoelastics(); });
    connect(isoLabelsCheck, &QCheckBox::toggled, this, [this](bool) { updateIsoelastics(); });
    connect(contourModeCombo, comboChanged, this, &MainWindow::updateContours);
    connect(contourInnerSpin, doubleSpinChanged, this, &MainWindow::updateContours);
    connect(contourOuterSpin, doubleSpinChanged, this, &MainWindow::updateContours);
    connect(xScaleCombo, comboChanged, this, [this](int mode) {
        scatterPlot->setAxisScaleType(QwtPlot::xBottom, mode);
        updatePlot();
    });
    connect(yScaleCombo, comboChanged, this, [this](int mode) {
        scatterPlot->setAxisScaleType(QwtPlot::yLeft, mode);
        updatePlot();
    });

    // The metadata tree is filled when its dock is shown (activation leaves it empty then).
    connect(metadataDock, &QDockWidget::visibilityChanged, this, &MainWindow::onMetadataDockVisibilityChanged);
}

} // namespace Tervane3
