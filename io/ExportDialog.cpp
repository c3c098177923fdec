// The export dialog (see ExportDialog.h).
#include "io/ExportDialog.h"

#include "app/DatasetEntry.h"
#include "app/Prompts.h"
#include "core/RTDCReader.h"
#include "io/FeatureChoice.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <tuple>

namespace Tervane3 {

ExportDialog::ExportDialog(const DatasetEntry* active, const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                           bool expert, QWidget* parent, const ExportOptions* previous)
    : QDialog(parent)
    , expertMode(expert)
{
    setWindowTitle(QStringLiteral("Export Data"));
    setMinimumWidth(400);
    auto* layout = new QVBoxLayout(this);

    std::tie(scopeCurrentRadio, scopeAllRadio) = addScopeGroup(this, layout, datasets.size());
    connect(scopeCurrentRadio, &QRadioButton::toggled, this, &ExportDialog::onScopeChanged);

    auto* formatGroup = new QGroupBox(QStringLiteral("Export Format"), this);
    auto* formatLayout = new QHBoxLayout(formatGroup);
    formatRtdcRadio = new QRadioButton(QStringLiteral(".rtdc (HDF5)"), formatGroup);
    formatRtdcRadio->setObjectName(QStringLiteral("formatRtdcRadio"));
    formatRtdcRadio->setChecked(true);
    formatTsvRadio = new QRadioButton(QStringLiteral(".tsv (Tab-separated)"), formatGroup);
    formatTsvRadio->setObjectName(QStringLiteral("formatTsvRadio"));
    formatAviRadio = new QRadioButton(QStringLiteral(".avi (Video)"), formatGroup);
    formatAviRadio->setObjectName(QStringLiteral("formatAviRadio"));
    formatLayout->addWidget(formatRtdcRadio);
    formatLayout->addWidget(formatTsvRadio);
    formatLayout->addWidget(formatAviRadio);
    formatLayout->addStretch();
    layout->addWidget(formatGroup);

    aviOptionsGroup = new QGroupBox(QStringLiteral("AVI Options"), this);
    aviOptionsGroup->setObjectName(QStringLiteral("aviOptionsGroup"));
    auto* aviLayout = new QVBoxLayout(aviOptionsGroup);
    auto* codecRow = new QHBoxLayout;
    aviMjpegRadio = new QRadioButton(QStringLiteral("MJPEG (compressed)"), aviOptionsGroup);
    aviMjpegRadio->setObjectName(QStringLiteral("aviMjpegRadio"));
    aviMjpegRadio->setChecked(true);
    aviRawRadio = new QRadioButton(QStringLiteral("Raw (uncompressed)"), aviOptionsGroup);
    aviRawRadio->setObjectName(QStringLiteral("aviRawRadio"));
    codecRow->addWidget(aviMjpegRadio);
    codecRow->addWidget(aviRawRadio);
    codecRow->addStretch();
    aviLayout->addLayout(codecRow);
    skipDuplicatesCheck = new QCheckBox(
        QStringLiteral("Skip duplicate frames (exclude multiple events from the same video frame)"), aviOptionsGroup);
    skipDuplicatesCheck->setObjectName(QStringLiteral("skipDuplicatesCheck"));
    aviLayout->addWidget(skipDuplicatesCheck);
    reanalysisCheck = new QCheckBox(QStringLiteral("For reanalysis (prepend 100 frames of the average image)"),
                                    aviOptionsGroup);
    reanalysisCheck->setObjectName(QStringLiteral("reanalysisCheck"));
    reanalysisCheck->setVisible(expertMode);
    aviLayout->addWidget(reanalysisCheck);
    aviOptionsGroup->setVisible(false);
    layout->addWidget(aviOptionsGroup);
    for (QRadioButton* radio : {formatRtdcRadio, formatTsvRadio, formatAviRadio})
        connect(radio, &QRadioButton::toggled, this, &ExportDialog::onFormatChanged);

    featureList = new FeatureChecklist(active, datasets, 250, this);
    connect(featureList->selectAllButton(), &QPushButton::clicked, this, &ExportDialog::onSelectAll);
    connect(featureList->deselectAllButton(), &QPushButton::clicked, this, &ExportDialog::onDeselectAll);
    layout->addWidget(featureList);

    auto* dataGroup = new QGroupBox(QStringLiteral("Non-scalar Data"), this);
    auto* dataLayout = new QHBoxLayout(dataGroup);
    imagesCheck = new QCheckBox(QStringLiteral("Images"), dataGroup);
    imagesCheck->setObjectName(QStringLiteral("imagesCheck"));
    masksCheck = new QCheckBox(QStringLiteral("Masks"), dataGroup);
    masksCheck->setObjectName(QStringLiteral("masksCheck"));
    tracesCheck = new QCheckBox(QStringLiteral("Traces"), dataGroup);
    tracesCheck->setObjectName(QStringLiteral("tracesCheck"));
    dataLayout->addWidget(imagesCheck);
    dataLayout->addWidget(masksCheck);
    dataLayout->addWidget(tracesCheck);
    dataLayout->addStretch();
    layout->addWidget(dataGroup);
    const RTDCReader* activeReader = active ? active->reader.get() : nullptr;
    currentHasImage = activeReader && activeReader->hasImage();
    currentHasMask = activeReader && activeReader->hasMask();
    currentHasTraces = activeReader && activeReader->hasTraces();
    anyHasImage = currentHasImage;
    anyHasMask = currentHasMask;
    anyHasTraces = currentHasTraces;
    for (const auto& dataset : datasets) {
        if (!dataset || dataset.get() == active || !dataset->reader)
            continue;
        anyHasImage = anyHasImage || dataset->reader->hasImage();
        anyHasMask = anyHasMask || dataset->reader->hasMask();
        anyHasTraces = anyHasTraces || dataset->reader->hasTraces();
    }
    const std::pair<QCheckBox*, bool> available[] = {
        {imagesCheck, currentHasImage}, {masksCheck, currentHasMask}, {tracesCheck, currentHasTraces}};
    for (const auto& [box, has] : available) {
        box->setChecked(has);
        box->setEnabled(has);
    }

    auto* outputGroup = new QGroupBox(QStringLiteral("Output Directory"), this);
    auto* outputLayout = new QVBoxLayout(outputGroup);
    customDirCheck = new QCheckBox(
        QStringLiteral("Export All to a Custom Directory (default: original file locations)"), outputGroup);
    customDirCheck->setObjectName(QStringLiteral("customDirCheck"));
    outputLayout->addWidget(customDirCheck);
    auto* folderRow = new QHBoxLayout;
    directoryEdit = new QLineEdit(outputGroup);
    directoryEdit->setObjectName(QStringLiteral("directoryEdit"));
    if (active)
        directoryEdit->setText(QFileInfo(QString::fromStdString(active->filePath)).absolutePath());
    directoryEdit->setEnabled(false);
    browseButton = new QPushButton(QStringLiteral("Browse..."), outputGroup);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    browseButton->setEnabled(false);
    connect(browseButton, &QPushButton::clicked, this, &ExportDialog::onBrowseDir);
    connect(customDirCheck, &QCheckBox::toggled, this, [this](bool on) {
        directoryEdit->setEnabled(on);
        browseButton->setEnabled(on);
    });
    folderRow->addWidget(directoryEdit, 1);
    folderRow->addWidget(browseButton);
    outputLayout->addLayout(folderRow);
    layout->addWidget(outputGroup);

    addExportButtons(this, layout);

    if (previous)
        restore(*previous);
}

ExportDialog::~ExportDialog() = default;

void ExportDialog::restore(const ExportOptions& previous)
{
    if (previous.allDatasets && scopeAllRadio->isEnabled())
        scopeAllRadio->setChecked(true);
    else
        scopeCurrentRadio->setChecked(true);
    if (previous.avi)
        formatAviRadio->setChecked(true);
    else if (previous.tsv)
        formatTsvRadio->setChecked(true);
    else
        formatRtdcRadio->setChecked(true);
    (previous.aviMjpeg ? aviMjpegRadio : aviRawRadio)->setChecked(true);
    skipDuplicatesCheck->setChecked(previous.skipDuplicateFrames);
    featureList->setCheckedKeys(previous.features);
    const std::pair<QCheckBox*, bool> boxes[] = {
        {imagesCheck, previous.images}, {masksCheck, previous.masks}, {tracesCheck, previous.traces}};
    for (const auto& [box, value] : boxes) {
        if (box->isEnabled())
            box->setChecked(value);
    }
    customDirCheck->setChecked(previous.customDirectory);
    if (!previous.directory.empty())
        directoryEdit->setText(QString::fromStdString(previous.directory));
    updateFormatState();
}

ExportOptions ExportDialog::options() const
{
    ExportOptions o;
    o.features = featureList->checkedKeys();
    o.tsv = formatTsvRadio->isChecked();
    o.avi = formatAviRadio->isChecked();
    o.aviMjpeg = aviMjpegRadio->isChecked();
    o.skipDuplicateFrames = skipDuplicatesCheck->isChecked();
    o.forReanalysis = reanalysisCheck->isChecked();
    o.images = imagesCheck->isChecked();
    o.masks = masksCheck->isChecked();
    o.traces = tracesCheck->isChecked();
    o.customDirectory = customDirCheck->isChecked();
    o.directory = directoryEdit->text().toStdString();
    o.allDatasets = scopeAllRadio->isChecked();
    return o;
}

void ExportDialog::updateFormatState()
{
    const bool all = scopeAllRadio->isChecked();
    const bool avi = formatAviRadio->isChecked();
    aviOptionsGroup->setVisible(avi);
    // AVI keeps the check marks but greys the boxes out; the others show by scope.
    for (QCheckBox* box : featureList->boxes())
        box->setEnabled(!avi);
    if (!avi)
        featureList->setOthersShown(all);
    setNonScalarAvailability(imagesCheck, currentHasImage, anyHasImage);
    setNonScalarAvailability(masksCheck, currentHasMask, anyHasMask);
    setNonScalarAvailability(tracesCheck, currentHasTraces, anyHasTraces);
    if (avi) {
        imagesCheck->setChecked(true);
        imagesCheck->setEnabled(false);
        imagesCheck->setToolTip(QStringLiteral("Images are always included in AVI export"));
    }
}

void ExportDialog::setNonScalarAvailability(QCheckBox* box, bool inCurrent, bool inAny)
{
    const bool tsv = formatTsvRadio->isChecked();
    const bool avi = formatAviRadio->isChecked();
    if (tsv || avi) {
        box->setEnabled(false);
        box->setChecked(false);
        setUnavailableLook(box, false);
        box->setToolTip(avi ? QStringLiteral("Only images are exported in AVI format")
                            : QStringLiteral("Not available in TSV format"));
        return;
    }
    if (scopeAllRadio->isChecked()) {
        box->setEnabled(inAny);
        setUnavailableLook(box, inAny && !inCurrent, QString::fromLatin1(kOnlyInOtherDatasetsTip));
        return;
    }
    box->setEnabled(inCurrent);
    box->setChecked(inCurrent);
    setUnavailableLook(box, false);
}

void ExportDialog::onBrowseDir()
{
    const QString folder = prompts().getExistingDirectory(this, QStringLiteral("Select Output Directory"),
                                                          directoryEdit->text());
    if (!folder.isEmpty())
        directoryEdit->setText(folder);
}

void ExportDialog::onSelectAll()
{
    featureList->selectShown();
}

void ExportDialog::onDeselectAll()
{
    featureList->deselectAll();
}

void ExportDialog::onScopeChanged()
{
    updateFormatState();
}

void ExportDialog::onFormatChanged()
{
    updateFormatState();
}

} // namespace Tervane3
