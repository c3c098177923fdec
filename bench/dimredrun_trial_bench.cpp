// Dimension-reduction runs as the application starts them (a measured trial; run alone):
//  - pca: a pooled PCA of 20 datasets of 1M events x 10 features, applied to all 20, with
//    automatic clusters (TERVANE3_DIMRED_PCA_CLUSTERS=0: without); the GUI thread's share
//    (training events of every dataset) timed apart; peak memory beyond the cached datasets;
//  - umap: a UMAP run with clusters on one dataset against the engine's bare fit of the same
//    rows; peak memory of the run;
//  - apply: a 100k-row UMAP reference placed into TERVANE3_DIMRED_APPLY_TARGETS datasets of
//    1M events (default 20);
//  - file: save and load of a 1M x 10 UMAP reference.
// TERVANE3_DIMRED_RUN_TRIAL=pca|umap|apply|file runs one part; TERVANE3_DIMRED_UMAP_ROWS sets
// the rows of the umap part (default 1,000,000).
#include "DimRedBenchData.h"
#include "dimred/DimRedTestData.h"

#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedRun.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>

using namespace Tervane3;

namespace {

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long envLong(const char* name, long fallback)
{
    const char* value = std::getenv(name);
    return value ? std::strtol(value, nullptr, 10) : fallback;
}

// Ten scalar features of the generated measurement, those the dimension reduction would be
// offered first (ascending names, complete columns).
std::vector<std::string> tenFeatures(const RTDCReader& reader)
{
    std::vector<std::string> names;
    for (const std::string& name : reader.featureNames()) {
        if (names.size() == 10)
            break;
        if (isScalarFeatureName(name) && reader.getFeature(name).size() == reader.eventCount())
            names.push_back(name);
    }
    return names;
}

std::vector<DimRedSource> openDatasets(int count, const std::string& path = Bench::generatedMeasurement())
{
    std::vector<DimRedSource> sources;
    for (int i = 0; i < count; ++i) {
        DimRedSource s;
        s.datasetId = i;
        s.name = "D" + std::to_string(i + 1);
        s.reader = std::make_shared<RTDCReader>();
        if (!s.reader->open(path)) {
            std::cerr << "cannot open " << path << std::endl;
            std::exit(1);
        }
        sources.push_back(std::move(s));
    }
    return sources;
}

void cache(const std::vector<DimRedSource>& sources, const std::vector<std::string>& features)
{
    for (const DimRedSource& s : sources) {
        for (const std::string& name : features)
            s.reader->getFeature(name);
    }
}

void pcaTrial()
{
    std::vector<DimRedSource> sources = openDatasets(20);
    const std::vector<std::string> features = tenFeatures(*sources[0].reader);
    cache(sources, features);
    const double baseline = Bench::statusMiB("VmRSS");
    Bench::resetPeakMemory();

    const auto gui = std::chrono::steady_clock::now();
    DimRedFitJob job;
    job.method = DimRedMethodPca;
    job.features = features;
    // TERVANE3_DIMRED_PCA_CLUSTERS=0 leaves the clusters out (the clustering of 20M points
    // runs on one core and dominates).
    job.labelClusters = envLong("TERVANE3_DIMRED_PCA_CLUSTERS", 1) != 0;
    job.minPts = 10;
    uint64_t rows = 0;
    for (DimRedSource& s : sources) {
        s.trainingEvents = dimRedTrainingEvents(*s.reader, features, nullptr);
        rows += s.trainingEvents.size();
    }
    job.training = sources;
    for (DimRedSource s : sources) {
        s.trainingEvents.clear();
        job.targets.push_back(std::move(s));
    }
    const double guiSeconds = seconds(gui);

    const auto run = std::chrono::steady_clock::now();
    DimRedOutcome outcome;
    std::atomic<bool> cancel{false};
    runDimRedFit(job, outcome, cancel, [](int) {});
    const double runSeconds = seconds(run);
    std::cout << "pca pooled 20 x 1M x " << features.size() << " (" << rows << " training rows), applied to 20, "
              << (job.labelClusters ? "automatic clusters" : "no clusters") << ": GUI share " << guiSeconds << " s (target 2 s), run " << runSeconds
              << " s (target 30 s), peak beyond the cached datasets " << (Bench::statusMiB("VmHWM") - baseline) / 1024.0
              << " GiB (target 6 GB); fitted " << outcome.model.fitted << ", clusters " << outcome.clusters.clusterCount
              << (outcome.failure.empty() ? "" : ", failure " + outcome.failure) << std::endl;
}

void umapTrial()
{
    // A measurement of exactly that many events, all of them training rows, so the run
    // transforms nothing and differs from the bare fit only by its own work.
    const long rows = envLong("TERVANE3_DIMRED_UMAP_ROWS", 1000000);
    const std::string path = rows == 1000000
                                 ? Bench::generatedMeasurement()
                                 : Bench::ensureSynthFile("tervane3_bench_dimred_" + std::to_string(rows) + ".rtdc",
                                                          "--events " + std::to_string(rows) + " --seed 1");
    std::vector<DimRedSource> sources = openDatasets(1, path);
    const std::vector<std::string> features = tenFeatures(*sources[0].reader);
    cache(sources, features);
    std::vector<int> events(static_cast<size_t>(std::min<long>(rows, static_cast<long>(sources[0].reader->eventCount()))));
    for (size_t i = 0; i < events.size(); ++i)
        events[i] = static_cast<int>(i);
    UmapParams params;
    params.nEpochs = 200;

    // The engine alone on the same standardised rows.
    double engineSeconds = 0.0;
    {
        const DimRedMatrix X = dimRedRows(*sources[0].reader, features, &events);
        const DimRedMatrix Z = DimRedModel::standardize(DimRedModel::fitScaler(X, features), X);
        const auto start = std::chrono::steady_clock::now();
        const UmapModel model = fitUmap(Z, params, nullptr);
        engineSeconds = seconds(start);
        if (!model.fitted)
            std::cout << "engine fit failed" << std::endl;
    }

    DimRedFitJob job;
    job.method = DimRedMethodUmap;
    job.features = features;
    job.umap = params;
    job.labelClusters = true;
    job.minPts = 10;
    sources[0].trainingEvents = dimRedTrainingEvents(*sources[0].reader, features, &events);
    job.training = sources;
    job.targets = {sources[0]};
    job.targets[0].trainingEvents.clear();
    const double baseline = Bench::statusMiB("VmRSS");
    Bench::resetPeakMemory();
    const auto start = std::chrono::steady_clock::now();
    DimRedOutcome outcome;
    std::atomic<bool> cancel{false};
    runDimRedFit(job, outcome, cancel, [](int) {});
    const double runSeconds = seconds(start);
    const double peakGiB = (Bench::statusMiB("VmHWM") - baseline) / 1024.0;
    std::cout << "umap with clusters on " << events.size() << " x " << features.size() << ": run " << runSeconds
              << " s, engine fit " << engineSeconds << " s (" << 100.0 * (runSeconds / engineSeconds - 1.0)
              << " % over; target 10 %), peak beyond the cached dataset " << peakGiB << " GiB (target 3 GB), "
              << "estimate " << umapFitMemoryEstimate(events.size(), features.size(), params.nNeighbors) / 1073741824.0
              << " GiB; clusters " << outcome.clusters.clusterCount
              << (outcome.failure.empty() ? "" : ", failure " + outcome.failure) << std::endl;
}

void applyTrial()
{
    const long targets = envLong("TERVANE3_DIMRED_APPLY_TARGETS", 20);
    std::vector<DimRedSource> sources = openDatasets(static_cast<int>(targets));
    const std::vector<std::string> features = tenFeatures(*sources[0].reader);
    cache(sources, features);
    std::vector<int> first(100000);
    for (size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<int>(i);
    DimRedFitJob job;
    job.method = DimRedMethodUmap;
    job.features = features;
    job.umap.nEpochs = 200;
    job.labelClusters = true;
    DimRedSource training = sources[0];
    training.trainingEvents = dimRedTrainingEvents(*training.reader, features, &first);
    job.training = {training};
    DimRedOutcome fit;
    std::atomic<bool> cancel{false};
    const auto fitStart = std::chrono::steady_clock::now();
    runDimRedFit(job, fit, cancel, [](int) {});
    const double fitSeconds = seconds(fitStart);
    DimRedReference reference;
    reference.kind = DimRedMethodUmap;
    reference.pca = fit.model;
    reference.umap = fit.umap;
    reference.clusters = fit.clusters;
    reference.valid = fit.model.fitted;

    const auto start = std::chrono::steady_clock::now();
    DimRedOutcome outcome;
    runDimRedApply(reference, sources, outcome, cancel, [](int) {});
    const double applySeconds = seconds(start);
    std::cout << "100k-row reference (fit " << fitSeconds << " s, " << fit.clusters.clusterCount << " clusters) applied to "
              << targets << " x 1M: " << applySeconds << " s (target 300 s for 20), "
              << applySeconds / static_cast<double>(targets) << " s per dataset"
              << (outcome.failure.empty() ? "" : ", failure " + outcome.failure) << std::endl;
}

void fileTrial()
{
    DimRedReference reference;
    reference.kind = DimRedMethodUmap;
    const uint64_t n = 1000000, F = 10;
    Test::SplitMix r(5);
    for (uint64_t j = 0; j < F; ++j) {
        reference.pca.features.push_back("feature_" + std::to_string(j));
        reference.pca.center.push_back(r.uniform());
        reference.pca.scale.push_back(1.0 + r.uniform());
    }
    reference.pca.fitted = true;
    reference.pca.fitEventCount = n;
    UmapModel& u = reference.umap;
    u.n = n;
    u.dims = F;
    u.trainData.resize(n * F);
    for (double& v : u.trainData)
        v = r.uniform() * 6.0 - 3.0;
    u.embedding.resize(2 * n);
    for (double& v : u.embedding)
        v = r.uniform() * 20.0 - 10.0;
    u.a = 1.58;
    u.b = 0.9;
    u.nEpochs = 200;
    u.fitted = true;
    reference.valid = true;

    const std::string path = Bench::benchDir() + "/tervane3_bench_reference.tn3dr";
    std::string error;
    const auto save = std::chrono::steady_clock::now();
    const bool saved = saveDimRedReference(path, reference, error);
    const double saveSeconds = seconds(save);
    const auto load = std::chrono::steady_clock::now();
    DimRedReference back;
    const bool loaded = DimRedReference::load(path, back, error);
    const double loadSeconds = seconds(load);
    std::cout << "1M x 10 UMAP reference (" << std::filesystem::file_size(path) / 1048576.0 << " MiB): save "
              << saveSeconds << " s, load " << loadSeconds << " s (target 5 s each); ok " << saved << loaded
              << (error.empty() ? "" : " " + error) << std::endl;
    std::filesystem::remove(path);
}

} // namespace

int main()
{
    const char* env = std::getenv("TERVANE3_DIMRED_RUN_TRIAL");
    const std::string mode = env ? env : "all";
    std::cout << std::fixed << std::setprecision(2);
    std::cout << "threads " << workerThreadCount() << " (timings on a shared machine are noisy)" << std::endl;
    if (mode == "all" || mode == "file")
        fileTrial();
    if (mode == "all" || mode == "pca")
        pcaTrial();
    if (mode == "all" || mode == "umap")
        umapTrial();
    if (mode == "all" || mode == "apply")
        applyTrial();
    return 0;
}
