// The non-linear two-dimensional embedding: the parameter record the calculations page
// fills, the fitted model a reference file stores, the fit (neighbour graph, membership
// weights, starting layout, stochastic gradient descent with negative sampling) and the
// transform that places new rows into a fitted embedding without moving it. Both run on a
// worker thread on standardised rows; the same input and seed give the same result at any
// thread count.
#pragma once

#include "dimred/DimRedMatrix.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace Tervane3 {

// Percent done; returning false asks the operation to stop. An empty callable is skipped.
using DimRedProgress = std::function<bool(int)>;

// Values of UmapParams::init and UmapModel::initUsed.
enum UmapInit : int32_t {
    UmapInitSpectral = 0,
    UmapInitRandom = 1,
};

struct UmapParams
{
    int32_t nNeighbors = 15;
    double minDist = 0.1;
    double spread = 1.0;
    int32_t nEpochs = 0; // 0 or less: 500 up to 10,000 rows, else 200
    double learningRate = 1.0;
    double repulsionStrength = 1.0;
    int32_t negativeSampleRate = 5;
    int64_t seed = 42;
    int32_t init = UmapInitSpectral; // anything but spectral means random
};

struct UmapModel
{
    std::vector<double> trainData; // standardised training rows, n x dims
    std::vector<double> embedding; // n x 2
    uint64_t n = 0;
    uint64_t dims = 0;
    // The fit's parameters; nEpochs holds the resolved count.
    int32_t nNeighbors = 15;
    double minDist = 0.1;
    double spread = 1.0;
    int32_t nEpochs = 0;
    double learningRate = 1.0;
    double repulsionStrength = 1.0;
    int32_t negativeSampleRate = 5;
    int64_t seed = 42;
    int32_t randomInit = 0; // the initialisation requested
    double a = 0.0;
    double b = 0.0;
    int32_t initUsed = UmapInitRandom; // the initialisation actually used
    bool fitted = false;
};

// Fitted only when the fit ran to the end: fewer than 5 rows, no columns, an empty graph or
// a stop request give a default model.
UmapModel fitUmap(const DimRedMatrix& X, const UmapParams& params, const DimRedProgress& progress);

// out: 2 x Y.rows values (x, y per row); rows that cannot be placed (a non-finite value)
// stay NaN, and all do when the model is unfitted or Y has another column count.
void transformUmap(const UmapModel& model, const DimRedMatrix& Y, std::vector<double>& out,
                   const DimRedProgress& progress);

} // namespace Tervane3
