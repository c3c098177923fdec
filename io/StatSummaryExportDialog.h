// The modal dialog of the statistical summary export: scope (active dataset or all), the
// scalar features, the statistics (with a chosen percentile) and the output file. Reads the
// datasets only while it is built.
#pragma once

#include "io/StatSummaryOptions.h"

#include <QDialog>

#include <memory>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Tervane3 {

struct DatasetEntry;
class FeatureChecklist;

class StatSummaryExportDialog : public QDialog
{
    Q_OBJECT

public:
    // `previous` may be null (first export of the run).
    StatSummaryExportDialog(const DatasetEntry* active,
                            const std::vector<std::unique_ptr<DatasetEntry>>* datasets, QWidget* parent,
                            const StatSummaryOptions* previous);

    StatSummaryOptions options() const;
    // True when the output path is the one last chosen with "Browse..." (whose dialog has
    // asked about replacing an existing file already).
    bool outputConfirmed() const;

private slots:
    void onBrowse();
    void onSelectAll();
    void onDeselectAll();
    void onScopeChanged();

private:
    void updateFeatureVisibility();

    FeatureChecklist* featureList = nullptr;
    QRadioButton* scopeCurrentRadio = nullptr;
    QRadioButton* scopeAllRadio = nullptr;
    QCheckBox* nCheck = nullptr;
    QCheckBox* medianCheck = nullptr;
    QCheckBox* iqrCheck = nullptr;
    QCheckBox* meanCheck = nullptr;
    QCheckBox* sdCheck = nullptr;
    QCheckBox* semCheck = nullptr;
    QCheckBox* q1Check = nullptr;
    QCheckBox* q3Check = nullptr;
    QCheckBox* minCheck = nullptr;
    QCheckBox* maxCheck = nullptr;
    QCheckBox* cvCheck = nullptr;
    QCheckBox* skewnessCheck = nullptr;
    QCheckBox* percentileCheck = nullptr;
    QDoubleSpinBox* percentileSpin = nullptr;
    QLineEdit* outputEdit = nullptr;
    QPushButton* browseButton = nullptr;
    QString browsedPath;
};

} // namespace Tervane3
