// Inflating, unshuffling and widening the stored chunks of one column. Each chunk inflates to
// a full chunk's bytes (the library stores the last, partial chunk at full size too); only
// the values that belong to the column are kept.
#include "core/DeflatedColumn.h"
#include "core/FreshPages.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace Tervane3 {

std::size_t storedNumberSize(StoredNumber type)
{
    switch (type) {
    case StoredNumber::Int8:
    case StoredNumber::UInt8:
        return 1;
    case StoredNumber::Int16:
    case StoredNumber::UInt16:
        return 2;
    case StoredNumber::Float32:
    case StoredNumber::Int32:
    case StoredNumber::UInt32:
        return 4;
    case StoredNumber::Float64:
    case StoredNumber::Int64:
    case StoredNumber::UInt64:
        return 8;
    }
    return 8;
}

namespace {

// The shuffle filter stores byte b of every value together: byte b of value j is at
// b * count + j.
void unshuffle(const unsigned char* in, unsigned char* out, std::size_t count, std::size_t size)
{
    for (std::size_t b = 0; b < size; ++b) {
        const unsigned char* plane = in + b * count;
        for (std::size_t j = 0; j < count; ++j)
            out[j * size + b] = plane[j];
    }
}

// The host is little-endian (the caller only sends little-endian types on such hosts), so a
// value's bytes are the native object. The casts are those of the library's conversions.
template <typename T>
void widen(const unsigned char* in, double* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        T value;
        std::memcpy(&value, in + i * sizeof(T), sizeof(T));
        out[i] = static_cast<double>(value);
    }
}

void widen(StoredNumber type, const unsigned char* in, double* out, std::size_t count)
{
    switch (type) {
    case StoredNumber::Float32: widen<float>(in, out, count); break;
    case StoredNumber::Float64: widen<double>(in, out, count); break;
    case StoredNumber::Int8: widen<std::int8_t>(in, out, count); break;
    case StoredNumber::UInt8: widen<std::uint8_t>(in, out, count); break;
    case StoredNumber::Int16: widen<std::int16_t>(in, out, count); break;
    case StoredNumber::UInt16: widen<std::uint16_t>(in, out, count); break;
    case StoredNumber::Int32: widen<std::int32_t>(in, out, count); break;
    case StoredNumber::UInt32: widen<std::uint32_t>(in, out, count); break;
    case StoredNumber::Int64: widen<std::int64_t>(in, out, count); break;
    case StoredNumber::UInt64: widen<std::uint64_t>(in, out, count); break;
    }
}

// A column of a million values spans thousands of fresh pages, written once from start to
// end.
void prepareStorage(const std::vector<double>& column)
{
    prepareFreshPages(column.data(), column.capacity() * sizeof(double));
}

} // namespace

std::uint8_t* DeflatedColumn::reserveBytes(std::size_t size)
{
    if (size > bufferSize) {
        buffer.reset();
        buffer.reset(new std::uint8_t[size]);
        bufferSize = size;
        // Filled under the HDF5 lock: faults there would hold everybody else up.
        mapPagesNow(buffer.get(), size);
    }
    return buffer.get();
}

ColumnInflater::ColumnInflater()
    : decompressor(libdeflate_alloc_decompressor())
{
    if (!decompressor)
        throw std::bad_alloc();
}

ColumnInflater::~ColumnInflater()
{
    libdeflate_free_decompressor(decompressor);
}

std::size_t ColumnInflater::scratchBytes() const
{
    return (first.capacity() + second.capacity()) * sizeof(double);
}

bool ColumnInflater::decode(const DeflatedColumn& column, std::vector<double>& out)
{
    out.clear();
    const std::size_t size = storedNumberSize(column.type);
    if (column.chunkValues == 0 || column.values == 0)
        return column.values == 0 && column.chunkEnds.empty();
    const std::uint64_t chunks = (column.values + column.chunkValues - 1) / column.chunkValues;
    if (column.chunkEnds.size() != chunks || column.chunkEnds.back() > column.capacity())
        return false;
    const std::size_t chunkBytes = static_cast<std::size_t>(column.chunkValues) * size;
    first.resize(static_cast<std::size_t>(column.chunkValues));
    second.resize(static_cast<std::size_t>(column.chunkValues));
    out.reserve(static_cast<std::size_t>(column.values));
    prepareStorage(out);

    std::size_t start = 0;
    for (std::uint64_t k = 0; k < chunks; ++k) {
        const std::size_t end = column.chunkEnds[k];
        if (end < start)
            return false;
        std::size_t inflated = 0;
        if (libdeflate_zlib_decompress(decompressor, column.bytes() + start, end - start, first.data(),
                                       chunkBytes, &inflated)
                != LIBDEFLATE_SUCCESS
            || inflated != chunkBytes)
            return false;
        start = end;

        double* stored = first.data();
        double* spare = second.data();
        if (column.shuffled && size > 1) {
            unshuffle(reinterpret_cast<const unsigned char*>(first.data()), reinterpret_cast<unsigned char*>(spare),
                      static_cast<std::size_t>(column.chunkValues), size);
            std::swap(stored, spare);
        }
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>(column.chunkValues, column.values - k * column.chunkValues));
        if (column.type != StoredNumber::Float64) {
            widen(column.type, reinterpret_cast<const unsigned char*>(stored), spare, count);
            std::swap(stored, spare);
        }
        // Appending into reserved storage writes each value once; sizing the column first
        // would write every value twice.
        out.insert(out.end(), stored, stored + count);
    }
    return true;
}

} // namespace Tervane3
