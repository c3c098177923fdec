// Tool windows and background calculations: the four lists of open tool windows, the
// launcher of one calculation at a time on the global thread pool with its cancel flag and
// queued progress setters, and the wait for running tasks before the datasets are torn down.
#include "mainwindow/MainWindow.h"

#include "app/Prompts.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "app/DatasetEntry.h"
#include "stats/StatisticalEvalWindow.h"
#include "windows/CombinePlotWindow.h"
#include "windows/ImageGalleryWindow.h"

#include <QApplication>
#include <QDebug>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <exception>
#include <mutex>
#include <utility>

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

// What the worker of one calculation owns. The worker holds `handoff` for the whole run; the
// GUI thread takes it once before the task starts and once after it ended, so whatever either
// side wrote before is visible to the other (the pool watcher's hand-over covers the task
// object itself).
struct CalculationTask
{
    std::mutex handoff;
    std::function<void(const std::atomic<bool>& cancel)> work;
    std::atomic<bool> cancel{false};
    // Written by the worker; empty on success.
    QString failure;
};

CombinePlotWindow* MainWindow::createCombinePlotWindow()
{
    auto* window = new CombinePlotWindow(this, nullptr);
    combineWindows.push_back(window);
    connect(window, &CombinePlotWindow::windowClosed, this, &MainWindow::onCombineWindowClosed);
    return window;
}

StatisticalEvalWindow* MainWindow::createStatisticalEvalWindow()
{
    auto* window = new StatisticalEvalWindow(this, nullptr);
    statEvalWindows.push_back(window);
    connect(window, &StatisticalEvalWindow::windowClosed, this, &MainWindow::onStatEvalWindowClosed);
    return window;
}

void MainWindow::openCombinePlotWindow()
{
    createCombinePlotWindow()->show();
}

void MainWindow::openStatisticalEvalWindow()
{
    createStatisticalEvalWindow()->show();
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
    runCancellableCalculation([work = std::move(work)](const std::atomic<bool>&) { work(); }, std::move(onFinished));
}

void MainWindow::runCancellableCalculation(std::function<void(const std::atomic<bool>& cancel)> work,
                                           std::function<void()> onFinished)
{
    if (calculationBusy || closing)
        return;
    calculationBusy = true;
    calculationFinish = std::move(onFinished);
    // Before the worker exists: a Cancel from now on reaches the calculator in any case.
    clearCalculatorStops();
    QProgressBar* bar = calculationsPanel->progressBar();
    bar->setValue(0);
    bar->setFormat(QStringLiteral("%p%"));
    bar->show();

    // The task keeps its own failure text, which onCalcFinished reports with its context.
    auto task = std::make_shared<CalculationTask>();
    {
        const std::lock_guard<std::mutex> lock(task->handoff);
        task->work = std::move(work);
    }
    calculationTask = task;
    calculationWatcher->start([task] {
        const std::lock_guard<std::mutex> lock(task->handoff);
        try {
            task->work(task->cancel);
        } catch (const std::exception& e) {
            const char* what = e.what();
            task->failure = what && *what ? QString::fromUtf8(what) : QStringLiteral("Unknown error.");
        } catch (...) {
            task->failure = QStringLiteral("An unknown error occurred.");
        }
        task->work = nullptr; // captured copies go on the worker, not later on the GUI thread
    });
}

void MainWindow::clearCalculatorStops()
{
    flRefinement->cancelRequested = false;
    flCompensation->cancelRequested = false;
    fourierDeform->cancelRequested = false;
    imageFeatures->cancelRequested = false;
    emodulusCalculator->cancelRequested = false;
}

void MainWindow::postProgressFormat(const QString& format)
{
    QMetaObject::invokeMethod(calculationsPanel->progressBar(), [bar = calculationsPanel->progressBar(), format] {
        bar->setFormat(format);
    }, Qt::QueuedConnection);
}

void MainWindow::postProgressValue(int value)
{
    QMetaObject::invokeMethod(calculationsPanel->progressBar(), [bar = calculationsPanel->progressBar(), value] {
        bar->setValue(value);
    }, Qt::QueuedConnection);
}

void MainWindow::onCancelCalculation()
{
    if (!calculationBusy || !calculationTask)
        return;
    calculationTask->cancel.store(true);
    // Calculators that test per event stop after the event in work. Only the start of the
    // next run clears these (clearCalculatorStops), so a Cancel that comes while the worker
    // moves on to its next dataset still stops that dataset.
    flRefinement->cancelRequested = true;
    flCompensation->cancelRequested = true;
    fourierDeform->cancelRequested = true;
    imageFeatures->cancelRequested = true;
    emodulusCalculator->cancelRequested = true;
    // One Cancel stops a session's whole restoration, not only the run in work.
    if (restorationRunning)
        restorationCancelled = true;
    statusLabel->setText(QStringLiteral("Cancelling the calculation..."));
}

void MainWindow::onCalcFinished()
{
    calculationsPanel->progressBar()->hide();
    calculationBusy = false;
    std::function<void()> finish = std::move(calculationFinish);
    calculationFinish = nullptr;
    QString failure;
    if (std::shared_ptr<CalculationTask> task = std::move(calculationTask)) {
        const std::lock_guard<std::mutex> lock(task->handoff);
        failure = task->failure;
    }
    if (!failure.isEmpty())
        qCritical().noquote() << QStringLiteral("Background calculation failed:") << failure;
    const bool restorationStopped = std::exchange(restorationCancelled, false);
    restorationRunning = false;
    if (closing)
        return;
    // Named before the finish function clears the flags of moduli it did not restore.
    const QStringList notRestored = restorationStopped ? unrestoredCalculations() : QStringList();
    // The finish function also runs after a failure: it gives the calculation's button back.
    if (finish)
        finish();
    if (restorationStopped) {
        stopSessionRestoration(notRestored);
    } else {
        // The re-application of restored calculations waited for the run; catch up for the
        // dataset shown now (unless the finish function started the next run).
        if (!calculationBusy) {
            DatasetEntry* active = shownEntry();
            if (active && reapplyRestoredCalculations(active, fluorescenceChannels(active->reader.get())))
                refreshFeaturesAndPlot();
        }
        // So does a loaded session's Young's modulus.
        startModulusRestore();
    }
    if (!failure.isEmpty())
        onUnhandledException(QStringLiteral("Calculation Error"),
                             QStringLiteral("The calculation did not complete:\n%1").arg(failure));
}

void MainWindow::waitForBackgroundTasks()
{
    const bool calcRunning = calculationWatcher && calculationWatcher->isRunning();
    const bool preloadRunning = preloadWatcher && preloadWatcher->isRunning();
    if (!calcRunning && !preloadRunning)
        return;
    // A run that can stop early does so: closing need not wait for minutes of fitting.
    if (calculationBusy && calculationTask)
        onCancelCalculation();
    qInfo("Waiting for background tasks to end before closing");
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Blocking on purpose: processing events here would run finish functions and queued
    // caching steps against a window that is going away. Work functions post their
    // progress without waiting for the GUI thread, so this cannot deadlock.
    calculationWatcher->wait();
    preloadWatcher->wait();
    QApplication::restoreOverrideCursor();
}

} // namespace Tervane3
