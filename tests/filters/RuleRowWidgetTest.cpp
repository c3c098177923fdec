// The rule rows of the filter panel: decimals, step and the fresh bounds a feature gets,
// the placeholder of a missing feature, bounds shown without being changed, the
// all-datasets buttons, group mode, and the polygon row's labels and Edit toggle.
#include "filters/FilterRuleWidget.h"
#include "filters/PolygonRuleWidget.h"
#include "support/FilterRules.h"

#include "FilterTestFiles.h"
#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Tervane3;
using namespace Tervane3::Test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

} // namespace

TEST(FilterRuleWidget, FreshBoundsSpanEveryFiniteEventOnTheChosenGrid)
{
    struct Case
    {
        const char* name;
        std::vector<double> column;
        int decimals;
        double step;
        double lo;
        double hi;
    };
    const Case cases[] = {
        {"non-finite values are skipped", {2.0, 3.5, kNaN, kInf}, 2, 0.015, 2.0, 3.5},
        {"range 0.1 is not below 0.1", {1.0, 1.1, 1.05, 1.0}, 4, 0.001, 1.0, 1.1},
        {"range 100 gives one decimal", {0.0, 100.0, 50.0, 25.0}, 1, 1.0, 0.0, 100.0},
        {"range 0.05", {0.0, 0.05, 0.01, 0.02}, 6, 0.0005, 0.0, 0.05},
        {"constant column", {7.0, 7.0, 7.0, 7.0}, 6, 0.01, 7.0, 7.0},
        // Rounding would put both bounds inside the data: each moves one grid step out.
        {"rounded inward, moved out", {12.36, 512.67, 100.0, 200.0}, 1, 5.0031, 12.3, 512.7},
        {"negative bounds round outward", {-12.345, -0.066, -5.0, -1.0}, 2, 0.12279, -12.35, -0.06},
        {"bounds on the grid stay", {12.3, 512.7, 100.0, 200.0}, 1, 5.004, 12.3, 512.7},
    };
    FilterTestFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = files.open({{"area_um", c.column}});
        FilterRuleWidget row({"area_um"}, reader);
        auto* minSpin = child<QDoubleSpinBox>(&row, "minSpin");
        auto* maxSpin = child<QDoubleSpinBox>(&row, "maxSpin");
        EXPECT_EQ(minSpin->decimals(), c.decimals);
        EXPECT_EQ(maxSpin->decimals(), c.decimals);
        EXPECT_NEAR(minSpin->singleStep(), c.step, 1e-12);
        const FilterRule rule = row.rule();
        EXPECT_EQ(rule.featureName, "area_um");
        EXPECT_DOUBLE_EQ(rule.minValue, c.lo);
        EXPECT_DOUBLE_EQ(rule.maxValue, c.hi);
        EXPECT_EQ(minSpin->value(), rule.minValue);
        EXPECT_EQ(maxSpin->value(), rule.maxValue);
        // Every finite event of the column passes the fresh rule.
        for (double v : c.column) {
            if (std::isfinite(v)) {
                EXPECT_GE(v, rule.minValue);
                EXPECT_LE(v, rule.maxValue);
            }
        }
    }
}

TEST(FilterRuleWidget, MissingFeatureShowsAPlaceholderUntilARealOneIsChosen)
{
    FilterTestFiles files;
    auto reader = files.open({{"area_um", {10, 20, 30}}, {"deform", {0.01, 0.02, 0.03}}});
    FilterRuleWidget row({"area_um", "deform"}, reader);
    row.setRule(rangeRule("fl3_max", 1.5, 2500.25));
    auto* combo = child<QComboBox>(&row, "featureCombo");
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(combo->currentText(), "fl3_max (n/a)");
    EXPECT_TRUE(row.featureUnavailable());
    for (const char* name : {"enabledCheck", "minSpin", "maxSpin"})
        EXPECT_FALSE(child<QWidget>(&row, name)->isEnabled()) << name;
    EXPECT_EQ(row.rule().featureName, "fl3_max");
    EXPECT_EQ(row.rule().minValue, 1.5);
    EXPECT_EQ(row.rule().maxValue, 2500.25);

    QSignalSpy changed(&row, &RuleRowWidget::ruleChanged);
    combo->setCurrentIndex(2); // the placeholder again: nothing
    EXPECT_EQ(changed.count(), 0);
    combo->setCurrentIndex(1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_FALSE(row.featureUnavailable());
    for (const char* name : {"enabledCheck", "minSpin", "maxSpin"})
        EXPECT_TRUE(child<QWidget>(&row, name)->isEnabled()) << name;
    EXPECT_EQ(row.rule().featureName, "deform");
    EXPECT_DOUBLE_EQ(row.rule().minValue, 0.01);
    EXPECT_DOUBLE_EQ(row.rule().maxValue, 0.03);

    // A refill that drops the shown feature brings the placeholder back, bounds unchanged.
    row.setAvailableFeatures({"area_um"});
    EXPECT_EQ(combo->currentText(), "deform (n/a)");
    EXPECT_TRUE(row.featureUnavailable());
    EXPECT_DOUBLE_EQ(row.rule().maxValue, 0.03);
    EXPECT_EQ(changed.count(), 1);
}

// Regression: choosing a feature without any finite value left the stored rule on the old
// feature while the row showed the new one, until some later edit silently switched it.
TEST(FilterRuleWidget, FeatureWithoutFiniteValuesKeepsTheBoundsButTheRuleFollowsTheChoice)
{
    FilterTestFiles files;
    auto reader = files.open({{"area_um", {10, 20, 30}}, {"empty", {kNaN, kNaN, kNaN}}});
    FilterRuleWidget row({"area_um", "empty"}, reader);
    auto* minSpin = child<QDoubleSpinBox>(&row, "minSpin");
    const int decimals = minSpin->decimals();
    QSignalSpy changed(&row, &RuleRowWidget::ruleChanged);
    child<QComboBox>(&row, "featureCombo")->setCurrentIndex(1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(row.rule().featureName, "empty");
    EXPECT_EQ(row.rule().minValue, 10.0);
    EXPECT_EQ(row.rule().maxValue, 30.0);
    EXPECT_EQ(minSpin->decimals(), decimals);
}

// Regression: a bound with more decimals than the column suggests (or beyond the spin
// range) came back rounded or clamped after the row had only shown it, and the next
// rewrite of the rules from the rows stored the changed value.
TEST(FilterRuleWidget, ShowingARuleNeverChangesItsBounds)
{
    FilterTestFiles files;
    auto reader = files.open({{"area_um", {10, 20, 300}}});
    const struct {
        const char* name;
        double lo;
        double hi;
        int shownDecimals;
    } cases[] = {
        {"more decimals than the column", 12.3456789012, 250.25, 10},
        {"beyond the spin range", -1e20, 1e300, 1},
        {"not representable in ten decimals", 0.1 + 0.2, 0.30000000000000004, 10},
        {"on the column grid", 12.5, 250.5, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FilterRuleWidget row({"area_um"}, reader);
        row.setRule(rangeRule("area_um", c.lo, c.hi));
        EXPECT_EQ(row.rule().minValue, c.lo);
        EXPECT_EQ(row.rule().maxValue, c.hi);
        EXPECT_EQ(child<QDoubleSpinBox>(&row, "minSpin")->decimals(), c.shownDecimals);
    }

    // Editing one spin box replaces only that bound.
    FilterRuleWidget row({"area_um"}, reader);
    row.setRule(rangeRule("area_um", 12.3456789012, 1e20));
    auto* maxSpin = child<QDoubleSpinBox>(&row, "maxSpin");
    maxSpin->setValue(99.5);
    EXPECT_EQ(row.rule().minValue, 12.3456789012);
    EXPECT_EQ(row.rule().maxValue, 99.5);
    EXPECT_TRUE(row.lastChangeWasBoundEdit());

    // A rule on a missing feature keeps its bounds exactly as well.
    FilterRuleWidget missing({"area_um"}, reader);
    missing.setRule(rangeRule("fl1_max", 0.123456789, 7.25));
    EXPECT_EQ(missing.rule().minValue, 0.123456789);
    EXPECT_EQ(missing.rule().maxValue, 7.25);
}

TEST(FilterRuleWidget, AllDatasetsButtonsFollowTheRowState)
{
    FilterTestFiles files;
    auto reader = files.open({{"area_um", {10, 20, 30}}});
    struct Case
    {
        const char* name;
        bool group;
        std::string id;
        bool multiple;
        bool contentDiffers;
        bool enabledDiffers;
        // Visible: apply, update, check, delete; enabled; highlighted update, check.
        bool visible[4];
        bool enabled;
        bool highlightedUpdate;
        bool highlightedCheck;
    };
    const Case cases[] = {
        {"group mode", true, "{id}", true, true, true, {false, false, false, false}, true, false, false},
        {"no id, several datasets", false, "", true, true, true, {true, false, false, false}, true, false, false},
        {"no id, one dataset", false, "", false, false, false, {true, false, false, false}, false, false, false},
        {"id, content differs", false, "{id}", true, true, false, {false, true, true, true}, true, true, false},
        {"id, enabled differs", false, "{id}", true, false, true, {false, true, true, true}, true, false, true},
        {"id, one dataset", false, "{id}", false, true, true, {false, true, true, true}, false, false, false},
    };
    const char* buttons[] = {"applyToAllButton", "updateInAllButton", "checkInAllButton", "deleteFromAllButton"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilterRuleWidget row({"area_um"}, reader);
        FilterRule rule = rangeRule("area_um", 10, 30);
        rule.propagationId = c.id;
        row.setRule(rule);
        if (c.group)
            row.enterGroupMode();
        row.setMultipleDatasets(c.multiple);
        row.setAllFlags(c.contentDiffers, c.enabledDiffers);
        for (int i = 0; i < 4; ++i) {
            auto* button = child<QPushButton>(&row, buttons[i]);
            EXPECT_EQ(!button->isHidden(), c.visible[i]) << buttons[i];
            if (c.visible[i]) {
                EXPECT_EQ(button->isEnabled(), c.enabled) << buttons[i];
            }
        }
        const auto highlighted = [&](const char* name) {
            return child<QPushButton>(&row, name)->styleSheet().contains(QLatin1String("#a6d7d5"));
        };
        EXPECT_EQ(highlighted("updateInAllButton"), c.highlightedUpdate);
        EXPECT_EQ(highlighted("checkInAllButton"), c.highlightedCheck);
        EXPECT_FALSE(highlighted("applyToAllButton"));
        EXPECT_FALSE(highlighted("deleteFromAllButton"));
    }
}

TEST(FilterRuleWidget, UncheckingAPropagatedRuleReportsTheChangeBeforeTheButtonFollows)
{
    FilterTestFiles files;
    auto reader = files.open({{"area_um", {10, 20, 30}}});
    FilterRuleWidget row({"area_um"}, reader);
    FilterRule rule = rangeRule("area_um", 10, 30);
    rule.propagationId = "{id}";
    row.setRule(rule);
    row.setMultipleDatasets(true);
    auto* check = child<QPushButton>(&row, "checkInAllButton");
    EXPECT_EQ(check->text(), "Check in All");
    QStringList textsSeen;
    QObject::connect(&row, &RuleRowWidget::ruleChanged, [&] { textsSeen << check->text(); });
    child<QCheckBox>(&row, "enabledCheck")->setChecked(false);
    EXPECT_EQ(textsSeen, QStringList{"Check in All"});
    EXPECT_EQ(check->text(), "Uncheck in All");
    EXPECT_FALSE(row.rule().enabled);
    EXPECT_FALSE(row.lastChangeWasBoundEdit());

    QSignalSpy uncheck(&row, &RuleRowWidget::uncheckRuleInAllRequested);
    QSignalSpy checkAll(&row, &RuleRowWidget::checkRuleInAllRequested);
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_EQ(uncheck.count(), 1);
    EXPECT_EQ(checkAll.count(), 0);
}

TEST(FilterRuleWidget, GroupModeReportsTheRuleEnabled)
{
    FilterTestFiles files;
    auto reader = files.open({{"area_um", {10, 20, 30}}});
    FilterRule disabled = rangeRule("area_um", 10, 30);
    disabled.enabled = false;
    disabled.polygonVertices = {{1, 2}, {3, 4}, {5, 0}};
    disabled.type = PolygonRule;
    disabled.featureNameY = "area_um";
    PolygonRuleWidget polygon(reader);
    polygon.setRule(disabled);
    polygon.enterGroupMode();
    EXPECT_TRUE(polygon.rule().enabled);
    EXPECT_TRUE(child<QCheckBox>(&polygon, "enabledCheck")->isHidden());

    disabled.type = RangeRule;
    FilterRuleWidget range({"area_um"}, reader);
    range.setRule(disabled);
    EXPECT_FALSE(range.rule().enabled);
    range.enterGroupMode();
    EXPECT_TRUE(range.rule().enabled);
}

TEST(PolygonRuleWidget, ShowsFeaturesAndPointsAndMarksMissingFeatures)
{
    FilterTestFiles files;
    auto both = files.open({{"area_um", {10, 20, 30}}, {"deform", {0.1, 0.2, 0.3}}});
    auto onlyArea = files.open({{"area_um", {10, 20, 30}}});
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {0.5, 1.5}};
    gate.scaleXMode = 1;
    gate.propagationId = "{gate}";

    const QString area = QString::fromStdString(both->featureLabel("area_um"));
    const QString deform = QString::fromStdString(both->featureLabel("deform"));
    const struct {
        const char* name;
        std::shared_ptr<RTDCReader> reader;
        QString label;
        bool enabled;
    } cases[] = {
        {"both features", both, area + " vs " + deform, true},
        {"deform missing", onlyArea, area + " vs " + deform + " (n/a)", false},
        {"no reader", nullptr, "area_um vs deform (n/a)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PolygonRuleWidget row(c.reader);
        row.setRule(gate);
        EXPECT_EQ(child<QLabel>(&row, "featuresLabel")->text(), c.label);
        EXPECT_EQ(child<QLabel>(&row, "pointsLabel")->text(), "(5 pts)");
        EXPECT_EQ(child<QCheckBox>(&row, "enabledCheck")->isEnabled(), c.enabled);
        EXPECT_TRUE(child<QCheckBox>(&row, "invertCheck")->isEnabled());
        // The row returns the gate it was given, with its own flags.
        child<QCheckBox>(&row, "invertCheck")->setChecked(true);
        FilterRule expected = gate;
        expected.inverted = true;
        EXPECT_EQ(row.rule(), expected);
    }
}

TEST(PolygonRuleWidget, EditToggleSignalsOnlyForTheUser)
{
    PolygonRuleWidget row(nullptr);
    QSignalSpy toggled(&row, &PolygonRuleWidget::editToggled);
    row.setEditChecked(true);
    EXPECT_TRUE(row.isEditChecked());
    EXPECT_EQ(toggled.count(), 0);
    QTest::mouseClick(child<QPushButton>(&row, "editButton"), Qt::LeftButton);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_FALSE(toggled.at(0).at(0).toBool());
}
