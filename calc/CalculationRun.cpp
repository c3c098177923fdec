// Dataset selection and the per-dataset loop shared by the background calculations.
#include "calc/CalculationRun.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/PassingEvents.h"
#include "calc/CalculationsDockWidget.h"
#include "core/RTDCReader.h"

#include <exception>
#include <numeric>

namespace Tervane3 {

namespace {

std::function<void(size_t)>& targetHook()
{
    static std::function<void(size_t)> hook;
    return hook;
}

} // namespace

int CalculationReport::count(CalculationOutcome::State state) const
{
    int n = 0;
    for (const CalculationOutcome& outcome : outcomes)
        n += outcome.state == state;
    return n;
}

QString CalculationReport::summary(const QString& calculation) const
{
    const int total = static_cast<int>(outcomes.size());
    if (total == 0)
        return QStringLiteral("%1: no dataset qualified.").arg(calculation);
    QString text = QStringLiteral("%1 done for %2 of %3 dataset(s)")
                       .arg(calculation)
                       .arg(count(CalculationOutcome::State::Done))
                       .arg(total);
    if (cancelled)
        text += QStringLiteral(", cancelled");
    text += QLatin1Char('.');
    for (const CalculationOutcome& outcome : outcomes) {
        if (outcome.state == CalculationOutcome::State::Failed) {
            text += QStringLiteral(" %1: %2.")
                        .arg(outcome.name,
                             outcome.reasons.isEmpty() ? QStringLiteral("nothing stored")
                                                       : outcome.reasons.join(QStringLiteral("; ")));
        }
    }
    return text;
}

CalculationReport runOverTargets(const std::vector<CalculationTarget>& targets, const std::atomic<bool>& cancel,
                                 const TargetCompute& compute, const TargetStarting& starting)
{
    CalculationReport report;
    for (const CalculationTarget& target : targets) {
        CalculationOutcome outcome;
        outcome.datasetId = target.datasetId;
        outcome.name = target.name;
        report.outcomes.push_back(outcome);
    }
    for (size_t k = 0; k < targets.size(); ++k) {
        CalculationOutcome& outcome = report.outcomes[k];
        if (cancel.load()) {
            report.cancelled = true;
            break;
        }
        if (starting)
            starting(k, targets.size());
        if (const auto& hook = targetHook())
            hook(k);
        std::vector<std::string> reasons;
        bool done = false;
        try {
            done = compute(targets[k], reasons);
        } catch (const std::exception& e) {
            reasons.emplace_back(e.what());
        }
        for (const std::string& reason : reasons)
            outcome.reasons.append(QString::fromStdString(reason));
        if (done) {
            outcome.state = CalculationOutcome::State::Done;
        } else if (cancel.load()) {
            outcome.state = CalculationOutcome::State::Cancelled;
            report.cancelled = true;
            break;
        } else {
            outcome.state = CalculationOutcome::State::Failed;
        }
    }
    return report;
}

void setCalculationTargetHook(std::function<void(size_t index)> hook)
{
    targetHook() = std::move(hook);
}

CalculationTarget targetOf(const DatasetEntry& entry)
{
    CalculationTarget target;
    target.datasetId = entry.id;
    target.name = entry.displayName;
    target.reader = entry.reader;
    target.metadata = entry.metadata;
    return target;
}

bool isReservoirMeasurement(const Metadata& metadata)
{
    const auto region = metadata.setup.find("chip region");
    return region != metadata.setup.end() && region->second == "reservoir";
}

std::vector<CalculationTarget> loadedTargets(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                                             const std::function<bool(const DatasetEntry&)>& qualifies)
{
    std::vector<CalculationTarget> targets;
    for (const auto& entry : datasets) {
        if (entry->featuresLoaded && entry->reader && qualifies(*entry))
            targets.push_back(targetOf(*entry));
    }
    return targets;
}

std::vector<CalculationTarget> emodulusJobs(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                                            const CalculationsDockWidget& dock, const std::string& source,
                                            QStringList* notes)
{
    std::vector<CalculationTarget> jobs;
    for (const auto& entry : datasets) {
        if (!entry->featuresLoaded || !entry->reader || isReservoirMeasurement(entry->metadata))
            continue;
        const RTDCReader& reader = *entry->reader;
        const std::string deform = source == "deform" || !reader.hasFeature(source) ? "deform" : source;
        if (!reader.hasFeature("area_um") || !reader.hasFeature(deform))
            continue;
        CalculationTarget job = targetOf(*entry);
        QStringList fallbacks;
        job.params = dock.emodulusParams(entry->metadata, reader.hasFeature("temp"), &fallbacks);
        job.params.deformFeature = deform;
        job.params.pixelationCorrection = deform == "deform";
        if (notes && !fallbacks.isEmpty())
            notes->append(QStringLiteral("%1: %2").arg(entry->displayName, fallbacks.join(QStringLiteral(", "))));
        jobs.push_back(std::move(job));
    }
    return jobs;
}

EmodulusSettings emodulusSettingsOf(const EModulusParams& params)
{
    EmodulusSettings settings;
    settings.medium = params.medium;
    settings.viscosityModel = params.viscosityModel;
    settings.manualViscosity = params.manualViscosity;
    settings.temperatureSource = params.temperatureSource;
    settings.temperature = params.temperature;
    settings.channelWidth = params.channelWidth;
    settings.flowRate = params.flowRate;
    settings.pixelSize = params.pixelSize;
    settings.deformFeature = params.deformFeature;
    settings.pixelationCorrection = params.pixelationCorrection;
    return settings;
}

EModulusParams emodulusParamsOf(const EmodulusSettings& settings)
{
    EModulusParams params;
    params.medium = settings.medium;
    params.viscosityModel = settings.viscosityModel;
    params.manualViscosity = settings.manualViscosity;
    params.temperatureSource = settings.temperatureSource;
    params.temperature = settings.temperature;
    params.channelWidth = settings.channelWidth;
    params.flowRate = settings.flowRate;
    params.pixelSize = settings.pixelSize;
    params.deformFeature = settings.deformFeature;
    params.pixelationCorrection = settings.pixelationCorrection;
    return params;
}

void shareModulusSettings(const std::vector<std::unique_ptr<DatasetEntry>>& datasets, const DatasetEntry& computed)
{
    if (!computed.reader)
        return;
    for (const auto& entry : datasets) {
        if (entry.get() != &computed && entry->reader == computed.reader && entry->emodApplied)
            entry->emodulusSettings = computed.emodulusSettings;
    }
}

std::vector<int> assessmentEvents(const DatasetHost& host, const DatasetEntry& entry, bool useFiltered)
{
    if (!entry.reader)
        return {};
    const auto count = static_cast<size_t>(entry.reader->eventCount());
    if (!useFiltered || !entry.filter.isEnabled()) {
        std::vector<int> all(count);
        std::iota(all.begin(), all.end(), 0);
        return all;
    }
    const EventFilter effective = host.buildEffectiveFilter(&entry);
    EventFilter filter;
    filter.setEnabled(true);
    filter.setCombineMode(effective.combineMode());
    for (const FilterRule& rule : effective.rules) {
        const bool onModulus = rule.featureName == "emodulus"
                               || (rule.type == PolygonRule && rule.featureNameY == "emodulus");
        if (rule.enabled && !onModulus)
            filter.addRule(rule);
    }
    return passingEventIndices(filter, *entry.reader, count);
}

} // namespace Tervane3
