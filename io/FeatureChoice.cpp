// Widgets shared by the export dialogs (see FeatureChoice.h).
#include "io/FeatureChoice.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace Tervane3 {

const char* const kOnlyInOtherDatasetsTip = "Not available in current dataset (available in other datasets)";

void setUnavailableLook(QWidget* widget, bool unavailable, const QString& toolTip)
{
    if (unavailable) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, QColor(160, 160, 160));
        widget->setPalette(palette);
        widget->setToolTip(toolTip);
    } else {
        widget->setPalette(QPalette());
        widget->setToolTip(QString());
    }
}

FeatureChecklist::FeatureChecklist(const DatasetEntry* active,
                                   const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                                   int maximumListHeight, QWidget* parent)
    : QGroupBox(QStringLiteral("Scalar Features"), parent)
{
    // The active dataset's scalar keys in order, then the keys only others have, in order.
    const RTDCReader* activeReader = active ? active->reader.get() : nullptr;
    if (activeReader) {
        for (const std::string& name : activeReader->featureNames())
            if (isScalarFeatureName(name))
                current.insert(name);
    }
    featureKeys.assign(current.begin(), current.end());
    std::set<std::string> others;
    for (const auto& dataset : datasets) {
        if (!dataset || dataset.get() == active || !dataset->reader)
            continue;
        for (const std::string& name : dataset->reader->featureNames())
            if (isScalarFeatureName(name) && !current.count(name))
                others.insert(name);
    }
    featureKeys.insert(featureKeys.end(), others.begin(), others.end());

    auto* layout = new QVBoxLayout(this);
    auto* buttonRow = new QHBoxLayout;
    selectButton = new QPushButton(QStringLiteral("Select All"), this);
    selectButton->setObjectName(QStringLiteral("selectAllButton"));
    deselectButton = new QPushButton(QStringLiteral("Deselect All"), this);
    deselectButton->setObjectName(QStringLiteral("deselectAllButton"));
    buttonRow->addWidget(selectButton);
    buttonRow->addWidget(deselectButton);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setMaximumHeight(maximumListHeight);
    auto* list = new QWidget(scroll);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setSpacing(2);
    for (const std::string& key : featureKeys) {
        const std::string label = activeReader ? activeReader->featureLabel(key) : key;
        auto* box = new QCheckBox(QString::fromStdString(label) + QStringLiteral("  [") + QString::fromStdString(key)
                                      + QLatin1Char(']'),
                                  list);
        box->setObjectName(QStringLiteral("feature_") + QString::fromStdString(key));
        const bool inActive = current.count(key) > 0;
        box->setChecked(inActive);
        if (!inActive) {
            setUnavailableLook(box, true, QString::fromLatin1(kOnlyInOtherDatasetsTip));
            box->setVisible(false);
        }
        listLayout->addWidget(box);
        featureBoxes.push_back(box);
    }
    listLayout->addStretch();
    scroll->setWidget(list);
    layout->addWidget(scroll);
}

std::vector<std::string> FeatureChecklist::checkedKeys() const
{
    std::vector<std::string> keys;
    for (size_t i = 0; i < featureBoxes.size(); ++i)
        if (featureBoxes[i]->isChecked())
            keys.push_back(featureKeys[i]);
    return keys;
}

void FeatureChecklist::setCheckedKeys(const std::vector<std::string>& keys)
{
    for (size_t i = 0; i < featureBoxes.size(); ++i)
        featureBoxes[i]->setChecked(std::find(keys.begin(), keys.end(), featureKeys[i]) != keys.end());
}

void FeatureChecklist::setOthersShown(bool shown)
{
    for (size_t i = 0; i < featureBoxes.size(); ++i)
        if (!current.count(featureKeys[i]))
            featureBoxes[i]->setVisible(shown);
}

void FeatureChecklist::selectShown()
{
    for (QCheckBox* box : featureBoxes)
        if (!box->isHidden())
            box->setChecked(true);
}

void FeatureChecklist::deselectAll()
{
    for (QCheckBox* box : featureBoxes)
        box->setChecked(false);
}

std::pair<QRadioButton*, QRadioButton*> addScopeGroup(QDialog* dialog, QVBoxLayout* layout, size_t datasetCount)
{
    auto* group = new QGroupBox(QStringLiteral("Export Scope"), dialog);
    auto* groupLayout = new QVBoxLayout(group);
    auto* current = new QRadioButton(QStringLiteral("Current dataset only"), group);
    current->setObjectName(QStringLiteral("scopeCurrentRadio"));
    current->setChecked(true);
    auto* all = new QRadioButton(QStringLiteral("All datasets (%1)").arg(datasetCount), group);
    all->setObjectName(QStringLiteral("scopeAllRadio"));
    all->setEnabled(datasetCount > 1);
    groupLayout->addWidget(current);
    groupLayout->addWidget(all);
    layout->addWidget(group);
    return {current, all};
}

void addExportButtons(QDialog* dialog, QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    QPushButton* exportButton = buttons->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace Tervane3
