// Copies into storage whose pages are mapped before the copy: the values must be those of
// the source whether the target grows (new storage), keeps its storage, or is emptied; sizes
// of several 2 MiB pages and an unaligned source. Storage prepared with huge pages holds
// what is written to it.
#include "core/FreshPages.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <numeric>
#include <string>
#include <vector>

using namespace Tervane3;

namespace {

TEST(FreshPagesTest, CopiesHoldTheSourceWhetherTheTargetGrowsOrNot)
{
    constexpr std::size_t huge = (std::size_t(2) << 20) / sizeof(double);
    struct Case
    {
        std::string name;
        std::size_t held;  // values the target holds before
        std::size_t count; // values copied
        std::size_t offset; // of the source's first value in its vector
    };
    const std::vector<Case> cases = {
        {"into an empty target", 0, 1000, 0},
        {"grows past several huge pages", 10, 3 * huge + 17, 0},
        {"unaligned source", 0, 2 * huge, 3},
        {"shrinks within its storage", 3 * huge, 5000, 1},
        {"emptied", 100, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> source(c.count + c.offset);
        std::iota(source.begin(), source.end(), 0.5);
        std::vector<double> target(c.held, -1.0);
        copyToFreshPages(target, source.data() + c.offset, c.count);
        ASSERT_EQ(target.size(), c.count);
        EXPECT_TRUE(std::equal(target.begin(), target.end(), source.begin() + static_cast<std::ptrdiff_t>(c.offset)));
    }
}

TEST(FreshPagesTest, PreparedStorageHoldsWhatIsWritten)
{
    std::vector<double> column;
    column.reserve(3 * (std::size_t(2) << 20) / sizeof(double) + 5);
    prepareFreshPages(column.data(), column.capacity() * sizeof(double));
    column.resize(column.capacity());
    std::iota(column.begin(), column.end(), 1.0);
    EXPECT_EQ(column.front(), 1.0);
    EXPECT_EQ(column.back(), static_cast<double>(column.size()));
}

TEST(FreshPagesTest, ReservingKeepsWhatFitsAndDropsWhatMustMove)
{
    std::vector<int> kept{1, 2, 3};
    kept.reserve(100);
    reserveFreshPages(kept, 50);
    EXPECT_EQ(kept, (std::vector<int>{1, 2, 3}));

    std::vector<int> moved{1, 2, 3};
    reserveFreshPages(moved, 1 << 20);
    EXPECT_TRUE(moved.empty());
    EXPECT_GE(moved.capacity(), std::size_t(1) << 20);
    moved.resize(1 << 20, 7);
    EXPECT_EQ(moved.back(), 7);
}

} // namespace
