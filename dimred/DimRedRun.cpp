// Fit and apply runs. Each target's matrix is built just before the target is projected and
// freed after it, so a run over many large datasets holds one target at a time besides the
// training rows. Progress: UMAP fit 0..60, targets up to 85, clusters 100; PCA fit 45,
// targets up to 85, clusters 100; an apply run gives every target an equal share.
#include "dimred/DimRedRun.h"

#include "core/RTDCReader.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>

namespace Tervane3 {

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::function<void(size_t)>& targetHook()
{
    static std::function<void(size_t)> hook;
    return hook;
}

std::vector<const std::vector<double>*> columnsOf(const RTDCReader& reader, const std::vector<std::string>& features)
{
    std::vector<const std::vector<double>*> columns;
    columns.reserve(features.size());
    for (const std::string& name : features)
        columns.push_back(&reader.getFeature(name));
    return columns;
}

// Records the target as changed before its first column is replaced.
void noteWritten(DimRedOutcome& outcome, const DimRedSource& target)
{
    if (outcome.written.empty() || outcome.written.back() != target.name)
        outcome.written.push_back(target.name);
}

// Stores the target's coordinates unless the run was stopped meanwhile (false then).
bool storeEmbedding(size_t k, const DimRedSource& target, std::vector<double>&& x, std::vector<double>&& y,
                    DimRedOutcome& outcome, const std::atomic<bool>& cancel)
{
    if (const auto& hook = targetHook())
        hook(k);
    if (cancel.load()) {
        outcome.cancelled = true;
        return false;
    }
    noteWritten(outcome, target);
    target.reader->setFeature("dim_1", std::move(x));
    target.reader->setFeature("dim_2", std::move(y));
    return true;
}

// Cluster ids of every target from its new coordinates, with the model of the fit or of the
// reference. False when stopped.
bool labelTargets(const DimRedClusterModel& model, const std::vector<DimRedSource>& targets, DimRedOutcome& outcome,
                  const std::atomic<bool>& cancel)
{
    for (const DimRedSource& target : targets) {
        if (cancel.load())
            return false;
        std::vector<double> labels;
        model.assign(target.reader->getFeature("dim_1"), target.reader->getFeature("dim_2"), labels);
        noteWritten(outcome, target);
        target.reader->setFeature("dr_cluster", std::move(labels));
    }
    return true;
}

// The rows of rowsOf that hold only finite values, standardised, placed into the embedding;
// x and y receive their positions. False when stopped.
bool transformRows(const UmapModel& model, const RobustScaler& scaler, const DimRedMatrix& rowsOf,
                   const std::vector<char>& skip, std::vector<double>& x, std::vector<double>& y,
                   const DimRedProgress& progress)
{
    const uint64_t F = rowsOf.cols;
    DimRedMatrix picked;
    picked.cols = F;
    std::vector<uint64_t> where;
    for (uint64_t i = 0; i < rowsOf.rows; ++i) {
        if (!skip.empty() && skip[i])
            continue;
        const double* row = &rowsOf.data[i * F];
        if (!std::all_of(row, row + F, [](double v) { return std::isfinite(v); }))
            continue;
        picked.data.insert(picked.data.end(), row, row + F);
        where.push_back(i);
    }
    picked.rows = where.size();
    if (where.empty())
        return true;
    const DimRedMatrix Z = DimRedModel::standardize(scaler, picked);
    picked = DimRedMatrix();
    std::vector<double> out;
    transformUmap(model, Z, out, progress);
    if (!progress(100))
        return false;
    for (size_t j = 0; j < where.size(); ++j) {
        x[where[j]] = out[2 * j];
        y[where[j]] = out[2 * j + 1];
    }
    return true;
}

std::string failureText(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return "not enough memory";
    const char* what = e.what();
    return what && *what ? std::string(what) : std::string("an unknown error");
}

void fitBody(const DimRedFitJob& job, DimRedOutcome& outcome, const std::atomic<bool>& cancel, const DimRedPost& post)
{
    const size_t N = job.targets.size();
    const int Nd = static_cast<int>(std::max<size_t>(1, N));
    const uint64_t F = job.features.size();

    // Training rows in dataset order, and where each training dataset's rows start.
    DimRedMatrix training;
    training.cols = F;
    std::unordered_map<int, std::pair<uint64_t, const std::vector<int>*>> trainingRows;
    uint64_t total = 0;
    for (const DimRedSource& source : job.training)
        total += source.trainingEvents.size();
    training.data.reserve(total * F);
    for (const DimRedSource& source : job.training) {
        if (cancel.load()) {
            outcome.cancelled = true;
            return;
        }
        trainingRows.emplace(source.datasetId, std::make_pair(training.rows, &source.trainingEvents));
        const DimRedMatrix rows = dimRedRows(*source.reader, job.features, &source.trainingEvents);
        training.data.insert(training.data.end(), rows.data.begin(), rows.data.end());
        training.rows += rows.rows;
    }

    std::vector<double> clusterX, clusterY;
    if (job.method == DimRedMethodUmap) {
        const RobustScaler scaler = DimRedModel::fitScaler(training, job.features);
        DimRedMatrix Z = DimRedModel::standardize(scaler, training);
        const uint64_t fitRows = training.rows;
        training = DimRedMatrix();
        outcome.umap = fitUmap(Z, job.umap, [&](int p) {
            post(p * 60 / 100);
            return !cancel.load();
        });
        Z = DimRedMatrix();
        if (cancel.load()) {
            outcome.cancelled = true;
            return;
        }
        if (!outcome.umap.fitted)
            return;
        const UmapModel& model = outcome.umap;
        for (size_t k = 0; k < N; ++k) {
            const DimRedSource& target = job.targets[k];
            if (cancel.load()) {
                outcome.cancelled = true;
                return;
            }
            const DimRedMatrix rows = dimRedRows(*target.reader, job.features);
            const uint64_t n = rows.rows;
            std::vector<double> x(n, kNaN), y(n, kNaN);
            // Training events keep their fitted position exactly.
            std::vector<char> fitted;
            const auto found = trainingRows.find(target.datasetId);
            if (found != trainingRows.end()) {
                fitted.assign(n, 0);
                const uint64_t offset = found->second.first;
                const std::vector<int>& events = *found->second.second;
                for (size_t j = 0; j < events.size(); ++j) {
                    const auto i = static_cast<uint64_t>(events[j]);
                    if (i >= n)
                        continue;
                    fitted[i] = 1;
                    x[i] = model.embedding[2 * (offset + j)];
                    y[i] = model.embedding[2 * (offset + j) + 1];
                }
            }
            if (!transformRows(model, scaler, rows, fitted, x, y, [&](int) { return !cancel.load(); })) {
                outcome.cancelled = true;
                return;
            }
            if (!storeEmbedding(k, target, std::move(x), std::move(y), outcome, cancel))
                return;
            post(60 + 25 * static_cast<int>(k + 1) / Nd);
        }
        outcome.model.features = job.features;
        outcome.model.center = scaler.center;
        outcome.model.scale = scaler.scale;
        outcome.model.degenerateFeatures = scaler.degenerateFeatures;
        outcome.model.fitEventCount = fitRows;
        outcome.model.fitted = true;
        if (job.labelClusters) {
            clusterX.resize(model.n);
            clusterY.resize(model.n);
            for (uint64_t i = 0; i < model.n; ++i) {
                clusterX[i] = model.embedding[2 * i];
                clusterY[i] = model.embedding[2 * i + 1];
            }
        }
    } else {
        outcome.model = DimRedModel::fitPca(training, job.features);
        if (!outcome.model.fitted)
            return;
        post(45);
        for (size_t k = 0; k < N; ++k) {
            const DimRedSource& target = job.targets[k];
            if (cancel.load()) {
                outcome.cancelled = true;
                return;
            }
            std::vector<double> x, y;
            outcome.model.project(dimRedRows(*target.reader, job.features), x, y);
            if (!storeEmbedding(k, target, std::move(x), std::move(y), outcome, cancel))
                return;
            post(45 + 40 * static_cast<int>(k + 1) / Nd);
        }
        if (job.labelClusters)
            outcome.model.project(training, clusterX, clusterY);
        training = DimRedMatrix();
    }

    if (job.labelClusters && !clusterX.empty()) {
        if (cancel.load()) {
            outcome.cancelled = true;
            return;
        }
        std::vector<double> points(2 * clusterX.size());
        for (size_t i = 0; i < clusterX.size(); ++i) {
            points[2 * i] = clusterX[i];
            points[2 * i + 1] = clusterY[i];
        }
        const double eps = job.epsAuto ? estimateDbscanEps(points.data(), clusterX.size(), job.minPts) : job.eps;
        points.clear();
        points.shrink_to_fit();
        outcome.clusters = fitClusterModel(clusterX, clusterY, eps, job.minPts);
        if (outcome.clusters.valid && !labelTargets(outcome.clusters, job.targets, outcome, cancel)) {
            outcome.cancelled = true;
            return;
        }
    }
    post(100);
}

void applyBody(const DimRedReference& reference, const std::vector<DimRedSource>& targets, DimRedOutcome& outcome,
               const std::atomic<bool>& cancel, const DimRedPost& post)
{
    const size_t N = targets.size();
    const int Nd = static_cast<int>(std::max<size_t>(1, N));
    const std::vector<std::string>& features = reference.pca.features;
    RobustScaler scaler;
    scaler.center = reference.pca.center;
    scaler.scale = reference.pca.scale;
    for (size_t k = 0; k < N; ++k) {
        const DimRedSource& target = targets[k];
        if (cancel.load()) {
            outcome.cancelled = true;
            return;
        }
        const DimRedMatrix rows = dimRedRows(*target.reader, features);
        std::vector<double> x(rows.rows, kNaN), y(rows.rows, kNaN);
        if (reference.kind == DimRedMethodUmap) {
            const int base = static_cast<int>(k) * 100 / Nd;
            const int span = 100 / Nd;
            const auto progress = [&](int p) {
                post(base + span * p / 100);
                return !cancel.load();
            };
            if (!transformRows(reference.umap, scaler, rows, {}, x, y, progress)) {
                outcome.cancelled = true;
                return;
            }
        } else {
            reference.pca.project(rows, x, y);
        }
        if (!storeEmbedding(k, target, std::move(x), std::move(y), outcome, cancel))
            return;
        if (reference.clusters.valid && !labelTargets(reference.clusters, {target}, outcome, cancel)) {
            outcome.cancelled = true;
            return;
        }
        post(static_cast<int>(k + 1) * 100 / Nd);
    }
}

} // namespace

std::vector<int> dimRedTrainingEvents(const RTDCReader& reader, const std::vector<std::string>& features,
                                      const std::vector<int>* passing)
{
    const std::vector<const std::vector<double>*> columns = columnsOf(reader, features);
    const uint64_t n = reader.eventCount();
    std::vector<int> events;
    const auto consider = [&](uint64_t i) {
        for (const std::vector<double>* column : columns) {
            if (i >= column->size() || !std::isfinite((*column)[i]))
                return;
        }
        events.push_back(static_cast<int>(i));
    };
    if (passing) {
        for (int i : *passing) {
            if (i >= 0 && static_cast<uint64_t>(i) < n)
                consider(static_cast<uint64_t>(i));
        }
    } else {
        events.reserve(n);
        for (uint64_t i = 0; i < n; ++i)
            consider(i);
    }
    return events;
}

DimRedMatrix dimRedRows(const RTDCReader& reader, const std::vector<std::string>& features,
                        const std::vector<int>* events)
{
    const std::vector<const std::vector<double>*> columns = columnsOf(reader, features);
    DimRedMatrix m;
    m.cols = features.size();
    m.rows = events ? events->size() : reader.eventCount();
    m.data.assign(m.rows * m.cols, kNaN);
    for (uint64_t r = 0; r < m.rows; ++r) {
        const uint64_t i = events ? static_cast<uint64_t>((*events)[r]) : r;
        double* row = &m.data[r * m.cols];
        for (size_t j = 0; j < columns.size(); ++j) {
            if (i < columns[j]->size())
                row[j] = (*columns[j])[i];
        }
    }
    return m;
}

void runDimRedFit(const DimRedFitJob& job, DimRedOutcome& outcome, const std::atomic<bool>& cancel,
                  const DimRedPost& post)
{
    try {
        fitBody(job, outcome, cancel, post);
    } catch (const std::exception& e) {
        outcome.failure = failureText(e);
    }
}

void runDimRedApply(const DimRedReference& reference, const std::vector<DimRedSource>& targets,
                    DimRedOutcome& outcome, const std::atomic<bool>& cancel, const DimRedPost& post)
{
    try {
        applyBody(reference, targets, outcome, cancel, post);
    } catch (const std::exception& e) {
        outcome.failure = failureText(e);
    }
}

uint64_t umapFitMemoryEstimate(uint64_t rows, uint64_t cols, int neighbors)
{
    // Per training row: the raw and standardised rows and the model's copy (3 x 8 bytes per
    // feature), the neighbour table and its weights (12 bytes per neighbour), the
    // symmetrised graph in edge and compressed form and the epoch schedule (about 80 bytes
    // per neighbour), the starting layout, embedding and per-row scratch (about 400 bytes).
    const uint64_t k = static_cast<uint64_t>(std::max(neighbors, 2));
    return rows * (24 * cols + 92 * k + 400);
}

uint64_t physicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

void setDimRedTargetHook(std::function<void(size_t target)> hook)
{
    targetHook() = std::move(hook);
}

} // namespace Tervane3
