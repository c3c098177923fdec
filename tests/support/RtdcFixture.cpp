// The test fixture writer. Holds the process-wide HDF5 lock for every library call, like
// the program's own HDF5 code, so fixtures may be written while readers run elsewhere.
#include "support/RtdcFixture.h"

#include "core/Hdf5Lock.h"
#include "support/DamagedCopy.h"

#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace Tervane3::Test {

RtdcFixture::RtdcFixture(const std::string& path, bool withEvents)
{
    Hdf5Locker lock(hdf5Mutex());
    H5::Exception::dontPrint();
    h5 = std::make_unique<H5::H5File>(path, H5F_ACC_TRUNC);
    if (withEvents)
        h5->createGroup("/events");
}

RtdcFixture::~RtdcFixture()
{
    close();
}

void RtdcFixture::close()
{
    Hdf5Locker lock(hdf5Mutex());
    if (h5) {
        h5->close();
        h5.reset();
    }
}

H5::H5File& RtdcFixture::file()
{
    if (!h5)
        throw std::logic_error("fixture already closed");
    return *h5;
}

void RtdcFixture::addDataset(const std::string& path, const H5::DataType& fileType,
                             const std::vector<hsize_t>& dims, const H5::DataType& memoryType,
                             const void* data, bool chunked)
{
    Hdf5Locker lock(hdf5Mutex());
    H5::DataSpace space = dims.empty() ? H5::DataSpace(H5S_SCALAR)
                                       : H5::DataSpace(static_cast<int>(dims.size()), dims.data());
    H5::DSetCreatPropList create;
    bool anyZero = false;
    for (hsize_t d : dims)
        anyZero = anyZero || d == 0;
    if (chunked && !dims.empty() && !anyZero) {
        std::vector<hsize_t> chunk = dims;
        chunk[0] = std::min<hsize_t>(dims[0], 2); // several chunks even in tiny files
        create.setChunk(static_cast<int>(chunk.size()), chunk.data());
        create.setDeflate(4);
    }
    H5::DataSet set = file().createDataSet(path, fileType, space, create);
    if (data && !anyZero)
        set.write(data, memoryType);
}

void RtdcFixture::addGroup(const std::string& path)
{
    Hdf5Locker lock(hdf5Mutex());
    file().createGroup(path);
}

void RtdcFixture::addColumnAs(const std::string& name, const H5::DataType& storedType,
                              const std::vector<double>& values)
{
    addDataset("/events/" + name, storedType, {values.size()}, H5::PredType::NATIVE_DOUBLE,
               values.data());
}

void RtdcFixture::addStringColumn(const std::string& name, const std::vector<std::string>& values)
{
    Hdf5Locker lock(hdf5Mutex());
    H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    std::vector<const char*> pointers;
    for (const auto& v : values)
        pointers.push_back(v.c_str());
    const hsize_t n = values.size();
    H5::DataSpace space(1, &n);
    H5::DataSet set = file().createDataSet("/events/" + name, type, space);
    set.write(pointers.data(), type);
}

void RtdcFixture::addFrames(const std::string& name, const std::vector<std::uint8_t>& pixels,
                            hsize_t count, hsize_t height, hsize_t width)
{
    if (pixels.size() != count * height * width)
        throw std::invalid_argument("frame pixels do not match the dimensions");
    Hdf5Locker lock(hdf5Mutex());
    const hsize_t dims[3] = {count, height, width};
    const hsize_t chunk[3] = {1, height, width};
    H5::DataSpace space(3, dims);
    H5::DSetCreatPropList create;
    create.setChunk(3, chunk);
    create.setDeflate(4);
    H5::DataSet set = file().createDataSet("/events/" + name, H5::PredType::NATIVE_UINT8, space, create);
    set.write(pixels.data(), H5::PredType::NATIVE_UINT8);
}

bool copyWithDamagedFrames(const std::string& from, const std::string& to,
                           const std::vector<std::pair<std::string, hsize_t>>& frames, unsigned seed)
{
    std::vector<char> bytes = readFileBytes(from);
    std::mt19937 rng(seed);
    Hdf5Locker lock(hdf5Mutex());
    try {
        H5::H5File file(from, H5F_ACC_RDONLY);
        for (const auto& [name, frame] : frames) {
            H5::DataSet set = file.openDataSet("/events/" + name);
            const hsize_t offset[3] = {frame, 0, 0};
            unsigned filterMask = 0;
            haddr_t address = HADDR_UNDEF;
            hsize_t size = 0;
            // The chunk index gives where the library will look for the frame.
            if (H5Dget_chunk_info_by_coord(set.getId(), offset, &filterMask, &address, &size) < 0
                || address == HADDR_UNDEF || size == 0 || address + size > bytes.size())
                return false;
            garbleRange(bytes, static_cast<std::size_t>(address), static_cast<std::size_t>(size), rng);
        }
    } catch (const H5::Exception&) {
        return false;
    }
    writeFileBytes(to, bytes);
    return true;
}

void RtdcFixture::ensureTraceGroup()
{
    Hdf5Locker lock(hdf5Mutex());
    if (H5Lexists(file().getId(), "/events/trace", H5P_DEFAULT) <= 0)
        file().createGroup("/events/trace");
}

namespace {

H5::Attribute createRootAttribute(H5::H5File& file, const std::string& name, const H5::DataType& type,
                                  const H5::DataSpace& space)
{
    H5::Group root = file.openGroup("/");
    return root.createAttribute(name, type, space);
}

} // namespace

void RtdcFixture::addDoubleAttribute(const std::string& name, double value)
{
    Hdf5Locker lock(hdf5Mutex());
    createRootAttribute(file(), name, H5::PredType::IEEE_F64LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_DOUBLE, &value);
}

void RtdcFixture::addFloatAttribute(const std::string& name, float value)
{
    Hdf5Locker lock(hdf5Mutex());
    createRootAttribute(file(), name, H5::PredType::IEEE_F32LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_FLOAT, &value);
}

void RtdcFixture::addIntAttribute(const std::string& name, std::int64_t value,
                                  const H5::PredType& storedType)
{
    Hdf5Locker lock(hdf5Mutex());
    createRootAttribute(file(), name, storedType, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_INT64, &value);
}

void RtdcFixture::addUInt64Attribute(const std::string& name, std::uint64_t value)
{
    Hdf5Locker lock(hdf5Mutex());
    createRootAttribute(file(), name, H5::PredType::STD_U64LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_UINT64, &value);
}

void RtdcFixture::addEnumAttribute(const std::string& name, std::int8_t value)
{
    Hdf5Locker lock(hdf5Mutex());
    H5::EnumType type(H5::IntType(H5::PredType::NATIVE_INT8));
    std::int8_t no = 0;
    std::int8_t yes = 1;
    std::int8_t other = 7;
    type.insert("FALSE", &no);
    type.insert("TRUE", &yes);
    type.insert("OTHER", &other);
    createRootAttribute(file(), name, type, H5::DataSpace(H5S_SCALAR)).write(type, &value);
}

void RtdcFixture::addStringAttribute(const std::string& name, const std::string& value, StringKind kind)
{
    Hdf5Locker lock(hdf5Mutex());
    const H5::DataSpace scalar(H5S_SCALAR);
    if (kind == StringKind::VariableAscii || kind == StringKind::VariableUtf8) {
        H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
        type.setCset(kind == StringKind::VariableUtf8 ? H5T_CSET_UTF8 : H5T_CSET_ASCII);
        const char* text = value.c_str();
        createRootAttribute(file(), name, type, scalar).write(type, &text);
        return;
    }
    std::size_t size = value.size();
    H5T_str_t pad = H5T_STR_NULLTERM;
    char fill = '\0';
    if (kind == StringKind::FixedNullTerminated) {
        size = value.size() + 6;
    } else if (kind == StringKind::FixedNullPadded) {
        size = std::max<std::size_t>(value.size(), 1);
        pad = H5T_STR_NULLPAD;
    } else {
        size = value.size() + 6;
        pad = H5T_STR_SPACEPAD;
        fill = ' ';
    }
    H5::StrType type(H5::PredType::C_S1, size);
    type.setStrpad(pad);
    std::string buffer(size, fill);
    std::memcpy(&buffer[0], value.data(), value.size());
    createRootAttribute(file(), name, type, scalar).write(type, buffer.data());
}

void RtdcFixture::addPointsAttribute(const std::string& name,
                                     const std::vector<std::pair<double, double>>& points,
                                     const H5::PredType& storedType)
{
    std::vector<double> values;
    for (const auto& p : points) {
        values.push_back(p.first);
        values.push_back(p.second);
    }
    addArrayAttribute(name, storedType, {points.size(), 2}, values);
}

void RtdcFixture::addArrayAttribute(const std::string& name, const H5::DataType& storedType,
                                    const std::vector<hsize_t>& dims, const std::vector<double>& values)
{
    Hdf5Locker lock(hdf5Mutex());
    H5::DataSpace space(static_cast<int>(dims.size()), dims.data());
    H5::Attribute attribute = createRootAttribute(file(), name, storedType, space);
    if (!values.empty())
        attribute.write(H5::PredType::NATIVE_DOUBLE, values.data());
}

void writeNonHdf5File(const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "This is a text file with the extension of a measurement.\n";
}

void writeHdf5WithoutEvents(const std::string& path)
{
    RtdcFixture fixture(path, false);
    fixture.addStringAttribute("experiment:sample", "no events");
    fixture.addGroup("/logs");
}

void writeCompleteFixture(const std::string& path)
{
    RtdcFixture f(path);
    const std::size_t n = 6;
    // Columns: one per stored type.
    f.addColumn<double>("deform", {0.01, 0.02, 0.03, 0.04, 0.05, 0.06}, true);
    f.addColumn<float>("area_um", {10.5f, 11.5f, 12.5f, 13.5f, 14.5f, 15.5f});
    f.addColumn<std::uint8_t>("bright_avg", {0, 1, 127, 128, 254, 255});
    f.addColumn<std::int8_t>("tilt", {-128, -1, 0, 1, 2, 127});
    f.addColumn<std::int16_t>("fl1_max", {-32768, -1, 0, 1, 1000, 32767});
    f.addColumn<std::uint16_t>("fl2_max", {0, 1, 32767, 32768, 40000, 65535});
    f.addColumn<std::int32_t>("fl3_max", {-2147483647 - 1, -1, 0, 1, 100000, 2147483647});
    f.addColumn<std::uint32_t>("index", {1, 2, 3, 4, 5, 4294967295u});
    f.addColumn<std::int64_t>("time", {-5, 0, 5, 1000000, (std::int64_t(1) << 53), -(std::int64_t(1) << 40)});
    f.addColumn<std::uint64_t>("frame", {0, 1, 2, 3, (std::uint64_t(1) << 63), std::uint64_t(1) << 62});
    {
        Hdf5Locker lock(hdf5Mutex());
        H5::EnumType type(H5::IntType(H5::PredType::NATIVE_INT8));
        std::int8_t a = 0, b = 1, c = 5;
        type.insert("A", &a);
        type.insert("B", &b);
        type.insert("C", &c);
        const std::vector<std::int8_t> values{0, 1, 5, 5, 1, 0};
        f.addDataset("/events/ml_class", type, {n}, type, values.data());
    }
    f.addStringColumn("sample_name", {"a", "b", "c", "d", "e", "f"});
    // A two-dimensional dataset that is not a feature, and a contour group.
    std::vector<double> extra(n * 2, 1.0);
    f.addDataset("/events/extra", H5::PredType::NATIVE_DOUBLE, {n, 2}, H5::PredType::NATIVE_DOUBLE,
                 extra.data());
    f.addGroup("/events/contour");
    std::vector<std::int32_t> contour(8, 3);
    f.addDataset("/events/contour/0", H5::PredType::NATIVE_INT32, {4, 2}, H5::PredType::NATIVE_INT32,
                 contour.data());
    // Images: pixel (e, r, c) = 20 e + 5 r + c; masks: 255 where r + c + e is odd.
    std::vector<std::uint8_t> image;
    std::vector<std::uint8_t> mask;
    for (std::size_t e = 0; e < n; ++e)
        for (std::size_t r = 0; r < 4; ++r)
            for (std::size_t c = 0; c < 5; ++c) {
                image.push_back(static_cast<std::uint8_t>(20 * e + 5 * r + c));
                mask.push_back((r + c + e) % 2 ? 255 : 0);
            }
    f.addFrames("image", image, n, 4, 5);
    f.addFrames("mask", mask, n, 4, 5);
    // Traces: fl1_raw int16 (e, s) = 100 e + s - 50; fl1_median uint16 = 60000 - 1000 e + s;
    // fl2_raw 64-bit float = e + s / 8.
    std::vector<std::int16_t> raw;
    std::vector<std::uint16_t> median;
    std::vector<double> floats;
    for (std::size_t e = 0; e < n; ++e)
        for (std::size_t s = 0; s < 8; ++s) {
            raw.push_back(static_cast<std::int16_t>(100 * e + s) - 50);
            median.push_back(static_cast<std::uint16_t>(60000 - 1000 * e + s));
            floats.push_back(static_cast<double>(e) + static_cast<double>(s) / 8.0);
        }
    f.addTrace("fl1_raw", raw, n, 8);
    f.addTrace("fl1_median", median, n, 8);
    f.addTrace("fl2_raw", floats, n, 8);
    std::vector<float> notTrace(n * 8, 1.0f);
    f.addTrace("fl3_other", notTrace, n, 8);
    // Metadata of every kind.
    f.addStringAttribute("experiment:sample", "Blood µ-sample", StringKind::VariableUtf8);
    f.addStringAttribute("experiment:date", "2024-05-17", StringKind::FixedNullTerminated);
    f.addStringAttribute("experiment:time", "13:45:10", StringKind::FixedNullPadded);
    f.addStringAttribute("setup:medium", "TavrisolB", StringKind::FixedSpacePadded);
    f.addStringAttribute("setup:module composition", "Cell_Flow_2, Quorvantelis_Unit, Fluorescence");
    f.addStringAttribute("setup:chip region", "channel");
    f.addDoubleAttribute("setup:flow rate", 0.06);
    f.addFloatAttribute("setup:channel width", 20.0f);
    f.addDoubleAttribute("imaging:pixel size", 0.34);
    f.addIntAttribute("experiment:event count", 6, H5::PredType::STD_I32LE);
    f.addIntAttribute("imaging:roi size x", -250, H5::PredType::STD_I16LE);
    f.addUInt64Attribute("fluorescence:laser count", std::uint64_t(1) << 63);
    f.addEnumAttribute("online_contour:no absdiff", 1);
    f.addPointsAttribute("online_filter:area_um,deform polygon points", {{10, 0.01}, {20, 0.02}, {15, 0.05}});
    f.addArrayAttribute("online_filter:area_um,deform extra", H5::PredType::IEEE_F32LE, {3}, {1, 2, 3});
    f.addStringAttribute("version", "1.0");
}

} // namespace Tervane3::Test
