// Which filter group is switched on for which dataset, as a matrix of check boxes.
//
// First version: the empty window with the interface the main window uses
// (opening, closing, refresh); its content comes with its own work.
#pragma once

#include <QMainWindow>

namespace Tervane3 {

class MainWindow;

class FilterGroupsMatrixWindow : public QMainWindow
{
    Q_OBJECT

public:
    FilterGroupsMatrixWindow(MainWindow* mainWindow, QWidget* parent = nullptr);

    // Re-reads the datasets, filters and features of the main window.
    void refresh();

signals:
    // Emitted by closeEvent with the window itself; the main window then drops and deletes it.
    void windowClosed(FilterGroupsMatrixWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindow* mainWindow = nullptr;
};

} // namespace Tervane3
