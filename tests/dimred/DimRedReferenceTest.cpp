// The reference record and its file: bit-exact round trips, the storage layout, every
// message of the reader, hostile files (declared sizes the file cannot hold, labels that are
// no cluster ids, numbers outside the page's ranges) and saves that fail midway.
#include "DimRedTestData.h"
#include "support/TestSupport.h"

#include "dimred/DimRedReference.h"

#include <H5Cpp.h>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

using namespace Tervane3;
namespace TD = Tervane3::Test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

DimRedReference pcaReference()
{
    DimRedReference ref;
    ref.kind = DimRedMethodPca;
    ref.pca.features = {"area_um", "deform", "bright_avg"};
    ref.pca.center = {50.0, 0.031, 120.5};
    ref.pca.scale = {12.25, 0.0071, 3.0};
    ref.pca.component1 = {0.6, -0.7, 0.1 / 3.0};
    ref.pca.component2 = {0.2, 0.3, -0.9};
    ref.pca.explained1 = 0.5234;
    ref.pca.explained2 = 0.2511;
    ref.pca.fitEventCount = 500;
    ref.pca.degenerateFeatures = {"bright_avg"};
    ref.pca.fitted = true;
    ref.created = "2024-05-01T10:00:00Z";
    ref.appVersion = "3.2.97";
    ref.fitDatasets = "S1";
    ref.valid = true;
    return ref;
}

DimRedReference umapReference(uint64_t n, uint64_t F = 5, bool clusters = true)
{
    DimRedReference ref;
    ref.kind = DimRedMethodUmap;
    TD::SplitMix r(3);
    for (uint64_t j = 0; j < F; ++j) {
        ref.pca.features.push_back("f" + std::to_string(j));
        ref.pca.center.push_back(r.uniform() * 10.0);
        ref.pca.scale.push_back(0.5 + r.uniform());
    }
    ref.pca.fitEventCount = n;
    ref.pca.fitted = true;
    UmapModel& u = ref.umap;
    u.n = n;
    u.dims = F;
    for (uint64_t i = 0; i < n * F; ++i)
        u.trainData.push_back(r.uniform() * 4.0 - 2.0);
    for (uint64_t i = 0; i < 2 * n; ++i)
        u.embedding.push_back(r.uniform() * 20.0 - 10.0);
    u.nNeighbors = 12;
    u.minDist = 0.25;
    u.spread = 1.5;
    u.nEpochs = 200;
    u.learningRate = 0.75;
    u.repulsionStrength = 2.0;
    u.negativeSampleRate = 7;
    u.seed = 1234567;
    u.a = 1.576943460405378;
    u.b = 0.8950608781227859;
    u.initUsed = UmapInitSpectral;
    u.fitted = true;
    if (clusters) {
        DimRedClusterModel& c = ref.clusters;
        c.embedding = {0.5, 1.5, -2.25, 3.0, 7.125, -1.0};
        c.labels = {0, 1, 1};
        c.clusterCount = 2;
        c.eps = 0.375;
        c.minPts = 10;
        c.valid = true;
    }
    ref.created = "2024-05-01T10:00:00Z";
    ref.fitDatasets = "Sample A, Sample B";
    ref.appVersion = "3.2.97";
    ref.valid = true;
    return ref;
}

// Bitwise equality of doubles (NaN payloads and signed zeros included).
bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

struct Layout
{
    std::vector<hsize_t> dims;
    H5D_layout_t layout = H5D_CONTIGUOUS;
    std::vector<hsize_t> chunk;
    bool deflate = false;
};

Layout layoutOf(const std::string& path, const std::string& name)
{
    H5::H5File file(path, H5F_ACC_RDONLY);
    H5::DataSet set = file.openDataSet(name);
    Layout out;
    H5::DataSpace space = set.getSpace();
    out.dims.resize(static_cast<size_t>(space.getSimpleExtentNdims()));
    space.getSimpleExtentDims(out.dims.data());
    H5::DSetCreatPropList create = set.getCreatePlist();
    out.layout = create.getLayout();
    if (out.layout == H5D_CHUNKED) {
        out.chunk.resize(out.dims.size());
        create.getChunk(static_cast<int>(out.dims.size()), out.chunk.data());
        for (int i = 0; i < create.getNfilters(); ++i) {
            unsigned flags = 0, level = 0;
            size_t count = 1;
            char filterName[32];
            unsigned config = 0;
            if (create.getFilter(i, flags, count, &level, sizeof(filterName), filterName, config) == H5Z_FILTER_DEFLATE)
                out.deflate = level == 4;
        }
    }
    return out;
}

// Edits a saved file with the library directly, as a damaged or foreign writer would.
void edit(const std::string& path, const std::function<void(H5::Group&)>& change)
{
    H5::H5File file(path, H5F_ACC_RDWR);
    H5::Group root = file.openGroup("/");
    change(root);
}

void replaceIntAttribute(H5::Group& root, const char* name, int64_t value)
{
    if (root.attrExists(name))
        root.removeAttr(name);
    root.createAttribute(name, H5::PredType::STD_I64LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_INT64, &value);
}

void replaceDoubleAttribute(H5::Group& root, const char* name, double value)
{
    if (root.attrExists(name))
        root.removeAttr(name);
    root.createAttribute(name, H5::PredType::IEEE_F64LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_DOUBLE, &value);
}

void replaceStringAttribute(H5::Group& root, const char* name, const std::string& value)
{
    if (root.attrExists(name))
        root.removeAttr(name);
    H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    root.createAttribute(name, type, H5::DataSpace(H5S_SCALAR)).write(type, value);
}

void replaceDoubles(H5::Group& root, const char* name, const std::vector<hsize_t>& dims,
                    const std::vector<double>& values, bool chunkedUnwritten = false)
{
    if (root.nameExists(name))
        root.unlink(name);
    H5::DSetCreatPropList create;
    if (chunkedUnwritten) {
        std::vector<hsize_t> chunk = dims;
        chunk[0] = 4096;
        create.setChunk(static_cast<int>(chunk.size()), chunk.data());
        create.setDeflate(4);
    }
    H5::DataSet set = root.createDataSet(name, H5::PredType::IEEE_F64LE,
                                         H5::DataSpace(static_cast<int>(dims.size()), dims.data()), create);
    if (!values.empty())
        set.write(values.data(), H5::PredType::NATIVE_DOUBLE);
}

class DimRedReferenceFile : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
    std::string saved(const DimRedReference& ref, const char* name = "ref.tn3dr") const
    {
        const std::string p = path(name);
        std::string error;
        EXPECT_TRUE(saveDimRedReference(p, ref, error)) << error;
        EXPECT_TRUE(error.empty());
        return p;
    }
    static std::string loadError(const std::string& p)
    {
        DimRedReference ref;
        std::string error;
        EXPECT_FALSE(DimRedReference::load(p, ref, error));
        return error;
    }
    // Only the saved file itself is in the folder (no temporary left behind).
    std::vector<std::string> folderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path().toStdString()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    QTemporaryDir dir;
};

TEST(DimRedReferenceRecord, Summary)
{
    EXPECT_EQ(makeDimRedReference()->summary(), "No reference loaded.");
    DimRedReference pca = pcaReference();
    EXPECT_EQ(pca.summary(), "PCA, 3 features, fitted on 500 events from S1 (2024-05-01T10:00:00Z)");
    pca.pca.fitEventCount = 0;
    pca.fitDatasets.clear();
    pca.created.clear();
    EXPECT_EQ(pca.summary(), "PCA, 3 features");
    DimRedReference umap = umapReference(950, 4, false);
    EXPECT_EQ(umap.summary(), "UMAP, 4 features, fitted on 950 events from Sample A, Sample B (2024-05-01T10:00:00Z)");
}

TEST_F(DimRedReferenceFile, PcaRoundTripIsBitExactAndSmall)
{
    const DimRedReference original = pcaReference();
    const std::string p = saved(original);
    DimRedReference back;
    std::string error;
    ASSERT_TRUE(DimRedReference::load(p, back, error)) << error;
    EXPECT_TRUE(back.valid);
    EXPECT_TRUE(back.pca.fitted);
    EXPECT_EQ(back.kind, DimRedMethodPca);
    EXPECT_EQ(back.pca.features, original.pca.features);
    EXPECT_EQ(back.pca.degenerateFeatures, original.pca.degenerateFeatures);
    EXPECT_TRUE(sameBits(back.pca.center, original.pca.center));
    EXPECT_TRUE(sameBits(back.pca.scale, original.pca.scale));
    EXPECT_TRUE(sameBits(back.pca.component1, original.pca.component1));
    EXPECT_TRUE(sameBits(back.pca.component2, original.pca.component2));
    EXPECT_EQ(back.pca.explained1, original.pca.explained1);
    EXPECT_EQ(back.pca.explained2, original.pca.explained2);
    EXPECT_EQ(back.pca.fitEventCount, 500u);
    EXPECT_EQ(back.created, original.created);
    EXPECT_EQ(back.appVersion, "3.2.97");
    EXPECT_EQ(back.fitDatasets, "S1");
    EXPECT_FALSE(back.umap.fitted);
    EXPECT_EQ(back.umap.nNeighbors, UmapModel().nNeighbors);
    EXPECT_FALSE(back.clusters.valid);

    const Layout loadings = layoutOf(p, "loadings");
    EXPECT_EQ(loadings.dims, (std::vector<hsize_t>{2, 3}));
    EXPECT_EQ(loadings.layout, H5D_CONTIGUOUS);
    H5::H5File file(p, H5F_ACC_RDONLY);
    EXPECT_FALSE(file.nameExists("train_data"));
    EXPECT_FALSE(file.attrExists("umap_a"));
    EXPECT_FALSE(file.attrExists("cluster_count"));
    EXPECT_LT(std::filesystem::file_size(p), 16u * 1024);
}

TEST_F(DimRedReferenceFile, UmapRoundTripWithClustersIsBitExact)
{
    const DimRedReference original = umapReference(10000);
    const std::string p = saved(original);
    DimRedReference back;
    std::string error;
    ASSERT_TRUE(DimRedReference::load(p, back, error)) << error;
    const UmapModel& u = back.umap;
    EXPECT_TRUE(u.fitted);
    EXPECT_EQ(u.n, 10000u);
    EXPECT_EQ(u.dims, 5u);
    EXPECT_TRUE(sameBits(u.trainData, original.umap.trainData));
    EXPECT_TRUE(sameBits(u.embedding, original.umap.embedding));
    EXPECT_EQ(u.a, original.umap.a);
    EXPECT_EQ(u.b, original.umap.b);
    EXPECT_EQ(u.nNeighbors, 12);
    EXPECT_EQ(u.minDist, 0.25);
    EXPECT_EQ(u.spread, 1.5);
    EXPECT_EQ(u.nEpochs, 200);
    EXPECT_EQ(u.learningRate, 0.75);
    EXPECT_EQ(u.repulsionStrength, 2.0);
    EXPECT_EQ(u.negativeSampleRate, 7);
    EXPECT_EQ(u.seed, 1234567);
    EXPECT_EQ(u.initUsed, UmapInitSpectral);
    EXPECT_EQ(u.randomInit, 0);
    ASSERT_TRUE(back.clusters.valid);
    EXPECT_TRUE(sameBits(back.clusters.embedding, original.clusters.embedding));
    EXPECT_EQ(back.clusters.labels, original.clusters.labels);
    EXPECT_EQ(back.clusters.clusterCount, 2);
    EXPECT_EQ(back.clusters.eps, 0.375);
    EXPECT_EQ(back.clusters.minPts, 10);

    const Layout data = layoutOf(p, "train_data");
    EXPECT_EQ(data.dims, (std::vector<hsize_t>{10000, 5}));
    EXPECT_EQ(data.chunk, (std::vector<hsize_t>{4096, 5}));
    EXPECT_TRUE(data.deflate);
    const Layout embed = layoutOf(p, "train_embed");
    EXPECT_EQ(embed.chunk, (std::vector<hsize_t>{4096, 2}));
    EXPECT_TRUE(embed.deflate);
    EXPECT_EQ(layoutOf(p, "center").layout, H5D_CONTIGUOUS);
    EXPECT_EQ(layoutOf(p, "cluster_labels").layout, H5D_CONTIGUOUS);
}

TEST_F(DimRedReferenceFile, EmbeddingIsChunkedFrom4096Values)
{
    struct Case { uint64_t rows; H5D_layout_t layout; std::vector<hsize_t> chunk; };
    for (const Case& c : {Case{2047, H5D_CONTIGUOUS, {}}, Case{2048, H5D_CHUNKED, {2048, 2}}}) {
        SCOPED_TRACE(c.rows);
        const std::string p = saved(umapReference(c.rows, 2, false));
        const Layout embed = layoutOf(p, "train_embed");
        EXPECT_EQ(embed.layout, c.layout);
        EXPECT_EQ(embed.chunk, c.chunk);
    }
}

TEST_F(DimRedReferenceFile, StringsWrittenAsTheLibraryDefinesThem)
{
    const std::string p = saved(umapReference(20, 2, false));
    H5::H5File file(p, H5F_ACC_RDONLY);
    H5::Attribute kind = file.openAttribute("kind");
    H5::StrType type = kind.getStrType();
    EXPECT_TRUE(type.isVariableStr());
    EXPECT_EQ(type.getCset(), H5T_CSET_ASCII);
    EXPECT_EQ(kind.getSpace().getSimpleExtentNdims(), 0);
    std::string text;
    kind.read(type, text);
    EXPECT_EQ(text, "umap");
    H5::Attribute version = file.openAttribute("format_version");
    EXPECT_TRUE(version.getDataType() == H5::PredType::STD_I64LE);
    EXPECT_EQ(file.openDataSet("features").getSpace().getSimpleExtentNpoints(), 2);
}

// Each edit of a good file and the reader's answer: the message, or "" for a load that
// succeeds.
struct EditCase
{
    const char* name;
    bool umap;
    std::function<void(H5::Group&)> change;
    const char* message;
};

TEST_F(DimRedReferenceFile, ReaderMessages)
{
    const std::vector<EditCase> cases = {
        {"no format version", false, [](H5::Group& g) { g.removeAttr("format_version"); },
         "not a Tervane3 dimension-reduction reference"},
        {"no kind", false, [](H5::Group& g) { g.removeAttr("kind"); }, "not a Tervane3 dimension-reduction reference"},
        {"newer format", false, [](H5::Group& g) { replaceIntAttribute(g, "format_version", 2); },
         "the file was written by a newer version of Tervane3 (format 2)"},
        {"format 0", false, [](H5::Group& g) { replaceIntAttribute(g, "format_version", 0); }, ""},
        {"upper-case kind", false, [](H5::Group& g) { replaceStringAttribute(g, "kind", "PCA"); },
         "unknown projection kind 'PCA'"},
        {"one feature", false,
         [](H5::Group& g) {
             g.unlink("features");
             H5::StrType t(H5::PredType::C_S1, H5T_VARIABLE);
             const hsize_t one[1] = {1};
             const char* name = "area_um";
             g.createDataSet("features", t, H5::DataSpace(1, one)).write(&name, t);
         },
         "the reference lists fewer than two input features"},
        {"centre too long", false, [](H5::Group& g) { replaceDoubles(g, "center", {4}, {1, 2, 3, 4}); },
         "dataset 'center' does not have the expected size"},
        {"centre of rank 3", false, [](H5::Group& g) { replaceDoubles(g, "center", {1, 1, 3}, {1, 2, 3}); },
         "dataset 'center' has an unexpected rank"},
        {"infinite centre", false,
         [](H5::Group& g) { replaceDoubles(g, "center", {3}, {1, std::numeric_limits<double>::infinity(), 3}); },
         "the reference's centre or scale is not finite"},
        {"zero scale", false, [](H5::Group& g) { replaceDoubles(g, "scale", {3}, {1, 0, 3}); },
         "the reference has a non-positive scale"},
        {"NaN loading", false, [](H5::Group& g) { replaceDoubles(g, "loadings", {2, 3}, {1, 2, 3, 4, kNaN, 6}); },
         "the reference's loadings are not finite"},
        {"loadings transposed", false, [](H5::Group& g) { replaceDoubles(g, "loadings", {3, 2}, {1, 2, 3, 4, 5, 6}); },
         ""},
        {"no loadings", false, [](H5::Group& g) { g.unlink("loadings"); }, "*"},
        {"training rows of rank 1", true, [](H5::Group& g) { replaceDoubles(g, "train_data", {40}, std::vector<double>(40, 1.0)); },
         "the reference's training data is malformed"},
        {"training rows of another width", true,
         [](H5::Group& g) { replaceDoubles(g, "train_data", {10, 4}, std::vector<double>(40, 1.0)); },
         "the reference's training data does not match its feature list"},
        {"no training rows", true, [](H5::Group& g) { replaceDoubles(g, "train_data", {0, 2}, {}); },
         "the reference carries no training events"},
        {"NaN in the embedding", true,
         [](H5::Group& g) {
             std::vector<double> e(40, 0.5);
             e[7] = kNaN;
             replaceDoubles(g, "train_embed", {20, 2}, e);
         },
         "the reference's training data or embedding is not finite"},
        {"embedding too short", true, [](H5::Group& g) { replaceDoubles(g, "train_embed", {19, 2}, std::vector<double>(38, 0.5)); },
         "dataset 'train_embed' does not have the expected size"},
        {"b zero", true, [](H5::Group& g) { replaceDoubleAttribute(g, "umap_b", 0.0); },
         "the reference's UMAP parameters are out of range"},
        {"one neighbour", true, [](H5::Group& g) { replaceIntAttribute(g, "umap_n_neighbors", 1); },
         "the reference's UMAP parameters are out of range"},
        {"201 neighbours", true, [](H5::Group& g) { replaceIntAttribute(g, "umap_n_neighbors", 201); },
         "the reference's UMAP parameters are out of range"},
        {"epochs 2^31 - 1", true, [](H5::Group& g) { replaceIntAttribute(g, "umap_n_epochs", 2147483647); },
         "the reference's UMAP parameters are out of range"},
        {"epochs 2^32 + 200 (narrows to 200)", true,
         [](H5::Group& g) { replaceIntAttribute(g, "umap_n_epochs", (int64_t(1) << 32) + 200); },
         "the reference's UMAP parameters are out of range"},
        {"negative samples 101", true, [](H5::Group& g) { replaceIntAttribute(g, "umap_negative_sample_rate", 101); },
         "the reference's UMAP parameters are out of range"},
        {"infinite learning rate", true,
         [](H5::Group& g) { replaceDoubleAttribute(g, "umap_learning_rate", std::numeric_limits<double>::infinity()); },
         "the reference's UMAP parameters are out of range"},
        {"no spread", true, [](H5::Group& g) { g.removeAttr("umap_spread"); }, "*"},
        {"no init record", true, [](H5::Group& g) { g.removeAttr("umap_init_used"); }, ""},
        // Declared far beyond what the file stores: refused before anything is reserved.
        {"(2^40, F) training rows never written", true,
         [](H5::Group& g) { replaceDoubles(g, "train_data", {hsize_t(1) << 40, 2}, {}, true); },
         "dataset 'train_data' is larger than the file can hold"},
        {"2^40 feature names", false,
         [](H5::Group& g) {
             g.unlink("features");
             H5::StrType t(H5::PredType::C_S1, H5T_VARIABLE);
             const hsize_t dims[1] = {hsize_t(1) << 40};
             const hsize_t chunk[1] = {4096};
             H5::DSetCreatPropList create;
             create.setChunk(1, chunk);
             g.createDataSet("features", t, H5::DataSpace(1, dims), create);
         },
         "dataset 'features' is larger than the file can hold"},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = saved(c.umap ? umapReference(20, 2, false) : pcaReference());
        edit(p, c.change);
        DimRedReference ref;
        std::string error;
        const bool ok = DimRedReference::load(p, ref, error);
        if (std::string(c.message).empty()) {
            EXPECT_TRUE(ok) << error;
            EXPECT_TRUE(error.empty());
        } else {
            EXPECT_FALSE(ok);
            if (std::string(c.message) == "*")
                EXPECT_FALSE(error.empty()); // the library's own text
            else
                EXPECT_EQ(error, c.message);
        }
        // A refused file leaves the lock and the library in order: a good file loads next.
        DimRedReference good;
        EXPECT_TRUE(DimRedReference::load(saved(pcaReference(), "good.tn3dr"), good, error)) << error;
    }
}

TEST_F(DimRedReferenceFile, ReadDefaultsOfOptionalItems)
{
    const std::string p = saved(umapReference(20, 2, false));
    edit(p, [](H5::Group& g) {
        g.removeAttr("umap_init_used");
        g.removeAttr("created");
        g.removeAttr("fit_event_count");
    });
    DimRedReference ref;
    std::string error;
    ASSERT_TRUE(DimRedReference::load(p, ref, error)) << error;
    EXPECT_EQ(ref.umap.initUsed, UmapInitRandom);
    EXPECT_TRUE(ref.created.empty());
    EXPECT_EQ(ref.pca.fitEventCount, 0u);

    const std::string q = saved(pcaReference(), "pca.tn3dr");
    edit(q, [](H5::Group& g) { g.removeAttr("explained_1"); });
    ASSERT_TRUE(DimRedReference::load(q, ref, error)) << error;
    EXPECT_EQ(ref.pca.explained1, 0.0);
    EXPECT_EQ(ref.pca.explained2, 0.2511);
}

TEST_F(DimRedReferenceFile, DamagedClusterBlockIsDroppedAndTheRestLoads)
{
    const std::vector<EditCase> cases = {
        {"no labels", true, [](H5::Group& g) { g.unlink("cluster_labels"); }, ""},
        {"NaN label", true, [](H5::Group& g) { replaceDoubles(g, "cluster_labels", {3}, {0, kNaN, 1}); }, ""},
        {"label 2.5", true, [](H5::Group& g) { replaceDoubles(g, "cluster_labels", {3}, {0, 2.5, 1}); }, ""},
        {"label equal to the count", true, [](H5::Group& g) { replaceDoubles(g, "cluster_labels", {3}, {0, 2, 1}); }, ""},
        {"negative label", true, [](H5::Group& g) { replaceDoubles(g, "cluster_labels", {3}, {0, -1, 1}); }, ""},
        {"embedding of width 3", true, [](H5::Group& g) { replaceDoubles(g, "cluster_embed", {2, 3}, {1, 2, 3, 4, 5, 6}); }, ""},
        {"infinite point", true,
         [](H5::Group& g) { replaceDoubles(g, "cluster_embed", {3, 2}, {1, 2, 3, std::numeric_limits<double>::infinity(), 5, 6}); },
         ""},
        {"zero radius", true, [](H5::Group& g) { replaceDoubleAttribute(g, "cluster_eps", 0.0); }, ""},
        {"NaN radius", true, [](H5::Group& g) { replaceDoubleAttribute(g, "cluster_eps", kNaN); }, ""},
        {"count above the points", true, [](H5::Group& g) { replaceIntAttribute(g, "cluster_count", 4); }, ""},
        {"2^40 points never written", true,
         [](H5::Group& g) { replaceDoubles(g, "cluster_embed", {hsize_t(1) << 40, 2}, {}, true); }, ""},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = saved(umapReference(20, 2, true));
        edit(p, c.change);
        DimRedReference ref;
        std::string error;
        ASSERT_TRUE(DimRedReference::load(p, ref, error)) << error;
        EXPECT_TRUE(error.empty());
        EXPECT_TRUE(ref.valid);
        EXPECT_TRUE(ref.umap.fitted);
        EXPECT_FALSE(ref.clusters.valid);
    }
}

TEST_F(DimRedReferenceFile, NotAReferenceFile)
{
    const std::string text = path("notes.tn3dr");
    std::ofstream(text) << "not hdf5\n";
    EXPECT_EQ(loadError(text), "not a Tervane3 reference file");
    EXPECT_EQ(loadError(path("missing.tn3dr")), "not a Tervane3 reference file");
    const std::string empty = path("empty.h5");
    H5::H5File(empty, H5F_ACC_TRUNC).close();
    EXPECT_EQ(loadError(empty), "not a Tervane3 dimension-reduction reference");
}

TEST_F(DimRedReferenceFile, NothingToSave)
{
    struct Case { const char* name; DimRedReference ref; const char* message; };
    DimRedReference invalid = pcaReference();
    invalid.valid = false;
    DimRedReference unfittedPca = pcaReference();
    unfittedPca.pca.fitted = false;
    DimRedReference unfittedUmap = umapReference(20, 2);
    unfittedUmap.umap.fitted = false;
    for (const Case& c : {Case{"fresh", DimRedReference(), "there is no fitted projection to save"},
                          Case{"invalid", invalid, "there is no fitted projection to save"},
                          Case{"PCA part unfitted", unfittedPca, "there is no fitted projection to save"},
                          Case{"UMAP part unfitted", unfittedUmap, "the UMAP model is not fitted"}}) {
        SCOPED_TRACE(c.name);
        std::string error = "stale";
        EXPECT_FALSE(saveDimRedReference(path("x.tn3dr"), c.ref, error));
        EXPECT_EQ(error, c.message);
        EXPECT_TRUE(folderEntries().empty());
    }
}

TEST_F(DimRedReferenceFile, SaveReplacesAnOlderFile)
{
    const std::string p = saved(pcaReference());
    saved(umapReference(30, 2), "ref.tn3dr");
    DimRedReference back;
    std::string error;
    ASSERT_TRUE(DimRedReference::load(p, back, error)) << error;
    EXPECT_EQ(back.kind, DimRedMethodUmap);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"ref.tn3dr"});
}

TEST_F(DimRedReferenceFile, UnwritableFolder)
{
    // A path below a regular file fails even for root.
    const std::string file = path("plain");
    std::ofstream(file) << "x";
    std::string error;
    EXPECT_FALSE(saveDimRedReference(file + "/ref.tn3dr", pcaReference(), error));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"plain"});
}

// A save that runs out of room midway once destroyed the older reference or left a half
// file behind that loaded without its clusters.
TEST_F(DimRedReferenceFile, FailedSaveKeepsTheOlderFile)
{
    const DimRedReference old = umapReference(30, 2);
    const std::string p = saved(old);
    const auto oldSize = std::filesystem::file_size(p);

    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string error;
    const bool ok = saveDimRedReference(p, umapReference(20000, 5), error);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(std::filesystem::file_size(p), oldSize);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"ref.tn3dr"});
    DimRedReference back;
    ASSERT_TRUE(DimRedReference::load(p, back, error)) << error;
    EXPECT_EQ(back.umap.n, 30u);
    EXPECT_TRUE(back.clusters.valid);
}

} // namespace
