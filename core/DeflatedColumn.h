// Turning the stored chunks of a one-dimensional column (deflated, optionally byte-shuffled,
// little-endian numbers) into doubles without the HDF5 library, so that the reader can
// inflate a measurement's columns on all cores while only the chunk reads hold the HDF5
// lock. The values come out exactly as the library's own conversion to double gives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct libdeflate_decompressor;

namespace Tervane3 {

// The stored number types the decoder knows; anything else is read by the library.
enum class StoredNumber { Float32, Float64, Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64, UInt64 };

std::size_t storedNumberSize(StoredNumber type);

// The stored bytes of every chunk of one column, in the order of the column.
struct DeflatedColumn
{
    StoredNumber type = StoredNumber::Float64;
    std::uint64_t values = 0;      // the column's length
    std::uint64_t chunkValues = 0; // values per chunk; of the last chunk only the first ones count
    bool shuffled = false;         // the byte-shuffle filter ran before deflate
    std::vector<std::size_t> chunkEnds; // where each chunk's bytes end in `bytes`

    // Room for at least `size` stored bytes. Grows without keeping or clearing the old
    // bytes: buffers are handed from column to column, and clearing fresh memory would cost
    // more than the copy from the file.
    std::uint8_t* reserveBytes(std::size_t size);
    const std::uint8_t* bytes() const { return buffer.get(); }
    std::size_t capacity() const { return bufferSize; }

private:
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t bufferSize = 0;
};

// One decoding thread's state: a decompressor and two buffers of one chunk each. Not shared
// between threads.
class ColumnInflater
{
public:
    ColumnInflater();
    ~ColumnInflater();
    ColumnInflater(const ColumnInflater&) = delete;
    ColumnInflater& operator=(const ColumnInflater&) = delete;

    // Fills `out` with the column's values (its earlier contents are dropped). False when a
    // chunk is not a valid deflate stream or does not inflate to exactly one chunk's bytes;
    // `out` then holds an unspecified part of the column.
    bool decode(const DeflatedColumn& column, std::vector<double>& out);

    // The bytes this thread keeps for chunks at the moment (grows to two chunks of doubles).
    std::size_t scratchBytes() const;

private:
    libdeflate_decompressor* decompressor = nullptr;
    // Doubles, so that eight-byte values can be used in place; other types are read from
    // them byte-wise.
    std::vector<double> first;
    std::vector<double> second;
};

} // namespace Tervane3
