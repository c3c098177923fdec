// UMAP measured trials (run alone; they take minutes):
//  - against umap-learn on the generator's measurement (seed 1): the first 20,000 and
//    100,000 events of six features, robust-standardised, 200 epochs; umap-learn gets 16
//    neighbours (it counts the point itself) and all cores and is timed on its second run.
//    Both embeddings are scored by trustworthiness (15 neighbours) on 5,000 seeded events.
//  - transform of all 1,000,000 events into the 100,000-event model;
//  - a fit on all 1,000,000 events (time and peak memory beyond the input).
// TERVANE3_UMAP_TRIAL=compare|transform|fit1m runs one part (transform includes compare).
#include "DimRedBenchData.h"

#include "core/ParallelFor.h"
#include "dimred/Umap.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <random>

using namespace Tervane3;

namespace {

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

DimRedMatrix firstRows(const DimRedMatrix& X, uint64_t rows)
{
    DimRedMatrix out;
    out.rows = std::min(rows, X.rows);
    out.cols = X.cols;
    out.data.assign(X.data.begin(), X.data.begin() + static_cast<std::ptrdiff_t>(out.rows * X.cols));
    return out;
}

// Trustworthiness with k neighbours over `queries` seeded events: 1 - 2 / (m k (2n - 3k - 1))
// times the sum, over the queries' k nearest in the embedding that are not among their k
// nearest in the input, of (input rank - k).
double trustworthiness(const DimRedMatrix& Z, const std::vector<double>& embedding, int k, int queries)
{
    const size_t n = Z.rows, D = Z.cols;
    std::vector<size_t> picks;
    std::mt19937_64 rng(2024);
    std::vector<char> taken(n, 0);
    while (picks.size() < static_cast<size_t>(queries)) {
        const size_t i = rng() % n;
        if (!taken[i]) {
            taken[i] = 1;
            picks.push_back(i);
        }
    }
    std::vector<double> penalty(picks.size(), 0.0);
    parallelFor(picks.size(), 16, [&](size_t begin, size_t end) {
        std::vector<std::pair<double, size_t>> near;
        std::vector<double> thresholds;
        for (size_t q = begin; q < end; ++q) {
            const size_t i = picks[q];
            near.clear();
            for (size_t j = 0; j < n; ++j) {
                if (j == i)
                    continue;
                const double dx = embedding[2 * j] - embedding[2 * i];
                const double dy = embedding[2 * j + 1] - embedding[2 * i + 1];
                near.emplace_back(dx * dx + dy * dy, j);
            }
            std::partial_sort(near.begin(), near.begin() + k, near.end());
            thresholds.clear();
            for (int s = 0; s < k; ++s) {
                double d2 = 0;
                for (size_t d = 0; d < D; ++d) {
                    const double diff = Z.data[near[s].second * D + d] - Z.data[i * D + d];
                    d2 += diff * diff;
                }
                thresholds.push_back(d2);
            }
            // Input rank of each embedding neighbour: 1 + the events strictly closer to i.
            std::vector<size_t> closer(static_cast<size_t>(k), 0);
            for (size_t j = 0; j < n; ++j) {
                if (j == i)
                    continue;
                double d2 = 0;
                for (size_t d = 0; d < D; ++d) {
                    const double diff = Z.data[j * D + d] - Z.data[i * D + d];
                    d2 += diff * diff;
                }
                for (int s = 0; s < k; ++s)
                    closer[static_cast<size_t>(s)] += d2 < thresholds[static_cast<size_t>(s)];
            }
            for (int s = 0; s < k; ++s) {
                const double rank = static_cast<double>(closer[static_cast<size_t>(s)] + 1);
                if (rank > k)
                    penalty[q] += rank - k;
            }
        }
    });
    double sum = 0;
    for (double p : penalty)
        sum += p;
    const double m = static_cast<double>(picks.size());
    return 1.0 - 2.0 / (m * k * (2.0 * n - 3.0 * k - 1.0)) * sum;
}

UmapParams trialParams()
{
    UmapParams p;
    p.nEpochs = 200;
    return p;
}

} // namespace

int main()
{
    const char* env = std::getenv("TERVANE3_UMAP_TRIAL");
    const std::string mode = env ? env : "all";
    const bool compare = mode == "all" || mode == "compare" || mode == "transform";
    const bool transform = mode == "all" || mode == "transform";
    const bool fit1m = mode == "all" || mode == "fit1m";
    std::cout << std::fixed << std::setprecision(3);
    std::cout << "threads " << workerThreadCount() << " (timings on a shared machine are noisy)" << std::endl;

    const DimRedMatrix all = Bench::measurementMatrix(1000000);
    UmapModel model100k;
    RobustScaler scaler100k;

    if (compare) {
        std::cout << "rows  ours_s  umap-learn_s  target_s  trust_ours  trust_umap-learn  init" << std::endl;
        for (const uint64_t rows : {uint64_t{20000}, uint64_t{100000}}) {
            const DimRedMatrix raw = firstRows(all, rows);
            const RobustScaler scaler = DimRedModel::fitScaler(raw, Bench::sixFeatures());
            const DimRedMatrix Z = DimRedModel::standardize(scaler, raw);
            const auto start = std::chrono::steady_clock::now();
            UmapModel model = fitUmap(Z, trialParams(), {});
            const double ours = seconds(start);

            const std::string input = Bench::benchDir() + "/tervane3_bench_umap_input.f64";
            const std::string output = Bench::benchDir() + "/tervane3_bench_umap_output.f64";
            Bench::writeMatrix(input, Z.data);
            const double theirs = Bench::runPythonTrial("umap \"" + input + "\" " + std::to_string(rows) + " 6 \""
                                                        + output + "\"");
            const std::vector<double> theirEmbedding = theirs > 0 ? Bench::readMatrix(output, 2 * rows) : std::vector<double>{};

            const double trustOurs = trustworthiness(Z, model.embedding, 15, 5000);
            const double trustTheirs = theirEmbedding.empty() ? -1.0 : trustworthiness(Z, theirEmbedding, 15, 5000);
            std::cout << rows << "  " << ours << "  " << theirs << "  " << (theirs > 0 ? theirs / 3 : 0.0) << "  "
                      << std::setprecision(4) << trustOurs << "  " << trustTheirs << std::setprecision(3) << "  "
                      << (model.initUsed == UmapInitSpectral ? "spectral" : "random") << std::endl;
            if (rows == 100000) {
                model100k = std::move(model);
                scaler100k = scaler;
            }
        }
    }

    if (transform && model100k.fitted) {
        const DimRedMatrix Z = DimRedModel::standardize(scaler100k, all);
        std::vector<double> out;
        const auto start = std::chrono::steady_clock::now();
        transformUmap(model100k, Z, out, {});
        std::cout << "transform 1M rows into the 100k model: " << seconds(start) << " s (target 15 s)" << std::endl;
    }

    if (fit1m) {
        const DimRedMatrix Z = Bench::robustStandardised(all);
        Bench::resetPeakMemory();
        const double before = Bench::statusMiB("VmRSS");
        const auto start = std::chrono::steady_clock::now();
        int last = -1;
        const UmapModel model = fitUmap(Z, UmapParams{}, [&](int percent) {
            if (percent / 10 != last / 10)
                std::cout << "  " << percent << "% at " << seconds(start) << " s" << std::endl;
            last = percent;
            return true;
        });
        std::cout << "fit 1M x 6 (" << model.nEpochs << " epochs, "
                  << (model.initUsed == UmapInitSpectral ? "spectral" : "random") << " start): " << seconds(start)
                  << " s (target 360 s), peak " << Bench::statusMiB("VmHWM") - before
                  << " MiB beyond the input (target 2048)" << std::endl;
    }
    return 0;
}
