// Construction of the main window (central column, plot pane, the five docks), dataset
// lookup, and closing: tool windows first, then the background tasks are waited for, so
// that no worker still reads a dataset when the datasets are destroyed.
#include "mainwindow/MainWindow.h"

#include "app/AppSettings.h"
#include "app/ElidedLabel.h"
#include "app/MemoryRelease.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "app/DatasetEntry.h"
#include "mainwindow/DatasetListWidget.h"
#include "mainwindow/DatasetTreeWidget.h"
#include "mainwindow/HtmlItemDelegate.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "plots/TracePlot.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {

QFrame* verticalLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QComboBox* scaleCombo(QWidget* parent, const QString& toolTip)
{
    auto* combo = new QComboBox(parent);
    // The index is the axis scale mode.
    combo->addItems({QStringLiteral("Linear"), QStringLiteral("Log"), QStringLiteral("PseudoLog")});
    combo->setToolTip(toolTip);
    combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The narrow combo would elide its own items in the popup ("Pse...Log").
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 24);
    return combo;
}

QDoubleSpinBox* contourSpin(QWidget* parent, double value)
{
    auto* spin = new QDoubleSpinBox(parent);
    spin->setRange(1, 99);
    spin->setSingleStep(5);
    spin->setSuffix(QStringLiteral("%"));
    spin->setDecimals(0);
    spin->setValue(value);
    return spin;
}

QDockWidget* makeDock(const QString& title, const QString& objectName, QWidget* content,
                      QWidget* parent)
{
    auto* dock = new QDockWidget(title, parent);
    dock->setObjectName(objectName);
    dock->setWidget(content);
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    return dock;
}

// Activates the layouts of the widget and its children, innermost first, so that every
// minimum size hint above them is up to date.
void activateLayouts(QWidget* widget)
{
    for (QObject* child : widget->children()) {
        auto* childWidget = qobject_cast<QWidget*>(child);
        if (childWidget && !childWidget->isWindow())
            activateLayouts(childWidget);
    }
    if (QLayout* layout = widget->layout())
        layout->activate();
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    // Jobs whose hand-over to the pool and back ThreadSanitizer can follow (core/PoolRun.h).
    preloadWatcher = new PoolWatcher(this);
    calculationWatcher = new PoolWatcher(this);
    memoryReleaser = std::make_unique<MemoryReleaser>();
    // The columns of closed readers are freed on the releaser's thread, their pages returned
    // first: done on the GUI thread, or left to a trim, that stood the window still for up
    // to a second after Clear Session. The files themselves still close at once, here.
    columnDisposerTicket = installColumnDisposer([this](ColumnStorage&& storage) {
        memoryReleaser->dispose(std::shared_ptr<ColumnStorage>(new ColumnStorage(std::move(storage)),
                                                               [](ColumnStorage* columns) {
                                                                   freeColumnStorage(std::move(*columns));
                                                                   delete columns;
                                                               }));
    });

    setupUi();
    for (QDockWidget* dock : allDocks())
        setUpDockMinimumWidths.emplace(dock, dock->minimumWidth());
    setupMenus();
    setupConnections();

    // Nothing to copy the plot settings to yet.
    updateApplyToAllButton();

    setWindowTitle(QStringLiteral("Tervane3 - RT-DC Data Analysis"));
    resize(1400, 900);
    setAcceptDrops(true);

    if (AppSettings::checkUpdatesOnStartup())
        QTimer::singleShot(0, this, [this] { checkForUpdates(true); });
}

MainWindow::~MainWindow()
{
    // A window destroyed without closeEvent (a test, an exception in main) still must not
    // free datasets under a running worker.
    closing = true;
    waitForBackgroundTasks();
    closeToolWindows();
    // The base destructor still hides a shown window, its docks and lists; the signals that
    // sends must not reach handlers of a window whose own part is already gone.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
    // Readers that close from here on (with the members) free their columns themselves.
    removeColumnDisposer(columnDisposerTicket);
}

void MainWindow::setupUi()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);

    // It shows dataset names, which are text from the file or the user: plain text, elided,
    // never widening the window.
    infoLabel = new ElidedLabel(startUpInfoText(), central);
    infoLabel->setObjectName(QStringLiteral("infoLabel"));
    infoLabel->setStyleSheet(QStringLiteral(
        "QLabel { padding: 5px; background-color: #eceef1; border: 1px solid #dcdee2; "
        "border-radius: 5px; color: #23262e; }"));
    column->addWidget(infoLabel);

    auto* nameRow = new QHBoxLayout;
    datasetNameEdit = new QLineEdit(central);
    datasetNameEdit->setObjectName(QStringLiteral("datasetNameEdit"));
    datasetNameEdit->setPlaceholderText(QStringLiteral("Rename dataset..."));
    datasetNameEdit->setEnabled(false);
    nameRow->addWidget(datasetNameEdit, 1);
    nameRow->addWidget(new QLabel(QStringLiteral("Dataset Name"), central));
    column->addLayout(nameRow);

    // Plot settings.
    auto* settingsBox = new QGroupBox(QStringLiteral("Plot Settings"), central);
    auto* settingsRow = new QHBoxLayout(settingsBox);
    auto* featureGrid = new QGridLayout;
    featureGrid->setHorizontalSpacing(4);
    featureGrid->setVerticalSpacing(2);
    const auto fixedLabel = [settingsBox](const QString& text) {
        auto* label = new QLabel(text, settingsBox);
        label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        return label;
    };
    xFeatureCombo = new QComboBox(settingsBox);
    xFeatureCombo->setObjectName(QStringLiteral("xFeatureCombo"));
    yFeatureCombo = new QComboBox(settingsBox);
    yFeatureCombo->setObjectName(QStringLiteral("yFeatureCombo"));
    colorFeatureCombo = new QComboBox(settingsBox);
    colorFeatureCombo->setObjectName(QStringLiteral("colorFeatureCombo"));
    xScaleCombo = scaleCombo(settingsBox, QStringLiteral("X-axis scale mode"));
    xScaleCombo->setObjectName(QStringLiteral("xScaleCombo"));
    yScaleCombo = scaleCombo(settingsBox, QStringLiteral("Y-axis scale mode"));
    yScaleCombo->setObjectName(QStringLiteral("yScaleCombo"));
    for (QComboBox* combo : {xFeatureCombo, yFeatureCombo}) {
        combo->setMinimumWidth(150);
        combo->setMaximumWidth(
            combo->fontMetrics().horizontalAdvance(QStringLiteral("Position along channel axis [µm]")) + 60);
        combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    colorFeatureCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    featureGrid->addWidget(fixedLabel(QStringLiteral("X Axis")), 0, 0);
    featureGrid->addWidget(xFeatureCombo, 0, 1);
    featureGrid->addWidget(xScaleCombo, 0, 2);
    featureGrid->addWidget(fixedLabel(QStringLiteral("Y Axis")), 1, 0);
    featureGrid->addWidget(yFeatureCombo, 1, 1);
    featureGrid->addWidget(yScaleCombo, 1, 2);
    featureGrid->addWidget(fixedLabel(QStringLiteral("Color by")), 2, 0);
    featureGrid->addWidget(colorFeatureCombo, 2, 1, 1, 2);

    auto* contourGrid = new QGridLayout;
    contourGrid->setHorizontalSpacing(4);
    contourGrid->setVerticalSpacing(2);
    contourModeCombo = new QComboBox(settingsBox);
    contourModeCombo->setObjectName(QStringLiteral("contourModeCombo"));
    // The index is the contour mode.
    contourModeCombo->addItems({QStringLiteral("Off"), QStringLiteral("Overlay"), QStringLiteral("Only")});
    contourInnerSpin = contourSpin(settingsBox, 10);
    contourInnerSpin->setObjectName(QStringLiteral("contourInnerSpin"));
    contourOuterSpin = contourSpin(settingsBox, 67);
    contourOuterSpin->setObjectName(QStringLiteral("contourOuterSpin"));
    isoelasticsCheck = new QCheckBox(QStringLiteral("Isoelastics"), settingsBox);
    isoelasticsCheck->setObjectName(QStringLiteral("isoelasticsCheck"));
    isoelasticsCheck->setToolTip(QStringLiteral("Show isoelasticity lines"));
    isoLabelsCheck = new QCheckBox(QStringLiteral("Labels"), settingsBox);
    isoLabelsCheck->setObjectName(QStringLiteral("isoLabelsCheck"));
    isoLabelsCheck->setToolTip(QStringLiteral("Show kPa labels on isoelasticity lines"));
    contourGrid->addWidget(new QLabel(QStringLiteral("Contour Overlay"), settingsBox), 0, 0, 1, 2);
    contourGrid->addWidget(contourModeCombo, 0, 2, 1, 2);
    contourGrid->addWidget(new QLabel(QStringLiteral("Inner"), settingsBox), 1, 0);
    contourGrid->addWidget(contourInnerSpin, 1, 1);
    contourGrid->addWidget(new QLabel(QStringLiteral("Outer"), settingsBox), 1, 2);
    contourGrid->addWidget(contourOuterSpin, 1, 3);
    contourGrid->addWidget(isoelasticsCheck, 2, 0, 1, 2);
    contourGrid->addWidget(isoLabelsCheck, 2, 2, 1, 2);
    // Shown by the plot update when isoelastic lines apply; their room stays, so the plot
    // settings do not jump about when another feature pair is chosen.
    for (QCheckBox* check : {isoelasticsCheck, isoLabelsCheck}) {
        QSizePolicy policy = check->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        check->setSizePolicy(policy);
        check->hide();
    }

    applyPlotSettingsButton = new QPushButton(QStringLiteral("Apply Plot Settings\nto All Datasets"), settingsBox);
    applyPlotSettingsButton->setObjectName(QStringLiteral("applyPlotSettingsButton"));
    applyPlotSettingsButton->setToolTip(QStringLiteral(
        "Copy the active dataset's feature, scale, and contour settings to every other loaded "
        "dataset. Highlights when any peer differs."));
    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->addWidget(applyPlotSettingsButton);
    buttonColumn->addStretch();

    settingsRow->addLayout(featureGrid, 1);
    settingsRow->addWidget(verticalLine(settingsBox));
    settingsRow->addLayout(contourGrid);
    settingsRow->addWidget(verticalLine(settingsBox));
    settingsRow->addLayout(buttonColumn);
    settingsRow->addStretch();
    column->addWidget(settingsBox);

    auto* eventRow = new QHBoxLayout;
    eventRow->addWidget(new QLabel(QStringLiteral("Event:"), central));
    eventSpin = new QSpinBox(central);
    eventSpin->setObjectName(QStringLiteral("eventSpin"));
    eventSpin->setRange(0, 0);
    eventSpin->setEnabled(false);
    eventSpin->setMinimumWidth(100);
    eventRow->addWidget(eventSpin);
    eventRow->addStretch();
    column->addLayout(eventRow);

    // Plot pane and view tabs.
    plotSplitter = new QSplitter(Qt::Horizontal, central);
    plotSplitter->setObjectName(QStringLiteral("plotSplitter"));
    auto* plotPane = new QWidget(plotSplitter);
    auto* plotLayout = new QVBoxLayout(plotPane);
    plotLayout->setContentsMargins(0, 0, 6, 0);
    scatterPlot = new ScatterPlot(plotPane);
    scatterPlot->setObjectName(QStringLiteral("scatterPlot"));
    scatterPlot->setMinimumSize(400, 300);
    plotLayout->addWidget(scatterPlot);
    auto* tabPane = new QWidget(plotSplitter);
    auto* tabLayout = new QVBoxLayout(tabPane);
    tabLayout->setContentsMargins(6, 0, 0, 0);
    viewTabs = new QTabWidget(tabPane);
    viewTabs->setObjectName(QStringLiteral("viewTabs"));
    tabLayout->addWidget(viewTabs);
    plotSplitter->addWidget(plotPane);
    plotSplitter->addWidget(tabPane);
    plotSplitter->setStretchFactor(0, 1);
    plotSplitter->setStretchFactor(1, 0);
    plotSplitter->setSizes({600, 260});
    column->addWidget(plotSplitter, 1);

    auto* imageSplitter = new QSplitter(Qt::Vertical, viewTabs);
    imageViewer = new ImageViewer(imageSplitter);
    imageViewer->setObjectName(QStringLiteral("imageViewer"));
    imageViewer->setMinimumSize(100, 100);
    tracePlot = new TracePlot(imageSplitter);
    tracePlot->setObjectName(QStringLiteral("tracePlot"));
    imageSplitter->addWidget(imageViewer);
    imageSplitter->addWidget(tracePlot);
    imageSplitter->setStretchFactor(0, 3);
    imageSplitter->setStretchFactor(1, 1);
    tracePlot->hide();
    viewTabs->addTab(imageSplitter, QStringLiteral("Image"));

    eventDataTable = new QTableWidget(0, 2, viewTabs);
    eventDataTable->setObjectName(QStringLiteral("eventDataTable"));
    eventDataTable->setHorizontalHeaderLabels({QStringLiteral("Feature"), QStringLiteral("Value")});
    eventDataTable->horizontalHeader()->setStretchLastSection(true);
    eventDataTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    eventDataTable->setSelectionMode(QAbstractItemView::SingleSelection);
    eventDataTable->setAlternatingRowColors(true);
    eventDataTable->verticalHeader()->hide();
    viewTabs->addTab(eventDataTable, QStringLiteral("Event Data"));

    setCentralWidget(central);

    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusBar()->addWidget(statusLabel, 1);

    setupDatasetsDock();

    setTabPosition(Qt::RightDockWidgetArea, QTabWidget::North);

    filterPanel = new FilterDockWidget(this);
    filterPanel->setObjectName(QStringLiteral("filterPanel"));
    filtersDock = makeDock(QStringLiteral("Filters"), QStringLiteral("filtersDock"), filterPanel, this);
    filtersDock->setTitleBarWidget(new QWidget(filtersDock));
    filtersDock->setMinimumWidth(300);
    filtersDock->setMaximumWidth(500);
    addDockWidget(Qt::RightDockWidgetArea, filtersDock);

    statisticsPanel = new StatisticsDockWidget(this);
    statisticsPanel->setObjectName(QStringLiteral("statisticsPanel"));
    statisticsDock = makeDock(QStringLiteral("Plot Statistics"), QStringLiteral("statisticsDock"),
                              statisticsPanel, this);
    statisticsDock->setMinimumWidth(250);
    addDockWidget(Qt::RightDockWidgetArea, statisticsDock);

    calculationsPanel = new CalculationsDockWidget(this);
    calculationsPanel->setObjectName(QStringLiteral("calculationsPanel"));
    calculationsDock = makeDock(QStringLiteral("Calculations"), QStringLiteral("calculationsDock"),
                                calculationsPanel, this);
    calculationsDock->setTitleBarWidget(new QWidget(calculationsDock));
    calculationsDock->setMinimumWidth(200);
    addDockWidget(Qt::RightDockWidgetArea, calculationsDock);

    metadataTree = new QTreeWidget(this);
    metadataTree->setObjectName(QStringLiteral("metadataTree"));
    metadataTree->setHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Value")});
    metadataTree->header()->setStretchLastSection(true);
    metadataDock = makeDock(QStringLiteral("Metadata"), QStringLiteral("metadataDock"), metadataTree, this);
    metadataDock->setTitleBarWidget(new QWidget(metadataDock));
    metadataDock->setMinimumWidth(200);
    addDockWidget(Qt::RightDockWidgetArea, metadataDock);

    tabifyDockWidget(filtersDock, calculationsDock);
    tabifyDockWidget(calculationsDock, metadataDock);
    filtersDock->raise();

    for (QDockWidget* dock : {filtersDock, calculationsDock, metadataDock}) {
        connect(dock, &QDockWidget::visibilityChanged, this, [this, dock](bool visible) {
            // Raising from inside the visibility change would fight the tab bar; do it next turn.
            if (visible)
                QTimer::singleShot(0, dock, [dock] { dock->raise(); });
            updateDockTitleBars();
        });
    }

    flRefinement = new FLRefinement(this);
    flCompensation = new FLCompensation(this);
    emodulusCalculator = new EModulus(this);
    fourierDeform = new FourierDeform(this);
    imageFeatures = new ImageFeatures(this);

    resizeDocks({filtersDock, statisticsDock}, {600, 200}, Qt::Vertical);
}

QString MainWindow::startUpInfoText()
{
    return QStringLiteral("No file loaded. Drag and drop a .rtdc file or use File > Open.");
}

void MainWindow::setupDatasetsDock()
{
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* topRow = new QHBoxLayout;
    topRow->setContentsMargins(4, 2, 4, 2);
    topRow->setSpacing(4);
    datasetViewModeCombo = new QComboBox(content);
    datasetViewModeCombo->setObjectName(QStringLiteral("datasetViewModeCombo"));
    datasetViewModeCombo->addItems({QStringLiteral("List"), QStringLiteral("Folders")});
    datasetViewModeCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    datasetViewModeCombo->setMinimumContentsLength(8);
    folderDepthLabel = new QLabel(QStringLiteral("Depth:"), content);
    folderDepthLabel->setObjectName(QStringLiteral("folderDepthLabel"));
    folderDepthSpin = new QSpinBox(content);
    folderDepthSpin->setObjectName(QStringLiteral("folderDepthSpin"));
    folderDepthSpin->setRange(AppSettings::minDatasetViewDepth, AppSettings::maxDatasetViewDepth);
    folderDepthSpin->setValue(AppSettings::defaultDatasetViewDepth);
    folderDepthSpin->setToolTip(QStringLiteral("Number of parent folder levels to show"));
    topRow->addWidget(datasetViewModeCombo);
    topRow->addStretch();
    topRow->addWidget(folderDepthLabel);
    topRow->addWidget(folderDepthSpin);
    layout->addLayout(topRow);

    datasetViewStack = new QStackedWidget(content);
    datasetViewStack->setObjectName(QStringLiteral("datasetViewStack"));
    datasetList = new DatasetListWidget(datasetViewStack);
    datasetList->setObjectName(QStringLiteral("datasetList"));
    datasetList->setContextMenuPolicy(Qt::CustomContextMenu);
    datasetList->setSelectionMode(QAbstractItemView::SingleSelection);
    datasetList->setDragEnabled(true);
    datasetList->setDragDropMode(QAbstractItemView::DragOnly);
    datasetList->setAcceptDrops(true);
    // Long names end in "…" within the dock (the tooltip has the whole text).
    datasetList->setItemDelegate(new HtmlItemDelegate(datasetList, HtmlItemDelegate::Overflow::Elide));
    datasetTree = new DatasetTreeWidget(datasetViewStack);
    datasetTree->setObjectName(QStringLiteral("datasetTree"));
    datasetTree->setHeaderHidden(true);
    datasetTree->setSelectionMode(QAbstractItemView::SingleSelection);
    datasetTree->setContextMenuPolicy(Qt::CustomContextMenu);
    datasetTree->setDragEnabled(true);
    datasetTree->setAcceptDrops(true);
    datasetTree->setDragDropMode(QAbstractItemView::DragDrop);
    datasetTree->setDropIndicatorShown(true);
    datasetTree->setAlternatingRowColors(true);
    datasetTree->setItemsExpandable(false);
    datasetTree->setRootIsDecorated(true);
    datasetTree->header()->setStretchLastSection(false);
    datasetTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    datasetTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    datasetTree->setTextElideMode(Qt::ElideNone);
    datasetTree->setItemDelegate(new HtmlItemDelegate(datasetTree));
    datasetViewStack->addWidget(datasetList);
    datasetViewStack->addWidget(datasetTree);
    layout->addWidget(datasetViewStack, 1);
    setupLoadingStatus(content, layout);

    datasetsDock = makeDock(QStringLiteral("Datasets"), QStringLiteral("datasetsDock"), content, this);
    datasetsDock->setMinimumWidth(200);
    addDockWidget(Qt::LeftDockWidgetArea, datasetsDock);

    // Stored view settings; the widgets are set before their signals are connected.
    folderDepthSpin->setValue(AppSettings::datasetViewDepth());
    const bool folderMode = AppSettings::datasetFolderMode();
    datasetViewModeCombo->setCurrentIndex(folderMode ? 1 : 0);
    datasetViewStack->setCurrentIndex(folderMode ? 1 : 0);
    folderDepthLabel->setVisible(folderMode);
    folderDepthSpin->setVisible(folderMode);
}

void MainWindow::updateDockTitleBars()
{
    const QDockWidget* const tabbed[] = {filtersDock, calculationsDock, metadataDock};
    int shown = 0;
    for (const QDockWidget* dock : tabbed)
        shown += dock->isHidden() ? 0 : 1;
    for (QDockWidget* dock : {filtersDock, calculationsDock, metadataDock}) {
        if (dock->isHidden())
            continue;
        if (shown == 1) {
            // Alone: the standard title bar shows the dock's title.
            if (QWidget* bar = dock->titleBarWidget()) {
                dock->setTitleBarWidget(nullptr);
                delete bar;
            }
        } else if (!dock->titleBarWidget()) {
            // Tabbed: the tab already names the dock.
            dock->setTitleBarWidget(new QWidget(dock));
        }
    }
}

void MainWindow::updateFourierDeformAvailability()
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader)
        return;
    const bool expertMode = expertModeAction && expertModeAction->isChecked();
    calculationsPanel->setDeformationSources(expertMode, entry->reader->hasFeature("deform_fc"),
                                             entry->reader->hasFeature("deform_odd"));
}

DatasetEntry* MainWindow::findDatasetByPath(const std::string& filePath) const
{
    for (const auto& entry : entries) {
        if (entry->filePath == filePath)
            return entry.get();
    }
    return nullptr;
}

DatasetEntry* MainWindow::findDatasetById(int id) const
{
    for (const auto& entry : entries) {
        if (entry->id == id)
            return entry.get();
    }
    return nullptr;
}

int MainWindow::activeDatasetId() const
{
    if (activeIndex < 0 || activeIndex >= static_cast<int>(entries.size()))
        return -1;
    return entries[static_cast<size_t>(activeIndex)]->id;
}

bool MainWindow::datasetFolderViewActive() const
{
    return datasetViewStack && datasetViewStack->currentIndex() == 1;
}

int MainWindow::datasetFolderDepth() const
{
    return folderDepthSpin ? folderDepthSpin->value() : AppSettings::defaultDatasetViewDepth;
}

QList<QDockWidget*> MainWindow::allDocks() const
{
    return {datasetsDock, filtersDock, statisticsDock, calculationsDock, metadataDock};
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!startUpDockAreaWidths.empty())
        return;
    // Docks behind another tab keep a width of their own that nothing shows.
    for (QDockWidget* dock : allDocks()) {
        if (!dock->isFloating() && !dock->visibleRegion().isEmpty())
            startUpDockAreaWidths.emplace(dockWidgetArea(dock), dock->width());
    }
}

void MainWindow::resetDockWidths()
{
    QList<QDockWidget*> docks;
    QList<int> widths;
    for (QDockWidget* dock : allDocks()) {
        // Qt raises a docked widget's minimum width to what its contents ask for and keeps
        // it, also once they ask for less: the set-up minimum comes back first. The layouts
        // then settle the emptied contents' minimum widths, which else waits for the event
        // loop, so that they bound the resize instead of the rows and names they had.
        dock->setMinimumWidth(setUpDockMinimumWidths[dock]);
        activateLayouts(dock);
        const auto width = startUpDockAreaWidths.find(dockWidgetArea(dock));
        if (width != startUpDockAreaWidths.end() && !dock->isFloating() && !dock->visibleRegion().isEmpty()) {
            docks << dock;
            widths << width->second;
        }
    }
    if (!docks.isEmpty())
        resizeDocks(docks, widths, Qt::Horizontal);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    closing = true;
    closeToolWindows();
    waitForBackgroundTasks();
    QMainWindow::closeEvent(event);
}

} // namespace Tervane3
