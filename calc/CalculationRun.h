// What one background calculation works on and what became of each dataset. The GUI thread
// copies everything a worker needs into targets (the reader by shared pointer, the id, the
// metadata, the parameter record), so the worker never touches a dataset entry or the
// dataset list; the finish function, back on the GUI thread, finds each dataset by id and
// records the outcomes there.
#pragma once

#include "calc/EModulusParams.h"
#include "core/Metadata.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Tervane3 {

class CalculationsDockWidget;
class DatasetHost;
class RTDCReader;
struct DatasetEntry;
struct EmodulusSettings;

struct CalculationTarget
{
    int datasetId = -1;
    QString name;
    std::shared_ptr<RTDCReader> reader;
    Metadata metadata;
    EModulusParams params; // Young's modulus only: built for this dataset
};

struct CalculationOutcome
{
    enum class State { Done, Failed, Cancelled, NotStarted };
    int datasetId = -1;
    QString name;
    State state = State::NotStarted;
    // Why a failed dataset got nothing.
    QStringList reasons;
};

// Written by the worker; read by the finish function once the task has ended.
struct CalculationReport
{
    std::vector<CalculationOutcome> outcomes;
    bool cancelled = false;

    int count(CalculationOutcome::State state) const;
    // The status line: how many datasets got the result, whether the run was cancelled,
    // and for every dataset that got nothing, why.
    QString summary(const QString& calculation) const;
};

// One dataset's work: true when it stored its result; reasons says why not.
using TargetCompute = std::function<bool(const CalculationTarget& target, std::vector<std::string>& reasons)>;
// Called before each target with its position and the number of targets.
using TargetStarting = std::function<void(size_t index, size_t count)>;

// Runs compute for each target in order. A set cancel flag stops the run before the next
// target; a compute that returns false while the flag is set was cancelled in its own
// work (it stores nothing). An exception leaves the target failed with its message.
CalculationReport runOverTargets(const std::vector<CalculationTarget>& targets, const std::atomic<bool>& cancel,
                                 const TargetCompute& compute, const TargetStarting& starting = nullptr);

// A seam for tests: called on the worker for each target after the run's cancel test and
// before the target's work starts, with the target's position. Null by default.
void setCalculationTargetHook(std::function<void(size_t index)> hook);

// The copies a worker needs of one dataset.
CalculationTarget targetOf(const DatasetEntry& entry);
// setup "chip region" is exactly "reservoir": no Young's modulus for such a measurement.
bool isReservoirMeasurement(const Metadata& metadata);
// Every loaded dataset with a reader that passes the test, in list order.
std::vector<CalculationTarget> loadedTargets(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                                             const std::function<bool(const DatasetEntry&)>& qualifies);

// The Young's-modulus jobs of an apply-to-all run: every loaded dataset with a reader that
// is no reservoir measurement and has "area_um" and its deformation column (source when the
// dataset has it, else "deform"), with its parameters from its metadata and the dock's
// choices. Fallbacks the parameters needed are appended to notes, one line per dataset.
std::vector<CalculationTarget> emodulusJobs(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                                            const CalculationsDockWidget& dock, const std::string& source,
                                            QStringList* notes = nullptr);

// The settings a dataset keeps of its Young's-modulus computation, and the record that
// computes the same column again from them (table 0, as every computation uses).
EmodulusSettings emodulusSettingsOf(const EModulusParams& params);
EModulusParams emodulusParamsOf(const EmodulusSettings& settings);
// A dataset and its duplicates share one reader and so show one "emodulus" column: each of
// them that records a modulus takes the settings of `computed`, the last one computed.
void shareModulusSettings(const std::vector<std::unique_ptr<DatasetEntry>>& datasets, const DatasetEntry& computed);

// The events of a quality assessment: with useFiltered and the dataset's own filter switched
// on, those passing the effective filter without its rules on "emodulus" (the assessment is
// about the modulus itself); otherwise every event.
std::vector<int> assessmentEvents(const DatasetHost& host, const DatasetEntry& entry, bool useFiltered);

} // namespace Tervane3
