// The "Plot Statistics" dock of the combine plot window: per dataset the number of plotted
// events and six summary statistics of each plotted feature, computed on exactly the values
// the plots draw (from the plot cache, without those at or below zero on a logarithmic
// axis), and its export as tab-separated UTF-8 text.
#include "windows/CombinePlotWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "app/WindowHelpers.h"
#include "core/RTDCReader.h"
#include "plots/SummaryStats.h"
#include "windows/CombineDatasetWidget.h"

#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QHeaderView>
#include <QSaveFile>
#include <QTableWidget>
#include <QTextStream>

#include <algorithm>

namespace Tervane3 {

namespace {

void appendUnique(std::vector<std::string>& list, const std::string& key)
{
    if (std::find(list.begin(), list.end(), key) == list.end())
        list.push_back(key);
}

const char* const kStatisticNames[] = {"Mean", "SD", "Q1", "Median", "Q3", "IQR"};

} // namespace

void CombinePlotWindow::setupStatisticsDock()
{
    statsDock = new QDockWidget(QStringLiteral("Plot Statistics"), this);
    statsDock->setObjectName(QStringLiteral("statsDock"));
    statsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                           QDockWidget::DockWidgetFloatable);
    statsTable = new QTableWidget(statsDock);
    statsTable->setObjectName(QStringLiteral("statsTable"));
    statsTable->setAlternatingRowColors(true);
    statsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    statsTable->horizontalHeader()->setStretchLastSection(true);
    statsDock->setWidget(statsTable);
    addDockWidget(Qt::BottomDockWidgetArea, statsDock);
    splitDockWidget(exportDock, statsDock, Qt::Vertical);
    statsDock->hide();
    connect(statsDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            updateStatisticsTable();
    });
}

void CombinePlotWindow::updateStatisticsTable()
{
    readEntriesFromRows();
    // A hidden dock is filled when it is shown again or when the table is exported; an
    // emptied window has no statistics left either way.
    if (!statsDock->isVisibleTo(this) && !entries.empty())
        return;
    fillStatisticsTable();
}

void CombinePlotWindow::fillStatisticsTable()
{
    readEntriesFromRows();
    statsTable->clear();
    statsTable->setRowCount(0);
    statsTable->setColumnCount(0);
    if (entries.empty())
        return;
    std::vector<std::string> features;
    for (const CombineDatasetEntry& entry : entries) {
        if (!entry.xFeature.empty())
            appendUnique(features, entry.xFeature);
        if (!entry.yFeature.empty())
            appendUnique(features, entry.yFeature);
    }
    if (features.empty())
        return;
    const RTDCReader* labelReader = nullptr;
    for (const CombineDatasetEntry& entry : entries) {
        const DatasetEntry* dataset = host->findDatasetById(entry.datasetId);
        if (dataset && dataset->reader) {
            labelReader = dataset->reader.get();
            break;
        }
    }
    QStringList headers = {QStringLiteral("Dataset"), QStringLiteral("N")};
    for (const std::string& key : features) {
        const QString label = QString::fromStdString(labelReader ? labelReader->featureLabel(key) : key);
        for (const char* name : kStatisticNames)
            headers << label + QLatin1Char(' ') + QLatin1String(name);
    }
    statsTable->setColumnCount(headers.size());
    statsTable->setHorizontalHeaderLabels(headers);
    statsTable->setRowCount(static_cast<int>(entries.size()));
    for (size_t o = 0; o < entries.size(); ++o) {
        const CombineDatasetEntry& entry = entries[o];
        const DatasetEntry* dataset = host->findDatasetById(entry.datasetId);
        if (!dataset)
            continue;
        const int row = static_cast<int>(o);
        statsTable->setItem(row, 0, new QTableWidgetItem(dataset->displayName));
        const CombinePlotData plotted = collectPlotData(dataset, entry);
        // The events the row's plot draws (in "Same Plot" the one plot's axes): a logarithmic
        // axis leaves out those at or below zero, as the main window's statistics do.
        const auto [xMode, yMode] = scaleModesForPlot(displayMode == CombineSamePlot ? 0 : static_cast<int>(o));
        const size_t drawn = plotted.drawnCount(xMode, yMode);
        const bool someHidden = drawn < plotted.size();
        std::vector<double> drawnX;
        std::vector<double> drawnY;
        if (someHidden) {
            drawnX.reserve(drawn);
            drawnY.reserve(drawn);
            for (size_t i = 0; i < plotted.size(); ++i) {
                if (!plotted.drawn(i, xMode, yMode))
                    continue;
                drawnX.push_back((*plotted.x)[i]);
                drawnY.push_back((*plotted.y)[i]);
            }
        }
        statsTable->setItem(row, 1, new QTableWidgetItem(QString::number(drawn)));
        for (size_t k = 0; k < features.size(); ++k) {
            const std::vector<double>* values = nullptr;
            if (features[k] == entry.xFeature)
                values = someHidden ? &drawnX : plotted.x.get();
            else if (features[k] == entry.yFeature)
                values = someHidden ? &drawnY : plotted.y.get();
            if (!values || values->empty())
                continue;
            const SummaryStats stats = computeSummaryStats(*values);
            const double figures[] = {stats.mean, stats.sd, stats.q1, stats.median, stats.q3, stats.iqr};
            for (int j = 0; j < 6; ++j)
                statsTable->setItem(row, 2 + static_cast<int>(k) * 6 + j,
                                    new QTableWidgetItem(QString::number(figures[j], 'g', 6)));
        }
    }
    statsTable->resizeColumnsToContents();
}

void CombinePlotWindow::exportStatistics()
{
    // The file holds the statistics of the plots as they are now, also when the dock was
    // hidden (or never shown) while the datasets, filters or plot settings changed.
    if (rebuildPending())
        rebuildPlots();
    fillStatisticsTable();
    if (statsTable->rowCount() == 0)
        return;
    QString folder;
    if (!entries.empty()) {
        if (const DatasetEntry* dataset = host->findDatasetById(entries.front().datasetId))
            folder = QFileInfo(QString::fromStdString(dataset->filePath)).absolutePath();
    }
    QString selectedFilter;
    QString path = prompts().getSaveFileName(this, QStringLiteral("Export Plot Statistics"),
                                             folder + QStringLiteral("/plot_statistical_summary.tsv"),
                                             QStringLiteral("Tab-Separated Values (*.tsv);;All Files (*)"),
                                             &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureFilterExtension(path, selectedFilter);
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Text);
    if (ok) {
        QTextStream out(&file);
        // UTF-8 whatever the locale's codec ("µm²" in the headers).
        out.setCodec("UTF-8");
        const auto cellText = [](const QTableWidgetItem* item) { return item ? item->text() : QString(); };
        QStringList line;
        for (int c = 0; c < statsTable->columnCount(); ++c)
            line << cellText(statsTable->horizontalHeaderItem(c));
        out << line.join(QLatin1Char('\t')) << '\n';
        for (int r = 0; r < statsTable->rowCount(); ++r) {
            line.clear();
            for (int c = 0; c < statsTable->columnCount(); ++c)
                line << cellText(statsTable->item(r, c));
            out << line.join(QLatin1Char('\t')) << '\n';
        }
        out.flush();
        ok = out.status() == QTextStream::Ok && file.commit();
    }
    if (!ok)
        prompts().warning(this, QStringLiteral("Export Error"),
                          QStringLiteral("Could not write the file:\n%1").arg(QDir::toNativeSeparators(path)));
}

} // namespace Tervane3
