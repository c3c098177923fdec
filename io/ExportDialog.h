// The modal dialog that sets up an export of filtered events: scope (active dataset or
// all), format (.rtdc, TSV, AVI) with the video options, scalar features, images, masks and
// traces, and the output folder. Reads the datasets only while it is built.
#pragma once

#include "io/ExportOptions.h"

#include <QDialog>

#include <memory>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Tervane3 {

struct DatasetEntry;
class FeatureChecklist;

class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    // `active` is a loaded dataset; `datasets` every open dataset (the active one included);
    // `previous` the options of the last accepted dialog, or null.
    ExportDialog(const DatasetEntry* active, const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                 bool expertMode, QWidget* parent = nullptr, const ExportOptions* previous = nullptr);
    ~ExportDialog() override;

    ExportOptions options() const;

private slots:
    void onBrowseDir();
    void onSelectAll();
    void onDeselectAll();
    void onScopeChanged();
    void onFormatChanged();

private:
    void updateFormatState();
    void setNonScalarAvailability(QCheckBox* box, bool inCurrent, bool inAny);
    void restore(const ExportOptions& previous);

    FeatureChecklist* featureList = nullptr;
    QCheckBox* imagesCheck = nullptr;
    QCheckBox* masksCheck = nullptr;
    QCheckBox* tracesCheck = nullptr;
    QRadioButton* scopeCurrentRadio = nullptr;
    QRadioButton* scopeAllRadio = nullptr;
    QRadioButton* formatRtdcRadio = nullptr;
    QRadioButton* formatTsvRadio = nullptr;
    QRadioButton* formatAviRadio = nullptr;
    QGroupBox* aviOptionsGroup = nullptr;
    QRadioButton* aviMjpegRadio = nullptr;
    QRadioButton* aviRawRadio = nullptr;
    QCheckBox* skipDuplicatesCheck = nullptr;
    QCheckBox* reanalysisCheck = nullptr;
    bool expertMode = false;
    bool currentHasImage = false;
    bool currentHasMask = false;
    bool currentHasTraces = false;
    bool anyHasImage = false;
    bool anyHasMask = false;
    bool anyHasTraces = false;
    QCheckBox* customDirCheck = nullptr;
    QLineEdit* directoryEdit = nullptr;
    QPushButton* browseButton = nullptr;
};

} // namespace Tervane3
