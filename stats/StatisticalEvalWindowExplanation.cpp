// The explanation panel: plain sentences on what the current settings will do, and which
// p values are exact. Composed from the tab, the number of categories, the selection
// count and the settings; it changes nothing else.
#include "stats/StatisticalEvalWindow.h"

#include "stats/CategoryPanel.h"
#include "stats/MultipleComparisons.h"
#include "stats/RankTests.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>

namespace Tervane3 {

namespace {

// Which p values of the comparison are exact: the rule of the rank tests, in words.
QString exactnessParagraph(bool matched, int k)
{
    const QString rule
        = matched ? QStringLiteral("with at most %1 matched differences that are not zero (zero differences are left "
                                   "out)")
                        .arg(wilcoxonExactMaxSize)
                  : QStringLiteral("when the smaller category has at most %1 values").arg(mannWhitneyExactMaxSize);
    const QString exact = QStringLiteral("is exact (from the exact null distribution, given any tied values) %1, and is "
                                         "then marked \"(exact)\" in the column Test; otherwise it comes from the "
                                         "normal approximation, without tie or continuity correction.")
                              .arg(rule);
    if (k == 2)
        return QStringLiteral("The p value ") + exact;
    return QStringLiteral("The %1 p value comes from the chi-square approximation. Each pairwise %2 p value ")
               .arg(matched ? QStringLiteral("Friedman") : QStringLiteral("Kruskal-Wallis"),
                    matched ? QStringLiteral("Wilcoxon") : QStringLiteral("Mann-Whitney U"))
           + exact;
}

} // namespace

void StatisticalEvalWindow::updateExplanationText()
{
    const int tab = tabs->currentIndex();
    const int k = static_cast<int>(categoryPanels.size());
    const int selected = featureList->selectedItems().size();
    const bool matched = isMatchedDesign();
    const bool checked = replicatesCheck->isChecked();
    const double alpha = alphaSpin->value();
    QStringList paragraphs;

    if (tab == 0 || tab == 1) {
        switch (summaryCombo->currentIndex()) {
        case 1:
            paragraphs << QStringLiteral("Each dataset is summarized by its mean — sensitive to outliers.");
            break;
        case 2:
            paragraphs << QStringLiteral(
                "Each dataset is summarized by its standard deviation — compares variability, not location.");
            break;
        case 3:
            paragraphs << QStringLiteral("Each dataset is summarized by its coefficient of variation (SD/mean) — "
                                         "compares relative variability.");
            break;
        case 4:
            paragraphs << QStringLiteral(
                "Each dataset is summarized by its interquartile range — compares spread, robust against outliers.");
            break;
        default:
            paragraphs << QStringLiteral("Each dataset is summarized by its median — robust against outliers.");
            break;
        }
    }

    if (tab == 0) {
        if (k >= 2) {
            if (matched)
                paragraphs << (k == 2 ? QStringLiteral("Wilcoxon signed-rank test: tests whether matched differences "
                                                       "are systematically shifted from zero.")
                                      : QStringLiteral("Friedman test (omnibus): tests whether at least one group "
                                                       "differs across repeated measures. Followed by pairwise "
                                                       "Wilcoxon signed-rank post-hoc tests."));
            else
                paragraphs << (k == 2 ? QStringLiteral("Mann-Whitney U test: tests whether values in one group tend "
                                                       "to be larger than the other. Does not require equal group "
                                                       "sizes.")
                                      : QStringLiteral("Kruskal-Wallis test (omnibus): tests whether at least one group "
                                                       "differs. Followed by pairwise Mann-Whitney U post-hoc tests."));
            paragraphs << exactnessParagraph(matched, k);
        }
        if (matched) {
            paragraphs << (checked ? QStringLiteral("IDs use the format ID.BioRep.TechRep. Technical replicates (same "
                                                    "ID and bio rep) are aggregated first, then biological replicates "
                                                    "(same ID) are aggregated. Matching uses the ID number. "
                                                    "Double-click a dataset to assign its IDs.")
                                   : QStringLiteral("Datasets sharing the same ID are treated as biological replicates "
                                                    "and aggregated. Matching uses the ID number. Double-click a "
                                                    "dataset to assign its ID."));
        } else if (checked) {
            paragraphs << QStringLiteral("Replicates with the same ID are aggregated within each category before the "
                                         "independent test, avoiding pseudoreplication. Double-click a dataset to "
                                         "assign its ID.");
        }
        const int m = plannedTestCount();
        if (m > 1) {
            const QString correction = correctionCombo->currentText();
            if (correction == QLatin1String("Bonferroni"))
                paragraphs << QStringLiteral("Bonferroni correction: %1 is divided by %2 tests (%3=%4). Simple and "
                                             "conservative.")
                                  .arg(QStringLiteral("α"))
                                  .arg(m)
                                  .arg(QStringLiteral("α*"), QString::number(alpha / m, 'g', 4));
            else if (correction == QLatin1String("Holm-Bonferroni"))
                paragraphs << QStringLiteral("Holm-Bonferroni step-down correction across %1 tests. Less conservative "
                                             "than Bonferroni while controlling the family-wise error rate.")
                                  .arg(m);
            else
                paragraphs << QStringLiteral("No correction applied across %1 tests. Risk of false positives "
                                             "increases with the number of comparisons.")
                                  .arg(m);
        }
        if (matched && k >= 2) {
            const int n = smallestIdCount();
            if (n >= 1 && n <= 10) {
                const double p = minimumWilcoxonP(n);
                paragraphs << QStringLiteral("With %1 matched observations, the minimum achievable p-value %2.")
                                  .arg(n)
                                  .arg(minimumWilcoxonPPhrase(n));
                if (p > alpha)
                    paragraphs << QStringLiteral("This exceeds %1=%2 — significance cannot be reached regardless of "
                                                 "effect size. More matched observations are needed.")
                                      .arg(QStringLiteral("α"), QString::number(alpha, 'g', 3));
            }
        }
    } else if (tab == 1) {
        paragraphs << QStringLiteral("ROC analysis evaluates how well each feature separates two categories. Each "
                                     "dataset is reduced to a single summary value, then receiver operating "
                                     "characteristic curves are computed per feature.");
        if (checked)
            paragraphs << QStringLiteral("Replicates are included: datasets sharing the same ID are aggregated before "
                                         "ROC analysis to avoid pseudoreplication. Double-click a dataset to assign "
                                         "its IDs.");
        if (k < 2)
            paragraphs << QStringLiteral("Add at least 2 categories with datasets to run ROC analysis.");
        if (k > 2)
            paragraphs << QStringLiteral("More than 2 categories present — you will be asked to select the negative "
                                         "(reference) and positive (condition) classes.");
    } else if (tab == 2) {
        paragraphs << QStringLiteral("Explore the full event-level distributions of selected features across "
                                     "categories. This helps identify whether groups differ in location, spread, or "
                                     "shape.");
        if (distributionModeCombo->currentIndex() == 1)
            paragraphs << QStringLiteral("Per-category mode: for each category, the per-dataset density curves are "
                                         "averaged pointwise (equal weight per dataset). The shaded band shows ±1 SD "
                                         "of the density across datasets, indicating how consistently the "
                                         "distribution shape is reproduced within a category.");
        else
            paragraphs << QStringLiteral(
                "Per-dataset mode: each dataset is shown as an individual density curve, colored by its category.");
        if (selected == 0)
            paragraphs << QStringLiteral("Select one or more features to display.");
        if (k < 1)
            paragraphs << QStringLiteral("Add categories with datasets to explore distributions.");
    }
    explanationLabel->setText(paragraphs.join(QStringLiteral("\n\n")));
}

} // namespace Tervane3
