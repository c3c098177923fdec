// The worker side of a dimension-reduction run, apart from any window: gather the training
// rows of the chosen datasets, fit PCA or UMAP, write "dim_1" and "dim_2" (and "dr_cluster"
// when clusters are labelled) to every target, or place targets into a saved reference.
// Runs on one pool thread; it reads the readers' columns and writes its own through the
// readers (both under the process-wide HDF5 lock). It catches its own failures and records
// which datasets already received new values, so a failure or a stop never looks like a
// finished run.
#pragma once

#include "dimred/DimRedReference.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;

// Values of the calculations page's "Fit on:" and "Apply to:".
enum DimRedFitMode : int {
    DimRedFitThisDataset = 0,
    DimRedFitPooled = 1,
    DimRedFitUseReference = 2,
};
enum DimRedApplyMode : int {
    DimRedApplyThisDataset = 0,
    DimRedApplyAll = 1,
};

// One dataset a run reads from or writes to.
struct DimRedSource
{
    int datasetId = -1;
    std::string name;
    std::shared_ptr<RTDCReader> reader;
    // Training datasets only: the events that become training rows, ascending.
    std::vector<int> trainingEvents;
};

struct DimRedFitJob
{
    int method = DimRedMethodPca;
    std::vector<std::string> features; // column order
    UmapParams umap;
    bool labelClusters = false;
    int minPts = 10;
    bool epsAuto = true;
    double eps = 0.0;
    std::vector<DimRedSource> training;
    std::vector<DimRedSource> targets;
};

// Written by the worker, read by the finish function after the run has ended.
struct DimRedOutcome
{
    DimRedModel model;
    UmapModel umap;
    DimRedClusterModel clusters;
    bool cancelled = false;
    std::string failure;              // why the run failed; empty otherwise
    std::vector<std::string> written; // targets whose columns were replaced, in order
};

// Progress in percent of the whole run.
using DimRedPost = std::function<void(int percent)>;

// The training events of one dataset: the passing events (every event when passing is
// null) below the length of every column whose values are all finite.
std::vector<int> dimRedTrainingEvents(const RTDCReader& reader, const std::vector<std::string>& features,
                                      const std::vector<int>* passing);

// Rows of the listed events (every event when null), one column per feature; values beyond
// a column's length are NaN.
DimRedMatrix dimRedRows(const RTDCReader& reader, const std::vector<std::string>& features,
                        const std::vector<int>* events = nullptr);

void runDimRedFit(const DimRedFitJob& job, DimRedOutcome& outcome, const std::atomic<bool>& cancel,
                  const DimRedPost& post);
void runDimRedApply(const DimRedReference& reference, const std::vector<DimRedSource>& targets,
                    DimRedOutcome& outcome, const std::atomic<bool>& cancel, const DimRedPost& post);

// What a UMAP fit of so many rows needs at its peak, in bytes (measured in bench/); and the
// computer's physical memory (0 when unknown).
uint64_t umapFitMemoryEstimate(uint64_t rows, uint64_t cols, int neighbors);
uint64_t physicalMemoryBytes();

// A seam for tests: called on the worker before each target's columns are written, with
// the target's position. Null by default.
void setDimRedTargetHook(std::function<void(size_t target)> hook);

} // namespace Tervane3
