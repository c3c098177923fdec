// A fitted projection kept for reuse: the input features with their standardiser, the PCA
// components or the UMAP training rows with their embedding, and optionally the cluster
// model of that embedding; and its file (.tn3dr, HDF5), written whole under a temporary
// name and renamed into place, and read with every size checked before anything is
// allocated. The file functions run on the GUI thread and hold the process-wide HDF5 lock.
#pragma once

#include "dimred/Dbscan.h"
#include "dimred/DimRedModel.h"
#include "dimred/Umap.h"

#include <memory>
#include <string>

namespace Tervane3 {

// Values of DimRedReference::kind (and of the calculations page's "Method:").
enum DimRedMethod : int {
    DimRedMethodPca = 0,
    DimRedMethodUmap = 1,
};

struct DimRedReference
{
    int kind = DimRedMethodPca;
    DimRedModel pca;              // features and standardiser; components for PCA
    UmapModel umap;               // UMAP references only
    DimRedClusterModel clusters;  // when clusters were labelled
    std::string created;          // UTC, ISO 8601
    std::string appVersion;
    std::string fitDatasets;      // display names of the training datasets, ", "-joined
    bool valid = false;

    // One line for the calculations page and the apply report.
    std::string summary() const;

    // Fills `reference` (reset to the defaults first) from the file; false with the reason
    // in `error` when the file is not a usable reference. A damaged cluster block is dropped
    // without an error. On failure the record may be partly filled: load into a fresh one.
    static bool load(const std::string& path, DimRedReference& reference, std::string& error);
};

std::shared_ptr<DimRedReference> makeDimRedReference();

// Writes the reference to `path` (replacing a file there only once the new one is
// complete); false with the reason in `error`, in which case an older file at `path` is
// untouched and no temporary file is left.
bool saveDimRedReference(const std::string& path, const DimRedReference& reference, std::string& error);

// Bounds of the UMAP numbers a reference may carry (those the calculations page offers).
constexpr int kDimRedMinNeighbors = 2;
constexpr int kDimRedMaxNeighbors = 200;
constexpr int kDimRedMaxEpochs = 5000;
constexpr int kDimRedMaxNegativeSampleRate = 100;

} // namespace Tervane3
