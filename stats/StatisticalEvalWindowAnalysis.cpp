// The statistical comparison: the test line kept in step with the categories, and the run
// that tests every selected feature, corrects the family of p values and fills the result
// table and the comparison plots.
//
// A dataset without a value for a feature (no event passes its filter, or no finite value)
// is left out of that feature's test, plot and mean ± SD, and named after the run.
#include "stats/StatisticalEvalWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "core/RTDCReader.h"
#include "stats/CategoryPanel.h"
#include "stats/ComparisonPlot.h"
#include "stats/DatasetValues.h"
#include "stats/MultipleComparisons.h"
#include "stats/RankTests.h"

#include <qwt_plot.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTableWidget>

#include <algorithm>
#include <cmath>
#include <set>

namespace Tervane3 {

namespace {

struct PairwiseComparison
{
    int first = 0;
    int second = 0;
    RankTestResult result;
    QString testName;
    double threshold = 0.0;
};

struct FeatureComparison
{
    std::string key;
    QString label;
    // Per category the values the table summarises and the plot shows (finite only), with
    // the tooltip name of each.
    std::vector<std::vector<double>> values;
    std::vector<std::vector<QString>> pointLabels;
    // Matched design: per category, replicate ID -> merged value.
    std::vector<std::map<int, double>> valuesById;
    RankTestResult result;
    QString testName;
    double threshold = 0.0;
    std::vector<PairwiseComparison> pairwise;
    // Names of the datasets without a value, each once.
    QStringList leftOut;
};

// Keeps the wait cursor up while a run computes; no event is processed meanwhile.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QTableWidgetItem* numberItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QString meanSdText(const std::vector<double>& values)
{
    if (values.empty())
        return QStringLiteral("n/a");
    double sum = 0.0;
    for (double v : values)
        sum += v;
    const double mean = sum / static_cast<double>(values.size());
    double squares = 0.0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double sd = values.size() > 1 ? std::sqrt(squares / static_cast<double>(values.size() - 1)) : 0.0;
    return QStringLiteral("%1 %2 %3").arg(QString::number(mean, 'g', 4), QStringLiteral("±"), QString::number(sd, 'g', 3));
}

QString pText(const RankTestResult& result)
{
    return result.valid ? QString::number(result.pValue, 'g', 4) : QStringLiteral("n/a");
}

// The test's name, marked when its p value comes from the exact null distribution; the
// exports write the table's texts, so the mark reaches them too.
QString testNameText(const QString& name, const RankTestResult& result)
{
    return result.valid && result.exact ? name + QStringLiteral(" (exact)") : name;
}

QString starsText(const RankTestResult& result, double threshold)
{
    return result.valid ? significanceStars(result.pValue, threshold) : QStringLiteral("n/a");
}

// The values of the common identifiers, ascending.
std::vector<double> valuesAt(const std::map<int, double>& map, const std::vector<int>& ids)
{
    std::vector<double> values;
    values.reserve(ids.size());
    for (int id : ids)
        values.push_back(map.at(id));
    return values;
}

std::vector<double> differences(const std::map<int, double>& from, const std::map<int, double>& to,
                                const std::vector<int>& ids)
{
    std::vector<double> d;
    d.reserve(ids.size());
    for (int id : ids)
        d.push_back(to.at(id) - from.at(id));
    return d;
}

} // namespace

void StatisticalEvalWindow::onCategoryChanged()
{
    std::set<QString> selected;
    for (const QListWidgetItem* item : featureList->selectedItems())
        selected.insert(item->data(Qt::UserRole).toString());

    const RTDCReader* labelReader = nullptr;
    for (const CategoryPanel* panel : categoryPanels) {
        for (const CategoryEntry& entry : panel->entries()) {
            const DatasetEntry* dataset = host ? host->findDatasetById(entry.datasetId) : nullptr;
            if (dataset && dataset->reader) {
                labelReader = dataset->reader.get();
                break;
            }
        }
        if (labelReader)
            break;
    }

    {
        // The rebuild would re-explain once per selected item; the text is set once below.
        const QSignalBlocker quiet(featureList);
        featureList->clear();
        for (const std::string& key : commonScalarFeatures()) {
            const QString keyText = QString::fromStdString(key);
            const QString text = labelReader ? QString::fromStdString(labelReader->featureLabel(key)) : keyText;
            auto* item = new QListWidgetItem(text, featureList);
            item->setData(Qt::UserRole, keyText);
            if (selected.count(keyText))
                item->setSelected(true);
        }
    }

    const int k = static_cast<int>(categoryPanels.size());
    const bool matched = isMatchedDesign();
    QString testName;
    if (matched)
        testName = k == 2 ? QStringLiteral("Wilcoxon signed-rank (matched)") : QStringLiteral("Friedman (repeated measures)");
    else
        testName = k == 2 ? QStringLiteral("Mann-Whitney U (independent)") : QStringLiteral("Kruskal-Wallis (independent)");

    QString warnings;
    for (const CategoryPanel* panel : categoryPanels)
        if (panel->entryCount() == 1 || panel->entryCount() == 2)
            warnings += QStringLiteral("%1: fewer than 3 datasets\n").arg(panel->name());
    if (matched && !pairingIdsConsistent())
        warnings += QStringLiteral("Pairing incomplete: ensure all categories have matching IDs\n");
    if (!matched && replicatesCheck->isChecked()) {
        const bool missingId = std::any_of(categoryPanels.begin(), categoryPanels.end(), [](const CategoryPanel* p) {
            return std::any_of(p->entries().begin(), p->entries().end(),
                               [](const CategoryEntry& e) { return e.numberId < 1; });
        });
        if (missingId)
            warnings += QStringLiteral("Replicates enabled: assign IDs to all datasets\n");
    }
    testInfoLabel->setText(QStringLiteral("Test: %1\n%2").arg(testName, warnings));
    updateExplanationText();
}

void StatisticalEvalWindow::onRunAnalysis()
{
    const QString title = QStringLiteral("Analysis");
    const int k = static_cast<int>(categoryPanels.size());
    if (k < 2) {
        prompts().warning(this, title, QStringLiteral("Need at least 2 categories."));
        return;
    }
    for (const CategoryPanel* panel : categoryPanels) {
        if (panel->entryCount() < 3) {
            prompts().warning(this, title,
                              QStringLiteral("Category \"%1\" has fewer than 3 datasets. Minimum is 3.").arg(panel->name()));
            return;
        }
    }
    const std::vector<std::string> keys = selectedFeatureKeys();
    if (keys.empty()) {
        prompts().warning(this, title, QStringLiteral("Select at least one feature."));
        return;
    }
    const bool matched = isMatchedDesign();
    const bool replicates = replicatesCheck->isChecked();
    const double alpha = alphaSpin->value();
    const QString correction = correctionCombo->currentText();
    const int features = static_cast<int>(keys.size());
    if (matched && !pairingIdsConsistent()) {
        prompts().warning(this, title,
                          QStringLiteral("Pairing is enabled but IDs are not valid.\nEnsure all categories have matching "
                                         "IDs.\nUse \"Auto-detect IDs\" or assign IDs manually."));
        return;
    }
    if (matched) {
        const int n = smallestIdCount();
        if (n > 0) {
            const double pMin = minimumWilcoxonP(n);
            const int planned = plannedTestCount();
            const bool divided = correction == QLatin1String("Bonferroni") && planned > 1;
            const double effective = divided ? alpha / planned : alpha;
            if (pMin > effective) {
                const QString text
                    = QStringLiteral("With %1 matched observations, the minimum achievable p-value %2.\n\nThis exceeds "
                                     "the effective significance level %3=%4%5.\n\nSignificance cannot be reached "
                                     "regardless of effect size. More matched observations are needed.\n\nRun "
                                     "anyway?")
                          .arg(n)
                          .arg(minimumWilcoxonPPhrase(n), QStringLiteral("α"), QString::number(effective, 'g', 4),
                               divided ? QStringLiteral(" (after %1 correction)").arg(QStringLiteral("Bonferroni"))
                                       : QString());
                const int answer = prompts().message(this, Prompts::Icon::Warning, title, text,
                                                     {{QStringLiteral("&Yes"), QMessageBox::YesRole},
                                                      {QStringLiteral("&No"), QMessageBox::NoRole, true}});
                if (answer != 0)
                    return;
            }
        }
    }
    if (!matched && replicates) {
        for (const CategoryPanel* panel : categoryPanels) {
            for (const CategoryEntry& entry : panel->entries()) {
                if (entry.numberId < 1) {
                    prompts().warning(this, title,
                                      QStringLiteral("Replicates are enabled but not all datasets have IDs assigned.\nUse "
                                                     "\"Auto-detect IDs\" or assign IDs manually."));
                    return;
                }
            }
        }
    }

    const bool useRms = summaryCombo->currentIndex() == 2;
    std::vector<FeatureComparison> comparisons;
    {
        WaitCursor wait;
        const auto values = categoryValues(keys); // [category][entry][feature]
        for (int f = 0; f < features; ++f) {
            FeatureComparison fc;
            fc.key = keys[static_cast<size_t>(f)];
            fc.label = featureLabel(fc.key);
            std::set<int> namedIds;
            std::vector<std::vector<double>> perEntry(static_cast<size_t>(k)); // NaN kept, for grouping
            for (int c = 0; c < k; ++c) {
                const auto& entries = categoryPanels[static_cast<size_t>(c)]->entries();
                std::vector<double> finite;
                std::vector<QString> names;
                for (size_t e = 0; e < entries.size(); ++e) {
                    const double v = values[static_cast<size_t>(c)][e][static_cast<size_t>(f)];
                    perEntry[static_cast<size_t>(c)].push_back(v);
                    if (std::isnan(v)) {
                        if (namedIds.insert(entries[e].datasetId).second)
                            fc.leftOut << entries[e].name;
                        continue;
                    }
                    finite.push_back(v);
                    names.push_back(entries[e].name);
                }
                fc.values.push_back(std::move(finite));
                fc.pointLabels.push_back(std::move(names));
            }

            if (matched) {
                for (int c = 0; c < k; ++c) {
                    const auto& entries = categoryPanels[static_cast<size_t>(c)]->entries();
                    fc.valuesById.push_back(replicates ? groupByReplicate(entries, perEntry[static_cast<size_t>(c)], useRms)
                                                       : groupById(entries, perEntry[static_cast<size_t>(c)], useRms));
                }
                std::vector<int> common;
                for (const auto& [id, value] : fc.valuesById.front())
                    if (std::all_of(fc.valuesById.begin(), fc.valuesById.end(),
                                    [id = id](const std::map<int, double>& m) { return m.count(id) > 0; }))
                        common.push_back(id);
                if (k == 2) {
                    fc.result = wilcoxonSignedRankTest(differences(fc.valuesById[0], fc.valuesById[1], common));
                    fc.testName = QStringLiteral("Wilcoxon");
                } else {
                    std::vector<std::vector<double>> lists;
                    for (const auto& map : fc.valuesById)
                        lists.push_back(valuesAt(map, common));
                    fc.result = friedmanTest(lists);
                    fc.testName = QStringLiteral("Friedman");
                    for (int a = 0; a < k; ++a)
                        for (int b = a + 1; b < k; ++b)
                            fc.pairwise.push_back({a, b,
                                                   wilcoxonSignedRankTest(differences(fc.valuesById[static_cast<size_t>(a)],
                                                                                      fc.valuesById[static_cast<size_t>(b)],
                                                                                      common)),
                                                   QStringLiteral("Wilcoxon"), alpha});
                }
            } else {
                if (replicates) {
                    for (int c = 0; c < k; ++c) {
                        const auto& entries = categoryPanels[static_cast<size_t>(c)]->entries();
                        std::vector<double> merged;
                        std::vector<QString> names;
                        for (const auto& [id, value] : groupByIdentifiers(entries, perEntry[static_cast<size_t>(c)], useRms)) {
                            merged.push_back(value);
                            names.push_back(QStringLiteral("ID %1").arg(id));
                        }
                        fc.values[static_cast<size_t>(c)] = std::move(merged);
                        fc.pointLabels[static_cast<size_t>(c)] = std::move(names);
                    }
                }
                if (k == 2) {
                    fc.result = mannWhitneyUTest(fc.values[0], fc.values[1]);
                    fc.testName = QStringLiteral("Mann-Whitney U");
                } else {
                    fc.result = kruskalWallisTest(fc.values);
                    fc.testName = QStringLiteral("Kruskal-Wallis");
                    for (int a = 0; a < k; ++a)
                        for (int b = a + 1; b < k; ++b)
                            fc.pairwise.push_back({a, b,
                                                   mannWhitneyUTest(fc.values[static_cast<size_t>(a)],
                                                                    fc.values[static_cast<size_t>(b)]),
                                                   QStringLiteral("Mann-Whitney U"), alpha});
                }
            }
            fc.threshold = alpha;
            comparisons.push_back(std::move(fc));
        }
    }

    // The family: every pairwise test, or the main test of a feature without pairs. Its size
    // m is the number of tests planned, which the explanation and the question before the
    // run name too; a test that could not be computed has no p value but still counts.
    std::vector<double*> familyThreshold;
    std::vector<double> familyP;
    for (FeatureComparison& fc : comparisons) {
        if (!fc.pairwise.empty()) {
            for (PairwiseComparison& pc : fc.pairwise)
                if (pc.result.valid) {
                    familyThreshold.push_back(&pc.threshold);
                    familyP.push_back(pc.result.pValue);
                }
        } else if (fc.result.valid) {
            familyThreshold.push_back(&fc.threshold);
            familyP.push_back(fc.result.pValue);
        }
    }
    const int m = plannedTestCount();
    const std::vector<double> thresholds = familyThresholds(correction, alpha, familyP, static_cast<size_t>(m));
    for (size_t i = 0; i < thresholds.size(); ++i)
        *familyThreshold[i] = thresholds[i];

    int rows = 0;
    for (const FeatureComparison& fc : comparisons)
        rows += 1 + static_cast<int>(fc.pairwise.size());
    resultTable->clearContents();
    resultTable->setColumnCount(k + 4);
    resultTable->setRowCount(rows);
    QStringList headers{QStringLiteral("Feature")};
    for (const CategoryPanel* panel : categoryPanels)
        headers << panel->name();
    if (correction == QLatin1String("Bonferroni") && m > 1)
        headers << QStringLiteral("Test") << QStringLiteral("p")
                << QStringLiteral("Sig. (%1=%2)").arg(QStringLiteral("α*"), QString::number(alpha / m, 'g', 4));
    else if (correction == QLatin1String("Holm-Bonferroni") && m > 1)
        headers << QStringLiteral("Test") << QStringLiteral("p") << QStringLiteral("Sig. (Holm)");
    else
        headers << QStringLiteral("Test") << QStringLiteral("p")
                << QStringLiteral("Sig. (%1=%2)").arg(QStringLiteral("α"), QString::number(alpha, 'g', 4));
    resultTable->setHorizontalHeaderLabels(headers);

    int row = 0;
    for (const FeatureComparison& fc : comparisons) {
        resultTable->setItem(row, 0, new QTableWidgetItem(fc.label));
        for (int c = 0; c < k; ++c)
            resultTable->setItem(row, 1 + c, numberItem(meanSdText(fc.values[static_cast<size_t>(c)])));
        resultTable->setItem(row, k + 1, new QTableWidgetItem(testNameText(fc.testName, fc.result)));
        resultTable->setItem(row, k + 2, numberItem(pText(fc.result)));
        QString sig;
        if (fc.pairwise.empty())
            sig = starsText(fc.result, fc.threshold);
        else
            sig = fc.result.valid ? QStringLiteral("(omnibus)") : QStringLiteral("n/a");
        resultTable->setItem(row, k + 3, new QTableWidgetItem(sig));
        ++row;
        for (const PairwiseComparison& pc : fc.pairwise) {
            resultTable->setItem(row, 0,
                                 new QTableWidgetItem(QStringLiteral("  %1 vs %2")
                                                          .arg(categoryPanels[static_cast<size_t>(pc.first)]->name(),
                                                               categoryPanels[static_cast<size_t>(pc.second)]->name())));
            resultTable->setItem(row, k + 1, new QTableWidgetItem(testNameText(pc.testName, pc.result)));
            resultTable->setItem(row, k + 2, numberItem(pText(pc.result)));
            resultTable->setItem(row, k + 3, new QTableWidgetItem(starsText(pc.result, pc.threshold)));
            ++row;
        }
    }
    fitTableColumns(resultTable);

    std::vector<QString> names;
    std::vector<QColor> colors;
    for (const CategoryPanel* panel : categoryPanels) {
        names.push_back(panel->name());
        colors.push_back(panel->color());
    }
    std::vector<QwtPlot*> plots;
    for (const FeatureComparison& fc : comparisons) {
        std::vector<SignificanceBracket> brackets;
        if (fc.pairwise.empty()) {
            if (fc.result.valid) {
                const QString stars = significanceStars(fc.result.pValue, fc.threshold);
                if (stars != QLatin1String("ns"))
                    brackets.push_back({0, 1, stars});
            }
        } else {
            for (const PairwiseComparison& pc : fc.pairwise) {
                if (!pc.result.valid)
                    continue;
                const QString stars = significanceStars(pc.result.pValue, pc.threshold);
                if (stars != QLatin1String("ns"))
                    brackets.push_back({pc.first, pc.second, stars});
            }
        }
        ReplicateView view;
        if (matched) {
            view.valuesById = fc.valuesById;
            view.connectLines = connectionLinesCheck->isChecked();
        }
        plots.push_back(buildAnalysisPlot(fc.label, names, colors, fc.values, fc.pointLabels,
                                          matched ? &view : nullptr, brackets));
    }
    replacePlots(analysisPlots, analysisPlotLayout, std::move(plots));

    QStringList leftOut;
    for (const FeatureComparison& fc : comparisons)
        if (!fc.leftOut.isEmpty())
            leftOut << QStringLiteral("%1: %2").arg(fc.label, fc.leftOut.join(QStringLiteral(", ")));
    if (!leftOut.isEmpty())
        prompts().information(this, title,
                              QStringLiteral("Left out (no event passes the filter, or no finite value):\n")
                                  + leftOut.join(QLatin1Char('\n')));
}

} // namespace Tervane3
