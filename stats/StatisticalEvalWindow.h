// The statistical evaluation window: the user groups open datasets into categories (one
// CategoryPanel each), picks features and settings, and runs the comparison of the
// categories with rank tests, the ROC analysis and the distribution explorer on three tabs.
//
// Runs synchronously on the GUI thread; only the per-dataset work of a run (filter
// evaluation, summaries) is spread over threads, on filters and columns taken beforehand.
// The window keeps dataset ids, never datasets: it looks them up through the host on every
// use. Its members live in these files:
//   StatisticalEvalWindow.cpp             construction, docks, menus, reactions, categories
//   StatisticalEvalWindowValues.cpp       dataset values, common features, ID detection, pairing
//   StatisticalEvalWindowAnalysis.cpp     the test line and the comparison run
//   StatisticalEvalWindowExplanation.cpp  the explanation panel
//   StatisticalEvalWindowRoc.cpp          the ROC analysis
//   StatisticalEvalWindowDistribution.cpp the distribution explorer
//   StatisticalEvalWindowExport.cpp       the six exports
//   StatisticalEvalWindowSession.cpp      the session state
#pragma once

#include "stats/RocAnalysis.h"

#include <QJsonObject>
#include <QMainWindow>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDockWidget;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QVBoxLayout;
class QwtPlot;

namespace Tervane3 {

// Sizes the columns to their contents; the last one takes the remaining width while the
// table is wide enough, so that no header is cut off.
void fitTableColumns(QTableWidget* table);

class CategoryPanel;
class DatasetHost;
struct DatasetEntry;

class StatisticalEvalWindow : public QMainWindow
{
    Q_OBJECT

public:
    StatisticalEvalWindow(DatasetHost* host, QWidget* parent = nullptr);

    // Re-reads the categories' datasets and features (feature list, test line, warnings);
    // computes no values. Called after every main plot update and finished calculation.
    void refresh();
    void renameDataset(int datasetId, const QString& name);
    void removeDataset(int datasetId);

    // The window's state for the session file; datasets are referred to by their position
    // in the given list.
    QJsonObject toJson(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const;
    void restoreFromJson(const QJsonObject& state, const std::map<int, int>& sessionIndexToDatasetId);

    // The summary of the feature over the dataset's passing events (current summary kind);
    // NaN when the dataset is gone, has no reader or no finite value passes.
    double computeDatasetValue(int datasetId, const std::string& featureKey) const;
    // One value per replicate identifier of the category, ascending identifier (grouped by
    // replicate when an entry has a biological replicate, else by ID); identifiers without
    // a value are left out.
    std::vector<double> collectCategoryValues(int categoryIndex, const std::string& featureKey, bool useRms) const;
    // The scalar features every open dataset of every category has, ascending.
    std::vector<std::string> commonScalarFeatures() const;
    // Reads ID, BR and TR numbers from the entries' names (else their sample texts) into
    // the panels; tells how many were found.
    void autoDetectIds();
    // Every category holds entries, all with an ID above 0, and the same set of IDs.
    bool pairingIdsConsistent() const;
    bool isMatchedDesign() const;
    void updateExplanationText();

    const std::vector<CategoryPanel*>& categories() const { return categoryPanels; }
    const std::vector<QwtPlot*>& comparisonPlots() const { return analysisPlots; }
    const std::vector<QwtPlot*>& rocPlotList() const { return rocPlots; }
    const std::vector<QwtPlot*>& distributionPlotList() const { return distributionPlots; }

signals:
    // Emitted by closeEvent with the window itself; the main window then drops and deletes it.
    void windowClosed(StatisticalEvalWindow* window);

public slots:
    void onAddCategory();
    // Takes the panel out of the list and the layout at once and deletes it later (the
    // request comes from the panel's own button).
    void onDeleteCategoryPanel(CategoryPanel* panel);
    void onCategoryChanged();
    void onRunAnalysis();
    void onRunROC();
    void onRunDistribution();
    void exportPlots();
    void exportTable();
    void exportROCPlots();
    void exportROCTable();
    void exportROCData();
    void exportDistributionPlots();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void buildMenus();
    CategoryPanel* addCategoryPanel(const QString& name, bool removable);
    void connectPanel(CategoryPanel* panel);
    void onReplicatesToggled(bool checked);
    void onDesignChanged(int index);
    void onTabChanged(int index);
    void updateAutoDetectVisibility();
    // The feature keys of the selected items, in the order the list reports them.
    std::vector<std::string> selectedFeatureKeys() const;
    // The display label of a feature from the first category whose first entry is open.
    QString featureLabel(const std::string& key) const;
    // The smallest number of distinct positive IDs held by one category (categories
    // without any ignored); 0 when none has one.
    int smallestIdCount() const;
    // The number of tests the comparison corrects for: per selected feature the two-category
    // test, or with three or more categories one test per pair. The explanation, the question
    // before a run and the result table all take it from here.
    int plannedTestCount() const;
    // The summary values of the entries of the categories (all when none are given) for the
    // features: result[i][entry][feature] for category categories[i], computed once per
    // distinct dataset; NaN where a dataset has no value.
    std::vector<std::vector<std::vector<double>>> categoryValues(const std::vector<std::string>& featureKeys,
                                                                 std::vector<int> categories = {}) const;
    void replacePlots(std::vector<QwtPlot*>& plots, QVBoxLayout* layout, std::vector<QwtPlot*> replacement);
    // The display texts of the selected features, in the order of selectedFeatureKeys.
    QStringList selectedFeatureLabels() const;
    // Save dialog with the filter list; the chosen name completed with the selected filter's
    // extension, empty when cancelled.
    QString askSaveFileName(const QString& caption, const QString& filter);
    void exportPlotList(const std::vector<QwtPlot*>& plots, const QString& caption, double plotHeightMm);
    void exportTableWidget(const QTableWidget* table, const QString& caption);
    // The visibility parts of the replicates and design reactions, without their runs.
    void applyIdDisplay();

    DatasetHost* host = nullptr;
    QDockWidget* categoriesDock = nullptr;
    QVBoxLayout* categoryLayout = nullptr;
    QWidget* categoryContainer = nullptr;
    std::vector<CategoryPanel*> categoryPanels;
    QDockWidget* settingsDock = nullptr;
    QListWidget* featureList = nullptr;
    QWidget* summaryRow = nullptr;
    QComboBox* summaryCombo = nullptr;
    QWidget* designGroup = nullptr;
    QComboBox* designCombo = nullptr;
    QPushButton* autoDetectButton = nullptr;
    QCheckBox* replicatesCheck = nullptr;
    QCheckBox* connectionLinesCheck = nullptr;
    QDoubleSpinBox* alphaSpin = nullptr;
    QComboBox* correctionCombo = nullptr;
    QPushButton* runAnalysisButton = nullptr;
    QPushButton* runRocButton = nullptr;
    QPushButton* updateDistributionsButton = nullptr;
    QWidget* distributionModeRow = nullptr;
    QComboBox* distributionModeCombo = nullptr;
    QLabel* testInfoLabel = nullptr;
    QLabel* explanationLabel = nullptr;
    QTabWidget* tabs = nullptr;
    QTableWidget* resultTable = nullptr;
    QVBoxLayout* analysisPlotLayout = nullptr;
    std::vector<QwtPlot*> analysisPlots;
    QTableWidget* rocTable = nullptr;
    QVBoxLayout* rocPlotLayout = nullptr;
    std::vector<QwtPlot*> rocPlots;
    QVBoxLayout* distributionPlotLayout = nullptr;
    std::vector<QwtPlot*> distributionPlots;
    int nextCategoryIndex = 2;

    // The curves the ROC tab shows, for the curve-data export: one per plotted feature,
    // then the combination; with the classes and the kind of values they were made from.
    struct RocCurveRecord
    {
        QString label;
        RocResult roc;
    };
    std::vector<RocCurveRecord> rocCurves;
    QString rocCurveHeading;
};

} // namespace Tervane3
