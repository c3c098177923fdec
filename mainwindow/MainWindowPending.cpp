// Handlers whose behaviour is still to be built. They are declared and connected so that
// the window's connection table is complete; each handler leaves this file for its own
// source file when its behaviour is built.
#include "mainwindow/MainWindow.h"

namespace Tervane3 {

void MainWindow::onComputeDimReduction()
{
}

void MainWindow::onSaveDimRedReference()
{
}

void MainWindow::onLoadDimRedReference()
{
}

} // namespace Tervane3
