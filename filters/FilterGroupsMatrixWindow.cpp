// The Filter Groups – Datasets Matrix window, empty for now.
#include "filters/FilterGroupsMatrixWindow.h"

#include "app/WindowHelpers.h"

#include <QCloseEvent>

namespace Tervane3 {

FilterGroupsMatrixWindow::FilterGroupsMatrixWindow(MainWindow* window, QWidget* parent)
    : QMainWindow(parent)
    , mainWindow(window)
{
    setWindowTitle(QStringLiteral("Filter Groups – Datasets Matrix"));
    resize(720, 480);
    setCentralWidget(new QWidget(this));
    addKeepOnTopAction(this);
}

void FilterGroupsMatrixWindow::refresh()
{
}

void FilterGroupsMatrixWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Tervane3
