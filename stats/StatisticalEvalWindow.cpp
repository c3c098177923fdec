// The Statistical Evaluation window, empty for now.
#include "stats/StatisticalEvalWindow.h"

#include "app/WindowHelpers.h"

#include <QCloseEvent>

namespace Tervane3 {

StatisticalEvalWindow::StatisticalEvalWindow(DatasetHost* datasetHost, QWidget* parent)
    : QMainWindow(parent)
    , host(datasetHost)
{
    setWindowTitle(QStringLiteral("Statistical Evaluation"));
    resize(1000, 700);
    setCentralWidget(new QWidget(this));
    addKeepOnTopAction(this);
}

void StatisticalEvalWindow::refresh()
{
}

void StatisticalEvalWindow::renameDataset(int, const QString&)
{
}

void StatisticalEvalWindow::removeDataset(int)
{
}

QJsonObject StatisticalEvalWindow::toJson(const std::vector<std::unique_ptr<DatasetEntry>>&) const
{
    return {};
}

void StatisticalEvalWindow::restoreFromJson(const QJsonObject&, const std::map<int, int>&)
{
    refresh();
}

void StatisticalEvalWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Tervane3
