// The box of one filter group: rows in group mode with separators, no rows without a
// dataset, the all-datasets button's text and highlight, and the signals that carry the
// group's id.
#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"
#include "filters/PolygonRuleWidget.h"

#include "FilterTestFiles.h"
#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Tervane3;
using namespace Tervane3::Test;

namespace {

std::vector<FilterRule> twoRangesAndAGate()
{
    FilterRule a;
    a.featureName = "area_um";
    a.minValue = 10;
    a.maxValue = 30;
    a.enabled = false;
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{0, 0}, {1, 0}, {1, 1}};
    FilterRule b = a;
    b.featureName = "deform";
    b.minValue = 0.01;
    b.maxValue = 0.02;
    return {a, b, gate};
}

struct GroupFixture
{
    FilterTestFiles files;
    std::shared_ptr<RTDCReader> reader =
        files.open({{"area_um", {10, 20, 30}}, {"deform", {0.01, 0.02, 0.03}}});
    std::vector<std::string> features{"area_um", "deform"};
};

} // namespace

TEST(FilterGroupWidget, RowsAreInGroupModeWithSeparatorsBetweenThem)
{
    GroupFixture f;
    FilterGroupWidget box(4, f.features, f.reader);
    box.setRules(twoRangesAndAGate());
    ASSERT_EQ(box.rows().size(), 3u);
    EXPECT_EQ(box.separatorCount(), 2);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(box.rows()[0]), nullptr);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(box.rows()[1]), nullptr);
    EXPECT_NE(qobject_cast<PolygonRuleWidget*>(box.rows()[2]), nullptr);
    EXPECT_EQ(box.rows()[1]->rule().featureName, "deform");
    for (RuleRowWidget* row : box.rows()) {
        EXPECT_TRUE(row->inGroupMode());
        EXPECT_TRUE(child<QCheckBox>(row, "enabledCheck")->isHidden());
        for (const char* name : {"applyToAllButton", "updateInAllButton", "checkInAllButton", "deleteFromAllButton"}) {
            const auto* button = row->findChild<QPushButton*>(QLatin1String(name));
            EXPECT_TRUE(!button || button->isHidden()) << name;
        }
    }

    // Without a dataset only the header, the buttons and the line below them show.
    FilterGroupWidget empty(4, {}, nullptr);
    empty.setRules(twoRangesAndAGate());
    EXPECT_TRUE(empty.rows().empty());
    EXPECT_EQ(empty.separatorCount(), 0);
}

TEST(FilterGroupWidget, SwitchTextFollowsTheBoxAndHighlightNeedsSeveralDatasets)
{
    GroupFixture f;
    FilterGroupWidget box(1, f.features, f.reader);
    auto* all = child<QPushButton>(&box, "groupAllButton");
    EXPECT_EQ(all->text(), "Uncheck in All Datasets");

    QStringList textsSeen;
    QObject::connect(&box, &FilterGroupWidget::enableToggled, [&](int id, bool on) {
        EXPECT_EQ(id, 1);
        EXPECT_TRUE(on);
        textsSeen << all->text();
    });
    child<QCheckBox>(&box, "groupEnabledCheck")->setChecked(true);
    EXPECT_EQ(textsSeen, QStringList{"Check in All Datasets"});

    const struct {
        bool multiple;
        bool mixed;
        bool highlighted;
    } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}};
    for (const auto& c : cases) {
        box.setMultipleDatasets(c.multiple);
        box.setMixed(c.mixed);
        EXPECT_EQ(all->styleSheet().contains(QLatin1String("#a6d7d5")), c.highlighted);
        EXPECT_EQ(all->isEnabled(), c.multiple);
    }

    QSignalSpy propagate(&box, &FilterGroupWidget::enablePropagateRequested);
    QTest::mouseClick(all, Qt::LeftButton);
    ASSERT_EQ(propagate.count(), 1);
    EXPECT_EQ(propagate.at(0).at(1).toBool(), true);
}

TEST(FilterGroupWidget, SignalsCarryTheGroupIdAndRowIndex)
{
    GroupFixture f;
    FilterGroupWidget box(4, f.features, f.reader);
    box.setName(QStringLiteral("Gates"));
    box.setRules(twoRangesAndAGate());

    QSignalSpy renamed(&box, &FilterGroupWidget::renameRequested);
    auto* name = child<QLineEdit>(&box, "groupNameEdit");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_EQ(renamed.count(), 1);
    EXPECT_EQ(renamed.at(0).at(0).toInt(), 4);
    EXPECT_EQ(renamed.at(0).at(1).toString(), "Gates");

    QSignalSpy changed(&box, &FilterGroupWidget::ruleChanged);
    QSignalSpy removed(&box, &FilterGroupWidget::ruleRemoved);
    child<QDoubleSpinBox>(box.rows()[1], "maxSpin")->setValue(0.025);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 4);
    EXPECT_EQ(changed.at(0).at(1).toInt(), 1);
    const auto rule = changed.at(0).at(2).value<FilterRule>();
    EXPECT_TRUE(rule.enabled);
    EXPECT_EQ(rule.maxValue, 0.025);
    EXPECT_TRUE(box.lastChangeWasBoundEdit());

    // "×" of row 0: the removal request only; the row stays until the boxes are rebuilt.
    QTest::mouseClick(child<QPushButton>(box.rows()[0], "removeButton"), Qt::LeftButton);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toInt(), 4);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 0);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(box.rows().size(), 3u);

    QSignalSpy editing(&box, &FilterGroupWidget::polygonEditToggled);
    QTest::mouseClick(child<QPushButton>(box.rows()[2], "editButton"), Qt::LeftButton);
    ASSERT_EQ(editing.count(), 1);
    EXPECT_EQ(editing.at(0), (QList<QVariant>{4, 2, true}));
    box.setPolygonEditChecked(2, false);
    EXPECT_FALSE(qobject_cast<PolygonRuleWidget*>(box.rows()[2])->isEditChecked());
    EXPECT_EQ(editing.count(), 1);

    const struct {
        const char* button;
        void (FilterGroupWidget::*signal)(int);
    } buttons[] = {{"groupAddRuleButton", &FilterGroupWidget::addRuleRequested},
                   {"groupAddPolygonButton", &FilterGroupWidget::addPolygonRequested},
                   {"groupDeleteButton", &FilterGroupWidget::deleteRequested}};
    for (const auto& b : buttons) {
        QSignalSpy spy(&box, b.signal);
        QTest::mouseClick(child<QPushButton>(&box, b.button), Qt::LeftButton);
        ASSERT_EQ(spy.count(), 1) << b.button;
        EXPECT_EQ(spy.at(0).at(0).toInt(), 4);
    }
}
