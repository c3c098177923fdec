// The combine plot window's frame: central plot area, the "Settings" and "Datasets" docks,
// the menus, the entry points of the main window and closing.
#include "windows/CombinePlotWindow.h"

#include "app/DatasetDragPayload.h"
#include "app/WindowHelpers.h"
#include "windows/CombineDatasetWidget.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace Tervane3 {

namespace {

QDoubleSpinBox* makeLimitSpin(QWidget* parent, const char* name)
{
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(-1e12, 1e12);
    spin->setDecimals(4);
    spin->setValue(0.0);
    spin->setEnabled(false);
    return spin;
}

QDoubleSpinBox* makeFractionSpin(QWidget* parent, double value, const char* name)
{
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(1, 99);
    spin->setSingleStep(5);
    spin->setDecimals(0);
    spin->setSuffix(QStringLiteral("%"));
    spin->setValue(value);
    return spin;
}

QSpinBox* makeArraySpin(QWidget* parent, const char* name)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(0, 50);
    spin->setSpecialValueText(QStringLiteral("auto"));
    return spin;
}

QCheckBox* makeCheck(QWidget* parent, const QString& text, const char* name, const QString& tip = QString())
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty())
        check->setToolTip(tip);
    return check;
}

// A cell of the settings grid holding several widgets side by side.
QHBoxLayout* cell(QGridLayout* grid, int row, int column)
{
    auto* box = new QHBoxLayout;
    box->setContentsMargins(0, 0, 0, 0);
    grid->addLayout(box, row, column);
    return box;
}

} // namespace

CombinePlotWindow::CombinePlotWindow(DatasetHost* datasetHost, QWidget* parent)
    : QMainWindow(parent)
    , host(datasetHost)
{
    rebuildTimer = new QTimer(this);
    rebuildTimer->setSingleShot(true);
    rebuildTimer->setInterval(0);
    connect(rebuildTimer, &QTimer::timeout, this, &CombinePlotWindow::rebuildPlots);

    setupUi();
    setupMenus();
    setWindowTitle(QStringLiteral("Combine Plot"));
    resize(1000, 700);
    // Wide enough for "Area [µm²]" and "PseudoLog" side by side in a row.
    resizeDocks({datasetsDock}, {340}, Qt::Horizontal);
    setAcceptDrops(true);
}

CombinePlotWindow::~CombinePlotWindow()
{
    clearPlots();
}

void CombinePlotWindow::setupUi()
{
    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);

    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    plotScroll = new QScrollArea(central);
    plotScroll->setObjectName(QStringLiteral("plotScroll"));
    plotScroll->setWidgetResizable(true);
    plotContainer = new QWidget(plotScroll);
    plotContainer->setObjectName(QStringLiteral("plotContainer"));
    plotGrid = new QGridLayout(plotContainer);
    plotGrid->setContentsMargins(0, 0, 0, 0);
    plotScroll->setWidget(plotContainer);
    centralLayout->addWidget(plotScroll, 1);
    setCentralWidget(central);

    setupSettingsDock();
    setupDatasetsDock();

    autoScrollTimer = new QTimer(this);
    autoScrollTimer->setInterval(30);
    connect(autoScrollTimer, &QTimer::timeout, this, &CombinePlotWindow::autoScrollTick);

    setupExportDock();
    setupStatisticsDock();
}

void CombinePlotWindow::setupSettingsDock()
{
    settingsDock = new QDockWidget(QStringLiteral("Settings"), this);
    settingsDock->setObjectName(QStringLiteral("settingsDock"));
    settingsDock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    settingsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto* scroll = new QScrollArea(settingsDock);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(scroll);
    content->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(4);
    grid->setHorizontalSpacing(20);
    grid->setColumnStretch(8, 1);

    displayCombo = new QComboBox(content);
    displayCombo->setObjectName(QStringLiteral("displayCombo"));
    displayCombo->addItems({QStringLiteral("Array"), QStringLiteral("Array + Contour"), QStringLiteral("Same Plot")});
    QHBoxLayout* box = cell(grid, 0, 0);
    box->addWidget(new QLabel(QStringLiteral("Display:"), content));
    box->addWidget(displayCombo);

    colorCombo = new QComboBox(content);
    colorCombo->setObjectName(QStringLiteral("colorCombo"));
    colorCombo->addItems({QStringLiteral("Heatmap (Density)"), QStringLiteral("Dataset Color"), QStringLiteral("None")});
    colorCombo->setCurrentIndex(CombineDatasetColor);
    box = cell(grid, 1, 0);
    box->addWidget(new QLabel(QStringLiteral("Color:"), content));
    box->addWidget(colorCombo);

    syncFeaturesCheck = makeCheck(content, QStringLiteral("Sync Features"), "syncFeaturesCheck",
                                  QStringLiteral("Keep all datasets on the same X/Y axes"));
    grid->addWidget(syncFeaturesCheck, 0, 1);
    showLegendCheck = makeCheck(content, QStringLiteral("Show Legend"), "showLegendCheck");
    grid->addWidget(showLegendCheck, 1, 1);
    syncAxesCheck = makeCheck(content, QStringLiteral("Sync Axes"), "syncAxesCheck",
                              QStringLiteral("Use same axis limits for all plots"));
    grid->addWidget(syncAxesCheck, 0, 2);
    manualLimitsCheck = makeCheck(content, QStringLiteral("Manual Limits"), "manualLimitsCheck");
    manualLimitsCheck->setEnabled(false);
    grid->addWidget(manualLimitsCheck, 1, 2);

    xMinSpin = makeLimitSpin(content, "xMinSpin");
    xMaxSpin = makeLimitSpin(content, "xMaxSpin");
    yMinSpin = makeLimitSpin(content, "yMinSpin");
    yMaxSpin = makeLimitSpin(content, "yMaxSpin");
    box = cell(grid, 0, 3);
    box->addWidget(new QLabel(QStringLiteral("X:"), content));
    box->addWidget(xMinSpin);
    box->addWidget(new QLabel(QStringLiteral("-"), content));
    box->addWidget(xMaxSpin);
    box = cell(grid, 1, 3);
    box->addWidget(new QLabel(QStringLiteral("Y:"), content));
    box->addWidget(yMinSpin);
    box->addWidget(new QLabel(QStringLiteral("-"), content));
    box->addWidget(yMaxSpin);

    contourCombo = new QComboBox(content);
    contourCombo->setObjectName(QStringLiteral("contourCombo"));
    contourCombo->addItems({QStringLiteral("Off"), QStringLiteral("Overlay"), QStringLiteral("Only")});
    box = cell(grid, 0, 4);
    box->addWidget(new QLabel(QStringLiteral("Contour Overlay:"), content));
    box->addWidget(contourCombo);
    innerSpin = makeFractionSpin(content, 10, "innerSpin");
    outerSpin = makeFractionSpin(content, 67, "outerSpin");
    box = cell(grid, 1, 4);
    box->addWidget(new QLabel(QStringLiteral("Inner:"), content));
    box->addWidget(innerSpin);
    box->addWidget(new QLabel(QStringLiteral("Outer:"), content));
    box->addWidget(outerSpin);

    isoelasticsCheck = makeCheck(content, QStringLiteral("Isoelastics"), "isoelasticsCheck",
                                 QStringLiteral("Show isoelasticity lines on area vs. deformation plots"));
    grid->addWidget(isoelasticsCheck, 0, 5);
    isoLabelsCheck = makeCheck(content, QStringLiteral("Labels"), "isoLabelsCheck",
                               QStringLiteral("Show kPa labels on isoelasticity lines"));
    isoLabelsCheck->setEnabled(false);
    grid->addWidget(isoLabelsCheck, 1, 5);

    manualArrayCheck = makeCheck(content, QStringLiteral("Manual Array Size"), "manualArrayCheck");
    grid->addWidget(manualArrayCheck, 0, 6);
    arraySizeBox = new QWidget(content);
    arraySizeBox->setObjectName(QStringLiteral("arraySizeBox"));
    auto* sizeLayout = new QHBoxLayout(arraySizeBox);
    sizeLayout->setContentsMargins(0, 0, 0, 0);
    colsSpin = makeArraySpin(arraySizeBox, "colsSpin");
    rowsSpin = makeArraySpin(arraySizeBox, "rowsSpin");
    sizeLayout->addWidget(new QLabel(QStringLiteral("Cols:"), arraySizeBox));
    sizeLayout->addWidget(colsSpin);
    sizeLayout->addWidget(new QLabel(QStringLiteral("Rows:"), arraySizeBox));
    sizeLayout->addWidget(rowsSpin);
    arraySizeBox->setVisible(false);
    grid->addWidget(arraySizeBox, 1, 6);

    showCountCheck = makeCheck(content, QStringLiteral("Show N"), "showCountCheck",
                               QStringLiteral("Display the number of plotted events (N = #) in each array plot"));
    grid->addWidget(showCountCheck, 0, 7);

    scroll->setWidget(content);
    settingsDock->setWidget(scroll);
    addDockWidget(Qt::TopDockWidgetArea, settingsDock);

    connect(displayCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onDisplayModeChanged);
    connect(colorCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onColorModeChanged);
    connect(syncFeaturesCheck, &QCheckBox::toggled, this, &CombinePlotWindow::onSyncFeaturesToggled);
    connect(syncAxesCheck, &QCheckBox::toggled, this, &CombinePlotWindow::onSyncAxesToggled);
    connect(manualLimitsCheck, &QCheckBox::toggled, this, [this](bool on) {
        for (QDoubleSpinBox* spin : {xMinSpin, xMaxSpin, yMinSpin, yMaxSpin})
            spin->setEnabled(on);
        scheduleRebuild();
    });
    for (QDoubleSpinBox* spin : {xMinSpin, xMaxSpin, yMinSpin, yMaxSpin})
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &CombinePlotWindow::onAxisLimitsChanged);
    connect(showLegendCheck, &QCheckBox::toggled, this, &CombinePlotWindow::scheduleRebuild);
    connect(contourCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::scheduleRebuild);
    for (QDoubleSpinBox* spin : {innerSpin, outerSpin})
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &CombinePlotWindow::scheduleRebuild);
    connect(isoelasticsCheck, &QCheckBox::toggled, this, [this](bool on) {
        isoLabelsCheck->setEnabled(on);
        if (!on)
            isoLabelsCheck->setChecked(false);
        scheduleRebuild();
    });
    connect(isoLabelsCheck, &QCheckBox::toggled, this, &CombinePlotWindow::scheduleRebuild);
    connect(manualArrayCheck, &QCheckBox::toggled, this, [this](bool on) {
        arraySizeBox->setVisible(on);
        if (!on) {
            colsSpin->setValue(0);
            rowsSpin->setValue(0);
        }
        scheduleRebuild();
    });
    connect(colsSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int v) {
        if (v > 0) {
            const QSignalBlocker blocker(rowsSpin);
            rowsSpin->setValue(0);
        }
        scheduleRebuild();
    });
    connect(rowsSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int v) {
        if (v > 0) {
            const QSignalBlocker blocker(colsSpin);
            colsSpin->setValue(0);
        }
        scheduleRebuild();
    });
    connect(showCountCheck, &QCheckBox::toggled, this, &CombinePlotWindow::scheduleRebuild);
}

void CombinePlotWindow::setupDatasetsDock()
{
    datasetsDock = new QDockWidget(QStringLiteral("Datasets"), this);
    datasetsDock->setObjectName(QStringLiteral("datasetsDock"));
    datasetsDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    datasetsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    datasetsDock->setMinimumWidth(280);
    auto* content = new QWidget(datasetsDock);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* buttons = new QHBoxLayout;
    auto* addButton = new QPushButton(QStringLiteral("Add..."), content);
    addButton->setObjectName(QStringLiteral("addDatasetsButton"));
    auto* addAllButton = new QPushButton(QStringLiteral("Add All"), content);
    addAllButton->setObjectName(QStringLiteral("addAllButton"));
    buttons->addWidget(addButton);
    buttons->addWidget(addAllButton);
    layout->addLayout(buttons);

    datasetScroll = new QScrollArea(content);
    datasetScroll->setObjectName(QStringLiteral("datasetScroll"));
    datasetScroll->setWidgetResizable(true);
    datasetScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    datasetScroll->setAcceptDrops(true);
    datasetScroll->viewport()->installEventFilter(this);
    listContainer = new QWidget(datasetScroll);
    listContainer->setObjectName(QStringLiteral("datasetListContainer"));
    listLayout = new QVBoxLayout(listContainer);
    listLayout->setAlignment(Qt::AlignTop);
    listLayout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    datasetScroll->setWidget(listContainer);
    layout->addWidget(datasetScroll, 1);
    datasetsDock->setWidget(content);
    addDockWidget(Qt::LeftDockWidgetArea, datasetsDock);

    connect(addButton, &QPushButton::clicked, this, &CombinePlotWindow::showAddDatasetsDialog);
    connect(addAllButton, &QPushButton::clicked, this, &CombinePlotWindow::addAllDatasets);
    rebuildDatasetWidgets();
}

void CombinePlotWindow::setupMenus()
{
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* close = fileMenu->addAction(QStringLiteral("&Close"));
    close->setObjectName(QStringLiteral("closeAction"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);

    QMenu* exportMenu = menuBar()->addMenu(QStringLiteral("&Export"));
    QAction* exportAction = exportMenu->addAction(QStringLiteral("&Export Plots..."));
    exportAction->setObjectName(QStringLiteral("exportPlotsAction"));
    exportAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    connect(exportAction, &QAction::triggered, this, &CombinePlotWindow::exportPlots);
    QAction* statsAction = exportMenu->addAction(QStringLiteral("Export Plot &Statistics TSV..."));
    statsAction->setObjectName(QStringLiteral("exportStatisticsAction"));
    connect(statsAction, &QAction::triggered, this, &CombinePlotWindow::exportStatistics);

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(settingsDock->toggleViewAction());
    viewMenu->addAction(datasetsDock->toggleViewAction());
    viewMenu->addAction(statsDock->toggleViewAction());
    viewMenu->addSeparator();
    previewAction = viewMenu->addAction(QStringLiteral("Export &Preview"));
    previewAction->setObjectName(QStringLiteral("exportPreviewAction"));
    previewAction->setCheckable(true);
    connect(previewAction, &QAction::toggled, this, &CombinePlotWindow::setExportPreview);
    viewMenu->addSeparator();
    addKeepOnTopAction(this);
}

void CombinePlotWindow::refresh()
{
    rebuildDatasetWidgets();
    scheduleRebuild();
}

void CombinePlotWindow::scheduleRebuild()
{
    rebuildTimer->start();
}

bool CombinePlotWindow::rebuildPending() const
{
    return rebuildTimer->isActive();
}

void CombinePlotWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

void CombinePlotWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (DatasetDragPayload::hasDataset(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CombinePlotWindow::dropEvent(QDropEvent* event)
{
    const int id = acceptedDatasetDrop(event->mimeData(), event->source() != nullptr);
    const bool present = std::any_of(entries.begin(), entries.end(),
                                     [id](const CombineDatasetEntry& e) { return e.datasetId == id; });
    if (id < 0 || present) {
        event->ignore();
        return;
    }
    addDataset(id);
    event->acceptProposedAction();
}

} // namespace Tervane3
