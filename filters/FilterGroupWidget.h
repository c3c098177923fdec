// The box of one filter group in the filter panel: its name, its switch for the active
// dataset, a button that copies that switch to every dataset, "×", "+ Rule", "+ Polygon" and
// one rule row per rule in group mode. The box changes no model data: every action leaves it
// as a signal with the group's id, and the main window rebuilds all boxes after a change
// (except after an edit inside a row, so the row keeps its focus). A box never changes its
// group. GUI thread only.
#pragma once

#include "core/FilterRule.h"

#include <QGroupBox>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace Tervane3 {

class RTDCReader;
class RuleRowWidget;

class FilterGroupWidget : public QGroupBox
{
    Q_OBJECT

public:
    // features: keys offered to the range rows it makes; reader: the active dataset's
    // (null without one: the box then shows no rows).
    FilterGroupWidget(int groupId, const std::vector<std::string>& features, std::shared_ptr<RTDCReader> reader,
                      QWidget* parent = nullptr);

    int groupId() const { return id; }
    // Recreates the rows (none without a reader), row i showing rule i in group mode.
    void setRules(const std::vector<FilterRule>& rules);
    const std::vector<RuleRowWidget*>& rows() const { return ruleWidgets; }
    int separatorCount() const { return static_cast<int>(separators.size()); }

    // Set by the panel without signals.
    void setName(const QString& name);
    void setGroupEnabled(bool on);
    void setMultipleDatasets(bool multiple);
    void setMixed(bool mixed);
    bool isMixed() const { return mixedState; }
    // The feature list of later range rows; the range rows refill their combos.
    void setAvailableFeatures(const std::vector<std::string>& features);
    // The "Edit" toggle of polygon row ruleIndex, without a signal; other rows: nothing.
    void setPolygonEditChecked(int ruleIndex, bool on);
    // Whether the last ruleChanged() came from a bound typed into a spin box.
    bool lastChangeWasBoundEdit() const { return boundEdit; }
    // Text and style of the all-datasets button.
    void refreshAllButton();

signals:
    void renameRequested(int groupId, const QString& name);
    void deleteRequested(int groupId);
    void enableToggled(int groupId, bool on);
    void enablePropagateRequested(int groupId, bool on);
    void addRuleRequested(int groupId);
    void addPolygonRequested(int groupId);
    void ruleChanged(int groupId, int ruleIndex, const Tervane3::FilterRule& rule);
    void ruleRemoved(int groupId, int ruleIndex);
    void polygonEditToggled(int groupId, int ruleIndex, bool on);

private:
    void connectRow(RuleRowWidget* row, int index);

    int id;
    std::vector<std::string> availableFeatures;
    std::shared_ptr<RTDCReader> reader;
    QLineEdit* nameEdit = nullptr;
    QCheckBox* enabledCheck = nullptr;
    QPushButton* allButton = nullptr;
    QPushButton* addRuleButton = nullptr;
    QPushButton* addPolygonButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QVBoxLayout* rowsLayout = nullptr;
    std::vector<RuleRowWidget*> ruleWidgets;
    std::vector<QWidget*> separators;
    bool multipleDatasets = false;
    bool mixedState = false;
    bool boundEdit = false;
};

} // namespace Tervane3
