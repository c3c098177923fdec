// UMAP fit and transform. The fit's epochs run in edge order on one thread (each update
// reads the positions the previous one wrote); everything around them, the neighbour
// search, the smoothing and the spectral layout, runs on all cores in fixed blocks. The
// transform moves each new row against the fixed training embedding only, so its rows
// are independent: each epoch first draws every row's negative samples in row order from
// the one stream, then places the rows in parallel, which gives the serial result.
#include "dimred/Umap.h"

#include "core/ParallelFor.h"
#include "dimred/KdTree.h"
#include "dimred/UmapGraph.h"
#include "dimred/UmapRandom.h"
#include "dimred/UmapSpectral.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

constexpr uint64_t kTransformSeed = 0x9e3779b97f4a7c15ULL;
constexpr double kClip = 4.0;

// Limits a gradient step to [-4, 4]; a NaN step (an overflowing power times a zero
// difference) moves nothing, so a placed point never becomes NaN.
inline double clip(double v)
{
    if (v > kClip)
        return kClip;
    if (v < -kClip)
        return -kClip;
    return v == v ? v : 0.0;
}

bool report(const DimRedProgress& progress, int percent)
{
    return !progress || progress(percent);
}

// Attraction coefficient -2ab d2^(b-1) / (a d2^b + 1), 0 at d2 = 0; one power per call
// (d2^(b-1) = d2^b / d2), the dominant cost of the epochs.
inline double attraction(double d2, double a, double b)
{
    if (!(d2 > 0.0))
        return 0.0;
    const double pb = std::pow(d2, b);
    return -2.0 * a * b * (pb / d2) / (a * pb + 1.0);
}

// Repulsion coefficient 2 gamma b / ((a d2^b + 1)(d2 + 0.001)), 0 at d2 = 0.
inline double repulsion(double d2, double a, double b, double gamma)
{
    if (!(d2 > 0.0))
        return 0.0;
    const double pb = std::pow(d2, b);
    return 2.0 * gamma * b / ((a * pb + 1.0) * (d2 + 0.001));
}

struct ScheduledEdge
{
    int32_t head;
    int32_t tail;
    double epochsPerSample;
    double nextSample;
    double epochsPerNegative;
    double nextNegative;
};

// Negative samples due for an edge at epoch e; 0 without negative sampling.
inline int dueNegatives(const ScheduledEdge& edge, double epoch)
{
    if (!(edge.epochsPerNegative > 0.0) || std::isinf(edge.epochsPerNegative))
        return 0;
    const double m = (epoch - edge.nextNegative) / edge.epochsPerNegative;
    if (!(m > 0.0))
        return 0;
    return m >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(m);
}

} // namespace

UmapModel fitUmap(const DimRedMatrix& X, const UmapParams& params, const DimRedProgress& progress)
{
    const UmapModel unfitted;
    const uint64_t n = X.rows;
    const uint64_t dims = X.cols;
    if (n < 5 || dims == 0 || X.data.size() < n * dims || n > static_cast<uint64_t>(INT32_MAX))
        return unfitted;
    const int k = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(std::max(params.nNeighbors, 2)), n - 1));
    const int E = params.nEpochs > 0 ? params.nEpochs : (n <= 10000 ? 500 : 200);
    const size_t K = static_cast<size_t>(k);

    if (!report(progress, 0))
        return unfitted;

    std::vector<UmapEdge> edges;
    {
        std::vector<int32_t> indices;
        std::vector<double> distances;
        X.exactKnn(n, dims, k, indices, distances);
        if (!report(progress, 20))
            return unfitted;
        std::vector<double> sigma;
        std::vector<double> rho;
        umapSmoothKnnDistances(distances, n, k, sigma, rho);
        std::vector<double>& weights = distances; // reused in place, slot by slot
        parallelFor(n, 4096, [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i) {
                for (size_t s = 0; s < K; ++s) {
                    const int32_t j = indices[i * K + s];
                    const double d = distances[i * K + s];
                    if (j < 0 || static_cast<size_t>(j) == i) {
                        weights[i * K + s] = 0.0;
                        continue;
                    }
                    const double excess = d - rho[i];
                    weights[i * K + s] = excess > 0.0 ? std::exp(-excess / sigma[i]) : 1.0;
                }
            }
        });
        edges = umapFuzzyUnion(indices, weights, n, k);
    }
    if (edges.empty())
        return unfitted;
    if (!report(progress, 30))
        return unfitted;

    double a = 0.0;
    double b = 0.0;
    umapFindAbParams(params.minDist, params.spread, a, b);

    UmapRandom random(static_cast<uint64_t>(params.seed));
    std::vector<double> layout;
    int32_t initUsed = UmapInitRandom;
    if (params.init == UmapInitSpectral && umapSpectralInit(edges, X, params.seed, layout)) {
        initUsed = UmapInitSpectral;
    } else {
        layout.resize(2 * n);
        for (double& v : layout)
            v = 20.0 * random.uniform() - 10.0;
    }
    if (!report(progress, 35))
        return unfitted;

    double wmax = 0.0;
    for (const UmapEdge& e : edges)
        wmax = std::max(wmax, e.weight);
    std::vector<ScheduledEdge> schedule(edges.size());
    for (size_t j = 0; j < edges.size(); ++j) {
        ScheduledEdge& s = schedule[j];
        s.head = edges[j].head;
        s.tail = edges[j].tail;
        const double samples = wmax > 0.0 ? edges[j].weight / wmax * E : 0.0;
        s.epochsPerSample = samples > 0.0 ? E / samples : -1.0;
        s.nextSample = s.epochsPerSample;
        s.epochsPerNegative = s.epochsPerSample / params.negativeSampleRate;
        s.nextNegative = s.epochsPerNegative;
    }
    std::vector<UmapEdge>().swap(edges);

    const double gamma = params.repulsionStrength;
    double* pos = layout.data();
    std::vector<uint64_t> negatives;
    for (int epoch = 0; epoch < E; ++epoch) {
        const double e = epoch;
        const double alpha = params.learningRate * (1.0 - e / E);
        for (ScheduledEdge& edge : schedule) {
            if (!(edge.epochsPerSample > 0.0) || !(edge.nextSample <= e))
                continue;
            double* ph = pos + 2 * static_cast<size_t>(edge.head);
            double* pt = pos + 2 * static_cast<size_t>(edge.tail);
            {
                const double dx = ph[0] - pt[0];
                const double dy = ph[1] - pt[1];
                const double g = attraction(dx * dx + dy * dy, a, b);
                const double gx = clip(g * dx);
                ph[0] += alpha * gx;
                pt[0] -= alpha * gx;
                const double gy = clip(g * dy);
                ph[1] += alpha * gy;
                pt[1] -= alpha * gy;
            }
            edge.nextSample += edge.epochsPerSample;

            const int m = dueNegatives(edge, e);
            if (m <= 0)
                continue;
            // Draw the samples first so that their positions can be fetched ahead.
            negatives.resize(static_cast<size_t>(m));
            for (uint64_t& r : negatives) {
                r = random.index(n);
                __builtin_prefetch(pos + 2 * r);
            }
            const uint64_t h = static_cast<uint64_t>(edge.head);
            for (const uint64_t r : negatives) {
                if (r == h)
                    continue;
                const double* q = pos + 2 * r;
                const double ex = ph[0] - q[0];
                const double ey = ph[1] - q[1];
                const double g = repulsion(ex * ex + ey * ey, a, b, gamma);
                if (g > 0.0) {
                    ph[0] += alpha * clip(g * ex);
                    ph[1] += alpha * clip(g * ey);
                } else {
                    ph[0] += alpha * kClip;
                    ph[1] += alpha * kClip;
                }
            }
            edge.nextNegative += m * edge.epochsPerNegative;
        }
        if (!report(progress, 35 + 60 * (epoch + 1) / E))
            return unfitted;
    }

    UmapModel model;
    model.trainData.assign(X.data.begin(), X.data.begin() + static_cast<std::ptrdiff_t>(n * dims));
    model.embedding = std::move(layout);
    model.n = n;
    model.dims = dims;
    model.nNeighbors = params.nNeighbors;
    model.minDist = params.minDist;
    model.spread = params.spread;
    model.nEpochs = E;
    model.learningRate = params.learningRate;
    model.repulsionStrength = params.repulsionStrength;
    model.negativeSampleRate = params.negativeSampleRate;
    model.seed = params.seed;
    model.randomInit = params.init;
    model.a = a;
    model.b = b;
    model.initUsed = initUsed;
    model.fitted = true;
    report(progress, 100);
    return model;
}

void transformUmap(const UmapModel& model, const DimRedMatrix& Y, std::vector<double>& out,
                   const DimRedProgress& progress)
{
    const uint64_t m = Y.rows;
    out.assign(2 * m, std::numeric_limits<double>::quiet_NaN());
    const uint64_t n = model.n;
    if (!model.fitted || Y.cols != model.dims || m == 0 || n == 0 || model.dims == 0
        || Y.data.size() < m * Y.cols || model.trainData.size() < n * model.dims || model.embedding.size() < 2 * n)
        return;
    if (!report(progress, 0))
        return;

    const int k = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(std::max(model.nNeighbors, 2)), n));
    const size_t K = static_cast<size_t>(k);
    std::vector<int32_t> indices(m * K, -1);
    std::vector<double> distances(m * K, std::numeric_limits<double>::infinity());
    {
        const KdTree tree(model.trainData, n, model.dims);
        parallelFor(m, 1024, [&](size_t begin, size_t end) {
            KdTree::Candidates candidates(k);
            for (size_t i = begin; i < end; ++i) {
                const double* row = &Y.data[i * Y.cols];
                if (!std::all_of(row, row + Y.cols, [](double v) { return std::isfinite(v); }))
                    continue; // no neighbours: the row stays NaN
                tree.search(row, -1, candidates);
                for (int j = 0; j < candidates.size(); ++j) {
                    indices[i * K + static_cast<size_t>(j)] = candidates.indexAt(j);
                    distances[i * K + static_cast<size_t>(j)] = std::sqrt(candidates.distance2(j));
                }
            }
        });
    }
    if (!report(progress, 30))
        return;

    std::vector<double> sigma;
    std::vector<double> rho;
    umapSmoothKnnDistances(distances, m, k, sigma, rho);
    const double* embed = model.embedding.data();
    parallelFor(m, 4096, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            double sw = 0.0, sx = 0.0, sy = 0.0;
            for (size_t s = 0; s < K; ++s) {
                const int32_t j = indices[i * K + s];
                if (j < 0)
                    continue;
                const double excess = distances[i * K + s] - rho[i];
                const double w = excess > 0.0 ? std::exp(-excess / sigma[i]) : 1.0;
                sw += w;
                sx += w * embed[2 * static_cast<size_t>(j)];
                sy += w * embed[2 * static_cast<size_t>(j) + 1];
            }
            if (sw != 0.0) {
                out[2 * i] = sx / sw;
                out[2 * i + 1] = sy / sw;
            }
        }
    });
    if (!report(progress, 60))
        return;

    std::vector<size_t> placed;
    for (size_t i = 0; i < m; ++i) {
        if (std::isfinite(out[2 * i]))
            placed.push_back(i);
    }
    const size_t rate = model.negativeSampleRate > 0 ? static_cast<size_t>(model.negativeSampleRate) : 0;
    std::vector<uint32_t> draws(placed.size() * rate);
    UmapRandom random(static_cast<uint64_t>(model.seed) ^ kTransformSeed);
    const int T = std::max(1, model.nEpochs / 3);
    const double a = model.a;
    const double b = model.b;
    const double gamma = model.repulsionStrength;
    for (int epoch = 0; epoch < T; ++epoch) {
        const double alpha = model.learningRate * (1.0 - static_cast<double>(epoch) / T);
        for (uint32_t& r : draws)
            r = static_cast<uint32_t>(random.index(n));
        parallelFor(placed.size(), 1024, [&](size_t begin, size_t end) {
            for (size_t p = begin; p < end; ++p) {
                const size_t i = placed[p];
                double px = out[2 * i];
                double py = out[2 * i + 1];
                for (size_t s = 0; s < K; ++s) {
                    const int32_t j = indices[i * K + s];
                    if (j < 0)
                        continue;
                    const double* q = embed + 2 * static_cast<size_t>(j);
                    const double dx = px - q[0];
                    const double dy = py - q[1];
                    const double g = attraction(dx * dx + dy * dy, a, b);
                    px += alpha * clip(g * dx);
                    py += alpha * clip(g * dy);
                }
                for (size_t s = 0; s < rate; ++s) {
                    const double* q = embed + 2 * static_cast<size_t>(draws[p * rate + s]);
                    const double ex = px - q[0];
                    const double ey = py - q[1];
                    const double d2 = ex * ex + ey * ey;
                    if (!(d2 > 0.0))
                        continue;
                    const double g = repulsion(d2, a, b, gamma);
                    px += alpha * clip(g * ex);
                    py += alpha * clip(g * ey);
                }
                out[2 * i] = px;
                out[2 * i + 1] = py;
            }
        });
        if (!report(progress, 60 + 40 * (epoch + 1) / T))
            return;
    }
    report(progress, 100);
}

} // namespace Tervane3
