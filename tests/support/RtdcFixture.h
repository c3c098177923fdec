// Writes tiny .rtdc files for tests with the HDF5 C++ API: columns of any stored type and
// rank, image and mask stacks, traces, root attributes of every kind. Every test makes its
// own files this way; no measurement file comes from elsewhere.
#pragma once

#include <H5Cpp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Tervane3::Test {

template <typename T> const H5::PredType& nativeTypeOf();
template <> inline const H5::PredType& nativeTypeOf<double>() { return H5::PredType::NATIVE_DOUBLE; }
template <> inline const H5::PredType& nativeTypeOf<float>() { return H5::PredType::NATIVE_FLOAT; }
template <> inline const H5::PredType& nativeTypeOf<std::int8_t>() { return H5::PredType::NATIVE_INT8; }
template <> inline const H5::PredType& nativeTypeOf<std::uint8_t>() { return H5::PredType::NATIVE_UINT8; }
template <> inline const H5::PredType& nativeTypeOf<std::int16_t>() { return H5::PredType::NATIVE_INT16; }
template <> inline const H5::PredType& nativeTypeOf<std::uint16_t>() { return H5::PredType::NATIVE_UINT16; }
template <> inline const H5::PredType& nativeTypeOf<std::int32_t>() { return H5::PredType::NATIVE_INT32; }
template <> inline const H5::PredType& nativeTypeOf<std::uint32_t>() { return H5::PredType::NATIVE_UINT32; }
template <> inline const H5::PredType& nativeTypeOf<std::int64_t>() { return H5::PredType::NATIVE_INT64; }
template <> inline const H5::PredType& nativeTypeOf<std::uint64_t>() { return H5::PredType::NATIVE_UINT64; }

enum class StringKind {
    VariableAscii,
    VariableUtf8,
    FixedNullTerminated, // fixed size larger than the text, NUL padded
    FixedNullPadded,     // fixed size exactly the text, no terminator
    FixedSpacePadded,    // fixed size larger than the text, blank padded
};

class RtdcFixture
{
public:
    // Creates (truncates) the file; withEvents also creates the group /events.
    explicit RtdcFixture(const std::string& path, bool withEvents = true);
    ~RtdcFixture();
    RtdcFixture(const RtdcFixture&) = delete;
    RtdcFixture& operator=(const RtdcFixture&) = delete;

    // Flushes and closes; later calls do nothing.
    void close();
    H5::H5File& file();

    // Any dataset: path absolute, stored as fileType with the given dimensions (empty dims:
    // a scalar dataset), data given in memoryType. chunked adds chunking and deflate.
    void addDataset(const std::string& path, const H5::DataType& fileType,
                    const std::vector<hsize_t>& dims, const H5::DataType& memoryType,
                    const void* data, bool chunked = false);
    void addGroup(const std::string& path);

    // /events/<name>, one-dimensional, stored in the native type of T.
    template <typename T>
    void addColumn(const std::string& name, const std::vector<T>& values, bool chunked = false)
    {
        addDataset("/events/" + name, nativeTypeOf<T>(), {values.size()}, nativeTypeOf<T>(),
                   values.data(), chunked);
    }
    // A one-dimensional dataset stored as storedType, values converted from double.
    void addColumnAs(const std::string& name, const H5::DataType& storedType,
                     const std::vector<double>& values);
    void addStringColumn(const std::string& name, const std::vector<std::string>& values);

    // "/events/image" or "/events/mask": count frames of height x width, row-major, chunked
    // one frame per chunk and deflated like an instrument file.
    void addFrames(const std::string& name, const std::vector<std::uint8_t>& pixels,
                   hsize_t count, hsize_t height, hsize_t width);

    // "/events/trace/<name>": rows x samples values of T (the group is made on demand).
    template <typename T>
    void addTrace(const std::string& name, const std::vector<T>& values, hsize_t rows, hsize_t samples)
    {
        ensureTraceGroup();
        addDataset("/events/trace/" + name, nativeTypeOf<T>(), {rows, samples}, nativeTypeOf<T>(),
                   values.data(), true);
    }

    // Root attributes.
    void addDoubleAttribute(const std::string& name, double value);
    void addFloatAttribute(const std::string& name, float value);
    void addIntAttribute(const std::string& name, std::int64_t value,
                         const H5::PredType& storedType = H5::PredType::NATIVE_INT64);
    void addUInt64Attribute(const std::string& name, std::uint64_t value);
    // An enumeration with members "FALSE" = 0, "TRUE" = 1, "OTHER" = 7 over signed 8 bits.
    void addEnumAttribute(const std::string& name, std::int8_t value);
    void addStringAttribute(const std::string& name, const std::string& value,
                            StringKind kind = StringKind::VariableAscii);
    // N x 2 points stored as 32-bit floats (or the given type).
    void addPointsAttribute(const std::string& name, const std::vector<std::pair<double, double>>& points,
                            const H5::PredType& storedType = H5::PredType::IEEE_F32LE);
    // Any array attribute: dims and values converted from double to storedType.
    void addArrayAttribute(const std::string& name, const H5::DataType& storedType,
                           const std::vector<hsize_t>& dims, const std::vector<double>& values);

private:
    void ensureTraceGroup();
    std::unique_ptr<H5::H5File> h5;
};

// Copies the file to `to` with the stored (compressed) chunk of each listed frame ("image" or
// "mask", frame number; one frame per chunk, as addFrames writes them) overwritten by random
// bytes from the seed, so that reading that frame fails while its neighbours read as before.
// False when a chunk is not found.
bool copyWithDamagedFrames(const std::string& from, const std::string& to,
                           const std::vector<std::pair<std::string, hsize_t>>& frames, unsigned seed = 1);

// A file that is not HDF5 (text bytes).
void writeNonHdf5File(const std::string& path);
// A valid HDF5 file with root attributes but no /events.
void writeHdf5WithoutEvents(const std::string& path);

// A small complete measurement used by several tests: 6 events with columns of the stored
// types, image and mask stacks (6 x 4 x 5), int16 and uint16 traces (6 x 8) and metadata
// attributes of every kind. The expected contents are in the comments of RtdcFixture.cpp.
void writeCompleteFixture(const std::string& path);

} // namespace Tervane3::Test
