// The menu bar of the main window: File, Export, View, Tool Windows, Settings (colour map,
// start-up update check) and Help (manual, update check, feedback, About).
#include "mainwindow/MainWindow.h"

#include "app/AppSettings.h"
#include "app/Prompts.h"
#include "calc/CalculationsDockWidget.h"
#include "plots/ScatterPlot.h"
#include "services/AboutDialog.h"
#include "services/HelpWindow.h"
#include "windows/CombinePlotWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace Tervane3 {

namespace {

// Menu order of the colour maps; the position is the colour-map index.
const char* const colorMapNames[] = {"Viridis", "Jet", "Jet+", "Plasma", "ZODI", "Grayscale"};

QAction* addEntry(QMenu* menu, const QString& text, const char* objectName,
                  const QKeySequence& shortcut = QKeySequence())
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(objectName));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

} // namespace

void MainWindow::setupMenus()
{
    QMenuBar* bar = menuBar();

    QMenu* fileMenu = bar->addMenu(QStringLiteral("&File"));
    connect(addEntry(fileMenu, QStringLiteral("&Open..."), "openAction", QKeySequence::Open),
            &QAction::triggered, this, &MainWindow::openFile);
    fileMenu->addSeparator();
    connect(addEntry(fileMenu, QStringLiteral("&Save Session..."), "saveSessionAction",
                     QKeySequence(QStringLiteral("Ctrl+Shift+S"))),
            &QAction::triggered, this, &MainWindow::saveSession);
    connect(addEntry(fileMenu, QStringLiteral("&Load Session..."), "loadSessionAction",
                     QKeySequence(QStringLiteral("Ctrl+Shift+O"))),
            &QAction::triggered, this, &MainWindow::loadSession);
    fileMenu->addSeparator();
    connect(addEntry(fileMenu, QStringLiteral("&Clear Session"), "clearSessionAction"), &QAction::triggered,
            this, &MainWindow::clearSession);
    fileMenu->addSeparator();
    connect(addEntry(fileMenu, QStringLiteral("E&xit"), "exitAction", QKeySequence::Quit), &QAction::triggered,
            this, &MainWindow::close);

    QMenu* exportMenu = bar->addMenu(QStringLiteral("&Export"));
    connect(addEntry(exportMenu, QStringLiteral("Export &Plot..."), "exportPlotAction",
                     QKeySequence(QStringLiteral("Ctrl+E"))),
            &QAction::triggered, this, &MainWindow::exportPlot);
    connect(addEntry(exportMenu, QStringLiteral("Export &Data..."), "exportDataAction",
                     QKeySequence(QStringLiteral("Ctrl+Shift+E"))),
            &QAction::triggered, this, &MainWindow::exportData);
    connect(addEntry(exportMenu, QStringLiteral("Export Statistical &Summary..."), "exportStatSummaryAction"),
            &QAction::triggered, this, &MainWindow::exportStatSummary);

    QMenu* viewMenu = bar->addMenu(QStringLiteral("&View"));
    for (QDockWidget* dock : {datasetsDock, filtersDock, calculationsDock, metadataDock, statisticsDock})
        viewMenu->addAction(dock->toggleViewAction());

    QMenu* toolMenu = bar->addMenu(QStringLiteral("&Tool Windows"));
    connect(addEntry(toolMenu, QStringLiteral("New &Combine Plot..."), "newCombinePlotAction"),
            &QAction::triggered, this, &MainWindow::openCombinePlotWindow);
    connect(addEntry(toolMenu, QStringLiteral("New &Statistical Evaluation..."), "newStatisticalEvaluationAction"),
            &QAction::triggered, this, &MainWindow::openStatisticalEvalWindow);
    connect(addEntry(toolMenu, QStringLiteral("New &Image Gallery..."), "newImageGalleryAction"),
            &QAction::triggered, this, &MainWindow::openImageGalleryWindow);
    connect(addEntry(toolMenu, QStringLiteral("Filter Groups &Matrix..."), "filterGroupsMatrixAction"),
            &QAction::triggered, this, &MainWindow::openFilterGroupsMatrixWindow);

    QMenu* settingsMenu = bar->addMenu(QStringLiteral("&Settings"));
    QMenu* colorMapMenu = settingsMenu->addMenu(QStringLiteral("Color &Map"));
    colorMapMenu->menuAction()->setObjectName(QStringLiteral("colorMapMenuAction"));
    colorMapGroup = new QActionGroup(this);
    colorMapGroup->setExclusive(true);
    currentColorMap = AppSettings::colorMapIndex();
    for (int i = 0; i < AppSettings::colorMapCount; ++i) {
        QAction* action = colorMapMenu->addAction(QString::fromLatin1(colorMapNames[i]));
        action->setObjectName(QStringLiteral("colorMapAction%1").arg(i));
        action->setCheckable(true);
        action->setData(i);
        action->setChecked(i == currentColorMap);
        colorMapGroup->addAction(action);
    }
    scatterPlot->setColorMap(currentColorMap);
    connect(colorMapGroup, &QActionGroup::triggered, this, &MainWindow::onColorMapChosen);
    settingsMenu->addSeparator();
    QAction* startupCheck = addEntry(settingsMenu, QStringLiteral("Check for Updates on Startup"),
                                     "checkUpdatesOnStartupAction");
    startupCheck->setCheckable(true);
    startupCheck->setChecked(AppSettings::checkUpdatesOnStartup());
    connect(startupCheck, &QAction::toggled, this, [](bool on) { AppSettings::setCheckUpdatesOnStartup(on); });

    // Only the Young's-modulus and crosstalk pages are offered; nothing shows the others.
    calculationsPanel->setExpertPagesVisible(false);

    QMenu* helpMenu = bar->addMenu(QStringLiteral("&Help"));
    connect(addEntry(helpMenu, QStringLiteral("&Manual"), "manualAction", QKeySequence::HelpContents),
            &QAction::triggered, this, &MainWindow::showManual);
    helpMenu->addSeparator();
    connect(addEntry(helpMenu, QStringLiteral("Check for &Updates..."), "checkForUpdatesAction"),
            &QAction::triggered, this, [this] { checkForUpdates(false); });
    connect(addEntry(helpMenu, QStringLiteral("Send &Feedback..."), "sendFeedbackAction"), &QAction::triggered,
            this, [this] { sendErrorReport(QString(), QString()); });
    helpMenu->addSeparator();
    connect(addEntry(helpMenu, QStringLiteral("&About"), "aboutAction"), &QAction::triggered, this,
            &MainWindow::showAbout);
}

void MainWindow::onColorMapChosen(QAction* action)
{
    currentColorMap = action->data().toInt();
    AppSettings::setColorMapIndex(currentColorMap);
    scatterPlot->setColorMap(currentColorMap);
    for (CombinePlotWindow* window : combineWindows)
        window->refresh();
}

QStringList MainWindow::manualCandidates()
{
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + QStringLiteral("/../data/tervane3.qch"), dir + QStringLiteral("/data/tervane3.qch")};
}

void MainWindow::showManual()
{
    const QStringList candidates = manualCandidates();
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile()) {
            auto* help = new HelpWindow(path, this);
            help->setAttribute(Qt::WA_DeleteOnClose);
            help->show();
            return;
        }
    }
    prompts().warning(this, QStringLiteral("Manual Not Found"),
                      QStringLiteral("Could not find the help file (tervane3.qch).\n\nSearched in:\n%1")
                          .arg(candidates.join(QLatin1Char('\n'))));
}

void MainWindow::showAbout()
{
    AboutDialog dialog(this);
    prompts().execDialog(&dialog);
}

} // namespace Tervane3
