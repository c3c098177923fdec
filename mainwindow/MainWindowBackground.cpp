// Tool windows and background calculations: the four lists of open tool windows, the
// launcher of one calculation at a time on the global thread pool, and the wait for
// running tasks before the datasets are torn down.
#include "mainwindow/MainWindow.h"

#include "app/Prompts.h"
#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "app/DatasetEntry.h"
#include "stats/StatisticalEvalWindow.h"
#include "windows/CombinePlotWindow.h"
#include "windows/ImageGalleryWindow.h"

#include <QApplication>
#include <QDebug>
#include <QProgressBar>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <exception>

namespace Tervane3 {

namespace {

// Erases the window from its list (if present) and deletes it once its closeEvent returned.
template<typename Window>
void dropClosedWindow(std::vector<Window*>& list, Window* window)
{
    const auto it = std::find(list.begin(), list.end(), window);
    if (it != list.end())
        list.erase(it);
    window->deleteLater();
}

// Closes and deletes every window of the list without letting it report back.
template<typename Window>
void closeAndDelete(std::vector<Window*>& list, QObject* mainWindow)
{
    std::vector<Window*> windows;
    windows.swap(list);
    for (Window* window : windows) {
        QObject::disconnect(window, nullptr, mainWindow, nullptr);
        window->close();
        delete window;
    }
}

} // namespace

void MainWindow::openCombinePlotWindow()
{
    auto* window = new CombinePlotWindow(this, nullptr);
    combineWindows.push_back(window);
    connect(window, &CombinePlotWindow::windowClosed, this, &MainWindow::onCombineWindowClosed);
    window->show();
}

void MainWindow::openStatisticalEvalWindow()
{
    auto* window = new StatisticalEvalWindow(this, nullptr);
    statEvalWindows.push_back(window);
    connect(window, &StatisticalEvalWindow::windowClosed, this, &MainWindow::onStatEvalWindowClosed);
    window->show();
}

void MainWindow::openImageGalleryWindow()
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry) {
        prompts().information(this, QStringLiteral("Image Gallery"),
                              QStringLiteral("Open a dataset before launching the image gallery."));
        return;
    }
    if (!entry->reader || !entry->reader->hasImage()) {
        prompts().information(this, QStringLiteral("Image Gallery"),
                              QStringLiteral("The active dataset has no event images."));
        return;
    }
    auto* window = new ImageGalleryWindow(this, entry->id, nullptr);
    galleryWindows.push_back(window);
    connect(window, &ImageGalleryWindow::windowClosed, this, &MainWindow::onGalleryWindowClosed);
    window->show();
}

void MainWindow::openFilterGroupsMatrixWindow()
{
    auto* window = new FilterGroupsMatrixWindow(this, nullptr);
    matrixWindows.push_back(window);
    connect(window, &FilterGroupsMatrixWindow::windowClosed, this, &MainWindow::onMatrixWindowClosed);
    window->show();
}

void MainWindow::onCombineWindowClosed(CombinePlotWindow* window)
{
    dropClosedWindow(combineWindows, window);
}

void MainWindow::onStatEvalWindowClosed(StatisticalEvalWindow* window)
{
    dropClosedWindow(statEvalWindows, window);
}

void MainWindow::onGalleryWindowClosed(ImageGalleryWindow* window)
{
    dropClosedWindow(galleryWindows, window);
}

void MainWindow::onMatrixWindowClosed(FilterGroupsMatrixWindow* window)
{
    dropClosedWindow(matrixWindows, window);
}

void MainWindow::closeToolWindows()
{
    closeAndDelete(combineWindows, this);
    closeAndDelete(statEvalWindows, this);
    closeAndDelete(galleryWindows, this);
    closeAndDelete(matrixWindows, this);
}

void MainWindow::runBackgroundCalculation(std::function<void()> work, std::function<void()> onFinished)
{
    if (calcBusy || closing)
        return;
    calcBusy = true;
    calcFinish = std::move(onFinished);
    QProgressBar* bar = calculationsPanel->progressBar();
    bar->setValue(0);
    bar->setFormat(QStringLiteral("%p%"));
    bar->show();

    // The task keeps its own failure text: QtConcurrent would store the exception in the
    // future, where nobody looks.
    auto failure = std::make_shared<QString>();
    calcFailure = failure;
    QFuture<void> future = QtConcurrent::run(QThreadPool::globalInstance(), [work = std::move(work), failure] {
        try {
            work();
        } catch (const std::exception& e) {
            const char* what = e.what();
            *failure = what && *what ? QString::fromUtf8(what) : QStringLiteral("Unknown error.");
        } catch (...) {
            *failure = QStringLiteral("An unknown error occurred.");
        }
    });
    calcWatcher->setFuture(future);
}

void MainWindow::onCalcFinished()
{
    calculationsPanel->progressBar()->hide();
    calcBusy = false;
    std::function<void()> finish = std::move(calcFinish);
    calcFinish = nullptr;
    std::shared_ptr<QString> failure = std::move(calcFailure);
    if (failure && !failure->isEmpty())
        qCritical().noquote() << QStringLiteral("Background calculation failed:") << *failure;
    if (closing)
        return;
    // The finish function also runs after a failure: it gives the calculation's button back.
    if (finish)
        finish();
    if (failure && !failure->isEmpty())
        onUnhandledException(QStringLiteral("Calculation Error"),
                             QStringLiteral("The calculation did not complete:\n%1").arg(*failure));
}

void MainWindow::waitForBackgroundTasks()
{
    const bool calcRunning = calcWatcher && calcWatcher->isRunning();
    const bool preloadRunning = preloadWatcher && preloadWatcher->isRunning();
    if (!calcRunning && !preloadRunning)
        return;
    qInfo("Waiting for background tasks to end before closing");
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Blocking on purpose: processing events here would run finish functions and queued
    // caching steps against a window that is going away. Work functions post their
    // progress without waiting for the GUI thread, so this cannot deadlock.
    calcWatcher->waitForFinished();
    preloadWatcher->waitForFinished();
    QApplication::restoreOverrideCursor();
}

} // namespace Tervane3
