// Feature lists and check boxes shared by the export dialogs.
#include "io/FeatureChoice.h"

#include "app/DatasetEntry.h"
#include "core/RTDCReader.h"

#include <QCheckBox>

#include <algorithm>

namespace Tervane3 {

const char* const kOnlyInOtherDatasetsTip = "Not available in current dataset (available in other datasets)";

FeatureChoices listFeatureChoices(const DatasetEntry* active,
                                  const std::vector<std::unique_ptr<DatasetEntry>>& datasets)
{
    FeatureChoices choices;
    if (active && active->reader) {
        for (const std::string& name : active->reader->featureNames()) {
            if (isScalarFeatureName(name))
                choices.current.insert(name);
        }
    }
    choices.keys.assign(choices.current.begin(), choices.current.end());
    std::set<std::string> listed = choices.current;
    std::vector<std::string> others;
    for (const auto& dataset : datasets) {
        if (!dataset || dataset.get() == active || !dataset->reader)
            continue;
        for (const std::string& name : dataset->reader->featureNames()) {
            if (isScalarFeatureName(name) && listed.insert(name).second)
                others.push_back(name);
        }
    }
    std::sort(others.begin(), others.end());
    choices.keys.insert(choices.keys.end(), others.begin(), others.end());
    return choices;
}

QCheckBox* makeFeatureCheckBox(const DatasetEntry* active, const std::string& key, bool current,
                               QWidget* parent)
{
    const std::string label = active && active->reader ? active->reader->featureLabel(key) : key;
    auto* box = new QCheckBox(QString::fromStdString(label) + QStringLiteral("  [")
                                  + QString::fromStdString(key) + QLatin1Char(']'),
                              parent);
    box->setObjectName(QStringLiteral("feature_") + QString::fromStdString(key));
    box->setChecked(current);
    if (!current) {
        setUnavailableLook(box, true, QString::fromLatin1(kOnlyInOtherDatasetsTip));
        box->setVisible(false);
    }
    return box;
}

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

} // namespace Tervane3
