// The combine plot window in a session file: toJson writes the controls, the rows (their
// datasets by position in the session's dataset list) and the export settings; restoreFromJson
// puts them back on a fresh window without running any handler, then builds rows and plots
// once. Every key has a default; values outside a control's range are clamped, unknown
// modes give the default, and a dataset listed twice keeps its first row.
#include "windows/CombinePlotWindow.h"

#include "app/DatasetEntry.h"
#include "windows/CombineDatasetWidget.h"
#include "windows/CombineJsonRead.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

#include <limits>
#include <set>

namespace Tervane3 {

using namespace CombineJson;

namespace {

// An index among `count` choices; anything else gives the fallback.
int readChoice(const QJsonObject& object, const char* key, int fallback, int count)
{
    const int value = readInt(object, key, -1, -1, count);
    return value >= 0 && value < count ? value : fallback;
}

} // namespace

QJsonObject CombinePlotWindow::toJson(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const
{
    QJsonObject object;
    object.insert(QStringLiteral("displayMode"), displayCombo->currentIndex());
    object.insert(QStringLiteral("colorMode"), colorCombo->currentIndex());
    object.insert(QStringLiteral("syncFeatures"), syncFeaturesCheck->isChecked());
    object.insert(QStringLiteral("syncAxes"), syncAxesCheck->isChecked());
    object.insert(QStringLiteral("manualLimits"), manualLimitsCheck->isChecked());
    object.insert(QStringLiteral("showLegend"), showLegendCheck->isChecked());
    object.insert(QStringLiteral("contourMode"), contourCombo->currentIndex());
    object.insert(QStringLiteral("contourFraction1"), innerSpin->value() / 100.0);
    object.insert(QStringLiteral("contourFraction2"), outerSpin->value() / 100.0);
    object.insert(QStringLiteral("isoelasticity"), isoelasticsCheck->isChecked());
    object.insert(QStringLiteral("isoLabels"), isoLabelsCheck->isChecked());
    object.insert(QStringLiteral("xMin"), xMinSpin->value());
    object.insert(QStringLiteral("xMax"), xMaxSpin->value());
    object.insert(QStringLiteral("yMin"), yMinSpin->value());
    object.insert(QStringLiteral("yMax"), yMaxSpin->value());
    object.insert(QStringLiteral("manualArraySize"), manualArrayCheck->isChecked());
    object.insert(QStringLiteral("arrayCols"), colsSpin->value());
    object.insert(QStringLiteral("arrayRows"), rowsSpin->value());
    object.insert(QStringLiteral("showCount"), showCountCheck->isChecked());
    object.insert(QStringLiteral("showStats"), statsDock->isVisibleTo(this));
    object.insert(QStringLiteral("exportSettings"), exportSettings.toJson());

    QJsonArray list;
    for (const CombineDatasetEntry& stored : entries) {
        CombineDatasetEntry entry = stored;
        for (const CombineDatasetWidget* row : rows)
            if (row->datasetId() == stored.datasetId)
                entry = row->settings();
        int index = -1;
        for (size_t i = 0; i < datasets.size(); ++i) {
            if (datasets[i] && datasets[i]->id == entry.datasetId) {
                index = static_cast<int>(i);
                break;
            }
        }
        QJsonObject item;
        item.insert(QStringLiteral("datasetSessionIndex"), index);
        item.insert(QStringLiteral("xFeatureName"), QString::fromStdString(entry.xFeature));
        item.insert(QStringLiteral("yFeatureName"), QString::fromStdString(entry.yFeature));
        item.insert(QStringLiteral("color"), entry.color.name());
        item.insert(QStringLiteral("colorAlpha"), entry.color.alpha());
        item.insert(QStringLiteral("scaleXMode"), entry.scaleXMode);
        item.insert(QStringLiteral("scaleYMode"), entry.scaleYMode);
        list.append(item);
    }
    object.insert(QStringLiteral("datasets"), list);
    return object;
}

void CombinePlotWindow::restoreFromJson(const QJsonObject& state, const std::map<int, int>& sessionIndexToDatasetId)
{
    {
        // No handler runs for the restored values: no question, no intermediate rebuild.
        const QSignalBlocker b1(displayCombo), b2(colorCombo), b3(syncFeaturesCheck), b4(syncAxesCheck),
            b5(manualLimitsCheck), b6(showLegendCheck), b7(contourCombo), b8(innerSpin), b9(outerSpin),
            b10(isoelasticsCheck), b11(isoLabelsCheck), b12(xMinSpin), b13(xMaxSpin), b14(yMinSpin), b15(yMaxSpin),
            b16(manualArrayCheck), b17(colsSpin), b18(rowsSpin), b19(showCountCheck);

        displayMode = readChoice(state, "displayMode", CombineArray, 3);
        displayCombo->setCurrentIndex(displayMode);
        colorMode = readChoice(state, "colorMode", CombineDatasetColor, 3);
        colorCombo->setCurrentIndex(colorMode);

        // The overlay modes always keep the features synced.
        const bool syncFeatures =
            readBool(state, "syncFeatures", false) || displayMode == CombineArrayContour || displayMode == CombineSamePlot;
        syncFeaturesCheck->setChecked(syncFeatures);
        const bool syncAxes = readBool(state, "syncAxes", false);
        const bool manualLimits = syncAxes && readBool(state, "manualLimits", false);
        syncAxesCheck->setChecked(syncAxes);
        manualLimitsCheck->setChecked(manualLimits);
        showLegendCheck->setChecked(readBool(state, "showLegend", false));
        contourCombo->setCurrentIndex(readChoice(state, "contourMode", 0, 3));
        innerSpin->setValue(readDouble(state, "contourFraction1", 0.1, 0.01, 0.99) * 100.0);
        outerSpin->setValue(readDouble(state, "contourFraction2", 0.67, 0.01, 0.99) * 100.0);

        const bool iso = readBool(state, "isoelasticity", false);
        isoelasticsCheck->setChecked(iso);
        isoLabelsCheck->setChecked(iso && readBool(state, "isoLabels", false));
        isoLabelsCheck->setEnabled(iso);

        const bool manualArray = readBool(state, "manualArraySize", false);
        manualArrayCheck->setChecked(manualArray);
        colsSpin->setValue(manualArray ? readInt(state, "arrayCols", 0, 0, 50) : 0);
        rowsSpin->setValue(manualArray && colsSpin->value() == 0 ? readInt(state, "arrayRows", 0, 0, 50) : 0);
        arraySizeBox->setVisible(manualArray);
        showCountCheck->setChecked(readBool(state, "showCount", false));
        xMinSpin->setValue(readDouble(state, "xMin", 0.0, -1e12, 1e12));
        xMaxSpin->setValue(readDouble(state, "xMax", 0.0, -1e12, 1e12));
        yMinSpin->setValue(readDouble(state, "yMin", 0.0, -1e12, 1e12));
        yMaxSpin->setValue(readDouble(state, "yMax", 0.0, -1e12, 1e12));

        manualLimitsCheck->setEnabled(syncAxes);
        for (QDoubleSpinBox* spin : {xMinSpin, xMaxSpin, yMinSpin, yMaxSpin})
            spin->setEnabled(manualLimits);

        entries.clear();
        std::set<int> seenIndices;
        const QJsonArray list = state.value(QStringLiteral("datasets")).toArray();
        for (const QJsonValue& value : list) {
            const QJsonObject item = value.toObject();
            const int index = readInt(item, "datasetSessionIndex", -1, -1, std::numeric_limits<int>::max());
            const auto found = sessionIndexToDatasetId.find(index);
            if (index < 0 || found == sessionIndexToDatasetId.end() || !seenIndices.insert(index).second)
                continue;
            CombineDatasetEntry entry;
            entry.datasetId = found->second;
            entry.xFeature = readString(item, "xFeatureName", QString()).toStdString();
            entry.yFeature = readString(item, "yFeatureName", QString()).toStdString();
            entry.color = QColor(readString(item, "color", QStringLiteral("#1f77b4")));
            if (entry.color.isValid())
                entry.color.setAlpha(readInt(item, "colorAlpha", 255, 0, 255));
            entry.scaleXMode = readChoice(item, "scaleXMode", 0, 3);
            entry.scaleYMode = readChoice(item, "scaleYMode", 0, 3);
            entries.push_back(entry);
        }
    }

    if (state.contains(QStringLiteral("exportSettings"))) {
        exportSettings =
            CombineExportSettings::fromJson(state.value(QStringLiteral("exportSettings")).toObject(), exportSettings);
        showExportSettings();
    }
    uniformColorLabel->setVisible(colorMode == CombineUniformColor);
    uniformColorCombo->setVisible(colorMode == CombineUniformColor);
    if (readBool(state, "showStats", false))
        statsDock->show();

    // Rows of an earlier state must not overwrite the restored entries.
    for (CombineDatasetWidget* row : rows) {
        row->hide();
        row->deleteLater();
    }
    rows.clear();
    rebuildDatasetWidgets();
    rebuildPlots();
}

} // namespace Tervane3
