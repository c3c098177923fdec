// The control panel of the derived-feature calculations: one page per calculation behind a
// page selector, the progress bar all calculations share with its Cancel button, the request
// signals the main window connects, and the getters from which the main window reads a
// calculation's settings when a request arrives. It computes nothing itself.
//
// The pages are built by one function each and live in their own source files:
//   CalculationsDockWidget.cpp       frame, selector, progress, buttons, Fourier and image pages
//   CalculationsDockEmodulus.cpp     Young's-modulus page and its parameter records
//   CalculationsDockFluorescence.cpp crosstalk table and fluorescence-refinement page
//   CalculationsDockDimRed.cpp       dimension-reduction page
// GUI thread only; the records the getters return are plain values a worker gets by copy.
#pragma once

#include "calc/TraceFilterSettings.h"
#include "dimred/Umap.h"

#include <QStringList>
#include <QWidget>

#include <armadillo>

#include <string>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
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
    ~CalculationsDockWidget() override;

    // ---- frame ------------------------------------------------------------------------
    // Shows or hides (and enables or disables) the expert pages in the page selector; a
    // hidden current page gives way to the first page. The pages keep working.
    void setExpertPagesVisible(bool visible);

    // Shared by every calculation. The Cancel button beside it is shown and hidden with it.
    QProgressBar* progressBar() const { return progress; }

    // With a dataset enables "Refine Fluorescence"; with null disables the refinement,
    // crosstalk, Young's-modulus, "Assess Quality" and Fourier buttons ("Compute Image
    // Features" keeps its state). Then refreshFeatures.
    void setDataset(const DatasetEntry* dataset);
    // Rebuilds the dimension-reduction input list for the dataset (may be null).
    void refreshFeatures(const DatasetEntry* dataset);

    void setRefineFluorescenceEnabled(bool enabled);
    void setCompensateCrosstalkEnabled(bool enabled);
    void setComputeEmodulusEnabled(bool enabled);
    void setAssessQualityEnabled(bool enabled);
    void setComputeFourierDeformEnabled(bool enabled);
    void setComputeImageFeaturesEnabled(bool enabled);

    // ---- Young's modulus ----------------------------------------------------------------
    // The medium code (EModulusParams::Medium) of the shown dataset: the viscosity combo
    // offers the one model of that medium; "Manual" makes the viscosity editable and shows
    // the value typed under it, the other models show their computed viscosity.
    void setMedium(int mediumCode);
    int medium() const { return currentMedium; }
    // The dataset's medium, channel width, flow rate, pixel size and metadata temperature
    // on the page; "Event" is offered only when the dataset has the feature "temp".
    void showEmodulusMetadata(const Metadata& metadata, bool datasetHasTemp);
    // The page as built, with nothing of a dataset on it (dashes, no viscosity model, the
    // default temperature, no deformation sources); the user's own temperature source and
    // manual values stay. For a window whose datasets have all closed.
    void clearEmodulusMetadata();
    // setup "temperature" of the shown dataset when above 0 °C, else 23.0.
    double metadataTemperature() const { return metaTemperature; }
    // Refills the deformation-source choice; the row is shown only in expert mode with an
    // extra source.
    void setDeformationSources(bool expertMode, bool hasDeformFc, bool hasDeformOdd);
    bool deformationSourcesShown() const { return showDeformationSources; }
    // The chosen deformation column while the row is shown, else "deform".
    std::string deformationSource() const;

    // The Young's-modulus inputs of one dataset from its metadata plus the page's choices
    // (temperature source, the viscosity typed under "Manual"). Missing, non-numeric or
    // non-positive channel width, flow rate and pixel size fall back to 20 µm, 0.04 µL/s
    // and 0.34 µm; each fallback used is described in notes when given.
    EModulusParams emodulusParams(const Metadata& metadata, bool datasetHasTemp,
                                  QStringList* notes = nullptr) const;
    // The same record from what the page shows for the active dataset, with the same
    // fallbacks for values the page shows as unknown.
    EModulusParams emodulusParamsFromUi(QStringList* notes = nullptr) const;
    bool emodulusApplyToAll() const;
    // "Use filtered data" of the quality assessment.
    bool useFilteredData() const;

    // ---- crosstalk compensation -----------------------------------------------------------
    // An n x n table for n channels: identity, diagonal read-only and grey.
    void setCrosstalkChannels(const std::vector<int>& channels);
    // Writes the off-diagonal cells when the matrix is n x n for the n channels.
    void setCrosstalkMatrix(const arma::mat& matrix, const std::vector<int>& channels);
    // The table as a matrix: diagonal 1, a cell that holds no number counts as 0.
    arma::mat crosstalkMatrix() const;
    bool crosstalkApplyToAll() const;

    // ---- fluorescence refinement, Fourier deformation, image features ---------------------
    TraceFilterSettings traceFilterSettings() const;
    bool refinementApplyToAll() const;
    bool showRefinedTrace() const;
    bool fourierApplyToAll() const;
    bool imageFeaturesApplyToAll() const;

    // ---- dimension reduction ---------------------------------------------------------------
    // The page's settings (defaults when the page has no such widget): method (0 PCA,
    // 1 UMAP), fit mode (0 this dataset, 1 pooled, 2 use reference), apply mode (0 this
    // dataset, 1 all), the checked feature keys in list order, and the UMAP and cluster
    // settings.
    int dimRedMethod() const;
    int dimRedFitMode() const;
    int dimRedApplyMode() const;
    std::vector<std::string> selectedDimRedFeatures() const;
    UmapParams umapParams() const;
    bool clusterLabellingEnabled() const;
    int clusterMinPoints() const;
    bool clusterEpsAuto() const;
    double clusterEps() const;
    // A fit or apply run starts (true) or has finished (false): the inputs of a run are
    // locked while it lasts.
    void setDimRedBusy(bool busy);
    bool dimRedIsBusy() const { return dimRedBusy; }
    // The reference line under the buttons (empty: "No reference fitted or loaded yet.") and
    // whether a reference exists (saving, "Use reference").
    void setReferenceText(const QString& text, bool hasReference);
    void setUseReferenceEnabled(bool enabled);
    // Refills the input list from the dataset's features, keeping the check marks of the
    // keys it still has.
    void refreshDimRedFeatures(const DatasetEntry* dataset);
    void setAllDimRedFeaturesChecked(bool checked);
    void updateDimRedComputeButton();
    void updateDimRedControls();

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
    // The Cancel button beside the progress bar was clicked.
    void cancelCalculation();

private:
    QPushButton* makeButton(const QString& text, const char* name);
    // A page with a vertical layout (margins 0, 4, 0, 0), an optional grey explanation and
    // the widgets, then a stretch.
    QWidget* makePage(const QString& text, const std::vector<QWidget*>& widgets, int spacing = -1);
    QCheckBox* makeApplyToAllBox(const char* name);

    QWidget* buildEmodulusPage();
    QWidget* buildCrosstalkPage();
    QWidget* buildRefinementPage();
    QWidget* buildFourierPage();
    QWidget* buildImageFeaturesPage();
    QWidget* buildDimRedPage();

    void updateViscosityDisplay();
    void onTemperatureSourceChanged();
    void onViscosityModelChanged();

    // Frame.
    QComboBox* pageSelector = nullptr;
    QStackedWidget* pages = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* cancelButton = nullptr;

    // Young's-modulus page.
    QLabel* mediumLabel = nullptr;
    QComboBox* viscosityCombo = nullptr;
    QDoubleSpinBox* viscositySpin = nullptr;
    QDoubleSpinBox* temperatureSpin = nullptr;
    QButtonGroup* temperatureSourceGroup = nullptr;
    QRadioButton* manualTemperatureRadio = nullptr;
    QRadioButton* metaTemperatureRadio = nullptr;
    QRadioButton* eventTemperatureRadio = nullptr;
    QLabel* channelWidthLabel = nullptr;
    QLabel* flowRateLabel = nullptr;
    QLabel* pixelSizeLabel = nullptr;
    QLabel* deformationSourceLabel = nullptr;
    QComboBox* deformationSourceCombo = nullptr;
    QCheckBox* emodulusApplyToAllCheck = nullptr;
    QPushButton* computeEmodulusButton = nullptr;
    QPushButton* assessQualityButton = nullptr;
    QCheckBox* useFilteredDataCheck = nullptr;
    int currentMedium = 4;
    double metaTemperature = 23.0;
    bool showDeformationSources = false;
    // The viscosity typed under "Manual", kept apart from the computed values the spin box
    // shows for the other models, so one dataset's computed viscosity never becomes the
    // next Manual dataset's.
    double manualViscosityValue = 1.0;

    // Crosstalk page.
    QTableWidget* crosstalkTable = nullptr;
    QCheckBox* crosstalkApplyToAllCheck = nullptr;
    QPushButton* compensateCrosstalkButton = nullptr;

    // Fluorescence-refinement page.
    struct TraceFilterRow
    {
        QCheckBox* enabled = nullptr;
        QSpinBox* halfWindow = nullptr;
    };
    TraceFilterRow hampel1Row;
    TraceFilterRow hampel2Row;
    TraceFilterRow medianRow;
    TraceFilterRow rollingMeanRow;
    TraceFilterRow savitzkyGolayRow;
    QDoubleSpinBox* flMaxThresholdSpin = nullptr;
    QCheckBox* refinementApplyToAllCheck = nullptr;
    QPushButton* refineFluorescenceButton = nullptr;
    QCheckBox* showRefinedTraceCheck = nullptr;

    // Fourier-deformation and image-feature pages.
    QCheckBox* fourierApplyToAllCheck = nullptr;
    QPushButton* computeFourierDeformButton = nullptr;
    QCheckBox* imageFeaturesApplyToAllCheck = nullptr;
    QPushButton* computeImageFeaturesButton = nullptr;

    // Dimension-reduction page.
    QComboBox* dimRedMethodCombo = nullptr;
    QComboBox* dimRedFitCombo = nullptr;
    QComboBox* dimRedApplyCombo = nullptr;
    QGroupBox* umapGroup = nullptr;
    QSpinBox* umapNeighborsSpin = nullptr;
    QDoubleSpinBox* umapMinDistSpin = nullptr;
    QSpinBox* umapEpochsSpin = nullptr;
    QComboBox* umapInitCombo = nullptr;
    QSpinBox* umapSeedSpin = nullptr;
    QGroupBox* dimRedFeatureGroup = nullptr;
    QListWidget* dimRedFeatureList = nullptr;
    QGroupBox* clusterGroup = nullptr;
    QSpinBox* clusterMinPointsSpin = nullptr;
    QCheckBox* clusterEpsAutoCheck = nullptr;
    QDoubleSpinBox* clusterEpsSpin = nullptr;
    QPushButton* computeDimReductionButton = nullptr;
    QPushButton* saveDimRedReferenceButton = nullptr;
    QPushButton* loadDimRedReferenceButton = nullptr;
    QLabel* referenceLabel = nullptr;
    QScrollArea* referenceScroll = nullptr;
    bool dimRedBusy = false;
    bool hasDimRedReference = false;
};

} // namespace Tervane3
