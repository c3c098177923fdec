// The calculations panel: page selector, pages with their request buttons, progress bar.
#include "calc/CalculationsDockWidget.h"

#include "calc/EModulusParams.h"
#include "core/Metadata.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {

const QString unknownValue = QStringLiteral("— (unknown)");

QString valueOr(const std::map<std::string, std::string>& section, const char* key,
                const QString& format)
{
    const auto it = section.find(key);
    if (it == section.end() || it->second.empty())
        return unknownValue;
    return format.arg(QString::fromStdString(it->second));
}

double metadataNumber(const std::map<std::string, std::string>& section, const char* key, double fallback)
{
    const auto it = section.find(key);
    if (it == section.end())
        return fallback;
    bool ok = false;
    const double value = QString::fromStdString(it->second).toDouble(&ok);
    return ok ? value : fallback;
}

} // namespace

CalculationsDockWidget::CalculationsDockWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    pageSelector = new QComboBox(this);
    pageSelector->setObjectName(QStringLiteral("calcPageSelector"));
    pages = new QStackedWidget(this);
    layout->addWidget(pageSelector);
    layout->addWidget(pages, 1);

    // Young's modulus.
    auto* emodPage = new QWidget(pages);
    auto* form = new QFormLayout(emodPage);
    form->setContentsMargins(0, 4, 0, 0);
    mediumLabel = new QLabel(QStringLiteral("—"), emodPage);
    channelWidthLabel = new QLabel(QStringLiteral("—"), emodPage);
    flowRateLabel = new QLabel(QStringLiteral("—"), emodPage);
    pixelSizeLabel = new QLabel(QStringLiteral("—"), emodPage);
    deformationSourceLabel = new QLabel(QStringLiteral("Deformation source:"), emodPage);
    deformationSourceCombo = new QComboBox(emodPage);
    deformationSourceCombo->setToolTip(
        QStringLiteral("Which deformation feature to map to Young's modulus. "
                       "Fourier-decomposition deformations skip the pixelation correction."));
    form->addRow(QStringLiteral("Medium:"), mediumLabel);
    form->addRow(QStringLiteral("Channel Width:"), channelWidthLabel);
    form->addRow(QStringLiteral("Flow Rate:"), flowRateLabel);
    form->addRow(QStringLiteral("Pixel Size:"), pixelSizeLabel);
    form->addRow(deformationSourceLabel, deformationSourceCombo);
    deformationSourceLabel->hide();
    deformationSourceCombo->hide();
    computeEmodulusButton = makeButton(QStringLiteral("Compute Young's Modulus"), "computeEmodulusButton");
    assessQualityButton = makeButton(QStringLiteral("Assess Quality"), "assessQualityButton");
    assessQualityButton->setToolTip(QStringLiteral("Evaluate how well the YM mapping works for this dataset"));
    form->addRow(computeEmodulusButton);
    form->addRow(assessQualityButton);
    pages->addWidget(emodPage);

    // Crosstalk compensation.
    crosstalkTable = new QTableWidget(this);
    crosstalkTable->setObjectName(QStringLiteral("crosstalkTable"));
    crosstalkTable->setSelectionMode(QAbstractItemView::SingleSelection);
    compensateCrosstalkButton = makeButton(QStringLiteral("Compensate Crosstalk"), "compensateCrosstalkButton");
    pages->addWidget(makePage(QString(), {crosstalkTable, compensateCrosstalkButton}));

    // Expert pages.
    refineFluorescenceButton = makeButton(QStringLiteral("Refine Fluorescence"), "refineFluorescenceButton");
    showRefinedTraceCheck = new QCheckBox(QStringLiteral("Show Refined Trace"), this);
    showRefinedTraceCheck->setChecked(true);
    showRefinedTraceCheck->setToolTip(QStringLiteral("Toggle between refined and original median trace display"));
    pages->addWidget(makePage(QString(), {refineFluorescenceButton, showRefinedTraceCheck}));

    computeFourierDeformButton = makeButton(QStringLiteral("Compute Fourier Deformation"), "computeFourierDeformButton");
    pages->addWidget(makePage(
        QStringLiteral("Decomposes each cell's contour into Fourier components and stores the "
                       "deformation of the odd and even components only. Requires segmentation masks."),
        {computeFourierDeformButton}));

    computeImageFeaturesButton = makeButton(QStringLiteral("Compute Image Features"), "computeImageFeaturesButton");
    pages->addWidget(makePage(
        QStringLiteral("Extracts brightness-distribution, texture (LBP), radial-profile, spectral and "
                       "focus features from each cell's image within its mask. Requires images and "
                       "segmentation masks."),
        {computeImageFeaturesButton}));

    computeDimReductionButton = makeButton(QStringLiteral("Compute"), "computeDimReductionButton");
    saveDimRedReferenceButton = makeButton(QStringLiteral("Save Reference..."), "saveDimRedReferenceButton");
    loadDimRedReferenceButton = makeButton(QStringLiteral("Load Reference..."), "loadDimRedReferenceButton");
    computeDimReductionButton->setEnabled(true);
    saveDimRedReferenceButton->setEnabled(true);
    loadDimRedReferenceButton->setEnabled(true);
    pages->addWidget(makePage(QString(), {computeDimReductionButton, saveDimRedReferenceButton,
                                          loadDimRedReferenceButton}));

    // The selector rows; the expert rows carry their page name as item data.
    pageSelector->addItem(QStringLiteral("Young's Modulus"));
    pageSelector->addItem(QStringLiteral("Crosstalk Compensation"));
    pageSelector->addItem(QStringLiteral("FL Refinement"));
    pageSelector->addItem(QStringLiteral("Deformation from Fourier Decomposition"),
                          QStringLiteral("Deformation from Fourier Decomposition"));
    pageSelector->addItem(QStringLiteral("Image Feature Extraction"),
                          QStringLiteral("Image Feature Extraction"));
    pageSelector->addItem(QStringLiteral("Dimension Reduction"), QStringLiteral("Dimension Reduction"));
    connect(pageSelector, QOverload<int>::of(&QComboBox::currentIndexChanged), pages,
            &QStackedWidget::setCurrentIndex);

    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("calcProgressBar"));
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(true);
    progress->hide();
    layout->addWidget(progress);

    connect(computeEmodulusButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeEmodulus);
    connect(assessQualityButton, &QPushButton::clicked, this, &CalculationsDockWidget::assessEmodQuality);
    connect(compensateCrosstalkButton, &QPushButton::clicked, this, &CalculationsDockWidget::compensateCrosstalk);
    connect(refineFluorescenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::refineFluorescence);
    connect(showRefinedTraceCheck, &QCheckBox::toggled, this, &CalculationsDockWidget::traceDisplayChanged);
    connect(computeFourierDeformButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeFourierDeform);
    connect(computeImageFeaturesButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeImageFeatures);
    connect(computeDimReductionButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeDimReduction);
    connect(saveDimRedReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::saveDimRedReference);
    connect(loadDimRedReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::loadDimRedReference);
}

QPushButton* CalculationsDockWidget::makeButton(const QString& text, const char* name)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setEnabled(false);
    return button;
}

QWidget* CalculationsDockWidget::makePage(const QString& text, const std::vector<QWidget*>& widgets)
{
    auto* page = new QWidget(pages);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    if (!text.isEmpty()) {
        auto* label = new QLabel(text, page);
        label->setWordWrap(true);
        label->setStyleSheet(QStringLiteral("color: gray; font-size: 10px;"));
        layout->addWidget(label);
    }
    for (QWidget* w : widgets) {
        w->setParent(page);
        layout->addWidget(w);
    }
    layout->addStretch();
    return page;
}

void CalculationsDockWidget::setExpertPagesVisible(bool visible)
{
    auto* model = qobject_cast<QStandardItemModel*>(pageSelector->model());
    auto* view = qobject_cast<QListView*>(pageSelector->view());
    for (int row = 0; row < pageSelector->count(); ++row) {
        const QString pageData = pageSelector->itemData(row).toString();
        const bool expert = pageSelector->itemText(row) == QLatin1String("FL Refinement")
                            || pageData == QLatin1String("Deformation from Fourier Decomposition")
                            || pageData == QLatin1String("Image Feature Extraction")
                            || pageData == QLatin1String("Dimension Reduction");
        if (!expert)
            continue;
        if (model && model->item(row))
            model->item(row)->setEnabled(visible);
        if (view)
            view->setRowHidden(row, !visible);
        if (!visible && pageSelector->currentIndex() == row)
            pageSelector->setCurrentIndex(0);
    }
}

void CalculationsDockWidget::setDeformationSources(bool expertMode, bool hasDeformFc, bool hasDeformOdd)
{
    const QString previous = deformationSourceCombo->currentData().toString();
    deformationSourceCombo->clear();
    deformationSourceCombo->addItem(QStringLiteral("Deformation"), QStringLiteral("deform"));
    if (hasDeformFc)
        deformationSourceCombo->addItem(QStringLiteral("Deformation from FC"), QStringLiteral("deform_fc"));
    if (hasDeformOdd)
        deformationSourceCombo->addItem(QStringLiteral("Deformation of odd FC only"), QStringLiteral("deform_odd"));
    const int index = deformationSourceCombo->findData(previous);
    deformationSourceCombo->setCurrentIndex(index >= 0 ? index : 0);
    const bool shown = expertMode && (hasDeformFc || hasDeformOdd);
    deformationSourceLabel->setVisible(shown);
    deformationSourceCombo->setVisible(shown);
}

void CalculationsDockWidget::setDataset(const DatasetEntry* dataset)
{
    if (dataset) {
        refineFluorescenceButton->setEnabled(true);
    } else {
        refineFluorescenceButton->setEnabled(false);
        compensateCrosstalkButton->setEnabled(false);
        computeEmodulusButton->setEnabled(false);
        computeFourierDeformButton->setEnabled(false);
    }
    refreshFeatures(dataset);
}

void CalculationsDockWidget::refreshFeatures(const DatasetEntry*)
{
}

void CalculationsDockWidget::setRefineFluorescenceEnabled(bool enabled)
{
    refineFluorescenceButton->setEnabled(enabled);
}

void CalculationsDockWidget::setCompensateCrosstalkEnabled(bool enabled)
{
    compensateCrosstalkButton->setEnabled(enabled);
}

void CalculationsDockWidget::setComputeEmodulusEnabled(bool enabled)
{
    computeEmodulusButton->setEnabled(enabled);
}

void CalculationsDockWidget::setAssessQualityEnabled(bool enabled)
{
    assessQualityButton->setEnabled(enabled);
}

void CalculationsDockWidget::setComputeFourierDeformEnabled(bool enabled)
{
    computeFourierDeformButton->setEnabled(enabled);
}

void CalculationsDockWidget::setComputeImageFeaturesEnabled(bool enabled)
{
    computeImageFeaturesButton->setEnabled(enabled);
}

void CalculationsDockWidget::setCrosstalkChannels(const std::vector<int>& channels)
{
    const QSignalBlocker blocker(crosstalkTable);
    const int n = static_cast<int>(channels.size());
    crosstalkTable->clear();
    crosstalkTable->setRowCount(n);
    crosstalkTable->setColumnCount(n);
    QStringList headers;
    for (int channel : channels)
        headers << QStringLiteral("FL-%1").arg(channel);
    crosstalkTable->setHorizontalHeaderLabels(headers);
    crosstalkTable->setVerticalHeaderLabels(headers);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            auto* item = new QTableWidgetItem(r == c ? QStringLiteral("1.0") : QStringLiteral("0.0"));
            item->setTextAlignment(Qt::AlignCenter);
            if (r == c) {
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                item->setBackground(QColor(230, 230, 230));
            }
            crosstalkTable->setItem(r, c, item);
        }
    }
}

void CalculationsDockWidget::setCrosstalkMatrix(const arma::mat& matrix, const std::vector<int>& channels)
{
    const auto n = static_cast<arma::uword>(channels.size());
    if (matrix.n_rows != n || matrix.n_cols != n || crosstalkTable->rowCount() != static_cast<int>(n))
        return;
    const QSignalBlocker blocker(crosstalkTable);
    for (arma::uword r = 0; r < n; ++r) {
        for (arma::uword c = 0; c < n; ++c) {
            if (r == c)
                continue;
            if (QTableWidgetItem* item = crosstalkTable->item(static_cast<int>(r), static_cast<int>(c)))
                item->setText(QString::number(matrix(r, c), 'g', 6));
        }
    }
}

void CalculationsDockWidget::showEmodulusMetadata(const Metadata& metadata, bool)
{
    mediumLabel->setText(valueOr(metadata.setup, "medium", QStringLiteral("%1")));
    channelWidthLabel->setText(valueOr(metadata.setup, "channel width", QStringLiteral("%1 µm")));
    flowRateLabel->setText(valueOr(metadata.setup, "flow rate", QStringLiteral("%1 µL/s")));
    pixelSizeLabel->setText(valueOr(metadata.imaging, "pixel size", QStringLiteral("%1 µm")));
}

bool CalculationsDockWidget::showRefinedTrace() const
{
    return showRefinedTraceCheck->isChecked();
}

EModulusParams CalculationsDockWidget::emodulusParams(const Metadata& metadata, bool datasetHasTemp) const
{
    // No temperature-source choice yet: the metadata temperature holds for every event, so
    // whether the dataset has the per-event feature does not matter here.
    static_cast<void>(datasetHasTemp);
    EModulusParams params;
    const auto medium = metadata.setup.find("medium");
    params.medium = EModulusParams::mediumFromText(medium != metadata.setup.end() ? medium->second : std::string());
    params.viscosityModel = EModulusParams::viscosityModelForMedium(params.medium);
    params.temperatureSource = EModulusParams::TemperatureMetadata;
    params.temperature = EModulusParams::temperatureFromMetadata(metadata.setup);
    params.channelWidth = metadataNumber(metadata.setup, "channel width", params.channelWidth);
    params.flowRate = metadataNumber(metadata.setup, "flow rate", params.flowRate);
    params.pixelSize = metadataNumber(metadata.imaging, "pixel size", params.pixelSize);
    return params;
}

} // namespace Tervane3
