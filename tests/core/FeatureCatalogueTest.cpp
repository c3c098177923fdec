// Feature labels: catalogue rows, instrument rows, the fluorescence rule and refused keys.
#include "core/FeatureCatalogue.h"

#include <gtest/gtest.h>

using namespace Tervane3;

namespace {

struct LabelCase
{
    const char* key;
    bool instrument;
    const char* expected;
};

} // namespace

TEST(FeatureCatalogueTest, LabelsFollowTablesThenFluorescenceRuleThenKey)
{
    const LabelCase cases[] = {
        {"area_um", false, "Area [µm²]"},
        {"volume", false, "Volume [µm³]"},
        {"temp", false, "Chip temperature [°C]"},
        {"area_ratio", false, "Porosity"},
        {"emodulus", false, "Young's modulus [kPa]"},
        {"dim_1", false, "Dimension 1"},
        {"dr_cluster", false, "DR cluster ID"},
        {"userdef0", false, "User-defined 0"},
        {"userdef0", true, "Velocity [mm/s]"},
        {"userdef9", false, "User-defined 9"},
        {"userdef9", true, "Cell Type ID"},
        {"userdef3", true, "User-defined 3"},
        {"deform", true, "Deformation"},
        {"fl1_max_ctc", false, "FL-1 maximum, crosstalk-corrected [a.u.]"},
        {"fl4_max", false, "FL-4 maximum [a.u.]"},
        {"fl12_width_rf", false, "FL-12 width refined [µs]"},
        {"fl07_npeaks", false, "FL-07 number of peaks"},
        {"fl5_pos_rf", true, "FL-5 position refined [µs]"},
        // Refused by the rule: returned unchanged.
        {"fl4", false, "fl4"},
        {"fl_max", false, "fl_max"},
        {"fl12", false, "fl12"},
        {"fl4max", false, "fl4max"},
        {"fl4_", false, "fl4_"},
        {"fl4_peak", false, "fl4_peak"},
        {"FL4_max", false, "FL4_max"},
        {"my_feature", false, "my_feature"},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.instrument ? " (instrument)" : ""));
        EXPECT_EQ(formatFeatureLabel(c.key, c.instrument), c.expected);
    }
}

TEST(FeatureCatalogueTest, TablesHaveTheirRowsAndChannelRowsMatchTheRule)
{
    EXPECT_EQ(featureCatalogue().size(), 105u);
    EXPECT_EQ(instrumentFeatureLabels().size(), 4u);
    EXPECT_EQ(fluorescenceFeatureSuffixes().size(), 10u);
    // Every catalogue row of channels 1 to 3 reads exactly as the suffix rule renders it.
    int channelRows = 0;
    for (const auto& [key, info] : featureCatalogue()) {
        std::string label;
        std::string unit;
        if (!parseFluorescenceFeatureLabel(key, label, unit))
            continue;
        ++channelRows;
        SCOPED_TRACE(key);
        EXPECT_EQ(label, info.label);
        EXPECT_EQ(unit, info.unit);
    }
    EXPECT_EQ(channelRows, 30);
}

TEST(FeatureCatalogueTest, RefusedKeyLeavesOutputsUntouched)
{
    std::string label = "keep";
    std::string unit = "me";
    EXPECT_FALSE(parseFluorescenceFeatureLabel("fl4_peak", label, unit));
    EXPECT_EQ(label, "keep");
    EXPECT_EQ(unit, "me");
    EXPECT_TRUE(parseFluorescenceFeatureLabel("fl2_max_ctc", label, unit));
    EXPECT_EQ(label, "FL-2 maximum, crosstalk-corrected");
    EXPECT_EQ(unit, "a.u.");
}
