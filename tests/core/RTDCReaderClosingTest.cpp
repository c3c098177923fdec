// What a reader does with its columns when it closes: the file closes at once, the column
// storage goes whole to the installed disposer (or is freed by the closing thread without
// one), and freeColumnStorage gives the pages of a column back before it frees the block.
#include "core/RTDCReader.h"

#include "ReaderFileTest.h"
#include "support/RtdcFixture.h"

#include <H5Fpublic.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace Tervane3;
using namespace Tervane3::Test;

namespace {

using RTDCReaderClosingTest = ReaderFileTest;

// Installs a disposer that keeps what it is handed, and removes it again.
class KeepingDisposer
{
public:
    KeepingDisposer()
        : ticket(installColumnDisposer([this](ColumnStorage&& storage) {
              ++calls;
              openFilesAtHandOver = H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE);
              for (auto& column : storage)
                  kept.push_back(std::move(column));
          }))
    {
    }
    ~KeepingDisposer() { removeColumnDisposer(ticket); }
    KeepingDisposer(const KeepingDisposer&) = delete;
    KeepingDisposer& operator=(const KeepingDisposer&) = delete;

    std::set<const double*> keptStorage() const
    {
        std::set<const double*> addresses;
        for (const auto& column : kept)
            addresses.insert(column->data());
        return addresses;
    }

    const std::uint64_t ticket;
    int calls = 0;
    ssize_t openFilesAtHandOver = -1;
    std::vector<std::unique_ptr<std::vector<double>>> kept;
};

void writeColumns(const std::string& path, double deform)
{
    RtdcFixture file(path);
    file.addColumn<double>("area_um", {10, 20, 30});
    file.addColumn<double>("deform", {deform, deform, deform});
    file.close();
}

} // namespace

// Catches columns freed by the closing thread although a disposer is installed (the window
// stood still while gigabytes went back to the system), columns left out of the hand-over
// (replaced computed columns, replaced file columns), copies handed over instead of the
// storage references point into, and files kept open until the storage is freed (a session
// loaded right after read a changed file stale). For every way a reader closes.
TEST_F(RTDCReaderClosingTest, EveryColumnGoesToTheDisposerAndTheFileClosesAtOnce)
{
    const std::vector<std::pair<std::string, std::function<void(std::unique_ptr<RTDCReader>&)>>> closings = {
        {"close", [](std::unique_ptr<RTDCReader>& reader) { reader->close(); }},
        {"destruction", [](std::unique_ptr<RTDCReader>& reader) { reader.reset(); }},
        {"opening another file", [this](std::unique_ptr<RTDCReader>& reader) {
             writeColumns(path("other.rtdc"), 0.5);
             ASSERT_TRUE(reader->open(path("other.rtdc")));
         }},
    };
    for (const auto& [how, closeReader] : closings) {
        SCOPED_TRACE(how);
        writeColumns(path("m.rtdc"), 0.1);
        KeepingDisposer disposer;
        auto reader = std::make_unique<RTDCReader>();
        ASSERT_TRUE(reader->open(path("m.rtdc")));
        // File columns, computed ones, and the replaced ones of both kinds.
        std::set<const double*> columns = {reader->getFeature("area_um").data(),
                                           reader->getFeature("deform").data()};
        reader->setFeature("emodulus", {1, 2, 3});
        columns.insert(reader->getFeature("emodulus").data());
        reader->setFeature("emodulus", {4, 5, 6});
        columns.insert(reader->getFeature("emodulus").data());
        reader->setFeature("deform", {7, 8, 9});
        columns.insert(reader->getFeature("deform").data());
        ASSERT_EQ(columns.size(), 5u);

        closeReader(reader);
        ASSERT_EQ(disposer.calls, 1);
        EXPECT_EQ(disposer.keptStorage(), columns);
        // The values are intact: nothing was freed or cleared on the way.
        const auto emodulus = std::find_if(disposer.kept.begin(), disposer.kept.end(),
                                           [](const auto& column) { return column->front() == 4.0; });
        ASSERT_NE(emodulus, disposer.kept.end());
        EXPECT_EQ(**emodulus, (std::vector<double>{4, 5, 6}));

        // Closed before the storage was handed over, not when it is freed.
        EXPECT_EQ(disposer.openFilesAtHandOver, 0);
        if (reader)
            reader->close();
        EXPECT_EQ(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE), 0);
        // The file, rewritten while the old columns still exist, reads anew.
        writeColumns(path("m.rtdc"), 0.2);
        RTDCReader again;
        ASSERT_TRUE(again.open(path("m.rtdc")));
        EXPECT_EQ(again.getFeature("deform"), (std::vector<double>{0.2, 0.2, 0.2}));
    }
}

// Catches a disposer removed by an owner that is no longer the installed one (two windows:
// the first one's destruction must not take the second one's disposer), and a removed
// disposer still called.
TEST_F(RTDCReaderClosingTest, OnlyTheInstalledDisposerIsRemovedAndNoneIsCalledAfterward)
{
    writeColumns(path("m.rtdc"), 0.1);
    const auto closeOne = [this] {
        RTDCReader reader;
        ASSERT_TRUE(reader.open(path("m.rtdc")));
        reader.getFeature("deform");
    };
    auto first = std::make_unique<KeepingDisposer>();
    KeepingDisposer second;
    first.reset();
    closeOne();
    EXPECT_EQ(second.calls, 1);

    removeColumnDisposer(second.ticket);
    closeOne();
    EXPECT_EQ(second.calls, 1);

    // Nothing cached, nothing handed over.
    KeepingDisposer third;
    {
        RTDCReader reader;
        ASSERT_TRUE(reader.open(path("m.rtdc")));
    }
    EXPECT_EQ(third.calls, 0);
}

#if defined(__linux__) && defined(__GLIBC__) && defined(MADV_HUGEPAGE)

namespace {

bool sanitized()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}

// Resident pages among the whole pages of [begin, begin + size); unmapped ones count as
// not resident.
std::size_t residentPages(const void* begin, std::size_t size)
{
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto from = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(page - 1);
    std::vector<unsigned char> flags((to - from) / page);
    if (mincore(reinterpret_cast<void*>(from), to - from, flags.data()) != 0)
        return 0;
    return static_cast<std::size_t>(std::count_if(flags.begin(), flags.end(), [](unsigned char f) { return f & 1; }));
}

// The kernel's flags ("hg": huge pages advised) of the mapping that holds the address.
std::string mappingFlags(std::uintptr_t address)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long long from = 0;
        unsigned long long to = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> from >> dash >> to && dash == '-' && line.find(':') > line.find(' ')) {
            inside = address >= from && address < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line;
        }
    }
    return {};
}

} // namespace

// Catches freed columns whose pages stay resident in the allocator's heap (until a trim that
// holds the heap's lock for as long as it walks them) and a huge-page advice left on freed
// heap, around which the kernel later fills whole 2 MiB pages again: after ten 1M-event
// datasets, hundreds of megabytes came back that way.
TEST(ColumnStorageTest, FreedColumnsLeaveNeitherResidentPagesNorHugePageAdviceBehind)
{
    if (sanitized())
        GTEST_SKIP() << "the sanitizer's allocator places blocks itself";
    // A 16 MB column in the heap, as columns land there once the allocator's threshold for
    // mappings of their own has risen; a small block after it keeps the heap from shrinking.
    ASSERT_EQ(mallopt(M_MMAP_THRESHOLD, 32 << 20), 1);
    auto column = std::make_unique<std::vector<double>>(std::size_t(2) << 20, 1.0);
    // Larger than any free block a fresh test process has below the column.
    auto after = std::make_unique<std::vector<double>>(std::size_t(1) << 17, 2.0);
    const double* values = column->data();
    const std::size_t bytes = column->capacity() * sizeof(double);
    ASSERT_GT(after->data(), values + column->size());
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t hugeFrom = (reinterpret_cast<std::uintptr_t>(values) + huge - 1) & ~(huge - 1);
    const bool advised = madvise(reinterpret_cast<void*>(hugeFrom), 4 * huge, MADV_HUGEPAGE) == 0;
    const std::size_t before = residentPages(values, bytes);
    ASSERT_GT(before, bytes / 4096 / 2);
    if (advised) {
        ASSERT_NE(mappingFlags(hugeFrom).find(" hg"), std::string::npos);
    }

    ColumnStorage storage;
    storage.push_back(std::move(column));
    freeColumnStorage(std::move(storage));
    EXPECT_TRUE(storage.empty());
    // At most the first and the last page, which the allocator writes when it takes the
    // block back.
    EXPECT_LE(residentPages(values, bytes), 2u);
    if (advised) {
        EXPECT_EQ(mappingFlags(hugeFrom).find(" hg"), std::string::npos) << mappingFlags(hugeFrom);
    }
    EXPECT_EQ(after->back(), 2.0);
}

#endif
