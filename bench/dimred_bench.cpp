// Speed of the dimension-reduction engine on large inputs: PCA of 1M x 10, exact 15
// neighbours of 100k x 10 overlapping Gaussian blobs (beside scipy's cKDTree with as many
// workers, when Debian's python3 has it), and DBSCAN, the automatic radius and the cluster
// assignment on the PCA of the generator's 1M events (radius for about 50 neighbours,
// minimum points 10; DBSCAN's extra peak memory as a counter). UMAP runs are measured
// trials in umap_trial_bench.
#include "DimRedBenchData.h"

#include "core/ParallelFor.h"
#include "dimred/Dbscan.h"
#include "dimred/DimRedModel.h"
#include "dimred/KdTree.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace Tervane3;

namespace {

double normal(std::mt19937_64& rng)
{
    // Box-Muller from two uniforms of the top 53 bits.
    const double u1 = (static_cast<double>(rng() >> 11) + 0.5) * 0x1.0p-53;
    const double u2 = static_cast<double>(rng() >> 11) * 0x1.0p-53;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

void BM_PcaFit_1M_x10(benchmark::State& state)
{
    std::mt19937_64 rng(1);
    DimRedMatrix X;
    X.rows = 1000000;
    X.cols = 10;
    X.data.resize(X.rows * X.cols);
    for (uint64_t r = 0; r < X.rows; ++r) {
        double* row = &X.data[r * 10];
        for (int c = 0; c < 10; ++c)
            row[c] = normal(rng) * (1 + c) + (c > 0 ? 0.5 * row[c - 1] : 0.0);
    }
    const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    for (auto _ : state)
        benchmark::DoNotOptimize(DimRedModel::fitPca(X, names));
    state.counters["target_s"] = 1.0;
}
BENCHMARK(BM_PcaFit_1M_x10)->Unit(benchmark::kMillisecond)->UseRealTime();

const DimRedMatrix& blobs100k()
{
    static const DimRedMatrix X = [] {
        std::mt19937_64 rng(2);
        DimRedMatrix m;
        m.rows = 100000;
        m.cols = 10;
        m.data.resize(m.rows * m.cols);
        for (uint64_t r = 0; r < m.rows; ++r) {
            const uint64_t blob = r % 5; // centre 2.5 along axis `blob`
            for (uint64_t c = 0; c < 10; ++c)
                m.data[r * 10 + c] = normal(rng) + (c == blob ? 2.5 : 0.0);
        }
        return m;
    }();
    return X;
}

void BM_ExactKnn_100k_x10_k15(benchmark::State& state)
{
    const DimRedMatrix& X = blobs100k();
    static const double scipy = [&] {
        const std::string path = Bench::benchDir() + "/tervane3_bench_blobs100k.f64";
        Bench::writeMatrix(path, X.data);
        return Bench::runPythonTrial("knn \"" + path + "\" 100000 10 15 " + std::to_string(workerThreadCount()));
    }();
    std::vector<int32_t> idx;
    std::vector<double> dist;
    for (auto _ : state)
        X.exactKnn(X.rows, X.cols, 15, idx, dist);
    state.counters["cKDTree_s"] = scipy;
    state.counters["target_s"] = scipy > 0 ? 1.2 * scipy : 0.0;
    state.counters["threads"] = workerThreadCount();
}
BENCHMARK(BM_ExactKnn_100k_x10_k15)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The PCA scores of the generator's 1M events, interleaved, and a radius with about 50
// neighbours per event (median distance of sampled events to their 50th neighbour).
struct PcaEmbedding
{
    std::vector<double> x, y, points;
    double eps = 0.0;
};

const PcaEmbedding& pcaEmbedding()
{
    static const PcaEmbedding e = [] {
        PcaEmbedding out;
        const DimRedMatrix X = Bench::measurementMatrix(1000000);
        const DimRedModel model = DimRedModel::fitPca(X, Bench::sixFeatures());
        model.project(X, out.x, out.y);
        out.points.resize(2 * out.x.size());
        for (size_t i = 0; i < out.x.size(); ++i) {
            out.points[2 * i] = out.x[i];
            out.points[2 * i + 1] = out.y[i];
        }
        const KdTree tree(out.points, out.x.size(), 2);
        std::vector<double> kth;
        std::vector<int32_t> idx;
        std::vector<double> dist;
        for (size_t i = 0; i < out.x.size(); i += 500) {
            tree.query(&out.points[2 * i], 50, static_cast<int32_t>(i), idx, dist);
            kth.push_back(dist.back());
        }
        std::nth_element(kth.begin(), kth.begin() + static_cast<std::ptrdiff_t>(kth.size() / 2), kth.end());
        out.eps = kth[kth.size() / 2];
        return out;
    }();
    return e;
}

void BM_Dbscan_Pca1M(benchmark::State& state)
{
    const PcaEmbedding& e = pcaEmbedding();
    int clusters = 0;
    double extra = 0.0;
    for (auto _ : state) {
        Bench::resetPeakMemory();
        const double before = Bench::statusMiB("VmRSS");
        const std::vector<int> labels = dbscan(e.points.data(), e.x.size(), e.eps, 10, clusters);
        extra = Bench::statusMiB("VmHWM") - before;
        benchmark::DoNotOptimize(labels.data());
    }
    state.counters["eps"] = e.eps;
    state.counters["clusters"] = clusters;
    state.counters["extra_MiB"] = extra;
    state.counters["target_s"] = 3.0;
    state.counters["target_MiB"] = 200.0;
}
BENCHMARK(BM_Dbscan_Pca1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_EstimateEps_Pca1M(benchmark::State& state)
{
    const PcaEmbedding& e = pcaEmbedding();
    double eps = 0.0;
    for (auto _ : state)
        eps = estimateDbscanEps(e.points.data(), e.x.size(), 10);
    state.counters["eps"] = eps;
    state.counters["target_s"] = 5.0;
}
BENCHMARK(BM_EstimateEps_Pca1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_AssignClusters_1M(benchmark::State& state)
{
    const PcaEmbedding& e = pcaEmbedding();
    static const DimRedClusterModel model = fitClusterModel(e.x, e.y, e.eps, 10);
    std::vector<double> ids;
    for (auto _ : state)
        model.assign(e.x, e.y, ids);
    state.counters["stored"] = static_cast<double>(model.labels.size());
    state.counters["target_s"] = 1.0;
}
BENCHMARK(BM_AssignClusters_1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
