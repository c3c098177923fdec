// Channel numbers from feature names and metadata keys: the std::stoi-like reading and the
// numeric order of the channels.
#include "calc/FluorescenceChannels.h"

#include <gtest/gtest.h>

#include <optional>

namespace Tervane3 {
namespace {

TEST(FluorescenceChannelsTest, LeadingIntegerReadsLikeStoi)
{
    const struct
    {
        const char* text;
        std::optional<int> expected;
    } cases[] = {
        {"2", 2},
        {"  12 offset", 12},
        {"+7", 7},
        {"-3x", -3},
        {"10abc", 10},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"x1", std::nullopt},
        {"-", std::nullopt},
        {" + 1", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(leadingInteger(c.text), c.expected);
    }
}

TEST(FluorescenceChannelsTest, ChannelsComeFromMaximaInNumericOrder)
{
    // Regression: the channels used to follow the names' byte order, so fl10 came before fl2
    // and a spillover matrix typed for 2, 10 was applied to 10, 2.
    EXPECT_EQ(fluorescenceChannels({"fl10_max", "fl2_max"}), (std::vector<int>{2, 10}));
    EXPECT_EQ(fluorescenceChannels({"area_um", "fl1_max", "fl1_max_ctc", "fl1_max_rf", "fl1_pos", "fl2_max",
                                    "fl3_max", "fl_max", "flx_max", "fl 4_max", "fl-1_max", "fl5x_max"}),
              (std::vector<int>{-1, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(fluorescenceChannels({"fl99999999999_max", "max", "fl_max_"}).empty());
}

TEST(FluorescenceChannelsTest, FeatureNamesCarryTheChannelInDecimal)
{
    EXPECT_EQ(channelFeature(10, "_max_ctc"), "fl10_max_ctc");
    EXPECT_EQ(channelFeature(-2, "_max"), "fl-2_max");
}

} // namespace
} // namespace Tervane3
