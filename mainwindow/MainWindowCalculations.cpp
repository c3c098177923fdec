// The calculation requests of the calculations panel: each slot checks its preconditions,
// copies what its work needs (datasets as targets, the panel's settings), starts the work on
// the background slot and, in its finish function on the GUI thread, records the outcome in
// the datasets (flags, crosstalk channels and matrix), refreshes the features, the plot and
// the open tool windows and reports datasets that got nothing. Also the quality assessment
// (synchronous) and the re-application of calculations a restored session carries without
// their columns.
#include "mainwindow/MainWindow.h"

#include "app/DatasetEntry.h"
#include "calc/CalculationRun.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModQualityDialog.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FluorescenceChannels.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "calc/TraceFilterSettings.h"
#include "core/RTDCReader.h"
#include "stats/StatisticalEvalWindow.h"
#include "windows/CombinePlotWindow.h"

#include <QDebug>
#include <QLabel>
#include <QProgressBar>

namespace Tervane3 {

namespace {

bool endsWith(const std::string& name, const char* suffix)
{
    const size_t n = std::char_traits<char>::length(suffix);
    return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
}

bool isCrosstalkFeature(const std::string& name)
{
    return name.size() >= 8 && endsWith(name, "_max_ctc");
}

bool isEmodulusFeature(const std::string& name)
{
    return name == "emodulus";
}

void logNotes(const QString& calculation, const QStringList& notes)
{
    for (const QString& note : notes)
        qInfo().noquote() << QStringLiteral("%1: %2").arg(calculation, note);
}

} // namespace

std::vector<int> MainWindow::fluorescenceChannels(const RTDCReader* reader)
{
    if (!reader)
        return {};
    return Tervane3::fluorescenceChannels(reader->featureNames());
}

DatasetEntry* MainWindow::calculationRequestEntry() const
{
    return calculationBusy ? nullptr : shownEntry();
}

template<typename Calculator>
void MainWindow::connectProgress(Calculator* calculator, QMetaObject::Connection& connection)
{
    disconnect(connection);
    // Emitted on the pool thread: the automatic connection queues each value to the bar.
    connection = connect(calculator, &Calculator::progressChanged, calculationsPanel->progressBar(),
                         &QProgressBar::setValue);
}

void MainWindow::finishCalculation(const QString& calculation, const CalculationReport& report,
                                   std::function<bool(const std::string&)> justComputed)
{
    computedFeaturePredicate = std::move(justComputed);
    refreshFeaturesAndPlot();
    for (CombinePlotWindow* window : combineWindows)
        window->refresh();
    for (StatisticalEvalWindow* window : statEvalWindows)
        window->refresh();

    for (const CalculationOutcome& outcome : report.outcomes) {
        if (outcome.state == CalculationOutcome::State::Failed) {
            qWarning().noquote() << QStringLiteral("%1 of %2 stored nothing: %3")
                                        .arg(calculation, outcome.name,
                                             outcome.reasons.isEmpty() ? QStringLiteral("no reason given")
                                                                       : outcome.reasons.join(QStringLiteral("; ")));
        } else if (outcome.state == CalculationOutcome::State::Cancelled) {
            qInfo().noquote() << QStringLiteral("%1 of %2 cancelled; nothing stored").arg(calculation, outcome.name);
        }
    }
    statusLabel->setText(report.summary(calculation));
}

// ---- crosstalk compensation ---------------------------------------------------------------

void MainWindow::onCompensateCrosstalk()
{
    DatasetEntry* active = calculationRequestEntry();
    if (!active)
        return;
    const std::vector<int> channels = fluorescenceChannels(active->reader.get());
    if (channels.size() < 2)
        return;
    const arma::mat spillover = calculationsPanel->crosstalkMatrix();
    std::vector<CalculationTarget> targets;
    if (calculationsPanel->crosstalkApplyToAll()) {
        targets = loadedTargets(entries, [&channels](const DatasetEntry& entry) {
            return fluorescenceChannels(entry.reader.get()) == channels;
        });
    } else {
        targets.push_back(targetOf(*active));
    }

    calculationsPanel->setCompensateCrosstalkEnabled(false);
    connectProgress(flCompensation, compensationProgress);
    auto report = std::make_shared<CalculationReport>();
    FLCompensation* calculator = flCompensation;
    runCancellableCalculation(
        [report, targets, channels, spillover, calculator](const std::atomic<bool>& cancel) {
            *report = runOverTargets(targets, cancel,
                                     [&](const CalculationTarget& target, std::vector<std::string>& reasons) {
                                         return calculator->compute(target.reader.get(), channels, spillover,
                                                                    &reasons);
                                     });
        },
        [this, report, channels, spillover] {
            calculationsPanel->setCompensateCrosstalkEnabled(true);
            for (const CalculationOutcome& outcome : report->outcomes) {
                DatasetEntry* entry = findDatasetById(outcome.datasetId);
                if (!entry || outcome.state != CalculationOutcome::State::Done)
                    continue;
                entry->ctcApplied = true;
                entry->ctcChannels = channels;
                entry->spilloverMatrix = spillover;
            }
            finishCalculation(QStringLiteral("Crosstalk compensation"), *report, isCrosstalkFeature);
        });
}

// ---- Young's modulus --------------------------------------------------------------------

void MainWindow::onComputeEmodulus()
{
    DatasetEntry* active = calculationRequestEntry();
    if (!active)
        return;
    const QString calculation = QStringLiteral("Young's modulus");
    std::vector<CalculationTarget> targets;
    QStringList notes;
    if (!calculationsPanel->emodulusApplyToAll()) {
        if (isReservoirMeasurement(active->metadata)) {
            calculationsPanel->setComputeEmodulusEnabled(false);
            return;
        }
        CalculationTarget target = targetOf(*active);
        QStringList fallbacks;
        target.params = calculationsPanel->emodulusParamsFromUi(&fallbacks);
        if (target.params.temperatureSource == EModulusParams::TemperatureMetadata)
            target.params.temperature = EModulusParams::temperatureFromMetadata(active->metadata.setup);
        if (!fallbacks.isEmpty())
            notes.append(QStringLiteral("%1: %2").arg(active->displayName, fallbacks.join(QStringLiteral(", "))));
        targets.push_back(std::move(target));
    } else {
        targets = emodulusJobs(entries, *calculationsPanel, calculationsPanel->deformationSource(), &notes);
    }
    logNotes(calculation, notes);

    calculationsPanel->setComputeEmodulusEnabled(false);
    connectProgress(emodulusCalculator, emodulusProgress);
    auto report = std::make_shared<CalculationReport>();
    EModulus* calculator = emodulusCalculator;
    runCancellableCalculation(
        [report, targets, calculator](const std::atomic<bool>& cancel) {
            *report = runOverTargets(targets, cancel,
                                     [&](const CalculationTarget& target, std::vector<std::string>& reasons) {
                                         RTDCReader* reader = target.reader.get();
                                         for (const std::string& column : {std::string("area_um"),
                                                                           target.params.deformFeature}) {
                                             if (reader && !reader->hasFeature(column)) {
                                                 reasons.push_back("no column " + column);
                                                 return false;
                                             }
                                         }
                                         return calculator->compute(reader, target.params, &reasons);
                                     });
        },
        [this, report, calculation] {
            calculationsPanel->setComputeEmodulusEnabled(true);
            for (const CalculationOutcome& outcome : report->outcomes) {
                DatasetEntry* entry = findDatasetById(outcome.datasetId);
                if (entry && outcome.state == CalculationOutcome::State::Done)
                    entry->emodApplied = true;
            }
            const DatasetEntry* shown = activeEntry();
            calculationsPanel->setAssessQualityEnabled(shown && shown->emodApplied);
            finishCalculation(calculation, *report, isEmodulusFeature);
        });
}

void MainWindow::onAssessEmodQuality()
{
    DatasetEntry* entry = shownEntry();
    if (!entry || !entry->emodApplied || !entry->reader)
        return;
    QStringList fallbacks;
    EModulusParams params = calculationsPanel->emodulusParamsFromUi(&fallbacks);
    if (params.temperatureSource == EModulusParams::TemperatureMetadata)
        params.temperature = EModulusParams::temperatureFromMetadata(entry->metadata.setup);
    if (!fallbacks.isEmpty())
        logNotes(QStringLiteral("Quality assessment"),
                 {QStringLiteral("%1: %2").arg(entry->displayName, fallbacks.join(QStringLiteral(", ")))});
    const std::vector<int> events = assessmentEvents(*this, *entry, calculationsPanel->useFilteredData());
    const EModQualityReport report = emodulusCalculator->assessQuality(entry->reader.get(), params, events);
    auto* dialog = new EModQualityDialog(report, entry->displayName, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// ---- fluorescence refinement, Fourier deformation, image features ------------------------

void MainWindow::onRefineFluorescence()
{
}

void MainWindow::onComputeFourierDeform()
{
}

void MainWindow::onComputeImageFeatures()
{
}

// ---- re-application of restored calculations -----------------------------------------------

bool MainWindow::reapplyRestoredCalculations(DatasetEntry* entry, const std::vector<int>& channels)
{
    // A worker may be writing this reader's columns: wait for the run (onCalcFinished
    // calls this again for the dataset shown then).
    if (calculationBusy || !entry || !entry->reader)
        return false;
    RTDCReader* reader = entry->reader.get();
    bool computed = false;

    if (!channels.empty() && entry->flRefinementApplied) {
        bool refined = false;
        for (const std::string& name : reader->featureNames()) {
            if (name.size() >= 8 && endsWith(name, "_rf") && reader->isComputedFeature(name)) {
                refined = true;
                break;
            }
        }
        if (!refined)
            computed = flRefinement->run(reader, entry->metadata, TraceFilterSettings()) || computed;
    }

    if (channels.size() >= 2 && entry->ctcApplied && entry->ctcChannels == channels
        && entry->spilloverMatrix.n_rows == channels.size() && entry->spilloverMatrix.n_cols == channels.size()) {
        bool compensated = false;
        for (int channel : channels) {
            if (reader->isComputedFeature(channelFeature(channel, "_max_ctc"))) {
                compensated = true;
                break;
            }
        }
        if (!compensated) {
            std::vector<std::string> reasons;
            if (flCompensation->compute(reader, channels, entry->spilloverMatrix, &reasons)) {
                computed = true;
            } else {
                qWarning().noquote() << QStringLiteral("Crosstalk compensation of %1 could not be restored: %2")
                                            .arg(entry->displayName,
                                                 QString::fromStdString(reasons.empty() ? std::string("nothing stored")
                                                                                        : reasons.front()));
            }
        }
    }
    return computed;
}

} // namespace Tervane3
