// Damaged copies of a measurement's bytes for the fuzz tests and the damaged-file trial:
// scattered bytes, runs of garbage, single flipped bits or a cut, at positions below a
// chosen limit (the first 16 KiB hold the superblock, the root group's header and its
// attributes, where damage most often reaches the HDF5 library's own faults).
// Header only, so the trial in bench/ can use it without the test runner's main().
#pragma once

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace Tervane3::Test {

inline std::vector<char> readFileBytes(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFileBytes(const std::string& file, const std::vector<char>& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Random bytes over [start, start + length) (clipped to the end): a run of garbage.
inline void garbleRange(std::vector<char>& bytes, std::size_t start, std::size_t length, std::mt19937& rng)
{
    std::uniform_int_distribution<int> byteValue(0, 255);
    const std::size_t end = start + std::min(length, bytes.size() - std::min(start, bytes.size()));
    for (std::size_t i = start; i < end; ++i)
        bytes[i] = static_cast<char>(byteValue(rng));
}

// A copy of the bytes damaged in one of several ways, at positions below `span`.
inline std::vector<char> damagedCopy(const std::vector<char>& bytes, std::mt19937& rng,
                                     std::size_t span = std::numeric_limits<std::size_t>::max())
{
    const std::size_t limit = std::min(span, bytes.size());
    std::uniform_int_distribution<std::size_t> position(0, limit - 1);
    std::uniform_int_distribution<int> byteValue(0, 255);
    std::uniform_int_distribution<int> mode(0, 9);
    std::vector<char> copy = bytes;
    const int m = mode(rng);
    if (m < 5) {
        // A few scattered bytes.
        const int count = 1 + m * 3;
        for (int i = 0; i < count; ++i)
            copy[position(rng)] = static_cast<char>(byteValue(rng));
    } else if (m < 8) {
        // A run of garbage.
        const std::size_t start = position(rng);
        garbleRange(copy, start, 8 + static_cast<std::size_t>(byteValue(rng)) / 4, rng);
    } else if (m == 8) {
        // Single bits: lengths and offsets become large but stay near their values.
        for (int i = 0; i < 4; ++i)
            copy[position(rng)] ^= static_cast<char>(1 << (byteValue(rng) % 8));
    } else {
        copy.resize(position(rng));
    }
    return copy;
}

} // namespace Tervane3::Test
