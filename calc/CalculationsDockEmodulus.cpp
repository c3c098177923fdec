// The Young's-modulus page: the shown dataset's medium with its one viscosity model, the
// viscosity (computed, or typed under "Manual"), the temperature and where it comes from,
// the measurement's channel width, flow rate and pixel size, and the records the main window
// builds its Young's-modulus runs and the quality assessment from.
#include "calc/CalculationsDockWidget.h"

#include "app/ElidedLabel.h"
#include "calc/EModulusParams.h"
#include "core/Metadata.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include <cmath>
#include <optional>

namespace Tervane3 {

namespace {

const QString dash = QStringLiteral("—");
const QString micrometres = QStringLiteral(" µm");
const QString microlitresPerSecond = QStringLiteral(" µL/s");

// The fallbacks of a measurement value that is missing, not a number or not above zero.
constexpr double fallbackChannelWidth = 20.0;
constexpr double fallbackFlowRate = 0.04;
constexpr double fallbackPixelSize = 0.34;

std::optional<double> positiveNumber(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0.0)
        return std::nullopt;
    return value;
}

std::optional<double> metadataNumber(const std::map<std::string, std::string>& section, const char* key)
{
    const auto it = section.find(key);
    if (it == section.end())
        return std::nullopt;
    return positiveNumber(QString::fromStdString(it->second));
}

// The number a label shows before its unit suffix.
std::optional<double> labelNumber(const QLabel* label, const QString& suffix)
{
    QString text = label->text();
    if (text.endsWith(suffix))
        text.chop(suffix.size());
    return positiveNumber(text);
}

double valueOrFallback(const std::optional<double>& value, double fallback, const QString& what,
                       const QString& unit, QStringList* notes)
{
    if (value)
        return *value;
    if (notes)
        notes->append(QStringLiteral("%1 unknown, %2 %3 assumed").arg(what, QString::number(fallback), unit));
    return fallback;
}

// "%1 µm" and the like in the general format with six significant digits, or a dash.
QString quantityText(const std::optional<double>& value, const QString& suffix)
{
    return value ? QString::number(*value, 'g', 6) + suffix : dash;
}

void setSpinEditable(QDoubleSpinBox* spin, bool editable)
{
    spin->setReadOnly(!editable);
    spin->setButtonSymbols(editable ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
}

} // namespace

QWidget* CalculationsDockWidget::buildEmodulusPage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    form->setContentsMargins(0, 4, 0, 0);

    // Texts from the file: elided, so that no value widens the dock and the window.
    mediumLabel = new ElidedLabel(dash, page);
    mediumLabel->setObjectName(QStringLiteral("mediumLabel"));
    viscosityCombo = new QComboBox(page);
    viscosityCombo->setObjectName(QStringLiteral("viscosityModelCombo"));
    viscositySpin = new QDoubleSpinBox(page);
    viscositySpin->setObjectName(QStringLiteral("viscositySpin"));
    viscositySpin->setRange(0.001, 1000.0);
    viscositySpin->setDecimals(3);
    viscositySpin->setValue(1.0);
    viscositySpin->setSuffix(QStringLiteral(" mPa·s"));
    setSpinEditable(viscositySpin, false);

    temperatureSpin = new QDoubleSpinBox(page);
    temperatureSpin->setObjectName(QStringLiteral("temperatureSpin"));
    temperatureSpin->setRange(0.0, 50.0);
    temperatureSpin->setDecimals(1);
    temperatureSpin->setValue(23.0);
    temperatureSpin->setSuffix(QStringLiteral(" °C"));
    manualTemperatureRadio = new QRadioButton(QStringLiteral("Manual"), page);
    manualTemperatureRadio->setObjectName(QStringLiteral("manualTemperatureRadio"));
    metaTemperatureRadio = new QRadioButton(QStringLiteral("Meta"), page);
    metaTemperatureRadio->setObjectName(QStringLiteral("metaTemperatureRadio"));
    eventTemperatureRadio = new QRadioButton(QStringLiteral("Event"), page);
    eventTemperatureRadio->setObjectName(QStringLiteral("eventTemperatureRadio"));
    temperatureSourceGroup = new QButtonGroup(page);
    temperatureSourceGroup->setExclusive(true);
    temperatureSourceGroup->addButton(manualTemperatureRadio);
    temperatureSourceGroup->addButton(metaTemperatureRadio);
    temperatureSourceGroup->addButton(eventTemperatureRadio);
    metaTemperatureRadio->setChecked(true);
    // The spin box above its three sources: side by side they do not fit a narrow dock.
    auto* temperatureRow = new QVBoxLayout;
    temperatureRow->setContentsMargins(0, 0, 0, 0);
    temperatureRow->setSpacing(2);
    temperatureRow->addWidget(temperatureSpin);
    auto* sources = new QHBoxLayout;
    sources->setContentsMargins(0, 0, 0, 0);
    sources->addWidget(manualTemperatureRadio);
    sources->addWidget(metaTemperatureRadio);
    sources->addWidget(eventTemperatureRadio);
    sources->addStretch();
    temperatureRow->addLayout(sources);

    channelWidthLabel = new ElidedLabel(dash, page);
    channelWidthLabel->setObjectName(QStringLiteral("channelWidthLabel"));
    flowRateLabel = new ElidedLabel(dash, page);
    flowRateLabel->setObjectName(QStringLiteral("flowRateLabel"));
    pixelSizeLabel = new ElidedLabel(dash, page);
    pixelSizeLabel->setObjectName(QStringLiteral("pixelSizeLabel"));
    deformationSourceLabel = new QLabel(QStringLiteral("Deformation source:"), page);
    deformationSourceCombo = new QComboBox(page);
    deformationSourceCombo->setObjectName(QStringLiteral("deformationSourceCombo"));
    deformationSourceCombo->setToolTip(
        QStringLiteral("Which deformation feature to map to Young's modulus. "
                       "Fourier-decomposition deformations skip the pixelation correction."));

    emodulusApplyToAllCheck = makeApplyToAllBox("emodulusApplyToAll");
    computeEmodulusButton = makeButton(QStringLiteral("Compute Young's Modulus"), "computeEmodulusButton");
    assessQualityButton = makeButton(QStringLiteral("Assess Quality"), "assessQualityButton");
    assessQualityButton->setToolTip(QStringLiteral("Evaluate how well the YM mapping works for this dataset"));
    useFilteredDataCheck = new QCheckBox(QStringLiteral("Use filtered data"), page);
    useFilteredDataCheck->setObjectName(QStringLiteral("useFilteredData"));
    useFilteredDataCheck->setChecked(true);
    useFilteredDataCheck->setToolTip(QStringLiteral("Evaluate only filtered events (excluding YM-based filters)"));

    form->addRow(QStringLiteral("Medium:"), mediumLabel);
    form->addRow(QStringLiteral("Viscosity:"), viscosityCombo);
    form->addRow(QStringLiteral("η [mPa·s]:"), viscositySpin);
    form->addRow(QStringLiteral("Temperature:"), temperatureRow);
    form->addRow(QStringLiteral("Channel Width:"), channelWidthLabel);
    form->addRow(QStringLiteral("Flow Rate:"), flowRateLabel);
    form->addRow(QStringLiteral("Pixel Size:"), pixelSizeLabel);
    form->addRow(deformationSourceLabel, deformationSourceCombo);
    form->addRow(emodulusApplyToAllCheck);
    form->addRow(computeEmodulusButton);
    form->addRow(assessQualityButton);
    form->addRow(useFilteredDataCheck);
    deformationSourceLabel->hide();
    deformationSourceCombo->hide();

    connect(viscosityCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int) { onViscosityModelChanged(); });
    connect(viscositySpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double value) {
        // Only the user's typing reaches here: the program sets the spin box with its
        // signals blocked.
        if (viscosityCombo->currentData().toInt() == EModulusParams::ModelManual && viscosityCombo->count() > 0)
            manualViscosityValue = value;
    });
    connect(temperatureSourceGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
            [this](QAbstractButton*) { onTemperatureSourceChanged(); });
    connect(temperatureSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this](double) { updateViscosityDisplay(); });
    connect(computeEmodulusButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeEmodulus);
    connect(assessQualityButton, &QPushButton::clicked, this, &CalculationsDockWidget::assessEmodQuality);
    return page;
}

void CalculationsDockWidget::setMedium(int mediumCode)
{
    currentMedium = mediumCode;
    {
        const QSignalBlocker blocker(viscosityCombo);
        viscosityCombo->clear();
        switch (EModulusParams::viscosityModelForMedium(mediumCode)) {
        case EModulusParams::ModelHerold2017:
            viscosityCombo->addItem(QStringLiteral("Herold-2017"), int(EModulusParams::ModelHerold2017));
            break;
        case EModulusParams::ModelKestin1978:
            viscosityCombo->addItem(QStringLiteral("Kestin-1978"), int(EModulusParams::ModelKestin1978));
            break;
        default:
            viscosityCombo->addItem(QStringLiteral("Manual"), int(EModulusParams::ModelManual));
            break;
        }
    }
    onViscosityModelChanged();
}

void CalculationsDockWidget::onViscosityModelChanged()
{
    const bool manual = viscosityCombo->count() > 0
                        && viscosityCombo->currentData().toInt() == EModulusParams::ModelManual;
    setSpinEditable(viscositySpin, manual);
    if (manual) {
        const QSignalBlocker blocker(viscositySpin);
        viscositySpin->setValue(manualViscosityValue);
        return;
    }
    updateViscosityDisplay();
}

void CalculationsDockWidget::updateViscosityDisplay()
{
    if (viscosityCombo->count() == 0)
        return;
    const int model = viscosityCombo->currentData().toInt();
    if (model == EModulusParams::ModelManual)
        return;
    EModulusParams params;
    params.lutId = 0;
    params.viscosityModel = model;
    params.medium = currentMedium;
    params.temperature = temperatureSpin->value();
    params.channelWidth = labelNumber(channelWidthLabel, micrometres).value_or(fallbackChannelWidth);
    params.flowRate = labelNumber(flowRateLabel, microlitresPerSecond).value_or(fallbackFlowRate);
    const double viscosity = params.viscosity(params.temperature);
    if (!std::isfinite(viscosity))
        return;
    const QSignalBlocker blocker(viscositySpin);
    viscositySpin->setValue(viscosity);
}

void CalculationsDockWidget::showEmodulusMetadata(const Metadata& metadata, bool datasetHasTemp)
{
    channelWidthLabel->setText(quantityText(metadataNumber(metadata.setup, "channel width"), micrometres));
    flowRateLabel->setText(quantityText(metadataNumber(metadata.setup, "flow rate"), microlitresPerSecond));
    pixelSizeLabel->setText(quantityText(metadataNumber(metadata.imaging, "pixel size"), micrometres));

    const auto found = metadata.setup.find("medium");
    const std::string text = found != metadata.setup.end() ? found->second : std::string();
    const int code = EModulusParams::mediumFromText(text);
    switch (code) {
    case EModulusParams::MediumTavrisol:
        mediumLabel->setText(QStringLiteral("Tavrisol"));
        break;
    case EModulusParams::MediumTavrisolB:
        mediumLabel->setText(QStringLiteral("TavrisolB"));
        break;
    case EModulusParams::MediumWater:
        mediumLabel->setText(QStringLiteral("Water"));
        break;
    case EModulusParams::MediumMcPbs083:
        mediumLabel->setText(QStringLiteral("0.83% MC-PBS"));
        break;
    default:
        mediumLabel->setText((text.empty() ? dash : QString::fromStdString(text)) + QStringLiteral(" (unknown)"));
        break;
    }
    setMedium(code);

    metaTemperature = EModulusParams::temperatureFromMetadata(metadata.setup);
    eventTemperatureRadio->setEnabled(datasetHasTemp);
    if (!datasetHasTemp && eventTemperatureRadio->isChecked())
        metaTemperatureRadio->setChecked(true);
    onTemperatureSourceChanged();
}

void CalculationsDockWidget::clearEmodulusMetadata()
{
    for (QLabel* label : {mediumLabel, channelWidthLabel, flowRateLabel, pixelSizeLabel})
        label->setText(dash);
    currentMedium = EModulusParams::MediumOther;
    {
        const QSignalBlocker blocker(viscosityCombo);
        viscosityCombo->clear();
    }
    setSpinEditable(viscositySpin, false);
    {
        const QSignalBlocker blocker(viscositySpin);
        viscositySpin->setValue(1.0);
    }
    metaTemperature = 23.0;
    eventTemperatureRadio->setEnabled(true);
    onTemperatureSourceChanged();
    deformationSourceCombo->clear();
    showDeformationSources = false;
    deformationSourceLabel->hide();
    deformationSourceCombo->hide();
}

void CalculationsDockWidget::onTemperatureSourceChanged()
{
    if (eventTemperatureRadio->isChecked()) {
        temperatureSpin->hide();
    } else {
        temperatureSpin->show();
        if (metaTemperatureRadio->isChecked()) {
            setSpinEditable(temperatureSpin, false);
            temperatureSpin->setValue(metaTemperature);
        } else {
            setSpinEditable(temperatureSpin, true);
        }
    }
    updateViscosityDisplay();
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
    const int index = deformationSourceCombo->findData(previous, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    deformationSourceCombo->setCurrentIndex(index >= 0 ? index : 0);
    showDeformationSources = expertMode && (hasDeformFc || hasDeformOdd);
    deformationSourceLabel->setVisible(showDeformationSources);
    deformationSourceCombo->setVisible(showDeformationSources);
}

std::string CalculationsDockWidget::deformationSource() const
{
    if (showDeformationSources) {
        const QString column = deformationSourceCombo->currentData().toString();
        if (!column.isEmpty())
            return column.toStdString();
    }
    return "deform";
}

EModulusParams CalculationsDockWidget::emodulusParams(const Metadata& metadata, bool datasetHasTemp,
                                                      QStringList* notes) const
{
    EModulusParams params;
    params.channelWidth = valueOrFallback(metadataNumber(metadata.setup, "channel width"), fallbackChannelWidth,
                                          QStringLiteral("channel width"), QStringLiteral("µm"), notes);
    params.flowRate = valueOrFallback(metadataNumber(metadata.setup, "flow rate"), fallbackFlowRate,
                                      QStringLiteral("flow rate"), QStringLiteral("µL/s"), notes);
    params.pixelSize = valueOrFallback(metadataNumber(metadata.imaging, "pixel size"), fallbackPixelSize,
                                       QStringLiteral("pixel size"), QStringLiteral("µm"), notes);

    const auto found = metadata.setup.find("medium");
    params.medium = EModulusParams::mediumFromText(found != metadata.setup.end() ? found->second : std::string());
    params.viscosityModel = EModulusParams::viscosityModelForMedium(params.medium);
    if (params.viscosityModel == EModulusParams::ModelManual)
        params.manualViscosity = manualViscosityValue;

    if (eventTemperatureRadio->isChecked() && datasetHasTemp) {
        params.temperatureSource = EModulusParams::TemperaturePerEvent;
        params.temperature = EModulusParams::fallbackTemperature;
    } else if (metaTemperatureRadio->isChecked()) {
        params.temperatureSource = EModulusParams::TemperatureMetadata;
        params.temperature = EModulusParams::temperatureFromMetadata(metadata.setup);
    } else {
        params.temperatureSource = EModulusParams::TemperatureManual;
        params.temperature = temperatureSpin->value();
    }
    return params;
}

EModulusParams CalculationsDockWidget::emodulusParamsFromUi(QStringList* notes) const
{
    EModulusParams params;
    params.medium = currentMedium;
    params.viscosityModel = viscosityCombo->count() > 0 ? viscosityCombo->currentData().toInt()
                                                        : EModulusParams::viscosityModelForMedium(currentMedium);
    params.manualViscosity = viscositySpin->value();
    params.temperature = temperatureSpin->value();
    if (eventTemperatureRadio->isChecked())
        params.temperatureSource = EModulusParams::TemperaturePerEvent;
    else if (metaTemperatureRadio->isChecked())
        params.temperatureSource = EModulusParams::TemperatureMetadata;
    else
        params.temperatureSource = EModulusParams::TemperatureManual;
    params.channelWidth = valueOrFallback(labelNumber(channelWidthLabel, micrometres), fallbackChannelWidth,
                                          QStringLiteral("channel width"), QStringLiteral("µm"), notes);
    params.flowRate = valueOrFallback(labelNumber(flowRateLabel, microlitresPerSecond), fallbackFlowRate,
                                      QStringLiteral("flow rate"), QStringLiteral("µL/s"), notes);
    params.pixelSize = valueOrFallback(labelNumber(pixelSizeLabel, micrometres), fallbackPixelSize,
                                       QStringLiteral("pixel size"), QStringLiteral("µm"), notes);
    params.deformFeature = deformationSource();
    params.pixelationCorrection = params.deformFeature == "deform";
    return params;
}

bool CalculationsDockWidget::emodulusApplyToAll() const
{
    return emodulusApplyToAllCheck->isChecked();
}

bool CalculationsDockWidget::useFilteredData() const
{
    return useFilteredDataCheck->isChecked();
}

} // namespace Tervane3
