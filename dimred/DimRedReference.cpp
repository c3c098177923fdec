// The reference record, its summary line and its file. Everything lives in the root group:
// scalar attributes for the numbers and texts, datasets for the lists and matrices (large
// matrices chunked by up to 4096 rows with deflate 4, small ones contiguous). The writer
// builds the file in memory and puts it on disk under a temporary name. The reader
// checks every declared size against the bytes the file really stores before it allocates,
// so a damaged or hostile file cannot make the program reserve gigabytes.
#include "dimred/DimRedReference.h"

#include "core/Hdf5Lock.h"
#include "core/ParallelFor.h"

#include <H5Cpp.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <random>
#include <sstream>
#include <system_error>
#include <cstring>

namespace Tervane3 {

namespace {

constexpr int64_t kFormatVersion = 1;
constexpr hsize_t kChunkRows = 4096;
// Deflate shrinks data at most about 1,030 : 1; unwritten chunks store nothing.
constexpr long double kMaxDeflateRatio = 1100.0L;
constexpr hsize_t kMaxExtent = hsize_t(1) << 40;

std::string detailOf(const H5::Exception& e)
{
    return e.getDetailMsg();
}

H5::StrType stringType()
{
    H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    type.setCset(H5T_CSET_ASCII);
    type.setStrpad(H5T_STR_NULLTERM);
    return type;
}

// ---- writing ----------------------------------------------------------------------------

H5::Exception failure(const std::string& message)
{
    return H5::Exception("DimRedReference", message);
}


void writeIntAttribute(H5::Group& group, const char* name, int64_t value)
{
    H5::Attribute attr = group.createAttribute(name, H5::PredType::STD_I64LE, H5::DataSpace(H5S_SCALAR));
    attr.write(H5::PredType::NATIVE_INT64, &value);
}

void writeDoubleAttribute(H5::Group& group, const char* name, double value)
{
    H5::Attribute attr = group.createAttribute(name, H5::PredType::IEEE_F64LE, H5::DataSpace(H5S_SCALAR));
    attr.write(H5::PredType::NATIVE_DOUBLE, &value);
}

void writeStringAttribute(H5::Group& group, const char* name, const std::string& value)
{
    const H5::StrType type = stringType();
    H5::Attribute attr = group.createAttribute(name, type, H5::DataSpace(H5S_SCALAR));
    attr.write(type, value);
}

void writeStringDataset(H5::Group& group, const char* name, const std::vector<std::string>& values)
{
    const H5::StrType type = stringType();
    const hsize_t dims[1] = {values.size()};
    H5::DataSet set = group.createDataSet(name, type, H5::DataSpace(1, dims));
    if (values.empty())
        return;
    std::vector<const char*> pointers;
    pointers.reserve(values.size());
    for (const std::string& value : values)
        pointers.push_back(value.c_str());
    set.write(pointers.data(), type);
}

// Chunks of up to 4096 rows deflated at level 4 on all cores and handed to the file as
// they are; the library would compress them one after the other. The same bytes as the
// library's own deflate filter (a zlib stream of the chunk, the edge chunk padded with the
// fill value 0).
void writeDeflatedChunks(H5::DataSet& set, const std::vector<double>& data, hsize_t rows, hsize_t cols)
{
    static_assert(sizeof(double) == 8, "IEEE doubles");
    const hsize_t chunkRows = std::min(rows, kChunkRows);
    const size_t chunks = static_cast<size_t>((rows + chunkRows - 1) / chunkRows);
    std::vector<std::vector<unsigned char>> packed(chunks);
    std::atomic<bool> failed{false};
    parallelFor(chunks, 1, [&](size_t begin, size_t end) {
        std::vector<double> block(static_cast<size_t>(chunkRows * cols));
        for (size_t c = begin; c < end; ++c) {
            const hsize_t first = c * chunkRows;
            const hsize_t n = std::min(chunkRows, rows - first);
            std::fill(block.begin(), block.end(), 0.0);
            std::copy(data.begin() + static_cast<std::ptrdiff_t>(first * cols),
                      data.begin() + static_cast<std::ptrdiff_t>((first + n) * cols), block.begin());
            const uLong sourceBytes = static_cast<uLong>(block.size() * sizeof(double));
            uLongf packedBytes = compressBound(sourceBytes);
            packed[c].resize(packedBytes);
            if (compress2(packed[c].data(), &packedBytes, reinterpret_cast<const Bytef*>(block.data()), sourceBytes,
                          4) != Z_OK)
                failed = true;
            packed[c].resize(packedBytes);
        }
    });
    if (failed)
        throw failure("a chunk could not be compressed");
    for (size_t c = 0; c < chunks; ++c) {
        const hsize_t offset[2] = {c * chunkRows, 0};
        if (H5Dwrite_chunk(set.getId(), H5P_DEFAULT, 0, offset, packed[c].size(), packed[c].data()) < 0)
            throw failure("a chunk could not be written");
    }
}

// cols 0: one-dimensional (rows values). Two-dimensional data of at least 4096 values is
// chunked by up to 4096 rows and deflated; 0 rows create the dataset without data.
void writeDoubleDataset(H5::Group& group, const char* name, const std::vector<double>& data, hsize_t rows,
                        hsize_t cols)
{
    H5::DSetCreatPropList create;
    H5::DataSpace space;
    if (cols == 0) {
        const hsize_t dims[1] = {rows};
        space = H5::DataSpace(1, dims);
    } else {
        const hsize_t dims[2] = {rows, cols};
        space = H5::DataSpace(2, dims);
        if (rows > 0 && rows * cols >= kChunkRows) {
            const hsize_t chunk[2] = {std::min(rows, kChunkRows), cols};
            create.setChunk(2, chunk);
            create.setDeflate(4);
        }
    }
    H5::DataSet set = group.createDataSet(name, H5::PredType::IEEE_F64LE, space, create);
    if (rows == 0 || data.empty())
        return;
    if (create.getLayout() == H5D_CHUNKED)
        writeDeflatedChunks(set, data, rows, cols);
    else
        set.write(data.data(), H5::PredType::NATIVE_DOUBLE);
}

void writeContents(H5::Group& root, const DimRedReference& ref)
{
    const DimRedModel& pca = ref.pca;
    const hsize_t F = pca.features.size();
    writeIntAttribute(root, "format_version", kFormatVersion);
    writeStringAttribute(root, "kind", ref.kind == DimRedMethodUmap ? "umap" : "pca");
    writeStringAttribute(root, "created", ref.created);
    writeStringAttribute(root, "app_version", ref.appVersion);
    writeStringAttribute(root, "fit_datasets", ref.fitDatasets);
    writeIntAttribute(root, "fit_event_count", static_cast<int64_t>(pca.fitEventCount));
    writeStringDataset(root, "features", pca.features);
    writeDoubleDataset(root, "center", pca.center, pca.center.size(), 0);
    writeDoubleDataset(root, "scale", pca.scale, pca.scale.size(), 0);
    writeStringDataset(root, "degenerate_features", pca.degenerateFeatures);
    if (ref.kind == DimRedMethodUmap) {
        const UmapModel& u = ref.umap;
        writeDoubleDataset(root, "train_data", u.trainData, u.n, u.dims);
        writeDoubleDataset(root, "train_embed", u.embedding, u.n, 2);
        writeDoubleAttribute(root, "umap_a", u.a);
        writeDoubleAttribute(root, "umap_b", u.b);
        writeIntAttribute(root, "umap_n_neighbors", u.nNeighbors);
        writeDoubleAttribute(root, "umap_min_dist", u.minDist);
        writeDoubleAttribute(root, "umap_spread", u.spread);
        writeIntAttribute(root, "umap_n_epochs", u.nEpochs);
        writeDoubleAttribute(root, "umap_learning_rate", u.learningRate);
        writeDoubleAttribute(root, "umap_repulsion_strength", u.repulsionStrength);
        writeIntAttribute(root, "umap_negative_sample_rate", u.negativeSampleRate);
        writeIntAttribute(root, "umap_seed", u.seed);
        writeStringAttribute(root, "umap_init_used", u.initUsed == UmapInitSpectral ? "spectral" : "random");
    } else {
        std::vector<double> loadings = pca.component1;
        loadings.insert(loadings.end(), pca.component2.begin(), pca.component2.end());
        writeDoubleDataset(root, "loadings", loadings, 2, F);
        writeDoubleAttribute(root, "explained_1", pca.explained1);
        writeDoubleAttribute(root, "explained_2", pca.explained2);
    }
    const DimRedClusterModel& c = ref.clusters;
    if (c.valid && !c.labels.empty()) {
        const hsize_t X = c.labels.size();
        const std::vector<double> labels(c.labels.begin(), c.labels.end());
        writeDoubleDataset(root, "cluster_embed", c.embedding, X, 2);
        writeDoubleDataset(root, "cluster_labels", labels, X, 0);
        writeIntAttribute(root, "cluster_count", c.clusterCount);
        writeDoubleAttribute(root, "cluster_eps", c.eps);
        writeIntAttribute(root, "cluster_min_pts", c.minPts);
    }
}

// A free name beside the target: "<name>.<token>.part".
std::filesystem::path temporaryPathFor(const std::filesystem::path& target)
{
    std::random_device device;
    std::mt19937_64 rng((static_cast<uint64_t>(device()) << 32) ^ device());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << target.filename().string() << '.' << std::hex << (rng() & 0xffffffffffULL) << ".part";
        std::filesystem::path candidate = target.parent_path() / name.str();
        std::error_code ec;
        if (!std::filesystem::exists(candidate, ec))
            return candidate;
    }
    return {};
}

// The whole file built in memory by the library. Its file driver is then never the one to
// meet a full disk: after a failed write the library's own close can crash (seen with
// 1.10), so the bytes go to disk through plain system calls instead.
bool buildFileImage(const DimRedReference& reference, std::vector<unsigned char>& image, std::string& error)
{
    static std::atomic<uint64_t> serial{0};
    const Hdf5Locker lock(hdf5Mutex());
    H5::Exception::dontPrint();
    try {
        H5::FileAccPropList access;
        // Grown in steps of about the expected size: few copies for a large reference, no
        // large reservation for a small one.
        const size_t expected = (reference.umap.trainData.size() + reference.umap.embedding.size() +
                                 reference.clusters.embedding.size() + reference.clusters.labels.size()) *
                                    sizeof(double) + (size_t(1) << 20);
        access.setCore(std::min<size_t>(expected, size_t(64) << 20), false);
        H5::H5File file("tervane3-reference-" + std::to_string(++serial) + ".tn3dr", H5F_ACC_TRUNC,
                        H5::FileCreatPropList::DEFAULT, access);
        {
            H5::Group root = file.openGroup("/");
            writeContents(root, reference);
        }
        file.flush(H5F_SCOPE_GLOBAL);
        const ssize_t size = H5Fget_file_image(file.getId(), nullptr, 0);
        if (size <= 0)
            throw failure("the reference could not be assembled");
        image.resize(static_cast<size_t>(size));
        if (H5Fget_file_image(file.getId(), image.data(), image.size()) != size)
            throw failure("the reference could not be assembled");
        file.close();
        return true;
    } catch (const H5::Exception& e) {
        error = detailOf(e);
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    }
    return false;
}

bool writeWholeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? std::strerror(errno) : "the disk took no more data";
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

// ---- reading ----------------------------------------------------------------------------

// Whether a dataset's elements, read as doubles or string pointers (8 bytes each), can come
// from what the file stores: contiguous data is stored as it is, chunked data deflated at
// most about 1,100 : 1, unwritten chunks not at all.
bool storedBytesHold(const H5::DataSet& set, hsize_t elements, uint64_t fileSize)
{
    if (elements == 0)
        return true;
    if (elements > kMaxExtent)
        return false;
    const hsize_t storage = std::min<hsize_t>(set.getStorageSize(), fileSize);
    const H5D_layout_t layout = set.getCreatePlist().getLayout();
    const long double fileBytes = static_cast<long double>(elements) * std::max<size_t>(set.getDataType().getSize(), 1);
    const long double memoryBytes = static_cast<long double>(elements) * 8.0L;
    if (layout == H5D_CONTIGUOUS || layout == H5D_COMPACT)
        return fileBytes <= static_cast<long double>(storage);
    if (layout == H5D_CHUNKED)
        return memoryBytes <= static_cast<long double>(storage) * kMaxDeflateRatio + 4096.0L;
    return false;
}

struct Reader
{
    H5::H5File file;
    H5::Group root;
    uint64_t fileSize = 0;

    // Dimensions of a dataset of rank 1 or 2 (else empty); each checked against the limit.
    std::vector<hsize_t> dimensions(const H5::DataSet& set) const
    {
        const H5::DataSpace space = set.getSpace();
        const int rank = space.getSimpleExtentNdims();
        if (rank < 1 || rank > 2)
            return {};
        std::vector<hsize_t> dims(static_cast<size_t>(rank));
        space.getSimpleExtentDims(dims.data());
        return dims;
    }

    void checkFits(const H5::DataSet& set, const std::string& name, const std::vector<hsize_t>& dims) const
    {
        long double count = 1;
        for (hsize_t d : dims)
            count *= static_cast<long double>(d);
        if (count > static_cast<long double>(kMaxExtent)
            || !storedBytesHold(set, static_cast<hsize_t>(count), fileSize))
            throw failure("dataset '" + name + "' is larger than the file can hold");
    }

    bool readDoubleDataset(const std::string& name, std::vector<double>& out, hsize_t expected,
                           std::string& error) const
    {
        H5::DataSet set = root.openDataSet(name);
        const std::vector<hsize_t> dims = dimensions(set);
        if (dims.empty()) {
            error = "dataset '" + name + "' has an unexpected rank";
            return false;
        }
        checkFits(set, name, dims);
        const hsize_t count = dims.size() == 1 ? dims[0] : dims[0] * dims[1];
        if (expected != 0 && expected != count) {
            error = "dataset '" + name + "' does not have the expected size";
            return false;
        }
        out.assign(count, 0.0);
        if (count > 0)
            set.read(out.data(), H5::PredType::NATIVE_DOUBLE);
        return true;
    }

    std::vector<std::string> readStringDataset(const std::string& name) const
    {
        H5::DataSet set = root.openDataSet(name);
        const std::vector<hsize_t> dims = dimensions(set);
        if (dims.size() != 1)
            throw failure("dataset '" + name + "' has an unexpected rank");
        checkFits(set, name, dims);
        std::vector<std::string> values;
        if (dims[0] == 0)
            return values;
        const H5::StrType type = stringType();
        std::vector<char*> pointers(dims[0], nullptr);
        set.read(pointers.data(), type);
        values.reserve(pointers.size());
        for (char* p : pointers)
            values.emplace_back(p ? p : "");
        H5::DataSpace space = set.getSpace();
        H5Dvlen_reclaim(type.getId(), space.getId(), H5P_DEFAULT, pointers.data());
        return values;
    }

    H5::Attribute scalarAttribute(const char* name) const
    {
        H5::Attribute attr = root.openAttribute(name);
        if (attr.getSpace().getSimpleExtentNpoints() != 1)
            throw failure(std::string("attribute '") + name + "' is not a single value");
        return attr;
    }

    int64_t readInt(const char* name) const
    {
        int64_t value = 0;
        scalarAttribute(name).read(H5::PredType::NATIVE_INT64, &value);
        return value;
    }

    double readDouble(const char* name) const
    {
        double value = 0.0;
        scalarAttribute(name).read(H5::PredType::NATIVE_DOUBLE, &value);
        return value;
    }

    std::string readString(const char* name) const
    {
        H5::Attribute attr = scalarAttribute(name);
        const H5::StrType type = attr.getStrType();
        std::string value;
        attr.read(type, value);
        if (!type.isVariableStr()) {
            const size_t end = value.find('\0');
            if (end != std::string::npos)
                value.resize(end);
            while (!value.empty() && value.back() == ' ')
                value.pop_back();
        }
        return value;
    }

    bool has(const char* name) const { return root.attrExists(name); }
};

bool allFinite(const std::vector<double>& values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

bool inRange(int64_t value, int64_t low, int64_t high)
{
    return value >= low && value <= high;
}

// The optional cluster block; anything wrong leaves the reference without clusters.
void readClusterBlock(const Reader& in, DimRedReference& ref)
{
    DimRedClusterModel model;
    try {
        const H5::DataSet set = in.root.openDataSet("cluster_embed");
        const std::vector<hsize_t> dims = in.dimensions(set);
        if (dims.size() != 2 || dims[1] != 2 || dims[0] < 1)
            return;
        const hsize_t X = dims[0];
        std::string ignored;
        std::vector<double> labels;
        if (!in.readDoubleDataset("cluster_embed", model.embedding, 2 * X, ignored)
            || !in.readDoubleDataset("cluster_labels", labels, X, ignored) || !allFinite(model.embedding))
            return;
        const int64_t count = in.readInt("cluster_count");
        const double eps = in.readDouble("cluster_eps");
        const int64_t minPts = in.readInt("cluster_min_pts");
        if (!inRange(count, 1, static_cast<int64_t>(X)) || !std::isfinite(eps) || !(eps > 0.0)
            || !inRange(minPts, 1, std::numeric_limits<int32_t>::max()))
            return;
        // Ids index per-cluster tables of whoever applies the reference: whole numbers
        // below the count only.
        model.labels.reserve(labels.size());
        for (double label : labels) {
            if (!std::isfinite(label) || label != std::trunc(label) || label < 0.0
                || label >= static_cast<double>(count))
                return;
            model.labels.push_back(static_cast<int32_t>(label));
        }
        model.clusterCount = static_cast<int32_t>(count);
        model.eps = eps;
        model.minPts = static_cast<int32_t>(minPts);
        model.valid = true;
        ref.clusters = std::move(model);
    } catch (const H5::Exception&) {
    } catch (const std::bad_alloc&) {
    }
}

// The body of DimRedReference::load inside the lock; throws the library's exceptions.
bool readReference(Reader& in, DimRedReference& ref, std::string& error)
{
    if (!in.has("format_version") || !in.has("kind")) {
        error = "not a Tervane3 dimension-reduction reference";
        return false;
    }
    const int64_t version = in.readInt("format_version");
    if (version > kFormatVersion) {
        error = "the file was written by a newer version of Tervane3 (format " + std::to_string(version) + ")";
        return false;
    }
    const std::string kind = in.readString("kind");
    if (kind == "pca") {
        ref.kind = DimRedMethodPca;
    } else if (kind == "umap") {
        ref.kind = DimRedMethodUmap;
    } else {
        error = "unknown projection kind '" + kind + "'";
        return false;
    }
    if (in.has("created"))
        ref.created = in.readString("created");
    if (in.has("app_version"))
        ref.appVersion = in.readString("app_version");
    if (in.has("fit_datasets"))
        ref.fitDatasets = in.readString("fit_datasets");

    DimRedModel& pca = ref.pca;
    pca.features = in.readStringDataset("features");
    if (pca.features.size() < 2) {
        error = "the reference lists fewer than two input features";
        return false;
    }
    const hsize_t F = pca.features.size();
    if (!in.readDoubleDataset("center", pca.center, F, error) || !in.readDoubleDataset("scale", pca.scale, F, error))
        return false;
    if (!allFinite(pca.center) || !allFinite(pca.scale)) {
        error = "the reference's centre or scale is not finite";
        return false;
    }
    if (std::any_of(pca.scale.begin(), pca.scale.end(), [](double s) { return s <= 0.0; })) {
        error = "the reference has a non-positive scale";
        return false;
    }
    if (in.has("fit_event_count"))
        pca.fitEventCount = static_cast<uint64_t>(std::max<int64_t>(0, in.readInt("fit_event_count")));
    pca.degenerateFeatures = in.readStringDataset("degenerate_features");

    if (ref.kind == DimRedMethodUmap) {
        UmapModel& u = ref.umap;
        const H5::DataSet set = in.root.openDataSet("train_data");
        const std::vector<hsize_t> dims = in.dimensions(set);
        if (dims.size() != 2) {
            error = "the reference's training data is malformed";
            return false;
        }
        if (dims[1] != F) {
            error = "the reference's training data does not match its feature list";
            return false;
        }
        if (dims[0] < 1) {
            error = "the reference carries no training events";
            return false;
        }
        in.checkFits(set, "train_data", dims);
        const hsize_t n = dims[0];
        u.n = n;
        u.dims = F;
        if (!in.readDoubleDataset("train_data", u.trainData, n * F, error)
            || !in.readDoubleDataset("train_embed", u.embedding, 2 * n, error))
            return false;
        if (!allFinite(u.trainData) || !allFinite(u.embedding)) {
            error = "the reference's training data or embedding is not finite";
            return false;
        }
        u.a = in.readDouble("umap_a");
        u.b = in.readDouble("umap_b");
        const int64_t neighbors = in.readInt("umap_n_neighbors");
        u.minDist = in.readDouble("umap_min_dist");
        u.spread = in.readDouble("umap_spread");
        const int64_t epochs = in.readInt("umap_n_epochs");
        u.learningRate = in.readDouble("umap_learning_rate");
        u.repulsionStrength = in.readDouble("umap_repulsion_strength");
        const int64_t negative = in.readInt("umap_negative_sample_rate");
        u.seed = in.readInt("umap_seed");
        u.initUsed = UmapInitRandom;
        if (in.has("umap_init_used") && in.readString("umap_init_used") == "spectral")
            u.initUsed = UmapInitSpectral;
        // The page's ranges; anything else could make a transform loop or allocate for ever.
        const bool numbersFinite = std::isfinite(u.a) && std::isfinite(u.b) && std::isfinite(u.minDist)
                                   && std::isfinite(u.spread) && std::isfinite(u.learningRate)
                                   && std::isfinite(u.repulsionStrength);
        if (!numbersFinite || !(u.a > 0.0) || !(u.b > 0.0)
            || !inRange(neighbors, kDimRedMinNeighbors, kDimRedMaxNeighbors) || !inRange(epochs, 1, kDimRedMaxEpochs)
            || !inRange(negative, 0, kDimRedMaxNegativeSampleRate)) {
            error = "the reference's UMAP parameters are out of range";
            return false;
        }
        u.nNeighbors = static_cast<int32_t>(neighbors);
        u.nEpochs = static_cast<int32_t>(epochs);
        u.negativeSampleRate = static_cast<int32_t>(negative);
        u.fitted = true;
    } else {
        std::vector<double> loadings;
        if (!in.readDoubleDataset("loadings", loadings, 2 * F, error))
            return false;
        if (!allFinite(loadings)) {
            error = "the reference's loadings are not finite";
            return false;
        }
        pca.component1.assign(loadings.begin(), loadings.begin() + static_cast<std::ptrdiff_t>(F));
        pca.component2.assign(loadings.begin() + static_cast<std::ptrdiff_t>(F), loadings.end());
        if (in.has("explained_1"))
            pca.explained1 = in.readDouble("explained_1");
        if (in.has("explained_2"))
            pca.explained2 = in.readDouble("explained_2");
    }

    if (in.has("cluster_count"))
        readClusterBlock(in, ref);
    pca.fitted = true;
    ref.valid = true;
    return true;
}

} // namespace

std::shared_ptr<DimRedReference> makeDimRedReference()
{
    return std::make_shared<DimRedReference>();
}

std::string DimRedReference::summary() const
{
    if (!valid)
        return "No reference loaded.";
    std::string text = kind == DimRedMethodUmap ? "UMAP" : "PCA";
    text += ", " + std::to_string(pca.features.size()) + " features";
    if (pca.fitEventCount != 0)
        text += ", fitted on " + std::to_string(pca.fitEventCount) + " events";
    if (!fitDatasets.empty())
        text += " from " + fitDatasets;
    if (!created.empty())
        text += " (" + created + ")";
    return text;
}

bool saveDimRedReference(const std::string& path, const DimRedReference& reference, std::string& error)
{
    error.clear();
    if (!reference.valid || !reference.pca.fitted) {
        error = "there is no fitted projection to save";
        return false;
    }
    if (reference.kind == DimRedMethodUmap && !reference.umap.fitted) {
        error = "the UMAP model is not fitted";
        return false;
    }
    const std::filesystem::path target(path);
    const std::filesystem::path temporary = temporaryPathFor(target);
    if (temporary.empty()) {
        error = "no temporary file could be made beside the reference";
        return false;
    }
    std::vector<unsigned char> image;
    if (!buildFileImage(reference, image, error))
        return false;
    if (!writeWholeFile(temporary, image, error)) {
        std::error_code ec;
        std::filesystem::remove(temporary, ec);
        return false;
    }
    // One step: the old file stays whole until the new one replaces it.
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (!ec)
        return true;
    error = ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
}

bool DimRedReference::load(const std::string& path, DimRedReference& reference, std::string& error)
{
    error.clear();
    reference = DimRedReference();
    const Hdf5Locker lock(hdf5Mutex());
    H5::Exception::dontPrint();
    try {
        if (!H5::H5File::isHdf5(path)) {
            error = "not a Tervane3 reference file";
            return false;
        }
    } catch (const H5::Exception&) {
        error = "not a Tervane3 reference file";
        return false;
    }
    try {
        Reader in;
        in.file.openFile(path, H5F_ACC_RDONLY);
        in.root = in.file.openGroup("/");
        in.fileSize = in.file.getFileSize();
        return readReference(in, reference, error);
    } catch (const H5::Exception& e) {
        error = detailOf(e);
    } catch (const std::exception&) {
        // Anything else (an allocation refused, a conversion the library cannot make)
        // reads as a damaged file.
        error.clear();
    }
    if (error.empty())
        error = "the file is not a readable reference";
    return false;
}

} // namespace Tervane3
