// The statistical evaluation window: construction, docks, menus, the reactions of the
// settings and tabs, and the list of categories.
#include "stats/StatisticalEvalWindow.h"

#include "app/WindowHelpers.h"
#include "stats/CategoryColors.h"
#include "stats/CategoryPanel.h"

#include <qwt_plot.h>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Tervane3 {

namespace {

// A widget holding a label and a control in a row without margins.
QWidget* labelledRow(const QString& text, QWidget* control, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(text, row));
    layout->addWidget(control, 1);
    return row;
}

// A resizable scroll area whose container holds a top-aligned vertical layout.
QScrollArea* plotArea(QVBoxLayout*& layout)
{
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    auto* container = new QWidget(scroll);
    layout = new QVBoxLayout(container);
    layout->setAlignment(Qt::AlignTop);
    scroll->setWidget(container);
    return scroll;
}

QTableWidget* resultsTable(const char* objectName)
{
    auto* table = new QTableWidget;
    table->setObjectName(QLatin1String(objectName));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace

void fitTableColumns(QTableWidget* table)
{
    QHeaderView* header = table->horizontalHeader();
    header->setStretchLastSection(false);
    table->resizeColumnsToContents();
    // The last column fills the rest of the table, but never gets narrower than its
    // contents (a stretched last section would be squeezed when the others overflow).
    int total = 0;
    for (int c = 0; c < table->columnCount(); ++c)
        total += header->sectionSize(c);
    header->setStretchLastSection(total <= table->viewport()->width());
}

StatisticalEvalWindow::StatisticalEvalWindow(DatasetHost* datasetHost, QWidget* parent)
    : QMainWindow(parent)
    , host(datasetHost)
{
    setWindowTitle(QStringLiteral("Statistical Evaluation"));
    resize(1000, 700);
    // The main window deletes the window when it reports that it closed.
    setAttribute(Qt::WA_DeleteOnClose, false);
    nextCategoryIndex = 2;
    buildUi();
    buildMenus();
    resizeDocks({categoriesDock, settingsDock}, {340, 200}, Qt::Horizontal);
}

void StatisticalEvalWindow::buildUi()
{
    // Categories dock.
    categoriesDock = new QDockWidget(QStringLiteral("Categories"), this);
    categoriesDock->setObjectName(QStringLiteral("categoriesDock"));
    categoriesDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* categoriesWidget = new QWidget(categoriesDock);
    auto* categoriesLayout = new QVBoxLayout(categoriesWidget);
    auto* addCategoryButton = new QPushButton(QStringLiteral("Add Category"), categoriesWidget);
    addCategoryButton->setObjectName(QStringLiteral("addCategoryButton"));
    connect(addCategoryButton, &QPushButton::clicked, this, &StatisticalEvalWindow::onAddCategory);
    categoriesLayout->addWidget(addCategoryButton);
    auto* categoryScroll = new QScrollArea(categoriesWidget);
    categoryScroll->setWidgetResizable(true);
    categoryContainer = new QWidget(categoryScroll);
    categoryLayout = new QVBoxLayout(categoryContainer);
    categoryLayout->setAlignment(Qt::AlignTop);
    categoryScroll->setWidget(categoryContainer);
    categoriesLayout->addWidget(categoryScroll);
    categoriesDock->setWidget(categoriesWidget);
    addDockWidget(Qt::LeftDockWidgetArea, categoriesDock);
    addCategoryPanel(QStringLiteral("Baseline"), false);
    addCategoryPanel(QStringLiteral("Condition 1"), false);
    // Wide enough for a removable panel's buttons and count beside a vertical scroll bar,
    // so that no text of a panel is cut off at the dock's right edge.
    const CategoryPanel probe(QString(), true, QColor(), nullptr);
    const QMargins margins = categoryLayout->contentsMargins();
    categoryScroll->setMinimumWidth(std::max(280, probe.minimumSizeHint().width() + margins.left() + margins.right()
                                                      + categoryScroll->verticalScrollBar()->sizeHint().width()
                                                      + 2 * categoryScroll->frameWidth()));

    // Analysis settings dock.
    settingsDock = new QDockWidget(QStringLiteral("Analysis Settings"), this);
    settingsDock->setObjectName(QStringLiteral("settingsDock"));
    settingsDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* settings = new QWidget(settingsDock);
    auto* layout = new QVBoxLayout(settings);
    layout->addWidget(new QLabel(QStringLiteral("Features to compare:"), settings));
    featureList = new QListWidget(settings);
    featureList->setObjectName(QStringLiteral("featureList"));
    featureList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    featureList->setMinimumHeight(120);
    layout->addWidget(featureList);

    summaryCombo = new QComboBox(settings);
    summaryCombo->setObjectName(QStringLiteral("summaryCombo"));
    summaryCombo->addItems({QStringLiteral("Median"), QStringLiteral("Mean"), QStringLiteral("Standard Deviation"),
                            QStringLiteral("Coefficient of Variation"), QStringLiteral("IQR")});
    summaryRow = labelledRow(QStringLiteral("Dataset summary:"), summaryCombo, settings);
    summaryRow->setObjectName(QStringLiteral("summaryRow"));
    layout->addWidget(summaryRow);

    replicatesCheck = new QCheckBox(QStringLiteral("Replicates included"), settings);
    replicatesCheck->setObjectName(QStringLiteral("replicatesCheck"));
    layout->addWidget(replicatesCheck);
    autoDetectButton = new QPushButton(QStringLiteral("Auto-detect IDs"), settings);
    autoDetectButton->setObjectName(QStringLiteral("autoDetectButton"));
    autoDetectButton->hide();
    layout->addWidget(autoDetectButton);

    designGroup = new QWidget(settings);
    designGroup->setObjectName(QStringLiteral("designGroup"));
    auto* designLayout = new QVBoxLayout(designGroup);
    designLayout->setContentsMargins(0, 0, 0, 0);
    designCombo = new QComboBox(designGroup);
    designCombo->setObjectName(QStringLiteral("designCombo"));
    designCombo->addItems({QStringLiteral("Independent / No matching"), QStringLiteral("Repeated measures / Matched")});
    designLayout->addWidget(labelledRow(QStringLiteral("Design:"), designCombo, designGroup));
    connectionLinesCheck = new QCheckBox(QStringLiteral("Show connection lines"), designGroup);
    connectionLinesCheck->setObjectName(QStringLiteral("connectionLinesCheck"));
    connectionLinesCheck->hide();
    designLayout->addWidget(connectionLinesCheck);
    alphaSpin = new QDoubleSpinBox(designGroup);
    alphaSpin->setObjectName(QStringLiteral("alphaSpin"));
    alphaSpin->setRange(0.001, 0.5);
    alphaSpin->setSingleStep(0.01);
    alphaSpin->setDecimals(3);
    alphaSpin->setValue(0.05);
    designLayout->addWidget(labelledRow(QStringLiteral("Significance level α:"), alphaSpin, designGroup));
    correctionCombo = new QComboBox(designGroup);
    correctionCombo->setObjectName(QStringLiteral("correctionCombo"));
    correctionCombo->addItems(
        {QStringLiteral("Bonferroni"), QStringLiteral("Holm-Bonferroni"), QStringLiteral("None (discouraged)")});
    designLayout->addWidget(labelledRow(QStringLiteral("Correction:"), correctionCombo, designGroup));
    layout->addWidget(designGroup);

    runAnalysisButton = new QPushButton(QStringLiteral("Run Analysis"), settings);
    runAnalysisButton->setObjectName(QStringLiteral("runAnalysisButton"));
    layout->addWidget(runAnalysisButton);
    runRocButton = new QPushButton(QStringLiteral("Run ROC Analysis"), settings);
    runRocButton->setObjectName(QStringLiteral("runRocButton"));
    layout->addWidget(runRocButton);

    distributionModeCombo = new QComboBox(settings);
    distributionModeCombo->setObjectName(QStringLiteral("distributionModeCombo"));
    distributionModeCombo->addItems({QStringLiteral("Per dataset"), QStringLiteral("Per category (averaged)")});
    distributionModeRow = labelledRow(QStringLiteral("Mode:"), distributionModeCombo, settings);
    distributionModeRow->setObjectName(QStringLiteral("distributionModeRow"));
    layout->addWidget(distributionModeRow);
    updateDistributionsButton = new QPushButton(QStringLiteral("Update Distributions"), settings);
    updateDistributionsButton->setObjectName(QStringLiteral("updateDistributionsButton"));
    layout->addWidget(updateDistributionsButton);

    testInfoLabel = new QLabel(settings);
    testInfoLabel->setObjectName(QStringLiteral("testInfoLabel"));
    testInfoLabel->setWordWrap(true);
    layout->addWidget(testInfoLabel);
    explanationLabel = new QLabel(settings);
    explanationLabel->setObjectName(QStringLiteral("explanationLabel"));
    explanationLabel->setWordWrap(true);
    explanationLabel->setStyleSheet(
        QStringLiteral("QLabel { color: #555; font-size: 11px; background: #f5f5f5; border: 1px solid #ddd; "
                       "border-radius: 4px; padding: 6px; }"));
    layout->addWidget(explanationLabel);
    layout->addStretch();
    settingsDock->setWidget(settings);
    addDockWidget(Qt::RightDockWidgetArea, settingsDock);

    // Tabs.
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    resultTable = resultsTable("resultTable");
    resultTable->setMaximumHeight(200);
    auto* comparison = new QSplitter(Qt::Vertical);
    comparison->addWidget(resultTable);
    comparison->addWidget(plotArea(analysisPlotLayout));
    comparison->setStretchFactor(0, 1);
    comparison->setStretchFactor(1, 3);
    // The first split follows the stretch factors, not the table's size hint.
    comparison->setSizes({100, 300});
    tabs->addTab(comparison, QStringLiteral("Statistical Comparison"));
    rocTable = resultsTable("rocTable");
    auto* roc = new QSplitter(Qt::Vertical);
    roc->addWidget(rocTable);
    roc->addWidget(plotArea(rocPlotLayout));
    roc->setStretchFactor(0, 1);
    roc->setStretchFactor(1, 2);
    roc->setSizes({100, 200});
    tabs->addTab(roc, QStringLiteral("ROC Analysis"));
    tabs->addTab(plotArea(distributionPlotLayout), QStringLiteral("Distribution Explorer"));
    setCentralWidget(tabs);

    connect(runAnalysisButton, &QPushButton::clicked, this, &StatisticalEvalWindow::onRunAnalysis);
    connect(runRocButton, &QPushButton::clicked, this, &StatisticalEvalWindow::onRunROC);
    connect(updateDistributionsButton, &QPushButton::clicked, this, &StatisticalEvalWindow::onRunDistribution);
    connect(autoDetectButton, &QPushButton::clicked, this, [this] {
        autoDetectIds();
        onCategoryChanged();
    });
    connect(connectionLinesCheck, &QCheckBox::toggled, this, &StatisticalEvalWindow::onRunAnalysis);
    connect(replicatesCheck, &QCheckBox::toggled, this, &StatisticalEvalWindow::onReplicatesToggled);
    connect(designCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &StatisticalEvalWindow::onDesignChanged);
    for (QComboBox* combo : {summaryCombo, correctionCombo, distributionModeCombo})
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &StatisticalEvalWindow::updateExplanationText);
    connect(alphaSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &StatisticalEvalWindow::updateExplanationText);
    connect(tabs, &QTabWidget::currentChanged, this, &StatisticalEvalWindow::onTabChanged);
    // The correction's number of tests counts the selected features.
    connect(featureList, &QListWidget::itemSelectionChanged, this, &StatisticalEvalWindow::updateExplanationText);

    onTabChanged(0);
}

void StatisticalEvalWindow::buildMenus()
{
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* closeAction = fileMenu->addAction(QStringLiteral("&Close"));
    closeAction->setShortcut(QKeySequence::Close);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);

    QMenu* exportMenu = menuBar()->addMenu(QStringLiteral("&Export"));
    const auto add = [&](const QString& text, const char* objectName, void (StatisticalEvalWindow::*slot)()) {
        QAction* action = exportMenu->addAction(text);
        action->setObjectName(QLatin1String(objectName));
        connect(action, &QAction::triggered, this, slot);
    };
    add(QStringLiteral("Export Group &Plots..."), "exportPlotsAction", &StatisticalEvalWindow::exportPlots);
    add(QStringLiteral("Export Group &Table..."), "exportTableAction", &StatisticalEvalWindow::exportTable);
    exportMenu->addSeparator();
    add(QStringLiteral("Export &ROC Plots..."), "exportRocPlotsAction", &StatisticalEvalWindow::exportROCPlots);
    add(QStringLiteral("Export ROC Ta&ble..."), "exportRocTableAction", &StatisticalEvalWindow::exportROCTable);
    add(QStringLiteral("Export ROC Curve &Data..."), "exportRocDataAction", &StatisticalEvalWindow::exportROCData);
    exportMenu->addSeparator();
    add(QStringLiteral("Export &Distribution Plots..."), "exportDistributionPlotsAction",
        &StatisticalEvalWindow::exportDistributionPlots);
    addKeepOnTopAction(this);
}

CategoryPanel* StatisticalEvalWindow::addCategoryPanel(const QString& name, bool removable)
{
    auto* panel = new CategoryPanel(name, removable, categoryColorAt(static_cast<int>(categoryPanels.size())), host,
                                    categoryContainer);
    connectPanel(panel);
    categoryPanels.push_back(panel);
    categoryLayout->addWidget(panel);
    return panel;
}

void StatisticalEvalWindow::connectPanel(CategoryPanel* panel)
{
    connect(panel, &CategoryPanel::changed, this, &StatisticalEvalWindow::onCategoryChanged);
    connect(panel, &CategoryPanel::deleteRequested, this, &StatisticalEvalWindow::onDeleteCategoryPanel);
}

void StatisticalEvalWindow::onAddCategory()
{
    ++nextCategoryIndex;
    CategoryPanel* panel = addCategoryPanel(QStringLiteral("Condition %1").arg(nextCategoryIndex - 1), true);
    panel->setShowIds(isMatchedDesign() || replicatesCheck->isChecked());
    panel->setShowReplicateIds(replicatesCheck->isChecked());
    onCategoryChanged();
}

void StatisticalEvalWindow::onDeleteCategoryPanel(CategoryPanel* panel)
{
    const auto found = std::find(categoryPanels.begin(), categoryPanels.end(), panel);
    if (found == categoryPanels.end())
        return;
    categoryPanels.erase(found);
    categoryLayout->removeWidget(panel);
    panel->hide();
    // The request comes from the panel's own button, whose click handler is still running.
    panel->deleteLater();
    onCategoryChanged();
}

void StatisticalEvalWindow::onReplicatesToggled(bool)
{
    // A matched design always shows the IDs, whichever tab toggled the box.
    applyIdDisplay();
    onCategoryChanged();
}

void StatisticalEvalWindow::onDesignChanged(int index)
{
    if (index != 1)
        connectionLinesCheck->setChecked(false); // re-runs the comparison when it was checked
    applyIdDisplay();
    onCategoryChanged();
}

void StatisticalEvalWindow::onTabChanged(int index)
{
    summaryRow->setVisible(index != 2);
    designGroup->setVisible(index == 0);
    runAnalysisButton->setVisible(index == 0);
    runRocButton->setVisible(index == 1);
    distributionModeRow->setVisible(index == 2);
    updateDistributionsButton->setVisible(index == 2);
    replicatesCheck->setVisible(index == 0 || index == 1);
    if (index == 0)
        replicatesCheck->setText(isMatchedDesign() ? QStringLiteral("Technical replicates")
                                                   : QStringLiteral("Replicates included"));
    else if (index == 1)
        replicatesCheck->setText(QStringLiteral("Replicates included"));
    updateAutoDetectVisibility();
    updateExplanationText();
}

void StatisticalEvalWindow::updateAutoDetectVisibility()
{
    const int tab = tabs->currentIndex();
    const bool checked = replicatesCheck->isChecked();
    if (tab == 0)
        autoDetectButton->setVisible(isMatchedDesign() || checked);
    else if (tab == 1)
        autoDetectButton->setVisible(checked);
    else
        autoDetectButton->setVisible(false);
}

bool StatisticalEvalWindow::isMatchedDesign() const
{
    return designCombo->currentIndex() == 1;
}

void StatisticalEvalWindow::refresh()
{
    onCategoryChanged();
}

void StatisticalEvalWindow::renameDataset(int datasetId, const QString& name)
{
    for (CategoryPanel* panel : categoryPanels)
        panel->renameDataset(datasetId, name);
}

void StatisticalEvalWindow::removeDataset(int datasetId)
{
    for (CategoryPanel* panel : std::vector<CategoryPanel*>(categoryPanels))
        panel->removeDataset(datasetId);
    onCategoryChanged();
}

std::vector<std::string> StatisticalEvalWindow::selectedFeatureKeys() const
{
    std::vector<std::string> keys;
    for (const QListWidgetItem* item : featureList->selectedItems())
        keys.push_back(item->data(Qt::UserRole).toString().toStdString());
    return keys;
}

int StatisticalEvalWindow::plannedTestCount() const
{
    const int k = static_cast<int>(categoryPanels.size());
    return featureList->selectedItems().size() * (k > 2 ? k * (k - 1) / 2 : 1);
}

void StatisticalEvalWindow::replacePlots(std::vector<QwtPlot*>& plots, QVBoxLayout* layout,
                                         std::vector<QwtPlot*> replacement)
{
    for (QwtPlot* plot : plots) {
        layout->removeWidget(plot);
        delete plot;
    }
    plots = std::move(replacement);
    for (QwtPlot* plot : plots)
        layout->addWidget(plot);
}

void StatisticalEvalWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    event->accept();
}

} // namespace Tervane3
