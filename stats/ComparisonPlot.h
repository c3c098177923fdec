// The comparison plot of one feature: per category the summary values as jittered points
// over a box of mean ± 1 SD with its mean line, optional lines joining the values of one
// replicate ID across categories, and significance brackets above. Also the plot frame
// shared with the ROC and distribution plots. GUI thread only.
#pragma once

#include <QColor>
#include <QString>

#include <map>
#include <vector>

class QwtPlot;

namespace Tervane3 {

struct SignificanceBracket
{
    int first = 0;  // category indices
    int second = 0;
    QString label;  // the stars of the comparison
};

// The values of a matched comparison, merged per replicate ID.
struct ReplicateView
{
    std::vector<std::map<int, double>> valuesById; // one map per category: ID -> value
    bool connectLines = false;
};

// A new plot without parent: white canvas, grey dotted grid, no legend.
QwtPlot* newStatisticsPlotFrame();

// values[c] and pointLabels[c]: the values of category c and their tooltip names (missing
// names become "Dataset <i>"). A replicate view with maps replaces the values: its points
// are labelled "ID <id>". Colours beyond the given list come from the category table.
// Bracket heights step with the span of the drawn values and boxes (else half the top
// value, else 1). The plot is replotted and carries a PlotPointTooltip.
QwtPlot* buildAnalysisPlot(const QString& yTitle, const std::vector<QString>& categoryNames,
                           const std::vector<QColor>& categoryColors, const std::vector<std::vector<double>>& values,
                           const std::vector<std::vector<QString>>& pointLabels, const ReplicateView* replicates,
                           const std::vector<SignificanceBracket>& brackets);

} // namespace Tervane3
