// Summary statistics of the points plotted in the main scatter plot, x and y side by side:
// the content of the "Plot Statistics" dock. GUI thread only.
#pragma once

#include <QWidget>

#include <vector>

class QTreeWidget;

namespace Tervane3 {

class StatisticsDockWidget : public QWidget
{
public:
    explicit StatisticsDockWidget(QWidget* parent = nullptr);

    // Header "Statistic", xLabel, yLabel; rows N, Mean, SD, Q1, Median, Q3, IQR unless x or
    // y is empty.
    void updateStatistics(const std::vector<double>& x, const std::vector<double>& y,
                          const QString& xLabel, const QString& yLabel);
    // No rows; header "Statistic", "X", "Y".
    void clear();

    QTreeWidget* table() const { return tree; }

private:
    QTreeWidget* tree = nullptr;
};

} // namespace Tervane3
