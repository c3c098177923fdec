// The control panel of the derived-feature calculations: a page per calculation behind a
// page selector, the progress bar all calculations share, and the request signals the main
// window connects. It computes nothing itself.
//
// This is the frame's first version: pages, buttons, signals, setters and the crosstalk
// table; the parameter controls of the pages are still to come.
#pragma once

#include <QWidget>

#include <armadillo>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;

namespace Tervane3 {

struct DatasetEntry;
struct EModulusParams;
struct Metadata;

class CalculationsDockWidget : public QWidget
{
    Q_OBJECT

public:
    explicit CalculationsDockWidget(QWidget* parent = nullptr);

    // Shows or hides (and enables or disables) the expert pages in the page selector; a
    // hidden current page gives way to the first page.
    void setExpertPagesVisible(bool visible);

    QProgressBar* progressBar() const { return progress; }

    // Refills the deformation-source choice; shown only in expert mode with an extra source.
    void setDeformationSources(bool expertMode, bool hasDeformFc, bool hasDeformOdd);

    // With a dataset enables "Refine Fluorescence"; with null disables the compute buttons.
    void setDataset(const DatasetEntry* dataset);
    // Rebuilds the dimension-reduction input list for the dataset (no such page yet).
    void refreshFeatures(const DatasetEntry* dataset);

    void setRefineFluorescenceEnabled(bool enabled);
    void setCompensateCrosstalkEnabled(bool enabled);
    void setComputeEmodulusEnabled(bool enabled);
    void setAssessQualityEnabled(bool enabled);
    void setComputeFourierDeformEnabled(bool enabled);
    void setComputeImageFeaturesEnabled(bool enabled);

    // An n x n table for n channels: identity, diagonal read-only.
    void setCrosstalkChannels(const std::vector<int>& channels);
    // Writes the off-diagonal cells when the matrix is n x n for the n channels.
    void setCrosstalkMatrix(const arma::mat& matrix, const std::vector<int>& channels);

    // The dataset's medium, channel width, flow rate and pixel size on the Young's-modulus page.
    void showEmodulusMetadata(const Metadata& metadata, bool datasetHasTemp);
    // The Young's-modulus inputs of one dataset: its setup "medium", "channel width", "flow
    // rate" and imaging "pixel size" with the page's choices (until the page has parameter
    // controls: the medium's viscosity model and the metadata temperature). Reads no file.
    EModulusParams emodulusParams(const Metadata& metadata, bool datasetHasTemp) const;

    bool showRefinedTrace() const;

signals:
    void refineFluorescence();
    void traceDisplayChanged();
    void compensateCrosstalk();
    void computeEmodulus();
    void assessEmodQuality();
    void computeFourierDeform();
    void computeImageFeatures();
    void computeDimReduction();
    void saveDimRedReference();
    void loadDimRedReference();
    void runInference();

private:
    QWidget* makePage(const QString& text, const std::vector<QWidget*>& widgets);
    QPushButton* makeButton(const QString& text, const char* name);

    QComboBox* pageSelector = nullptr;
    QStackedWidget* pages = nullptr;
    QProgressBar* progress = nullptr;

    QLabel* mediumLabel = nullptr;
    QLabel* channelWidthLabel = nullptr;
    QLabel* flowRateLabel = nullptr;
    QLabel* pixelSizeLabel = nullptr;
    QLabel* deformationSourceLabel = nullptr;
    QComboBox* deformationSourceCombo = nullptr;
    QPushButton* computeEmodulusButton = nullptr;
    QPushButton* assessQualityButton = nullptr;

    QTableWidget* crosstalkTable = nullptr;
    QPushButton* compensateCrosstalkButton = nullptr;

    QPushButton* refineFluorescenceButton = nullptr;
    QCheckBox* showRefinedTraceCheck = nullptr;

    QPushButton* computeFourierDeformButton = nullptr;
    QPushButton* computeImageFeaturesButton = nullptr;

    QPushButton* computeDimReductionButton = nullptr;
    QPushButton* saveDimRedReferenceButton = nullptr;
    QPushButton* loadDimRedReferenceButton = nullptr;
};

} // namespace Tervane3
