// The calculation requests of the calculations panel: each slot checks its preconditions,
// copies what its work needs (datasets as targets, the panel's settings), starts the work on
// the background slot and, in its finish function on the GUI thread, records the outcome in
// the datasets (flags, crosstalk channels and matrix), refreshes the features, the plot and
// the open tool windows and reports datasets that got nothing. Also the quality assessment
// (synchronous) and the re-application of calculations a restored session carries without
// their columns: the refinement and compensation of a dataset when it is shown, the Young's
// modulus of every dataset right after loading, from the settings the session kept.
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

#include "app/Prompts.h"

#include <QComboBox>
#include <QDebug>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>

#include <algorithm>
#include <map>
#include <set>

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

bool isRefinedFlFeature(const std::string& name)
{
    return name.size() >= 3 && endsWith(name, "_rf");
}

bool isFourierDeformFeature(const std::string& name)
{
    return name == "deform_odd" || name == "deform_even" || name == "deform_fc";
}

bool isImageFeature(const std::string& name)
{
    // Built from the calculator's list the first time, kept for the life of the process.
    static const std::set<std::string> names(ImageFeatures::featureNames().begin(), ImageFeatures::featureNames().end());
    return names.count(name) != 0;
}

// "Dataset k of N — %p%" before dataset k (from 1) of an apply-to-all run.
QString datasetProgressFormat(size_t index, size_t count)
{
    return QStringLiteral("Dataset %1 of %2 — %p%").arg(index + 1).arg(count);
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

DatasetEntry* MainWindow::calculationRequestEntry(const QString& title)
{
    // The running calculation may be one the user never started (the re-run of a restored
    // session's calculation): a click must not vanish without a word.
    if (calculationBusy) {
        prompts().warning(this, title,
                          QStringLiteral("A calculation is running. Start this one after it has finished, "
                                         "or stop the running one with Cancel."));
        return nullptr;
    }
    return shownEntry();
}

template<typename Calculator>
void MainWindow::connectProgress(Calculator* calculator, QMetaObject::Connection& connection)
{
    disconnect(connection);
    // Emitted on the pool thread: the automatic connection queues each value to the bar.
    connection = connect(calculator, &Calculator::progressChanged, calculationsPanel->progressBar(),
                         &QProgressBar::setValue);
}

void MainWindow::refreshAfterCalculation(std::function<bool(const std::string&)> justComputed,
                                         const std::function<void()>& beforeRefresh)
{
    computedFeaturePredicate = std::move(justComputed);
    if (beforeRefresh)
        beforeRefresh();
    refreshFeaturesAndPlot();
    // The feature table of the current event lists the new columns at once.
    if (const DatasetEntry* shown = shownEntry(); shown && shown->currentEventIndex >= 0)
        updateEventDataTable(shown->currentEventIndex);
    for (CombinePlotWindow* window : combineWindows)
        window->refresh();
    for (StatisticalEvalWindow* window : statEvalWindows)
        window->refresh();
}

void MainWindow::finishCalculation(const QString& calculation, const CalculationReport& report,
                                   std::function<bool(const std::string&)> justComputed,
                                   const std::function<void()>& beforeRefresh)
{
    refreshAfterCalculation(std::move(justComputed), beforeRefresh);

    for (const CalculationOutcome& outcome : report.outcomes) {
        if (outcome.state == CalculationOutcome::State::Failed) {
            qWarning().noquote() << QStringLiteral("%1 of %2 stored nothing: %3")
                                        .arg(calculation, outcome.name,
                                             outcome.reasons.isEmpty() ? QStringLiteral("no reason given")
                                                                       : outcome.reasons.join(QStringLiteral("; ")));
        } else if (outcome.state == CalculationOutcome::State::Cancelled) {
            qInfo().noquote() << QStringLiteral("%1 of %2 cancelled; nothing stored").arg(calculation, outcome.name);
        } else if (outcome.state == CalculationOutcome::State::Done) {
            for (const QString& note : outcome.reasons)
                qInfo().noquote() << QStringLiteral("%1 of %2: %3").arg(calculation, outcome.name, note);
        }
    }
    statusLabel->setText(report.summary(calculation));
}

// ---- crosstalk compensation ---------------------------------------------------------------

void MainWindow::onCompensateCrosstalk()
{
    DatasetEntry* active = calculationRequestEntry(QStringLiteral("Crosstalk Compensation"));
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
    DatasetEntry* active = calculationRequestEntry(QStringLiteral("Young's Modulus"));
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
    runEmodulusCalculation(std::move(targets), [this, calculation](const CalculationReport& report) {
        calculationsPanel->setComputeEmodulusEnabled(true);
        finishCalculation(calculation, report, isEmodulusFeature);
    });
}

void MainWindow::runEmodulusCalculation(std::vector<CalculationTarget> targets,
                                        std::function<void(const CalculationReport& report)> finish)
{
    // What each dataset was computed with, recorded with its flag (a session saves it).
    std::map<int, EmodulusSettings> settings;
    bool fourierFirst = false;
    for (const CalculationTarget& target : targets) {
        settings[target.datasetId] = emodulusSettingsOf(target.params);
        fourierFirst = fourierFirst
                       || (target.reader && isFourierDeformFeature(target.params.deformFeature)
                           && !target.reader->hasFeature(target.params.deformFeature));
    }
    connectProgress(emodulusCalculator, emodulusProgress);
    if (fourierFirst)
        connectProgress(fourierDeform, fourierProgress);
    auto report = std::make_shared<CalculationReport>();
    // Datasets that got the Fourier deformation on the way (written by the worker, read by
    // the finish function after the task's hand-over).
    auto fourierComputed = std::make_shared<std::vector<int>>();
    EModulus* calculator = emodulusCalculator;
    FourierDeform* fourier = fourierDeform;
    runCancellableCalculation(
        [this, report, fourierComputed, targets = std::move(targets), calculator, fourier](const std::atomic<bool>& cancel) {
            *report = runOverTargets(targets, cancel,
                                     [&](const CalculationTarget& target, std::vector<std::string>& reasons) {
                                         RTDCReader* reader = target.reader.get();
                                         const std::string& deform = target.params.deformFeature;
                                         // No session keeps computed columns: a modulus restored
                                         // from the Fourier deformation needs that computed first.
                                         if (reader && isFourierDeformFeature(deform) && !reader->hasFeature(deform)
                                             && reader->hasMask()) {
                                             postProgressFormat(QStringLiteral("Fourier deformation — %p%"));
                                             const bool computed = fourier->compute(reader);
                                             postProgressFormat(QStringLiteral("%p%"));
                                             if (!computed) {
                                                 reasons.push_back("no Fourier deformation (" + deform + ")");
                                                 return false;
                                             }
                                             fourierComputed->push_back(target.datasetId);
                                         }
                                         for (const std::string& column : {std::string("area_um"), deform}) {
                                             if (reader && !reader->hasFeature(column)) {
                                                 reasons.push_back("no column " + column);
                                                 return false;
                                             }
                                         }
                                         return calculator->compute(reader, target.params, &reasons);
                                     });
        },
        [this, report, fourierComputed, settings = std::move(settings), finish = std::move(finish)] {
            for (const int id : *fourierComputed) {
                if (DatasetEntry* entry = findDatasetById(id))
                    entry->fourierApplied = true;
            }
            if (!fourierComputed->empty())
                updateFourierDeformAvailability();
            for (const CalculationOutcome& outcome : report->outcomes) {
                DatasetEntry* entry = findDatasetById(outcome.datasetId);
                if (entry && outcome.state == CalculationOutcome::State::Done) {
                    entry->emodApplied = true;
                    entry->emodulusSettings = settings.at(outcome.datasetId);
                    shareModulusSettings(entries, *entry);
                }
            }
            finish(*report);
            const DatasetEntry* shown = activeEntry();
            calculationsPanel->setAssessQualityEnabled(shown && shown->emodApplied);
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
    DatasetEntry* active = calculationRequestEntry(QStringLiteral("Fluorescence Refinement"));
    if (!active)
        return;
    const TraceFilterSettings settings = calculationsPanel->traceFilterSettings();
    std::vector<CalculationTarget> targets;
    if (calculationsPanel->refinementApplyToAll())
        targets = loadedTargets(entries, [](const DatasetEntry& entry) { return entry.reader->hasTraces(); });
    else
        targets.push_back(targetOf(*active));

    calculationsPanel->setRefineFluorescenceEnabled(false);
    connectProgress(flRefinement, refinementProgress);
    auto report = std::make_shared<CalculationReport>();
    FLRefinement* calculator = flRefinement;
    runCancellableCalculation(
        [report, targets, settings, calculator](const std::atomic<bool>& cancel) {
            *report = runOverTargets(targets, cancel,
                                     [&](const CalculationTarget& target, std::vector<std::string>& reasons) {
                                         return calculator->run(target.reader.get(), target.metadata, settings,
                                                                &reasons);
                                     });
        },
        [this, report] {
            calculationsPanel->setRefineFluorescenceEnabled(true);
            for (const CalculationOutcome& outcome : report->outcomes) {
                DatasetEntry* entry = findDatasetById(outcome.datasetId);
                if (entry && outcome.state == CalculationOutcome::State::Done)
                    entry->flRefinementApplied = true;
            }
            finishCalculation(QStringLiteral("Fluorescence refinement"), *report, isRefinedFlFeature,
                              [this] { configureTracePlot(); });
            const DatasetEntry* shown = activeEntry();
            if (shown && shown->currentEventIndex >= 0)
                displayEventTraces(shown->currentEventIndex);
        });
}

void MainWindow::onComputeFourierDeform()
{
    DatasetEntry* active = calculationRequestEntry(QStringLiteral("Fourier Deformation"));
    if (!active)
        return;
    const bool all = calculationsPanel->fourierApplyToAll();
    std::vector<CalculationTarget> targets;
    if (all)
        targets = loadedTargets(entries, [](const DatasetEntry& entry) { return entry.reader->hasMask(); });
    else if (active->reader && active->reader->hasMask())
        targets.push_back(targetOf(*active));
    if (targets.empty()) {
        prompts().warning(this, QStringLiteral("Fourier Deformation"),
                          all ? QStringLiteral("No loaded dataset has segmentation masks.")
                              : QStringLiteral("This dataset has no segmentation masks."));
        return;
    }

    calculationsPanel->setComputeFourierDeformEnabled(false);
    connectProgress(fourierDeform, fourierProgress);
    FourierDeform* calculator = fourierDeform;
    runPerEventCalculation(
        targets, all, [calculator](RTDCReader* reader) { return calculator->compute(reader); },
        [this](const CalculationReport& report) {
            calculationsPanel->setComputeFourierDeformEnabled(true);
            for (const CalculationOutcome& outcome : report.outcomes) {
                DatasetEntry* entry = findDatasetById(outcome.datasetId);
                if (entry && outcome.state == CalculationOutcome::State::Done)
                    entry->fourierApplied = true;
            }
            finishCalculation(QStringLiteral("Fourier deformation"), report, isFourierDeformFeature,
                              [this] { updateFourierDeformAvailability(); });
        });
}

void MainWindow::onComputeImageFeatures()
{
    DatasetEntry* active = calculationRequestEntry(QStringLiteral("Image Features"));
    if (!active)
        return;
    const bool all = calculationsPanel->imageFeaturesApplyToAll();
    const auto qualifies = [](const DatasetEntry& entry) {
        return entry.reader && entry.reader->hasImage() && entry.reader->hasMask();
    };
    std::vector<CalculationTarget> targets;
    if (all)
        targets = loadedTargets(entries, qualifies);
    else if (qualifies(*active))
        targets.push_back(targetOf(*active));
    if (targets.empty()) {
        prompts().warning(this, QStringLiteral("Image Features"),
                          all ? QStringLiteral("No loaded dataset has both images and segmentation masks.")
                              : QStringLiteral("This dataset has no images and/or segmentation masks."));
        return;
    }

    calculationsPanel->setComputeImageFeaturesEnabled(false);
    connectProgress(imageFeatures, imageFeaturesProgress);
    ImageFeatures* calculator = imageFeatures;
    runPerEventCalculation(
        targets, all, [calculator](RTDCReader* reader) { return calculator->compute(reader); },
        [this](const CalculationReport& report) {
            calculationsPanel->setComputeImageFeaturesEnabled(true);
            finishCalculation(QStringLiteral("Image features"), report, isImageFeature);
        });
}

void MainWindow::runPerEventCalculation(std::vector<CalculationTarget> targets, bool all,
                                        std::function<bool(RTDCReader* reader)> compute,
                                        std::function<void(const CalculationReport& report)> finish)
{
    auto report = std::make_shared<CalculationReport>();
    runCancellableCalculation(
        [this, report, targets = std::move(targets), all, compute = std::move(compute)](const std::atomic<bool>& cancel) {
            *report = runOverTargets(
                targets, cancel,
                [&](const CalculationTarget& target, std::vector<std::string>&) {
                    return compute(target.reader.get());
                },
                [this, all](size_t k, size_t n) {
                    if (all)
                        postProgressFormat(datasetProgressFormat(k, n));
                });
        },
        [report, finish = std::move(finish)] { finish(*report); });
}

// ---- re-application of restored calculations -----------------------------------------------

bool MainWindow::reapplyRestoredCalculations(DatasetEntry* entry, const std::vector<int>& channels)
{
    // A worker may be writing this reader's columns: wait for the run (onCalcFinished
    // calls this again for the dataset shown then).
    if (calculationBusy || closing || !entry || !entry->reader || restoredCalculationIds.count(entry->id) != 0)
        return false;
    RTDCReader* reader = entry->reader.get();

    bool refine = false;
    if (!channels.empty() && entry->flRefinementApplied) {
        refine = true;
        for (const std::string& name : reader->featureNames()) {
            if (name.size() >= 8 && endsWith(name, "_rf") && reader->isComputedFeature(name)) {
                refine = false;
                break;
            }
        }
    }
    bool compensate = false;
    if (channels.size() >= 2 && entry->ctcApplied && entry->ctcChannels == channels
        && entry->spilloverMatrix.n_rows == channels.size() && entry->spilloverMatrix.n_cols == channels.size()) {
        compensate = true;
        for (int channel : channels) {
            if (reader->isComputedFeature(channelFeature(channel, "_max_ctc"))) {
                compensate = false;
                break;
            }
        }
    }
    if (!refine && !compensate)
        return false;
    restoredCalculationIds.insert(entry->id);
    if (refine) {
        restoreRefinementInBackground(entry, channels, compensate);
        return false;
    }
    // The compensation alone takes a fraction of a second even at a million events. No run
    // is in progress, so a stop left from an earlier run's Cancel must not end this one.
    clearCalculatorStops();
    std::vector<std::string> reasons;
    if (flCompensation->compute(reader, channels, entry->spilloverMatrix, &reasons))
        return true;
    qWarning().noquote() << QStringLiteral("Crosstalk compensation of %1 could not be restored: %2")
                                .arg(entry->displayName,
                                     QString::fromStdString(reasons.empty() ? std::string("nothing stored")
                                                                            : reasons.front()));
    return false;
}

void MainWindow::restoreRefinementInBackground(DatasetEntry* entry, const std::vector<int>& channels,
                                               bool thenCompensate)
{
    CalculationTarget target = targetOf(*entry);
    const arma::mat spillover = entry->spilloverMatrix;
    // The plot features the session saved for the dataset; some exist only once refined.
    const SavedPlotFeatures saved{{entry->xFeatureName, entry->yFeatureName, entry->colorFeatureName}};
    connectProgress(flRefinement, refinementProgress);
    connectProgress(flCompensation, compensationProgress);
    statusLabel->setText(QStringLiteral("Restoring the refined fluorescence of %1...").arg(entry->displayName));
    auto report = std::make_shared<CalculationReport>();
    FLRefinement* refinement = flRefinement;
    FLCompensation* compensation = flCompensation;
    runCancellableCalculation(
        [report, target, channels, spillover, thenCompensate, refinement, compensation](const std::atomic<bool>& cancel) {
            *report = runOverTargets({target}, cancel,
                                     [&](const CalculationTarget& t, std::vector<std::string>& reasons) {
                                         // The compensation reads the fresh refined maxima.
                                         const bool refined = refinement->run(t.reader.get(), t.metadata,
                                                                              TraceFilterSettings(), &reasons);
                                         if (refined && thenCompensate && !cancel)
                                             return compensation->compute(t.reader.get(), channels, spillover,
                                                                          &reasons);
                                         return refined;
                                     });
        },
        [this, report, id = target.datasetId, saved] {
            const auto restored = [](const std::string& name) {
                return isRefinedFlFeature(name) || isCrosstalkFeature(name);
            };
            finishCalculation(QStringLiteral("Restored fluorescence refinement"), *report, restored,
                              [this] { configureTracePlot(); });
            reselectRestoredPlotFeatures(id, saved, restored);
            const DatasetEntry* shown = activeEntry();
            if (shown && shown->id == id && shown->currentEventIndex >= 0)
                displayEventTraces(shown->currentEventIndex);
        });
    restorationRunning = calculationBusy;
}

void MainWindow::reselectRestoredPlotFeatures(int datasetId, const SavedPlotFeatures& saved,
                                              const std::function<bool(const std::string&)>& restored)
{
    DatasetEntry* entry = findDatasetById(datasetId);
    if (!entry || !entry->reader)
        return;
    std::string* keys[3] = {&entry->xFeatureName, &entry->yFeatureName, &entry->colorFeatureName};
    QComboBox* combos[3] = {xFeatureCombo, yFeatureCombo, colorFeatureCombo};
    const bool shown = shownEntry() == entry;
    bool changed = false;
    for (int k = 0; k < 3; ++k) {
        const std::string& key = saved[static_cast<size_t>(k)];
        // Only the choices the panel could not show while the column was missing.
        if (key.empty() || !restored(key) || !entry->reader->hasFeature(key))
            continue;
        if (!shown) {
            // Left while its column was missing: the panel's fallback was stored instead.
            *keys[k] = key;
            continue;
        }
        const int found =
            combos[k]->findData(QString::fromStdString(key), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (found >= 0 && found != combos[k]->currentIndex()) {
            const QSignalBlocker blocker(combos[k]);
            combos[k]->setCurrentIndex(found);
            changed = true;
        }
    }
    if (changed)
        updatePlot();
}

// ---- the Young's modulus of a restored session ---------------------------------------------

void MainWindow::restoreSessionModuli()
{
    // Session files written before the settings were kept: nothing to compute the column
    // from, and a flag without its column would offer an assessment of nothing.
    QStringList unrestorable;
    for (const auto& entry : entries) {
        if (entry->emodApplied && !entry->emodulusSettings) {
            entry->emodApplied = false;
            unrestorable.append(entry->displayName);
        }
    }
    if (!unrestorable.isEmpty()) {
        const DatasetEntry* shown = activeEntry();
        calculationsPanel->setAssessQualityEnabled(shown && shown->emodApplied);
        prompts().information(
            this, QStringLiteral("Load Session"),
            QStringLiteral("The session file does not record how the Young's modulus of these datasets was "
                           "computed, so it was not computed again:\n\n%1\n\nCompute it again on the Young's "
                           "Modulus page of the calculations panel.")
                .arg(unrestorable.join(QLatin1Char('\n'))));
    }
    modulusRestorePending = true;
    startModulusRestore();
}

void MainWindow::startModulusRestore()
{
    // Another run (a restored refinement) goes first; onCalcFinished comes back here.
    if (!modulusRestorePending || calculationBusy || closing)
        return;
    modulusRestorePending = false;
    std::vector<CalculationTarget> targets;
    std::map<int, SavedPlotFeatures> saved;
    for (const auto& entry : entries) {
        if (!entry->featuresLoaded || !entry->reader || !entry->emodApplied || !entry->emodulusSettings
            || entry->reader->isComputedFeature("emodulus"))
            continue;
        CalculationTarget target = targetOf(*entry);
        target.params = emodulusParamsOf(*entry->emodulusSettings);
        targets.push_back(std::move(target));
        saved[entry->id] = {{entry->xFeatureName, entry->yFeatureName, entry->colorFeatureName}};
    }
    if (targets.empty())
        return;
    statusLabel->setText(QStringLiteral("Restoring the Young's modulus of %1 dataset(s)...").arg(targets.size()));
    // A modulus from the Fourier deformation brings those columns back too.
    const auto restored = [](const std::string& name) {
        return isEmodulusFeature(name) || isFourierDeformFeature(name);
    };
    runEmodulusCalculation(std::move(targets), [this, saved = std::move(saved), restored](const CalculationReport& report) {
        // A dataset that did not get its column back (cancelled, or its file no longer
        // allows it) has no modulus now; the status line and the log say why.
        for (const CalculationOutcome& outcome : report.outcomes) {
            DatasetEntry* entry = findDatasetById(outcome.datasetId);
            if (entry && outcome.state != CalculationOutcome::State::Done) {
                entry->emodApplied = false;
                entry->emodulusSettings.reset();
            }
        }
        finishCalculation(QStringLiteral("Restored Young's modulus"), report, restored);
        for (const CalculationOutcome& outcome : report.outcomes) {
            if (outcome.state == CalculationOutcome::State::Done)
                reselectRestoredPlotFeatures(outcome.datasetId, saved.at(outcome.datasetId), restored);
        }
    });
    restorationRunning = calculationBusy;
}

QStringList MainWindow::unrestoredCalculations() const
{
    QStringList refined;
    QStringList moduli;
    for (const auto& entry : entries) {
        const RTDCReader* reader = entry->reader.get();
        if (!reader)
            continue;
        if (entry->flRefinementApplied && restoredCalculationIds.count(entry->id) != 0) {
            const std::vector<std::string> names = reader->featureNames();
            const bool refinedNow = std::any_of(names.begin(), names.end(), [reader](const std::string& name) {
                return name.size() >= 8 && endsWith(name, "_rf") && reader->isComputedFeature(name);
            });
            if (!refinedNow)
                refined.append(entry->displayName);
        }
        if (entry->emodApplied && entry->emodulusSettings && !reader->isComputedFeature("emodulus"))
            moduli.append(entry->displayName);
    }
    QStringList parts;
    if (!refined.isEmpty())
        parts.append(QStringLiteral("the refined fluorescence of %1").arg(refined.join(QStringLiteral(", "))));
    if (!moduli.isEmpty())
        parts.append(QStringLiteral("the Young's modulus of %1").arg(moduli.join(QStringLiteral(", "))));
    return parts;
}

void MainWindow::stopSessionRestoration(const QStringList& notRestored)
{
    modulusRestorePending = false;
    // Flags without their columns would offer an assessment of nothing and be saved as
    // computed; those of a cancelled modulus run were cleared by its finish function.
    for (const auto& entry : entries) {
        if (entry->emodApplied && entry->reader && !entry->reader->isComputedFeature("emodulus")) {
            entry->emodApplied = false;
            entry->emodulusSettings.reset();
        }
    }
    const DatasetEntry* shown = activeEntry();
    calculationsPanel->setAssessQualityEnabled(shown && shown->emodApplied);
    statusLabel->setText(notRestored.isEmpty()
                             ? QStringLiteral("Restoring the session was cancelled.")
                             : QStringLiteral("Restoring the session was cancelled. Not computed again: %1.")
                                   .arg(notRestored.join(QStringLiteral("; "))));
}

} // namespace Tervane3
