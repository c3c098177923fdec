// Dimension reduction from the calculations panel: the checks and questions of a request,
// the training events and targets it hands to the worker (dimred/DimRedRun), the report of
// a finished, failed or stopped run, and the current reference with its save and load.
#include "mainwindow/MainWindow.h"

#include "app/DatasetEntry.h"
#include "app/PassingEvents.h"
#include "app/Prompts.h"
#include "app/WindowHelpers.h"
#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedRun.h"
#include "services/UpdateChecker.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStringList>

#include <atomic>
#include <memory>

namespace Tervane3 {

namespace {

const QString kTitle = QStringLiteral("Dimension Reduction");
const QString kApplyTitle = QStringLiteral("Apply Reference");
const QString kSaveFilter = QStringLiteral("Tervane3 Dimension Reduction (*.tn3dr)");
const QString kLoadFilter = QStringLiteral("Tervane3 Dimension Reduction (*.tn3dr);;All Files (*)");

bool hasAllFeatures(const std::vector<std::string>& features, const DatasetEntry& entry)
{
    if (!entry.featuresLoaded || !entry.reader)
        return false;
    for (const std::string& name : features) {
        if (!entry.reader->hasFeature(name))
            return false;
    }
    return true;
}

// The one-shot test of the plot after a run: the new columns rescale the plot.
std::function<bool(const std::string&)> isDimRedFeature(bool clustersLabelled)
{
    return [clustersLabelled](const std::string& name) {
        return name == "dim_1" || name == "dim_2" || (clustersLabelled && name == "dr_cluster");
    };
}

QString joined(const std::vector<std::string>& values)
{
    QStringList list;
    for (const std::string& value : values)
        list << QString::fromStdString(value);
    return list.join(QStringLiteral(", "));
}

DimRedSource sourceOf(const DatasetEntry& entry)
{
    DimRedSource source;
    source.datasetId = entry.id;
    source.name = entry.displayName.toStdString();
    source.reader = entry.reader;
    return source;
}

QString gigabytes(std::uint64_t bytes)
{
    return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0), 'f', 1);
}

} // namespace

void MainWindow::onComputeDimReduction()
{
    DatasetEntry* active = calculationRequestEntry(kTitle);
    if (!active)
        return;
    if (calculationsPanel->dimRedFitMode() == DimRedFitUseReference) {
        computeDimRedFromReference();
        return;
    }
    const std::vector<std::string> features = calculationsPanel->selectedDimRedFeatures();
    if (features.size() < 2)
        return;
    const int method = calculationsPanel->dimRedMethod();
    const int fitMode = calculationsPanel->dimRedFitMode();
    const int applyMode = calculationsPanel->dimRedApplyMode();
    if (!hasAllFeatures(features, *active)) {
        prompts().warning(this, kTitle, QStringLiteral("The active dataset no longer has all of the selected features."));
        return;
    }

    std::vector<DatasetEntry*> eligible;
    QStringList missing;
    for (const auto& entry : entries) {
        if (!entry->featuresLoaded || !entry->reader)
            continue;
        if (hasAllFeatures(features, *entry))
            eligible.push_back(entry.get());
        else
            missing << entry->displayName;
    }
    const std::vector<DatasetEntry*> training = fitMode == DimRedFitPooled ? eligible : std::vector<DatasetEntry*>{active};
    const std::vector<DatasetEntry*> targets = applyMode == DimRedApplyAll ? eligible : std::vector<DatasetEntry*>{active};
    if (!missing.isEmpty() && (fitMode == DimRedFitPooled || applyMode == DimRedApplyAll)
        && !prompts().question(this, kTitle,
                               QStringLiteral("These datasets lack one or more selected features and will be left "
                                              "out:\n\n%1\n\nContinue?")
                                   .arg(missing.join(QStringLiteral(", "))))) {
        return;
    }

    auto job = std::make_shared<DimRedFitJob>();
    job->method = method;
    job->features = features;
    job->umap = calculationsPanel->umapParams();
    job->labelClusters = calculationsPanel->clusterLabellingEnabled();
    job->minPts = calculationsPanel->clusterMinPoints();
    job->epsAuto = calculationsPanel->clusterEpsAuto();
    job->eps = calculationsPanel->clusterEps();
    QStringList trainingNames;
    std::uint64_t trainingRows = 0;
    for (DatasetEntry* entry : training) {
        DimRedSource source = sourceOf(*entry);
        const std::vector<int> passing = passingEventIndices(buildEffectiveFilter(entry), *entry->reader);
        source.trainingEvents = dimRedTrainingEvents(*entry->reader, features, &passing);
        trainingRows += source.trainingEvents.size();
        trainingNames << entry->displayName;
        job->training.push_back(std::move(source));
    }
    if (trainingRows < 3) {
        prompts().warning(this, kTitle,
                          QStringLiteral("Not enough events pass the filter with valid values in every selected "
                                         "feature to fit a projection."));
        return;
    }
    if (method == DimRedMethodUmap) {
        // The fit takes every passing event; one that cannot fit in memory would end the
        // program instead of the run.
        const std::uint64_t physical = physicalMemoryBytes();
        const std::uint64_t limit = dimRedMemoryLimit ? dimRedMemoryLimit : physical / 10 * 7;
        const std::uint64_t needed = umapFitMemoryEstimate(trainingRows, features.size(), job->umap.nNeighbors);
        if (limit != 0 && needed > limit) {
            prompts().warning(
                this, kTitle,
                QStringLiteral("Too many events for a UMAP fit on this computer (%1). Filter the events or fit on "
                               "fewer datasets.")
                    .arg(QStringLiteral("%1 events need about %2 GB; at most %3 GB can be used")
                             .arg(trainingRows)
                             .arg(gigabytes(needed), gigabytes(limit))));
            return;
        }
    }
    for (DatasetEntry* entry : targets)
        job->targets.push_back(sourceOf(*entry));

    calculationsPanel->setDimRedBusy(true);
    auto outcome = std::make_shared<DimRedOutcome>();
    const UmapParams params = job->umap;
    runCancellableCalculation(
        [this, job, outcome](const std::atomic<bool>& cancel) {
            runDimRedFit(*job, *outcome, cancel, [this](int percent) { postProgressValue(percent); });
        },
        [this, outcome, method, params, trainingNames] {
            computeDimReductionFinished(*outcome, method, params, trainingNames);
        });
}

void MainWindow::computeDimReductionFinished(const DimRedOutcome& outcome, int method, const UmapParams& params,
                                             const QStringList& trainingNames)
{
    calculationsPanel->setDimRedBusy(false);
    if (outcome.cancelled || !outcome.failure.empty()) {
        reportInterruptedDimRed(kTitle, outcome);
        return;
    }
    if (!outcome.model.fitted) {
        prompts().warning(this, kTitle, QStringLiteral("Could not fit a projection to the selected features."));
        return;
    }
    auto reference = makeDimRedReference();
    reference->kind = method;
    reference->pca = outcome.model;
    if (method == DimRedMethodUmap)
        reference->umap = outcome.umap;
    if (outcome.clusters.valid)
        reference->clusters = outcome.clusters;
    reference->created = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    reference->appVersion = UpdateChecker::currentVersion().toStdString();
    reference->fitDatasets = trainingNames.join(QStringLiteral(", ")).toStdString();
    reference->valid = true;
    dimRedReference = reference;
    dimRedReferenceLabel = QStringLiteral("the projection fitted in this session");
    calculationsPanel->setReferenceText(QStringLiteral("Fitted: ") + QString::fromStdString(reference->summary()), true);
    refreshAfterCalculation(isDimRedFeature(outcome.clusters.valid));

    QString text = QStringLiteral("Fitted on %1 events from %2 dataset(s).\n")
                       .arg(outcome.model.fitEventCount)
                       .arg(trainingNames.size());
    if (method == DimRedMethodUmap) {
        text += QStringLiteral("UMAP axes carry no units and no explained variance. Distances between clusters, and "
                               "their relative sizes, are not meaningful \u2014 only which events group together is.");
        if (params.init == UmapInitSpectral && outcome.umap.initUsed != UmapInitSpectral)
            text += QStringLiteral("\n\nSpectral initialisation was requested but could not be computed for this "
                                   "neighbour graph, so the run started from a random layout instead. The grouping "
                                   "is unaffected; the overall arrangement is arbitrary.");
    } else {
        text += QStringLiteral("Dimension 1 captures %1%, Dimension 2 %2% of the spread across the selected features.")
                    .arg(QString::number(outcome.model.explained1 * 100.0, 'f', 1),
                         QString::number(outcome.model.explained2 * 100.0, 'f', 1));
    }
    if (!outcome.model.degenerateFeatures.empty())
        text += QStringLiteral("\n\nConstant across the fit set and therefore ignored: %1")
                    .arg(joined(outcome.model.degenerateFeatures));
    if (outcome.clusters.valid)
        text += QStringLiteral("\n\nLabelled %1 cluster(s) as \"DR cluster ID\"; unclustered events carry no id.")
                    .arg(outcome.clusters.clusterCount);
    else if (calculationsPanel->clusterLabellingEnabled())
        text += QStringLiteral("\n\nNo clusters were found with the chosen settings \u2014 try a larger radius or "
                               "fewer minimum points.");
    prompts().information(this, kTitle, text);
}

void MainWindow::reportInterruptedDimRed(const QString& title, const DimRedOutcome& outcome)
{
    QString text = outcome.failure.empty()
                       ? QStringLiteral("Dimension reduction was cancelled.")
                       : QStringLiteral("Dimension reduction failed: %1").arg(QString::fromStdString(outcome.failure));
    if (!outcome.written.empty()) {
        text += QStringLiteral("\n\nNew values were already written to: %1").arg(joined(outcome.written));
        refreshAfterCalculation(isDimRedFeature(true));
    }
    prompts().warning(this, title, text);
}

void MainWindow::computeDimRedFromReference()
{
    const std::shared_ptr<const DimRedReference> reference = dimRedReference;
    if (!reference || !reference->valid)
        return;
    DatasetEntry* active = calculationRequestEntry(kTitle);
    if (!active)
        return;
    const std::vector<std::string>& names = reference->pca.features;
    const auto hasAll = [&names](const DatasetEntry& entry) {
        for (const std::string& name : names) {
            if (!entry.reader->hasFeature(name))
                return false;
        }
        return true;
    };
    std::vector<DatasetEntry*> eligible;
    QStringList missing;
    if (calculationsPanel->dimRedApplyMode() == DimRedApplyAll) {
        for (const auto& entry : entries) {
            if (!entry->featuresLoaded || !entry->reader)
                continue;
            if (hasAll(*entry))
                eligible.push_back(entry.get());
            else
                missing << entry->displayName;
        }
    } else if (active->reader && hasAll(*active)) {
        eligible.push_back(active);
    }
    if (eligible.empty()) {
        prompts().warning(this, kTitle,
                          QStringLiteral("No loaded dataset has all of the reference's features:\n\n%1").arg(joined(names)));
        return;
    }
    if (!missing.isEmpty()
        && !prompts().question(this, kTitle,
                               QStringLiteral("These datasets lack one or more of the reference's features (%1) and "
                                              "will be left out:\n\n%2\n\nContinue?")
                                   .arg(joined(names), missing.join(QStringLiteral(", "))))) {
        return;
    }
    applyDimRedReferenceTo(reference, eligible, dimRedReferenceLabel);
}

void MainWindow::applyDimRedReferenceTo(const std::shared_ptr<const DimRedReference>& reference,
                                        const std::vector<DatasetEntry*>& datasets, const QString& label)
{
    auto targets = std::make_shared<std::vector<DimRedSource>>();
    for (DatasetEntry* entry : datasets)
        targets->push_back(sourceOf(*entry));
    calculationsPanel->setDimRedBusy(true);
    auto outcome = std::make_shared<DimRedOutcome>();
    const int count = static_cast<int>(datasets.size());
    runCancellableCalculation(
        [this, reference, targets, outcome](const std::atomic<bool>& cancel) {
            runDimRedApply(*reference, *targets, *outcome, cancel, [this](int percent) { postProgressValue(percent); });
        },
        [this, reference, outcome, label, count] { applyDimRedReferenceFinished(*outcome, *reference, label, count); });
}

void MainWindow::applyDimRedReferenceFinished(const DimRedOutcome& outcome, const DimRedReference& reference,
                                              const QString& label, int datasetCount)
{
    calculationsPanel->setDimRedBusy(false);
    if (outcome.cancelled || !outcome.failure.empty()) {
        reportInterruptedDimRed(kApplyTitle, outcome);
        return;
    }
    refreshAfterCalculation(isDimRedFeature(reference.clusters.valid));
    QString text = QStringLiteral("Applied %1 to %2 dataset(s) without refitting.\n\n%3")
                       .arg(label)
                       .arg(datasetCount)
                       .arg(QString::fromStdString(reference.summary()));
    if (reference.kind == DimRedMethodUmap)
        text += QStringLiteral("\n\nEvents were placed into the reference's embedding by transforming them against "
                               "the events it was fitted on. A dataset that was part of the original fit will land "
                               "close to, but not exactly on, its fitted position.");
    if (reference.clusters.valid)
        text += QStringLiteral("\n\nEvents were assigned to the reference's %1 cluster(s) as \"DR cluster ID\", so the "
                               "ids match across every dataset this reference is applied to.")
                    .arg(reference.clusters.clusterCount);
    if (!reference.pca.degenerateFeatures.empty())
        text += QStringLiteral("\n\nConstant across the reference's fit set and therefore ignored: %1")
                    .arg(joined(reference.pca.degenerateFeatures));
    prompts().information(this, kApplyTitle, text);
}

void MainWindow::onSaveDimRedReference()
{
    const std::shared_ptr<const DimRedReference> reference = dimRedReference;
    if (!reference || !reference->valid) {
        prompts().information(this, QStringLiteral("Save Reference"),
                              QStringLiteral("Fit a dimension reduction first \u2014 there is no projection to save."));
        return;
    }
    QString selectedFilter;
    QString path = prompts().getSaveFileName(this, QStringLiteral("Save Dimension Reduction Reference"), QString(),
                                             kSaveFilter, &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureFilterExtension(path, selectedFilter.isEmpty() ? kSaveFilter : selectedFilter);
    std::string error;
    if (!saveDimRedReference(QFile::encodeName(path).toStdString(), *reference, error)) {
        prompts().critical(this, QStringLiteral("Save Reference"),
                           QStringLiteral("Failed to save the reference:\n") + QString::fromStdString(error));
        return;
    }
    const double megabytes = static_cast<double>(QFileInfo(path).size()) / 1048576.0;
    statusLabel->setText(QStringLiteral("Saved dimension-reduction reference (%1 MB).")
                             .arg(QString::number(megabytes, 'f', megabytes < 0.1 ? 3 : 1)));
}

void MainWindow::onLoadDimRedReference()
{
    const QString title = QStringLiteral("Load Dimension Reduction Reference");
    if (calculationBusy) {
        prompts().warning(this, title, QStringLiteral("A calculation is running. Load the reference after it has finished."));
        return;
    }
    const QString path = prompts().getOpenFileName(this, title,
                                                   QString(), kLoadFilter);
    if (path.isEmpty())
        return;
    auto reference = makeDimRedReference();
    std::string error;
    if (!DimRedReference::load(QFile::encodeName(path).toStdString(), *reference, error)) {
        prompts().critical(this, QStringLiteral("Load Reference"),
                           QStringLiteral("Could not read this reference:\n") + QString::fromStdString(error));
        return;
    }
    dimRedReference = reference;
    dimRedReferenceLabel = QFileInfo(path).fileName();
    calculationsPanel->setReferenceText(QStringLiteral("Loaded: ") + QString::fromStdString(reference->summary()), true);
    statusLabel->setText(
        QStringLiteral("Loaded dimension-reduction reference \u2014 apply it with Fit on: Use reference."));
}

} // namespace Tervane3
