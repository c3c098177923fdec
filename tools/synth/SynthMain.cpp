// tervane3-synth: writes a realistic synthetic .rtdc measurement for benchmarks and manual
// trials: about fifty scalar features of three cell populations (deformation rising with
// area as cells squeezed through a channel do), the metadata sections of an instrument
// file, and on request event images with a drawn cell, matching masks and fluorescence
// traces with a peak. Per-event datasets are chunked and deflated like instrument files.
// The same seed gives the same file. Long runs report their progress on the standard error
// stream. The sample name carries the seed unless --sample names it, so that measurements
// made with different seeds can be told apart in a list.
//
//   tervane3-synth <output.rtdc> [--events N] [--images] [--masks] [--traces] [--seed S]
//                  [--sample NAME] [--run-index N]
#include <H5Cpp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPixelSize = 0.34;     // µm per pixel
constexpr double kFrameRate = 2000.0;   // frames per second
constexpr double kSampleRate = 1.0e6;   // fluorescence samples per second
constexpr hsize_t kImageHeight = 80;
constexpr hsize_t kImageWidth = 250;
constexpr hsize_t kTraceSamples = 177;
constexpr hsize_t kScalarChunk = 16384;
constexpr hsize_t kFrameChunk = 16;     // 320 kB of pixels per chunk
constexpr hsize_t kTraceChunk = 256;

// splitmix64-seeded xoshiro256**: the same numbers on every platform and library.
class Random
{
public:
    explicit Random(std::uint64_t seed)
    {
        for (auto& s : state) {
            seed += 0x9E3779B97F4A7C15ULL;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            s = z ^ (z >> 31);
        }
    }
    std::uint64_t next()
    {
        const std::uint64_t result = rotl(state[1] * 5, 7) * 9;
        const std::uint64_t t = state[1] << 17;
        state[2] ^= state[0];
        state[3] ^= state[1];
        state[1] ^= state[2];
        state[0] ^= state[3];
        state[2] ^= t;
        state[3] = rotl(state[3], 45);
        return result;
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; } // [0, 1)
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double normal(double mean = 0.0, double sd = 1.0)
    {
        if (hasSpare) {
            hasSpare = false;
            return mean + sd * spare;
        }
        double u = 0.0;
        do
            u = uniform();
        while (u <= 0.0);
        const double v = uniform();
        const double r = std::sqrt(-2.0 * std::log(u));
        spare = r * std::sin(2.0 * kPi * v);
        hasSpare = true;
        return mean + sd * r * std::cos(2.0 * kPi * v);
    }
    double logNormal(double median, double sigma) { return median * std::exp(normal(0.0, sigma)); }
    double exponential(double mean) { return -mean * std::log(1.0 - uniform()); }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::array<std::uint64_t, 4> state{};
    bool hasSpare = false;
    double spare = 0.0;
};

struct Options
{
    std::string output;
    std::uint64_t events = 1000000;
    std::uint64_t seed = 42;
    std::string sample; // empty: "Synthetic blood sample (seed <seed>)"
    std::uint64_t runIndex = 1;
    bool images = false;
    bool masks = false;
    bool traces = false;
};

enum class Stored { F64, F32, U32, U64, I16, U8 };

// One scalar feature: its key, stored type and the value of the current event.
struct Feature
{
    std::string key;
    Stored stored;
    std::vector<double> block;
    H5::DataSet set;
};

const std::vector<std::pair<std::string, Stored>>& featureList();

// Slot of every feature key in an event's value array, resolved once.
std::size_t slotOf(const std::string& key)
{
    static const std::map<std::string, std::size_t> slots = [] {
        std::map<std::string, std::size_t> m;
        for (const auto& f : featureList())
            m.emplace(f.first, m.size());
        return m;
    }();
    return slots.at(key);
}

// The feature values of one event; images and traces are drawn from them as well.
struct Values
{
    std::vector<double> slots = std::vector<double>(featureList().size(), 0.0);
    double& operator[](const std::string& key) { return slots[slotOf(key)]; }
    double at(const std::string& key) const { return slots[slotOf(key)]; }
};

struct Event
{
    Values v;
};

double clamp(double x, double lo, double hi)
{
    return std::min(hi, std::max(lo, x));
}

// One event of one of three populations: small cells, large cells, debris and doublets.
void makeEvent(Random& rng, std::uint64_t index, double& clock, std::uint64_t& onlineIndex, Event& e)
{
    auto& v = e.v;
    const double p = rng.uniform();
    const int population = p < 0.62 ? 0 : (p < 0.92 ? 1 : 2);
    double area = 0.0;
    double deform = 0.0;
    switch (population) {
    case 0:
        area = rng.logNormal(34.0, 0.16);
        deform = 0.014 + 0.0007 * (area - 34.0) + rng.logNormal(0.006, 0.45);
        break;
    case 1:
        area = rng.logNormal(58.0, 0.18);
        deform = 0.022 + 0.0009 * (area - 58.0) + rng.logNormal(0.010, 0.45);
        break;
    default:
        area = rng.logNormal(14.0, 0.55);
        deform = rng.logNormal(0.05, 0.7);
        break;
    }
    area = clamp(area, 3.0, 400.0);
    deform = clamp(deform, 0.002, 0.6);
    const double porosity = 1.0 + std::fabs(rng.normal(population == 2 ? 0.03 : 0.008, population == 2 ? 0.03 : 0.006));
    const double radius = std::sqrt(area / kPi);
    const double aspect = clamp(1.0 + 2.3 * deform + rng.normal(0.0, 0.02), 1.0, 4.0);
    const double sizeX = 2.0 * radius * std::sqrt(aspect);
    const double sizeY = 2.0 * radius / std::sqrt(aspect);
    const double inertCvx = clamp(1.0 + 2.1 * deform + rng.normal(0.0, 0.015), 1.0, 4.0);
    const double brightness = population == 0 ? rng.normal(112.0, 5.0)
                              : population == 1 ? rng.normal(121.0, 7.0)
                                                : rng.normal(102.0, 12.0);
    const double background = rng.normal(100.0, 0.6);

    v["area_um"] = area;
    v["deform"] = deform;
    v["circ"] = 1.0 - deform;
    v["area_ratio"] = porosity;
    v["area_msd"] = area / (kPixelSize * kPixelSize);
    v["area_cvx"] = v["area_msd"] * porosity;
    v["area_um_raw"] = area * (1.0 + (porosity - 1.0) * 0.5);
    v["deform_raw"] = deform + std::fabs(rng.normal(0.0, 0.002));
    v["aspect"] = aspect;
    v["size_x"] = sizeX;
    v["size_y"] = sizeY;
    v["inert_ratio_cvx"] = inertCvx;
    v["inert_ratio_raw"] = inertCvx + std::fabs(rng.normal(0.0, 0.01));
    v["inert_ratio_prnc"] = inertCvx + rng.normal(0.0, 0.01);
    v["eccentr_prnc"] = std::sqrt(std::max(0.0, 1.0 - 1.0 / (aspect * aspect)));
    v["tilt"] = clamp(std::fabs(rng.normal(0.0, 0.06)), 0.0, kPi / 2);
    v["per_ratio"] = 1.0 + std::fabs(rng.normal(0.015, 0.01));
    // Ramanujan's ellipse perimeter.
    const double a = sizeX / 2.0;
    const double b = sizeY / 2.0;
    v["per_um_raw"] = kPi * (3 * (a + b) - std::sqrt((3 * a + b) * (a + 3 * b))) * v["per_ratio"];
    v["volume"] = 4.0 / 3.0 * kPi * a * b * b;
    v["pos_x"] = rng.uniform(25.0, 60.0);
    v["pos_y"] = clamp(13.6 + rng.normal(0.0, 1.4), 4.0, 23.0);
    v["bright_avg"] = brightness;
    v["bright_sd"] = std::fabs(rng.normal(population == 1 ? 15.0 : 11.0, 2.0));
    v["bright_bc_avg"] = brightness - background;
    v["bright_bc_sd"] = v["bright_sd"] * rng.uniform(0.95, 1.05);
    v["bg_med"] = background;
    v["bg_off"] = rng.normal(0.0, 0.3);

    // Fluorescence: channel 1 marks the large cells, channel 2 half of the small ones,
    // channel 3 a rare subset; debris is dim everywhere.
    const bool positive[3] = {population == 1 && rng.uniform() < 0.9, population == 0 && rng.uniform() < 0.5,
                              population != 2 && rng.uniform() < 0.12};
    const double medians[3] = {2500.0, 1200.0, 4000.0};
    for (int c = 0; c < 3; ++c) {
        const std::string fl = "fl" + std::to_string(c + 1);
        const double max = positive[c] ? rng.logNormal(medians[c], 0.5) : rng.logNormal(40.0, 0.6);
        const double width = clamp(rng.normal(18.0 + 1.2 * radius, 3.0), 5.0, 80.0); // µs
        const double pos = clamp(rng.normal(88.0, 5.0), 20.0, 160.0);                // µs
        const int peaks = positive[c] ? (population == 2 && rng.uniform() < 0.3 ? 2 : 1) : (max > 60 ? 1 : 0);
        v[fl + "_max"] = max;
        v[fl + "_width"] = width;
        v[fl + "_pos"] = pos;
        v[fl + "_area"] = max * width * 1.0645;
        v[fl + "_npeaks"] = peaks;
        v[fl + "_dist"] = peaks > 1 ? clamp(rng.normal(22.0, 5.0), 5.0, 60.0) : 0.0;
    }
    v["ml_class"] = population;

    // About 300 events per second, each seen in one frame of a 2000 fps camera.
    clock += rng.exponential(1.0 / 300.0);
    onlineIndex += 1 + (rng.uniform() < 0.05 ? 1 : 0);
    v["time"] = clock;
    v["frame"] = std::floor(clock * kFrameRate) + 1;
    v["index"] = static_cast<double>(index + 1);
    v["index_online"] = static_cast<double>(onlineIndex);
    v["flow_rate"] = 0.16;
    v["temp"] = 23.0 + 0.4 * std::sin(clock / 600.0) + rng.normal(0.0, 0.02);
    v["temp_amb"] = 22.4 + 0.2 * std::sin(clock / 900.0) + rng.normal(0.0, 0.02);
}

const std::vector<std::pair<std::string, Stored>>& featureList()
{
    static const std::vector<std::pair<std::string, Stored>> list = [] {
        std::vector<std::pair<std::string, Stored>> l{
            {"area_cvx", Stored::F64},       {"area_msd", Stored::F64},        {"area_ratio", Stored::F64},
            {"area_um", Stored::F64},        {"area_um_raw", Stored::F64},     {"aspect", Stored::F64},
            {"bg_med", Stored::F32},         {"bg_off", Stored::F32},          {"bright_avg", Stored::F32},
            {"bright_sd", Stored::F32},      {"bright_bc_avg", Stored::F32},   {"bright_bc_sd", Stored::F32},
            {"circ", Stored::F64},           {"deform", Stored::F64},          {"deform_raw", Stored::F64},
            {"eccentr_prnc", Stored::F64},   {"flow_rate", Stored::F64},       {"frame", Stored::U64},
            {"index", Stored::U32},          {"index_online", Stored::U32},    {"inert_ratio_cvx", Stored::F64},
            {"inert_ratio_prnc", Stored::F64}, {"inert_ratio_raw", Stored::F64}, {"ml_class", Stored::U8},
            {"per_ratio", Stored::F64},      {"per_um_raw", Stored::F64},      {"pos_x", Stored::F64},
            {"pos_y", Stored::F64},          {"size_x", Stored::F64},          {"size_y", Stored::F64},
            {"temp", Stored::F64},           {"temp_amb", Stored::F64},        {"tilt", Stored::F64},
            {"time", Stored::F64},           {"volume", Stored::F64}};
        for (int c = 1; c <= 3; ++c) {
            const std::string fl = "fl" + std::to_string(c);
            for (const char* suffix : {"_area", "_dist", "_max", "_pos", "_width"})
                l.emplace_back(fl + suffix, Stored::F64);
            l.emplace_back(fl + "_npeaks", Stored::I16);
        }
        return l;
    }();
    return list;
}

const H5::PredType& fileType(Stored s)
{
    switch (s) {
    case Stored::F64: return H5::PredType::IEEE_F64LE;
    case Stored::F32: return H5::PredType::IEEE_F32LE;
    case Stored::U32: return H5::PredType::STD_U32LE;
    case Stored::U64: return H5::PredType::STD_U64LE;
    case Stored::I16: return H5::PredType::STD_I16LE;
    case Stored::U8: return H5::PredType::STD_U8LE;
    }
    return H5::PredType::IEEE_F64LE;
}

H5::DataSet createChunked(H5::Group& group, const std::string& name, const H5::DataType& type,
                          const std::vector<hsize_t>& dims, const std::vector<hsize_t>& chunk)
{
    H5::DataSpace space(static_cast<int>(dims.size()), dims.data());
    H5::DSetCreatPropList create;
    create.setChunk(static_cast<int>(chunk.size()), chunk.data());
    create.setShuffle();
    create.setDeflate(4);
    return group.createDataSet(name, type, space, create);
}

// Writes rows [first, first + count) of a dataset whose first dimension counts events.
void writeRows(H5::DataSet& set, const void* data, const H5::DataType& memoryType, hsize_t first,
               hsize_t count)
{
    H5::DataSpace fileSpace = set.getSpace();
    const int rank = fileSpace.getSimpleExtentNdims();
    std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
    fileSpace.getSimpleExtentDims(dims.data());
    std::vector<hsize_t> start(dims.size(), 0);
    std::vector<hsize_t> size = dims;
    start[0] = first;
    size[0] = count;
    fileSpace.selectHyperslab(H5S_SELECT_SET, size.data(), start.data());
    H5::DataSpace memorySpace(rank, size.data());
    set.write(data, memoryType, memorySpace, fileSpace);
}

// Root attributes, written the way instrument software and Python tools write them:
// strings variable-length UTF-8, numbers as numbers.
class Attributes
{
public:
    explicit Attributes(H5::H5File& file) : root(file.openGroup("/")) {}
    void text(const std::string& name, const std::string& value)
    {
        H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
        type.setCset(H5T_CSET_UTF8);
        const char* p = value.c_str();
        root.createAttribute(name, type, H5::DataSpace(H5S_SCALAR)).write(type, &p);
    }
    void number(const std::string& name, double value)
    {
        root.createAttribute(name, H5::PredType::IEEE_F64LE, H5::DataSpace(H5S_SCALAR))
            .write(H5::PredType::NATIVE_DOUBLE, &value);
    }
    void integer(const std::string& name, std::int64_t value)
    {
        root.createAttribute(name, H5::PredType::STD_I64LE, H5::DataSpace(H5S_SCALAR))
            .write(H5::PredType::NATIVE_INT64, &value);
    }
    void flag(const std::string& name, bool value)
    {
        // Booleans arrive as an enumeration over 8 bits, as Python writes them.
        H5::EnumType type(H5::IntType(H5::PredType::NATIVE_INT8));
        std::int8_t no = 0;
        std::int8_t yes = 1;
        type.insert("FALSE", &no);
        type.insert("TRUE", &yes);
        std::int8_t v = value ? 1 : 0;
        root.createAttribute(name, type, H5::DataSpace(H5S_SCALAR)).write(type, &v);
    }
    void points(const std::string& name, const std::vector<std::pair<float, float>>& pts)
    {
        const hsize_t dims[2] = {pts.size(), 2};
        std::vector<float> flat;
        for (const auto& p : pts) {
            flat.push_back(p.first);
            flat.push_back(p.second);
        }
        root.createAttribute(name, H5::PredType::IEEE_F32LE, H5::DataSpace(2, dims))
            .write(H5::PredType::NATIVE_FLOAT, flat.data());
    }

private:
    H5::Group root;
};

void writeMetadata(H5::H5File& file, const Options& o)
{
    Attributes a(file);
    a.text("experiment:sample",
           o.sample.empty() ? "Synthetic blood sample (seed " + std::to_string(o.seed) + ")" : o.sample);
    a.text("experiment:date", "2024-03-18");
    a.text("experiment:time", "10:42:07");
    a.integer("experiment:run index", static_cast<std::int64_t>(o.runIndex));
    a.integer("experiment:event count", static_cast<std::int64_t>(o.events));
    a.text("setup:identifier", "synthetic-" + std::to_string(o.seed));
    a.number("setup:channel width", 20.0);
    a.number("setup:flow rate", 0.16);
    a.number("setup:flow rate sample", 0.04);
    a.number("setup:flow rate sheath", 0.12);
    a.text("setup:medium", "TavrisolB");
    a.text("setup:chip region", "channel");
    a.number("setup:temperature", 23.0);
    a.text("setup:software version", "synth 1.0");
    a.text("setup:module composition", "Cell_Flow_2, Fluor");
    a.number("imaging:pixel size", kPixelSize);
    a.number("imaging:frame rate", kFrameRate);
    a.number("imaging:exposure time", 1.0);
    a.integer("imaging:roi size x", static_cast<std::int64_t>(kImageWidth));
    a.integer("imaging:roi size y", static_cast<std::int64_t>(kImageHeight));
    a.text("imaging:flash device", "LED");
    a.number("imaging:flash duration", 2.0);
    a.integer("online_contour:bin area min", 10);
    a.integer("online_contour:bin kernel", 5);
    a.integer("online_contour:bin threshold", -6);
    a.flag("online_contour:no absdiff", true);
    a.number("online_filter:area_um min", 0.0);
    a.number("online_filter:area_um max", 500.0);
    a.number("online_filter:deform min", 0.0);
    a.number("online_filter:deform max", 0.5);
    a.number("online_filter:area_ratio max", 1.1);
    a.flag("online_filter:area_ratio soft limit", true);
    a.points("online_filter:area_um,deform polygon points",
             {{5.0f, 0.002f}, {150.0f, 0.002f}, {150.0f, 0.2f}, {60.0f, 0.35f}, {5.0f, 0.35f}});
    a.integer("fluorescence:channel count", 3);
    a.integer("fluorescence:laser count", 3);
    a.number("fluorescence:sample rate", kSampleRate);
    a.integer("fluorescence:samples per event", static_cast<std::int64_t>(kTraceSamples));
    a.integer("fluorescence:trace median", 7);
    a.integer("fluorescence:bit depth", 16);
    a.integer("fluorescence:signal max", 32767);
    a.integer("fluorescence:signal min", -32768);
    // Emission filter names as band centre/width, so the trace plot can colour them.
    const char* names[3] = {"525/50", "593/46", "700/75"};
    const double lambdas[3] = {488.0, 561.0, 640.0};
    for (int c = 1; c <= 3; ++c) {
        const std::string n = std::to_string(c);
        a.text("fluorescence:channel " + n + " name", names[c - 1]);
        a.number("fluorescence:laser " + n + " lambda", lambdas[c - 1]);
        a.number("fluorescence:laser " + n + " power", 20.0 + 5.0 * c);
        a.integer("fluorescence:baseline " + n + " offset", 100 + 10 * c);
        a.number("fluorescence:pmt " + n + " voltage", 650.0);
    }
}

// Background of every frame: channel walls above and below, a soft illumination gradient.
std::vector<double> makeBackground()
{
    std::vector<double> bg(kImageHeight * kImageWidth);
    for (hsize_t r = 0; r < kImageHeight; ++r)
        for (hsize_t c = 0; c < kImageWidth; ++c) {
            const bool wall = r < 10 || r >= kImageHeight - 10;
            bg[r * kImageWidth + c] = (wall ? 62.0 : 100.0) + 6.0 * std::sin(static_cast<double>(c) / 40.0);
        }
    return bg;
}

// Draws the event's cell: an ellipse of its size at its position, textured interior, a dark
// rim and a faint halo. The mask is the ellipse.
void drawEvent(Random& rng, const Event& e, const std::vector<double>& background, std::uint8_t* image,
               std::uint8_t* mask)
{
    const auto& v = e.v;
    const double cx = v.at("pos_x") / kPixelSize;
    const double cy = v.at("pos_y") / kPixelSize;
    const double a = v.at("size_x") / 2.0 / kPixelSize;
    const double b = v.at("size_y") / 2.0 / kPixelSize;
    const double inside = v.at("bright_avg") - 100.0;
    const double texture = v.at("bright_sd") * 0.5;
    for (hsize_t r = 0; r < kImageHeight; ++r)
        for (hsize_t c = 0; c < kImageWidth; ++c) {
            const double dx = (static_cast<double>(c) - cx) / a;
            const double dy = (static_cast<double>(r) - cy) / b;
            const double d = std::sqrt(dx * dx + dy * dy); // 1 on the contour
            double value = background[r * kImageWidth + c] + rng.normal(0.0, 2.0);
            if (d < 1.0)
                value += inside + texture * std::sin(7.0 * dx) * std::cos(5.0 * dy);
            if (std::fabs(d - 1.0) < 0.12)
                value -= 35.0;
            else if (d >= 1.12 && d < 1.35)
                value += 12.0;
            const std::size_t i = static_cast<std::size_t>(r * kImageWidth + c);
            if (image)
                image[i] = static_cast<std::uint8_t>(clamp(std::round(value), 0.0, 255.0));
            if (mask)
                mask[i] = d <= 1.0 ? 255 : 0;
        }
}

// The three channels' traces of one event: baseline, noise and a Gaussian peak of the
// event's height, position and width (raw: signed; median: unsigned, smoother).
void makeTraces(Random& rng, const Event& e, std::int16_t* raw[3], std::uint16_t* median[3])
{
    for (int c = 0; c < 3; ++c) {
        const std::string fl = "fl" + std::to_string(c + 1);
        const double max = e.v.at(fl + "_max");
        const double pos = e.v.at(fl + "_pos") * 1e-6 * kSampleRate;
        const double sigma = e.v.at(fl + "_width") * 1e-6 * kSampleRate / 2.3548;
        const double baseline = 100.0 + 10.0 * (c + 1);
        for (hsize_t s = 0; s < kTraceSamples; ++s) {
            const double x = (static_cast<double>(s) - pos) / sigma;
            const double peak = max * std::exp(-0.5 * x * x);
            const double noisy = baseline + peak + rng.normal(0.0, 8.0);
            raw[c][s] = static_cast<std::int16_t>(clamp(std::round(noisy - 2.0 * baseline), -32768.0, 32767.0));
            median[c][s] = static_cast<std::uint16_t>(clamp(std::round(baseline + peak + rng.normal(0.0, 2.0)), 0.0, 65535.0));
        }
    }
}

// How far the writing is: on a terminal one line rewritten in place a few times a second
// with the time left; elsewhere (a log, a pipe) a line per tenth once the run has taken
// more than a few seconds, so that short runs from scripts stay silent.
class Progress
{
public:
    explicit Progress(std::uint64_t eventTotal)
        : total(eventTotal)
        , start(Clock::now())
        , terminal(isatty(STDERR_FILENO) == 1)
    {
    }
    void update(std::uint64_t done)
    {
        const double elapsed = seconds(Clock::now() - start);
        const int tenth = static_cast<int>(10 * done / total);
        if (terminal) {
            if (elapsed - lastShown < 0.25 && done < total)
                return;
            lastShown = elapsed;
            const double left = done > 0 ? elapsed * static_cast<double>(total - done) / static_cast<double>(done) : 0.0;
            std::cerr << "\rWriting events: " << 100 * done / total << "% (" << done << " of " << total << "), about "
                      << static_cast<long>(left + 0.5) << " s left   " << std::flush;
            shown = true;
        } else if (elapsed > 3.0 && tenth > lastTenth) {
            std::cerr << "Writing events: " << 100 * done / total << "% (" << done << " of " << total << ") after "
                      << static_cast<long>(elapsed + 0.5) << " s" << std::endl;
        }
        lastTenth = std::max(lastTenth, tenth);
    }
    void finish()
    {
        if (shown)
            std::cerr << "\r" << std::string(72, ' ') << "\r" << std::flush;
    }

private:
    using Clock = std::chrono::steady_clock;
    static double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

    std::uint64_t total;
    Clock::time_point start;
    bool terminal;
    bool shown = false;
    double lastShown = -1.0;
    int lastTenth = 0;
};

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        // Digits only: strtoull alone would take "-1" as 2^64 - 1 and " 5" or "" as well.
        auto number = [&](std::uint64_t& out, std::uint64_t largest) {
            if (i + 1 >= argc)
                return false;
            const char* text = argv[++i];
            if (*text == '\0' || std::strspn(text, "0123456789") != std::strlen(text))
                return false;
            errno = 0;
            out = std::strtoull(text, nullptr, 10);
            return errno == 0 && out <= largest;
        };
        constexpr std::uint64_t anyNumber = std::numeric_limits<std::uint64_t>::max();
        if (a == "--events") {
            if (!number(o.events, anyNumber))
                return false;
        } else if (a == "--seed") {
            if (!number(o.seed, anyNumber))
                return false;
        } else if (a == "--run-index") {
            // Stored as a signed 64-bit attribute.
            if (!number(o.runIndex, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())))
                return false;
        } else if (a == "--sample") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return false;
            o.sample = argv[++i];
        } else if (a == "--images") {
            o.images = true;
        } else if (a == "--masks") {
            o.masks = true;
        } else if (a == "--traces") {
            o.traces = true;
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else if (o.output.empty()) {
            o.output = a;
        } else {
            return false;
        }
    }
    return !o.output.empty() && o.events > 0;
}

void generate(const Options& o)
{
    H5::Exception::dontPrint();
    H5::H5File file(o.output, H5F_ACC_TRUNC);
    writeMetadata(file, o);
    H5::Group events = file.createGroup("/events");

    std::vector<Feature> features;
    for (const auto& [key, stored] : featureList()) {
        Feature f{key, stored, {}, {}};
        f.set = createChunked(events, key, fileType(stored), {o.events}, {std::min<hsize_t>(o.events, kScalarChunk)});
        features.push_back(std::move(f));
    }
    const hsize_t frameChunk = std::min<hsize_t>(o.events, kFrameChunk);
    H5::DataSet imageSet;
    H5::DataSet maskSet;
    if (o.images)
        imageSet = createChunked(events, "image", H5::PredType::STD_U8LE, {o.events, kImageHeight, kImageWidth},
                                 {frameChunk, kImageHeight, kImageWidth});
    if (o.masks)
        maskSet = createChunked(events, "mask", H5::PredType::STD_U8LE, {o.events, kImageHeight, kImageWidth},
                                {frameChunk, kImageHeight, kImageWidth});
    std::vector<H5::DataSet> rawSets;
    std::vector<H5::DataSet> medianSets;
    if (o.traces) {
        H5::Group traces = events.createGroup("trace");
        const hsize_t traceChunk = std::min<hsize_t>(o.events, kTraceChunk);
        for (int c = 1; c <= 3; ++c) {
            const std::string fl = "fl" + std::to_string(c);
            rawSets.push_back(createChunked(traces, fl + "_raw", H5::PredType::STD_I16LE,
                                            {o.events, kTraceSamples}, {traceChunk, kTraceSamples}));
            medianSets.push_back(createChunked(traces, fl + "_median", H5::PredType::STD_U16LE,
                                               {o.events, kTraceSamples}, {traceChunk, kTraceSamples}));
        }
    }

    // Separate streams, so that adding images or traces leaves the scalar values unchanged.
    Random scalarRng(o.seed);
    Random imageRng(o.seed ^ 0xA5A5A5A5A5A5A5A5ULL);
    Random traceRng(o.seed ^ 0x5A5A5A5A5A5A5A5AULL);
    const std::vector<double> background = makeBackground();
    double clock = 0.0;
    std::uint64_t onlineIndex = 0;
    const hsize_t frameSize = kImageHeight * kImageWidth;
    std::vector<Event> block;
    Progress progress(o.events);
    for (hsize_t first = 0; first < o.events; first += kScalarChunk) {
        const hsize_t count = std::min<hsize_t>(kScalarChunk, o.events - first);
        block.assign(count, Event{});
        for (hsize_t i = 0; i < count; ++i)
            makeEvent(scalarRng, first + i, clock, onlineIndex, block[i]);
        for (auto& f : features) {
            f.block.resize(count);
            const std::size_t slot = slotOf(f.key);
            for (hsize_t i = 0; i < count; ++i)
                f.block[i] = block[i].v.slots[slot];
            writeRows(f.set, f.block.data(), H5::PredType::NATIVE_DOUBLE, first, count);
        }
        // Frames and traces in sub-blocks to keep memory small.
        for (hsize_t sub = 0; sub < count && (o.images || o.masks || o.traces); sub += 512) {
            const hsize_t n = std::min<hsize_t>(512, count - sub);
            if (o.images || o.masks) {
                std::vector<std::uint8_t> images(o.images ? n * frameSize : 0);
                std::vector<std::uint8_t> masks(o.masks ? n * frameSize : 0);
                for (hsize_t i = 0; i < n; ++i)
                    drawEvent(imageRng, block[sub + i], background, o.images ? &images[i * frameSize] : nullptr,
                              o.masks ? &masks[i * frameSize] : nullptr);
                if (o.images)
                    writeRows(imageSet, images.data(), H5::PredType::NATIVE_UINT8, first + sub, n);
                if (o.masks)
                    writeRows(maskSet, masks.data(), H5::PredType::NATIVE_UINT8, first + sub, n);
            }
            if (o.traces) {
                std::vector<std::vector<std::int16_t>> raw(3, std::vector<std::int16_t>(n * kTraceSamples));
                std::vector<std::vector<std::uint16_t>> median(3, std::vector<std::uint16_t>(n * kTraceSamples));
                for (hsize_t i = 0; i < n; ++i) {
                    std::int16_t* r[3] = {&raw[0][i * kTraceSamples], &raw[1][i * kTraceSamples], &raw[2][i * kTraceSamples]};
                    std::uint16_t* m[3] = {&median[0][i * kTraceSamples], &median[1][i * kTraceSamples],
                                           &median[2][i * kTraceSamples]};
                    makeTraces(traceRng, block[sub + i], r, m);
                }
                for (int c = 0; c < 3; ++c) {
                    writeRows(rawSets[static_cast<std::size_t>(c)], raw[static_cast<std::size_t>(c)].data(),
                              H5::PredType::NATIVE_INT16, first + sub, n);
                    writeRows(medianSets[static_cast<std::size_t>(c)], median[static_cast<std::size_t>(c)].data(),
                              H5::PredType::NATIVE_UINT16, first + sub, n);
                }
            }
            progress.update(first + sub + n);
        }
        progress.update(first + count);
    }
    progress.finish();
    file.close();
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << "usage: tervane3-synth <output.rtdc> [--events N] [--images] [--masks] [--traces] "
                     "[--seed S] [--sample NAME] [--run-index N]\n";
        return 2;
    }
    try {
        generate(options);
    } catch (const H5::Exception& e) {
        std::cerr << "Error writing " << options.output << ": " << e.getDetailMsg() << std::endl;
        return 1;
    }
    std::cout << "Wrote " << options.events << " events to " << options.output << std::endl;
    return 0;
}
