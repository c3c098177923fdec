// Summary statistics of the plotted points, x and y side by side ("Plot Statistics" dock).
//
// First version: the empty table; filling it comes with the main plot update.
#pragma once

#include <QWidget>

class QTreeWidget;

namespace Tervane3 {

class StatisticsDockWidget : public QWidget
{
public:
    explicit StatisticsDockWidget(QWidget* parent = nullptr);

    void clear();

private:
    QTreeWidget* tree = nullptr;
};

} // namespace Tervane3
