// The Combine Plot window, empty for now.
#include "windows/CombinePlotWindow.h"

#include "app/WindowHelpers.h"

#include <QCloseEvent>

namespace Tervane3 {

CombinePlotWindow::CombinePlotWindow(DatasetHost* datasetHost, QWidget* parent)
    : QMainWindow(parent)
    , host(datasetHost)
{
    setWindowTitle(QStringLiteral("Combine Plot"));
    resize(1000, 700);
    setCentralWidget(new QWidget(this));
    addKeepOnTopAction(this);
}

void CombinePlotWindow::refresh()
{
}

void CombinePlotWindow::renameDataset(int, const QString&)
{
}

void CombinePlotWindow::removeDataset(int)
{
}

QJsonObject CombinePlotWindow::toJson(const std::vector<std::unique_ptr<DatasetEntry>>&) const
{
    return {};
}

void CombinePlotWindow::restoreFromJson(const QJsonObject&, const std::map<int, int>&)
{
    refresh();
}

void CombinePlotWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Tervane3
