// The ROC analysis of the statistical evaluation window: a negative and a positive class
// chosen by position, one summary value per dataset (or per replicate ID), a curve per
// feature and, for several features, one of their LDA combination; table and plots.
//
// A feature with fewer than 3 usable values in a class shows "n/a" and gets no plot; the
// combination uses the datasets (IDs) that have a value for every feature; the datasets
// left out are named after the run.
#include "stats/StatisticalEvalWindow.h"

#include "app/Prompts.h"
#include "stats/CategoryPanel.h"
#include "stats/DatasetValues.h"
#include "stats/RocPlot.h"

#include <qwt_plot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

namespace Tervane3 {

namespace {

constexpr int minimumSamples = 3;

// The values of one class for one feature: keyed by entry position (per dataset) or by
// replicate ID, finite values only.
using ClassValues = std::map<int, double>;

std::vector<double> valuesOf(const ClassValues& values)
{
    std::vector<double> out;
    out.reserve(values.size());
    for (const auto& [key, value] : values)
        out.push_back(value);
    return out;
}

QTableWidgetItem* rocCell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

void fillRocRow(QTableWidget* table, int row, const QString& label, const RocResult& roc, const QString& positive)
{
    table->setItem(row, 0, new QTableWidgetItem(label));
    if (!roc.valid) {
        for (int c = 1; c <= 7; ++c)
            table->setItem(row, c, rocCell(QStringLiteral("n/a")));
        return;
    }
    table->setItem(row, 1, rocCell(QString::number(roc.auc, 'f', 3)));
    table->setItem(row, 2, rocCell(roc.higherIsPositive ? QStringLiteral("> (higher = %1)").arg(positive)
                                                        : QStringLiteral("< (lower = %1)").arg(positive)));
    table->setItem(row, 3, rocCell(QString::number(roc.optimalThreshold, 'g', 4)));
    table->setItem(row, 4, rocCell(QString::number(roc.sensitivity, 'f', 3)));
    table->setItem(row, 5, rocCell(QString::number(roc.specificity, 'f', 3)));
    table->setItem(row, 6, rocCell(QString::number(roc.negativeCount)));
    table->setItem(row, 7, rocCell(QString::number(roc.positiveCount)));
}

} // namespace

QStringList StatisticalEvalWindow::selectedFeatureLabels() const
{
    QStringList labels;
    for (const QListWidgetItem* item : featureList->selectedItems())
        labels << item->text();
    return labels;
}

void StatisticalEvalWindow::onRunROC()
{
    const QString title = QStringLiteral("ROC Analysis");
    const int k = static_cast<int>(categoryPanels.size());
    if (k < 2) {
        prompts().warning(this, title, QStringLiteral("Need at least 2 categories."));
        return;
    }
    // The classes by position: names may repeat.
    int negative = 0;
    int positive = 1;
    if (k > 2) {
        QStringList names;
        for (const CategoryPanel* panel : categoryPanels)
            names << panel->name();
        negative = prompts().getItem(this, title, QStringLiteral("Select NEGATIVE class (reference):"), names, 0);
        if (negative < 0 || negative >= k)
            return;
        std::vector<int> others;
        QStringList otherNames;
        for (int c = 0; c < k; ++c)
            if (c != negative) {
                others.push_back(c);
                otherNames << names.at(c);
            }
        const int choice
            = prompts().getItem(this, title, QStringLiteral("Select POSITIVE class (condition):"), otherNames, 0);
        if (choice < 0 || choice >= static_cast<int>(others.size()))
            return;
        positive = others[static_cast<size_t>(choice)];
    }
    const CategoryPanel* negativePanel = categoryPanels[static_cast<size_t>(negative)];
    const CategoryPanel* positivePanel = categoryPanels[static_cast<size_t>(positive)];

    const std::vector<std::string> keys = selectedFeatureKeys();
    const QStringList labels = selectedFeatureLabels();
    if (keys.empty()) {
        prompts().warning(this, title, QStringLiteral("Select at least one feature."));
        return;
    }
    const bool replicates = replicatesCheck->isChecked();
    const auto missingId = [](const CategoryPanel* panel) {
        return std::any_of(panel->entries().begin(), panel->entries().end(),
                           [](const CategoryEntry& e) { return e.numberId < 1; });
    };
    if (replicates && (missingId(negativePanel) || missingId(positivePanel))) {
        prompts().warning(this, title,
                          QStringLiteral("Replicates are enabled but some datasets have no ID assigned. Double-click "
                                         "datasets to assign IDs."));
        return;
    }
    // Samples: datasets, or replicate IDs after aggregation.
    const auto sampleCount = [&](const CategoryPanel* panel) {
        if (!replicates)
            return panel->entryCount();
        std::set<int> ids;
        for (const CategoryEntry& e : panel->entries())
            ids.insert(e.numberId);
        return static_cast<int>(ids.size());
    };
    const int negativeSamples = sampleCount(negativePanel);
    const int positiveSamples = sampleCount(positivePanel);
    if (negativeSamples < minimumSamples || positiveSamples < minimumSamples) {
        QString text = QStringLiteral("Each category needs at least 3 samples for ROC analysis. ");
        if (replicates)
            text += QStringLiteral("After replicate aggregation, there are %1 and %2 samples.")
                        .arg(negativeSamples)
                        .arg(positiveSamples);
        prompts().warning(this, title, text);
        return;
    }

    const bool useRms = summaryCombo->currentIndex() == 2;
    const auto values = categoryValues(keys, {negative, positive}); // [class][entry][feature]
    const CategoryPanel* panels[2] = {negativePanel, positivePanel};
    // perFeature[f][class]: the usable values of the class.
    std::vector<std::array<ClassValues, 2>> perFeature(keys.size());
    QStringList leftOut;
    for (size_t f = 0; f < keys.size(); ++f) {
        QStringList names;
        std::set<int> named;
        for (int cls = 0; cls < 2; ++cls) {
            const std::vector<CategoryEntry>& entries = panels[cls]->entries();
            std::vector<double> perEntry;
            for (size_t e = 0; e < entries.size(); ++e) {
                const double v = values[static_cast<size_t>(cls)][e][f];
                perEntry.push_back(v);
                if (std::isnan(v)) {
                    if (named.insert(entries[e].datasetId).second)
                        names << entries[e].name;
                } else if (!replicates) {
                    perFeature[f][static_cast<size_t>(cls)][static_cast<int>(e)] = v;
                }
            }
            if (replicates)
                perFeature[f][static_cast<size_t>(cls)] = groupByIdentifiers(entries, perEntry, useRms);
        }
        if (!names.isEmpty())
            leftOut << QStringLiteral("%1: %2").arg(labels.value(static_cast<int>(f)), names.join(QStringLiteral(", ")));
    }

    std::vector<RocCurveRecord> curves;
    for (size_t f = 0; f < keys.size(); ++f) {
        const std::vector<double> neg = valuesOf(perFeature[f][0]);
        const std::vector<double> pos = valuesOf(perFeature[f][1]);
        RocResult roc;
        if (neg.size() >= minimumSamples && pos.size() >= minimumSamples) {
            roc = computeRoc(neg, pos);
        } else {
            roc.negativeCount = static_cast<int>(neg.size());
            roc.positiveCount = static_cast<int>(pos.size());
        }
        curves.push_back({labels.value(static_cast<int>(f)), std::move(roc)});
    }
    const bool combined = keys.size() >= 2;
    LdaRocResult lda;
    if (combined) {
        // The samples (datasets or IDs) with a value for every feature.
        std::vector<std::vector<double>> classFeatures[2];
        for (int cls = 0; cls < 2; ++cls) {
            std::vector<int> complete;
            for (const auto& [key, value] : perFeature.front()[static_cast<size_t>(cls)])
                if (std::all_of(perFeature.begin(), perFeature.end(),
                                [&, key = key](const auto& feature) { return feature[static_cast<size_t>(cls)].count(key) > 0; }))
                    complete.push_back(key);
            for (size_t f = 0; f < keys.size(); ++f) {
                std::vector<double> column;
                for (int key : complete)
                    column.push_back(perFeature[f][static_cast<size_t>(cls)].at(key));
                classFeatures[cls].push_back(std::move(column));
            }
        }
        const size_t nNeg = classFeatures[0].front().size();
        const size_t nPos = classFeatures[1].front().size();
        if (nNeg >= minimumSamples && nPos >= minimumSamples) {
            lda = computeLdaRoc(classFeatures[0], classFeatures[1], keys);
        } else {
            lda.roc.negativeCount = static_cast<int>(nNeg);
            lda.roc.positiveCount = static_cast<int>(nPos);
        }
    }

    const QString positiveName = positivePanel->name();
    rocTable->clearContents();
    rocTable->setColumnCount(8);
    rocTable->setRowCount(static_cast<int>(keys.size()) + (combined ? 1 : 0));
    rocTable->setHorizontalHeaderLabels({QStringLiteral("Feature"), QStringLiteral("AUC"), QStringLiteral("Direction"),
                                         QStringLiteral("Optimal Threshold"), QStringLiteral("Sensitivity"),
                                         QStringLiteral("Specificity"), QStringLiteral("N %1").arg(negativePanel->name()),
                                         QStringLiteral("N %1").arg(positiveName)});
    for (size_t f = 0; f < curves.size(); ++f)
        fillRocRow(rocTable, static_cast<int>(f), curves[f].label, curves[f].roc, positiveName);
    if (combined)
        fillRocRow(rocTable, static_cast<int>(keys.size()), QStringLiteral("Combined (LDA)"), lda.roc, positiveName);
    fitTableColumns(rocTable);

    std::vector<QwtPlot*> plots;
    for (const RocCurveRecord& curve : curves)
        if (curve.roc.valid)
            plots.push_back(buildRocPlot(curve.label, curve.roc));
    if (combined && lda.roc.valid) {
        QStringList weights;
        for (size_t f = 0; f < keys.size(); ++f)
            weights << QStringLiteral("%1: %2").arg(labels.value(static_cast<int>(f)),
                                                    QString::number(lda.weights[f], 'g', 3));
        plots.push_back(
            buildRocPlot(QStringLiteral("Combined (LDA)\nWeights: %1").arg(weights.join(QStringLiteral(", "))), lda.roc));
        curves.push_back({QStringLiteral("Combined (LDA)"), lda.roc});
    }
    replacePlots(rocPlots, rocPlotLayout, std::move(plots));
    // What the curve-data export writes: the curves shown, with their classes.
    curves.erase(std::remove_if(curves.begin(), curves.end(), [](const RocCurveRecord& c) { return !c.roc.valid; }),
                 curves.end());
    rocCurves = std::move(curves);
    rocCurveHeading = QStringLiteral("Negative: %1, positive: %2, one value per %3")
                          .arg(negativePanel->name(), positiveName,
                               replicates ? QStringLiteral("replicate ID") : QStringLiteral("dataset"));
    tabs->setCurrentIndex(1);

    if (!leftOut.isEmpty())
        prompts().information(this, title,
                              QStringLiteral("Left out (no event passes the filter, or no finite value):\n")
                                  + leftOut.join(QLatin1Char('\n')));
}

} // namespace Tervane3
