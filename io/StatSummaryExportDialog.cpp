// The statistical summary dialog (see StatSummaryExportDialog.h).
#include "io/StatSummaryExportDialog.h"

#include "app/DatasetEntry.h"
#include "app/Prompts.h"
#include "io/FeatureChoice.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <tuple>

namespace Tervane3 {

namespace {

QCheckBox* statisticBox(const QString& text, const char* name, bool checked, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

} // namespace

StatSummaryExportDialog::StatSummaryExportDialog(const DatasetEntry* active,
                                                 const std::vector<std::unique_ptr<DatasetEntry>>* datasets,
                                                 QWidget* parent, const StatSummaryOptions* previous)
    : QDialog(parent)
{
    static const std::vector<std::unique_ptr<DatasetEntry>> none;
    const auto& list = datasets ? *datasets : none;
    setWindowTitle(QStringLiteral("Export Statistical Summary"));
    setMinimumWidth(450);
    auto* layout = new QVBoxLayout(this);

    std::tie(scopeCurrentRadio, scopeAllRadio) = addScopeGroup(this, layout, list.size());
    connect(scopeCurrentRadio, &QRadioButton::toggled, this, &StatSummaryExportDialog::onScopeChanged);

    featureList = new FeatureChecklist(active, list, 200, this);
    connect(featureList->selectAllButton(), &QPushButton::clicked, this, &StatSummaryExportDialog::onSelectAll);
    connect(featureList->deselectAllButton(), &QPushButton::clicked, this, &StatSummaryExportDialog::onDeselectAll);
    layout->addWidget(featureList);

    auto* statsGroup = new QGroupBox(QStringLiteral("Statistics"), this);
    auto* statsLayout = new QVBoxLayout(statsGroup);
    nCheck = statisticBox(QStringLiteral("N"), "nCheck", true, statsGroup);
    medianCheck = statisticBox(QStringLiteral("Median"), "medianCheck", true, statsGroup);
    iqrCheck = statisticBox(QStringLiteral("IQR"), "iqrCheck", true, statsGroup);
    q1Check = statisticBox(QStringLiteral("Q1 (25th)"), "q1Check", false, statsGroup);
    q3Check = statisticBox(QStringLiteral("Q3 (75th)"), "q3Check", false, statsGroup);
    percentileCheck = statisticBox(QStringLiteral("Percentile:"), "percentileCheck", false, statsGroup);
    percentileSpin = new QDoubleSpinBox(statsGroup);
    percentileSpin->setObjectName(QStringLiteral("percentileSpin"));
    percentileSpin->setRange(0.0, 100.0);
    percentileSpin->setDecimals(1);
    percentileSpin->setValue(95.0);
    percentileSpin->setSuffix(QStringLiteral("%"));
    percentileSpin->setMaximumWidth(90);
    percentileSpin->setEnabled(false);
    connect(percentileCheck, &QCheckBox::toggled, percentileSpin, &QWidget::setEnabled);
    meanCheck = statisticBox(QStringLiteral("Mean"), "meanCheck", false, statsGroup);
    sdCheck = statisticBox(QStringLiteral("SD"), "sdCheck", false, statsGroup);
    semCheck = statisticBox(QStringLiteral("SEM"), "semCheck", false, statsGroup);
    cvCheck = statisticBox(QStringLiteral("CV (%)"), "cvCheck", false, statsGroup);
    minCheck = statisticBox(QStringLiteral("Min"), "minCheck", false, statsGroup);
    maxCheck = statisticBox(QStringLiteral("Max"), "maxCheck", false, statsGroup);
    skewnessCheck = statisticBox(QStringLiteral("Skewness"), "skewnessCheck", false, statsGroup);
    const std::vector<std::vector<QWidget*>> rows = {
        {nCheck},
        {medianCheck, iqrCheck},
        {q1Check, q3Check, percentileCheck, percentileSpin},
        {meanCheck, sdCheck, semCheck, cvCheck},
        {minCheck, maxCheck, skewnessCheck},
    };
    for (const auto& row : rows) {
        auto* rowLayout = new QHBoxLayout;
        for (QWidget* widget : row)
            rowLayout->addWidget(widget);
        rowLayout->addStretch();
        statsLayout->addLayout(rowLayout);
    }
    layout->addWidget(statsGroup);

    auto* outputGroup = new QGroupBox(QStringLiteral("Output File"), this);
    auto* outputLayout = new QHBoxLayout(outputGroup);
    outputEdit = new QLineEdit(outputGroup);
    outputEdit->setObjectName(QStringLiteral("outputEdit"));
    if (active)
        outputEdit->setText(QFileInfo(QString::fromStdString(active->filePath)).absolutePath()
                            + QStringLiteral("/statistical_summary.tsv"));
    browseButton = new QPushButton(QStringLiteral("Browse..."), outputGroup);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    connect(browseButton, &QPushButton::clicked, this, &StatSummaryExportDialog::onBrowse);
    outputLayout->addWidget(outputEdit, 1);
    outputLayout->addWidget(browseButton);
    layout->addWidget(outputGroup);

    addExportButtons(this, layout);

    if (previous) {
        (previous->allDatasets && scopeAllRadio->isEnabled() ? scopeAllRadio : scopeCurrentRadio)->setChecked(true);
        featureList->setCheckedKeys(previous->features);
        const std::pair<QCheckBox*, bool> flags[] = {
            {nCheck, previous->n},       {medianCheck, previous->median}, {iqrCheck, previous->iqr},
            {meanCheck, previous->mean}, {sdCheck, previous->sd},         {semCheck, previous->sem},
            {q1Check, previous->q1},     {q3Check, previous->q3},         {minCheck, previous->min},
            {maxCheck, previous->max},   {cvCheck, previous->cv},         {skewnessCheck, previous->skewness},
            {percentileCheck, previous->percentile}};
        for (const auto& [box, on] : flags)
            box->setChecked(on);
        percentileSpin->setValue(previous->percentileValue);
        if (!previous->outputPath.empty())
            outputEdit->setText(QString::fromStdString(previous->outputPath));
        updateFeatureVisibility();
    }
}

StatSummaryOptions StatSummaryExportDialog::options() const
{
    StatSummaryOptions o;
    o.features = featureList->checkedKeys();
    o.allDatasets = scopeAllRadio->isChecked();
    o.outputPath = outputEdit->text().toStdString();
    o.n = nCheck->isChecked();
    o.median = medianCheck->isChecked();
    o.iqr = iqrCheck->isChecked();
    o.mean = meanCheck->isChecked();
    o.sd = sdCheck->isChecked();
    o.sem = semCheck->isChecked();
    o.q1 = q1Check->isChecked();
    o.q3 = q3Check->isChecked();
    o.min = minCheck->isChecked();
    o.max = maxCheck->isChecked();
    o.cv = cvCheck->isChecked();
    o.skewness = skewnessCheck->isChecked();
    o.percentile = percentileCheck->isChecked();
    o.percentileValue = percentileSpin->value();
    return o;
}

bool StatSummaryExportDialog::outputConfirmed() const
{
    return !browsedPath.isEmpty() && outputEdit->text() == browsedPath;
}

void StatSummaryExportDialog::updateFeatureVisibility()
{
    featureList->setOthersShown(scopeAllRadio->isChecked());
}

void StatSummaryExportDialog::onBrowse()
{
    const QString path = prompts().getSaveFileName(this, QStringLiteral("Save Statistical Summary"),
                                                   outputEdit->text(),
                                                   QStringLiteral("TSV files (*.tsv);;All files (*)"));
    if (path.isEmpty())
        return;
    outputEdit->setText(path);
    browsedPath = path;
}

void StatSummaryExportDialog::onSelectAll()
{
    featureList->selectShown();
}

void StatSummaryExportDialog::onDeselectAll()
{
    featureList->deselectAll();
}

void StatSummaryExportDialog::onScopeChanged()
{
    updateFeatureVisibility();
}

} // namespace Tervane3
