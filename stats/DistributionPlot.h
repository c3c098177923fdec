// The distribution explorer's plot of one feature: a kernel density curve per dataset, or
// per category the mean of its datasets' curves with a band of ±1 SD. GUI thread; the
// densities themselves are computed over the datasets in parallel.
#pragma once

#include <QColor>
#include <QString>

#include <vector>

class QwtPlot;

namespace Tervane3 {

// The filtered, finite values of one dataset for one feature.
struct DistributionSample
{
    std::vector<double> values;
    QString name;        // the entry's name in its category
    QColor color;        // its category's colour
    int categoryIndex = 0;
};

struct DistributionCategory
{
    QString name;
    QColor color;
};

// Null when there is no sample. All curves share one grid over the pooled range.
QwtPlot* buildDistributionPlot(const QString& title, const QString& xTitle, const std::vector<DistributionSample>& samples,
                               const std::vector<DistributionCategory>& categories, bool perCategory);

} // namespace Tervane3
