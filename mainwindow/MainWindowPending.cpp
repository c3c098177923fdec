// Handlers whose behaviour is still to be built. They are declared and connected so that
// the window's connection table and menus are complete; each handler leaves this file for
// its own source file when its behaviour is built. The menu entries among them say that
// the function is not available yet instead of silently doing nothing.
#include "mainwindow/MainWindow.h"

#include "app/Prompts.h"

#include <QStringList>

namespace Tervane3 {

void MainWindow::reportNotAvailable(const QString& title, const QString& what)
{
    prompts().information(this, title, QStringLiteral("%1 is not available in this version yet.").arg(what));
}

void MainWindow::exportPlot()
{
    reportNotAvailable(QStringLiteral("Export Plot"), QStringLiteral("Exporting the plot"));
}

void MainWindow::exportStatSummary()
{
    reportNotAvailable(QStringLiteral("Export Statistical Summary"), QStringLiteral("Exporting a statistical summary"));
}

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
