// The dimension-reduction page of the calculations panel: method, which events define the
// axes, which datasets receive them, the UMAP settings, the input features, cluster labels
// and the reference buttons. It only collects settings; the runs belong to the main window,
// which reports back through setDimRedBusy and setReferenceText.
#include "calc/CalculationsDockWidget.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <set>

namespace Tervane3 {

namespace {

// Must match the values of DimRedFitMode.
constexpr int kFitUseReference = 2;

QComboBox* comboOf(QWidget* parent, const char* name, const std::vector<std::pair<QString, int>>& items)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    for (const auto& [text, data] : items)
        combo->addItem(text, data);
    return combo;
}

int comboData(const QComboBox* combo, int fallback)
{
    return combo ? combo->currentData().toInt() : fallback;
}

} // namespace

QWidget* CalculationsDockWidget::buildDimRedPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(4);

    auto* intro = new QLabel(QStringLiteral("Projects the selected features onto two components, stored as "
                                            "Dimension 1 and Dimension 2."),
                             page);
    intro->setWordWrap(true);
    intro->setStyleSheet(QStringLiteral("color: gray; font-size: 10px;"));
    layout->addWidget(intro);

    auto* choices = new QFormLayout;
    dimRedMethodCombo = comboOf(page, "dimRedMethodCombo",
                                {{QStringLiteral("PCA (linear)"), 0}, {QStringLiteral("UMAP (non-linear)"), 1}});
    dimRedMethodCombo->setToolTip(QStringLiteral(
        "PCA maximises variance and is deterministic. UMAP preserves local neighbourhoods and is better at exposing "
        "subpopulations, but is stochastic and its inter-cluster distances carry no meaning."));
    dimRedFitCombo = comboOf(page, "dimRedFitCombo",
                             {{QStringLiteral("This dataset"), 0},
                              {QStringLiteral("All datasets (pooled)"), 1},
                              {QStringLiteral("Use reference"), kFitUseReference}});
    dimRedFitCombo->setToolTip(QStringLiteral(
        "Which events define the axes. Fitting on this dataset keeps the axes driven by within-dataset structure; "
        "pooling lets differences between measurements shape them, which is what makes datasets comparable but can "
        "make the first component track the measurement rather than the biology. Use reference fits nothing and "
        "projects onto the axes of the reference just fitted or loaded, using its features and scaling."));
    dimRedApplyCombo = comboOf(page, "dimRedApplyCombo",
                               {{QStringLiteral("This dataset"), 0}, {QStringLiteral("All datasets"), 1}});
    dimRedApplyCombo->setToolTip(QStringLiteral(
        "Which datasets receive Dimension 1 / Dimension 2. All of them are projected onto the same fitted axes, so "
        "their values are comparable."));
    choices->addRow(QStringLiteral("Method:"), dimRedMethodCombo);
    choices->addRow(QStringLiteral("Fit on:"), dimRedFitCombo);
    choices->addRow(QStringLiteral("Apply to:"), dimRedApplyCombo);
    choices->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layout->addLayout(choices);

    umapGroup = new QGroupBox(QStringLiteral("UMAP Parameters"), page);
    umapGroup->setObjectName(QStringLiteral("umapGroup"));
    auto* umapForm = new QFormLayout(umapGroup);
    umapForm->setContentsMargins(4, 4, 4, 4);
    umapNeighborsSpin = new QSpinBox(umapGroup);
    umapNeighborsSpin->setObjectName(QStringLiteral("umapNeighborsSpin"));
    umapNeighborsSpin->setRange(2, 200);
    umapNeighborsSpin->setValue(15);
    umapNeighborsSpin->setToolTip(QStringLiteral("Size of the neighbourhood each event is fitted to. Small values "
                                                 "chase fine local detail; large values favour the overall shape."));
    umapMinDistSpin = new QDoubleSpinBox(umapGroup);
    umapMinDistSpin->setObjectName(QStringLiteral("umapMinDistSpin"));
    umapMinDistSpin->setRange(0.0, 0.99);
    umapMinDistSpin->setDecimals(2);
    umapMinDistSpin->setSingleStep(0.05);
    umapMinDistSpin->setValue(0.1);
    umapMinDistSpin->setToolTip(QStringLiteral(
        "How tightly events may pack together. Lower values give denser, more clearly separated clumps."));
    umapEpochsSpin = new QSpinBox(umapGroup);
    umapEpochsSpin->setObjectName(QStringLiteral("umapEpochsSpin"));
    umapEpochsSpin->setRange(0, 5000);
    umapEpochsSpin->setValue(0);
    umapEpochsSpin->setSpecialValueText(QStringLiteral("Auto"));
    umapEpochsSpin->setToolTip(QStringLiteral("Optimisation epochs. Auto uses 500 below 10,000 events and 200 above."));
    umapInitCombo = comboOf(umapGroup, "umapInitCombo", {{QStringLiteral("Spectral"), 0}, {QStringLiteral("Random"), 1}});
    umapInitCombo->setToolTip(QStringLiteral(
        "Where the optimisation starts. Spectral lays the events out along the neighbour graph's principal axes "
        "first, which makes the coarse arrangement of the clusters follow the data rather than the seed. Random "
        "starts from noise: local structure comes out the same, the overall layout does not. Spectral falls back to "
        "random on a graph it cannot decompose."));
    umapSeedSpin = new QSpinBox(umapGroup);
    umapSeedSpin->setObjectName(QStringLiteral("umapSeedSpin"));
    umapSeedSpin->setRange(0, 1000000);
    umapSeedSpin->setValue(42);
    umapSeedSpin->setToolTip(QStringLiteral("UMAP is stochastic. The same seed on the same data reproduces the same "
                                            "embedding; changing it gives a different \u2014 equally valid \u2014 one."));
    umapForm->addRow(QStringLiteral("Neighbours:"), umapNeighborsSpin);
    umapForm->addRow(QStringLiteral("Min. distance:"), umapMinDistSpin);
    umapForm->addRow(QStringLiteral("Epochs:"), umapEpochsSpin);
    umapForm->addRow(QStringLiteral("Initialisation:"), umapInitCombo);
    umapForm->addRow(QStringLiteral("Seed:"), umapSeedSpin);
    umapGroup->setVisible(false);
    layout->addWidget(umapGroup);

    dimRedFeatureGroup = new QGroupBox(QStringLiteral("Input Features"), page);
    dimRedFeatureGroup->setObjectName(QStringLiteral("dimRedFeatureGroup"));
    auto* featureLayout = new QVBoxLayout(dimRedFeatureGroup);
    featureLayout->setContentsMargins(4, 4, 4, 4);
    featureLayout->setSpacing(2);
    dimRedFeatureList = new QListWidget(dimRedFeatureGroup);
    dimRedFeatureList->setObjectName(QStringLiteral("dimRedFeatureList"));
    dimRedFeatureList->setToolTip(QStringLiteral(
        "Features used as input. Events with a NaN or Inf value in any selected feature are skipped."));
    featureLayout->addWidget(dimRedFeatureList);
    auto* selectRow = new QHBoxLayout;
    auto* selectAll = new QPushButton(QStringLiteral("Select All"), dimRedFeatureGroup);
    selectAll->setObjectName(QStringLiteral("dimRedSelectAllButton"));
    auto* selectNone = new QPushButton(QStringLiteral("Select None"), dimRedFeatureGroup);
    selectNone->setObjectName(QStringLiteral("dimRedSelectNoneButton"));
    selectRow->addWidget(selectAll);
    selectRow->addWidget(selectNone);
    selectRow->addStretch();
    featureLayout->addLayout(selectRow);
    layout->addWidget(dimRedFeatureGroup);

    clusterGroup = new QGroupBox(QStringLiteral("Label clusters (DBSCAN)"), page);
    clusterGroup->setObjectName(QStringLiteral("clusterGroup"));
    clusterGroup->setCheckable(true);
    clusterGroup->setChecked(false);
    clusterGroup->setToolTip(QStringLiteral(
        "Assign each event a cluster id from the embedding, stored as the feature \"DR cluster ID\". Events in no "
        "cluster are left unlabelled. When a reference is applied, its own clusters are used so the ids stay "
        "consistent across datasets."));
    auto* clusterForm = new QFormLayout(clusterGroup);
    clusterForm->setContentsMargins(4, 4, 4, 4);
    clusterMinPointsSpin = new QSpinBox(clusterGroup);
    clusterMinPointsSpin->setObjectName(QStringLiteral("clusterMinPointsSpin"));
    clusterMinPointsSpin->setRange(2, 500);
    clusterMinPointsSpin->setValue(10);
    clusterMinPointsSpin->setToolTip(QStringLiteral("Minimum neighbours for a point to seed a cluster. Larger values "
                                                    "give fewer, denser clusters and more unlabelled events."));
    clusterEpsAutoCheck = new QCheckBox(QStringLiteral("Auto"), clusterGroup);
    clusterEpsAutoCheck->setObjectName(QStringLiteral("clusterEpsAutoCheck"));
    clusterEpsAutoCheck->setChecked(true);
    clusterEpsAutoCheck->setToolTip(QStringLiteral("Choose the neighbourhood radius from the data (the knee of the "
                                                   "k-distance curve). Uncheck to set it by hand."));
    clusterEpsSpin = new QDoubleSpinBox(clusterGroup);
    clusterEpsSpin->setObjectName(QStringLiteral("clusterEpsSpin"));
    clusterEpsSpin->setRange(0.0, 1000000.0);
    clusterEpsSpin->setDecimals(3);
    clusterEpsSpin->setValue(0.0);
    clusterEpsSpin->setSpecialValueText(QStringLiteral("\u2014"));
    clusterEpsSpin->setEnabled(false);
    clusterEpsSpin->setToolTip(QStringLiteral("Neighbourhood radius in embedding units. Two events closer than this "
                                              "are neighbours. Only used when Auto is off."));
    auto* epsRow = new QHBoxLayout;
    epsRow->addWidget(clusterEpsAutoCheck);
    epsRow->addWidget(clusterEpsSpin, 1);
    clusterForm->addRow(QStringLiteral("Min. points:"), clusterMinPointsSpin);
    clusterForm->addRow(QStringLiteral("Radius (eps):"), epsRow);
    layout->addWidget(clusterGroup);

    computeDimReductionButton = makeButton(QStringLiteral("Compute Dimension Reduction"), "computeDimReductionButton");
    computeDimReductionButton->setParent(page);
    layout->addWidget(computeDimReductionButton);

    auto* referenceGroup = new QGroupBox(QStringLiteral("Reference"), page);
    auto* referenceLayout = new QVBoxLayout(referenceGroup);
    referenceLayout->setContentsMargins(4, 4, 4, 4);
    auto* buttonRow = new QHBoxLayout;
    saveDimRedReferenceButton = makeButton(QStringLiteral("Save Reference\u2026"), "saveDimRedReferenceButton");
    saveDimRedReferenceButton->setParent(referenceGroup);
    saveDimRedReferenceButton->setToolTip(QStringLiteral("Save the fitted projection for reuse."));
    loadDimRedReferenceButton = makeButton(QStringLiteral("Load Reference\u2026"), "loadDimRedReferenceButton");
    loadDimRedReferenceButton->setParent(referenceGroup);
    loadDimRedReferenceButton->setEnabled(true);
    loadDimRedReferenceButton->setToolTip(
        QStringLiteral("Load a saved projection. Apply it with Fit on: Use reference."));
    buttonRow->addWidget(saveDimRedReferenceButton);
    buttonRow->addWidget(loadDimRedReferenceButton);
    referenceLayout->addLayout(buttonRow);
    referenceLabel = new QLabel(QStringLiteral("No reference fitted or loaded yet."));
    referenceLabel->setObjectName(QStringLiteral("dimRedReferenceLabel"));
    referenceLabel->setWordWrap(true);
    referenceLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    referenceLabel->setStyleSheet(QStringLiteral("color: gray; font-size: 10px;"));
    QFont small = referenceLabel->font();
    small.setPixelSize(10);
    referenceLabel->setFont(small);
    referenceScroll = new QScrollArea(referenceGroup);
    referenceScroll->setObjectName(QStringLiteral("dimRedReferenceScroll"));
    referenceScroll->setFrameShape(QFrame::NoFrame);
    referenceScroll->setWidgetResizable(true);
    referenceScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    referenceScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    referenceScroll->setWidget(referenceLabel);
    referenceScroll->setMaximumHeight(2 * QFontMetrics(small).lineSpacing() + 6);
    referenceLayout->addWidget(referenceScroll);
    layout->addWidget(referenceGroup);
    layout->addStretch();

    connect(dimRedMethodCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CalculationsDockWidget::updateDimRedControls);
    connect(dimRedFitCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CalculationsDockWidget::updateDimRedControls);
    connect(dimRedFeatureList, &QListWidget::itemChanged, this, &CalculationsDockWidget::updateDimRedComputeButton);
    connect(selectAll, &QPushButton::clicked, this, [this] { setAllDimRedFeaturesChecked(true); });
    connect(selectNone, &QPushButton::clicked, this, [this] { setAllDimRedFeaturesChecked(false); });
    connect(clusterEpsAutoCheck, &QCheckBox::toggled, clusterEpsSpin, [this](bool checked) {
        clusterEpsSpin->setEnabled(!checked);
    });
    connect(computeDimReductionButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeDimReduction);
    connect(saveDimRedReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::saveDimRedReference);
    connect(loadDimRedReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::loadDimRedReference);
    setUseReferenceEnabled(false);
    return page;
}

void CalculationsDockWidget::refreshFeatures(const DatasetEntry* dataset)
{
    refreshDimRedFeatures(dataset);
}

int CalculationsDockWidget::dimRedMethod() const
{
    return comboData(dimRedMethodCombo, 0);
}

int CalculationsDockWidget::dimRedFitMode() const
{
    return comboData(dimRedFitCombo, 0);
}

int CalculationsDockWidget::dimRedApplyMode() const
{
    return comboData(dimRedApplyCombo, 0);
}

std::vector<std::string> CalculationsDockWidget::selectedDimRedFeatures() const
{
    std::vector<std::string> keys;
    if (!dimRedFeatureList)
        return keys;
    for (int row = 0; row < dimRedFeatureList->count(); ++row) {
        const QListWidgetItem* item = dimRedFeatureList->item(row);
        if (item->checkState() == Qt::Checked)
            keys.push_back(item->data(Qt::UserRole).toString().toStdString());
    }
    return keys;
}

UmapParams CalculationsDockWidget::umapParams() const
{
    UmapParams params;
    if (umapNeighborsSpin)
        params.nNeighbors = umapNeighborsSpin->value();
    if (umapMinDistSpin)
        params.minDist = umapMinDistSpin->value();
    if (umapEpochsSpin)
        params.nEpochs = umapEpochsSpin->value();
    if (umapSeedSpin)
        params.seed = umapSeedSpin->value();
    params.init = comboData(umapInitCombo, UmapInitSpectral);
    params.spread = 1.0;
    params.learningRate = 1.0;
    params.repulsionStrength = 1.0;
    params.negativeSampleRate = 5;
    return params;
}

bool CalculationsDockWidget::clusterLabellingEnabled() const
{
    return clusterGroup && clusterGroup->isChecked();
}

int CalculationsDockWidget::clusterMinPoints() const
{
    return clusterMinPointsSpin ? clusterMinPointsSpin->value() : 10;
}

bool CalculationsDockWidget::clusterEpsAuto() const
{
    return clusterEpsAutoCheck ? clusterEpsAutoCheck->isChecked() : true;
}

double CalculationsDockWidget::clusterEps() const
{
    return clusterEpsSpin ? clusterEpsSpin->value() : 0.0;
}

void CalculationsDockWidget::setDimRedBusy(bool busy)
{
    dimRedBusy = busy;
    dimRedFeatureList->setEnabled(!busy);
    dimRedFitCombo->setEnabled(!busy);
    dimRedApplyCombo->setEnabled(!busy);
    umapGroup->setEnabled(!busy);
    loadDimRedReferenceButton->setEnabled(!busy);
    saveDimRedReferenceButton->setEnabled(!busy && hasDimRedReference);
    updateDimRedControls();
}

void CalculationsDockWidget::setReferenceText(const QString& text, bool hasReference)
{
    hasDimRedReference = hasReference;
    referenceLabel->setText(text.isEmpty() ? QStringLiteral("No reference fitted or loaded yet.") : text);
    saveDimRedReferenceButton->setEnabled(hasReference && !dimRedBusy);
    setUseReferenceEnabled(hasReference);
    updateDimRedComputeButton();
}

void CalculationsDockWidget::setUseReferenceEnabled(bool enabled)
{
    const int row = dimRedFitCombo->findData(kFitUseReference);
    if (auto* model = qobject_cast<QStandardItemModel*>(dimRedFitCombo->model()); model && model->item(row))
        model->item(row)->setEnabled(enabled);
    if (!enabled && dimRedFitCombo->currentIndex() == row)
        dimRedFitCombo->setCurrentIndex(0);
}

void CalculationsDockWidget::refreshDimRedFeatures(const DatasetEntry* dataset)
{
    std::set<QString> checked;
    for (int row = 0; row < dimRedFeatureList->count(); ++row) {
        const QListWidgetItem* item = dimRedFeatureList->item(row);
        if (item->checkState() == Qt::Checked)
            checked.insert(item->data(Qt::UserRole).toString());
    }
    {
        const QSignalBlocker blocker(dimRedFeatureList);
        dimRedFeatureList->clear();
        if (dataset && dataset->reader) {
            for (const std::string& name : dataset->reader->featureNames()) {
                if (!isScalarFeatureName(name) || name == "dim_1" || name == "dim_2")
                    continue;
                const QString key = QString::fromStdString(name);
                auto* item = new QListWidgetItem(QString::fromStdString(dataset->reader->featureLabel(name)),
                                                 dimRedFeatureList);
                item->setData(Qt::UserRole, key);
                item->setToolTip(key);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(checked.count(key) ? Qt::Checked : Qt::Unchecked);
            }
        }
    }
    updateDimRedComputeButton();
}

void CalculationsDockWidget::setAllDimRedFeaturesChecked(bool checked)
{
    {
        const QSignalBlocker blocker(dimRedFeatureList);
        for (int row = 0; row < dimRedFeatureList->count(); ++row)
            dimRedFeatureList->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    updateDimRedComputeButton();
}

void CalculationsDockWidget::updateDimRedComputeButton()
{
    bool enabled = false;
    if (!dimRedBusy) {
        if (dimRedFitMode() == kFitUseReference)
            enabled = hasDimRedReference;
        else
            enabled = selectedDimRedFeatures().size() >= 2;
    }
    computeDimReductionButton->setEnabled(enabled);
}

void CalculationsDockWidget::updateDimRedControls()
{
    const bool useReference = dimRedFitMode() == kFitUseReference;
    const bool editable = !useReference && !dimRedBusy;
    dimRedMethodCombo->setEnabled(editable);
    dimRedFeatureGroup->setEnabled(editable);
    clusterGroup->setEnabled(editable);
    umapGroup->setVisible(!useReference && dimRedMethod() == 1);
    updateDimRedComputeButton();
}

} // namespace Tervane3
