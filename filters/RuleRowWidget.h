// What the two kinds of rule row share: the enable and invert boxes, the "×" button, the
// four all-datasets buttons for rules propagated across datasets and their state, and group
// mode (a row inside a filter-group box hides its enable box and those buttons). A row holds
// no pointer into the model: its owner reads the rule back with rule() and stores it.
// The reader is held by shared pointer, so a row that outlives its dataset never reads a
// freed reader. GUI thread only.
#pragma once

#include "core/FilterRule.h"

#include <QWidget>

#include <memory>
#include <string>

class QCheckBox;
class QHBoxLayout;
class QVBoxLayout;
class QPushButton;

namespace Tervane3 {

class RTDCReader;

class RuleRowWidget : public QWidget
{
    Q_OBJECT

public:
    // Shows a rule; owners call it before they connect the row.
    virtual void setRule(const FilterRule& rule) = 0;
    // The rule the row shows.
    virtual FilterRule rule() const = 0;

    virtual std::string propagationId() const = 0;
    // Stores the id (returned in rule() from now on) and updates the buttons.
    virtual void setPropagationId(const std::string& id) = 0;

    // More than one dataset is open: the all-datasets buttons are enabled.
    void setMultipleDatasets(bool multiple);
    // Another dataset's copy of the rule differs in content / in its enabled flag; stores
    // both and updates the buttons only when either changed.
    void setAllFlags(bool contentDiffers, bool enabledDiffers);
    bool contentDiffers() const { return contentDiffer; }
    bool enabledDiffers() const { return enabledDiffer; }
    // Sets the enable box without a signal and updates the buttons.
    void setEnabledSilently(bool enabled);
    // Enters group mode for good: enable box hidden and checked, buttons hidden, and rule()
    // reports the rule enabled.
    void enterGroupMode();
    bool inGroupMode() const { return inGroup; }
    // The row shows a feature the dataset lacks (a placeholder ending in " (n/a)").
    bool featureUnavailable() const { return unavailable; }
    // Whether the last ruleChanged() came from a bound typed into a spin box.
    bool lastChangeWasBoundEdit() const { return boundEdit; }
    // Text, visibility, enabled state and style of the four all-datasets buttons.
    void refreshAllButtons();

signals:
    void ruleChanged();
    void removeRequested();
    void applyRuleToAllRequested();
    void updateRuleToAllRequested();
    void uncheckRuleInAllRequested();
    void checkRuleInAllRequested();
    void deleteRuleFromAllRequested();

public slots:
    // The check button copies the row's own state: check when its enable box is checked.
    void onUncheckCheckClicked();

protected:
    RuleRowWidget(std::shared_ptr<RTDCReader> reader, QWidget* parent);

    // The row's layout (margins 0, 4, 0, 4, spacing 2) with its first line (margins 0), to
    // which the row adds its widgets between the enable box and "×".
    QHBoxLayout* createRowLayout();
    // The line of the four all-datasets buttons (margins 20, 0, 0, 0). The buttons are made
    // the first time they are shown: rows in group mode never need them, and a panel
    // rebuild makes rows by the dozen.
    QHBoxLayout* createAllButtonsLine();
    // The enable and invert boxes report the rule changed (after the row's own widgets).
    void connectFlagBoxes();
    // "×", the four buttons and the button text following the enable box; made last so the
    // owner hears of an enable change before the button text follows it.
    void connectButtons();
    void reportChange(bool fromBound);

private:
    void createAllButtons();

protected:
    std::shared_ptr<RTDCReader> reader;
    QCheckBox* enabledCheck = nullptr;
    QCheckBox* invertCheck = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* applyToAllButton = nullptr;
    QPushButton* updateInAllButton = nullptr;
    QPushButton* checkInAllButton = nullptr;
    QPushButton* deleteFromAllButton = nullptr;
    QVBoxLayout* rowLayout = nullptr;
    QHBoxLayout* allButtonsLine = nullptr;
    bool multipleDatasets = false;
    bool unavailable = false;
    bool contentDiffer = false;
    bool enabledDiffer = false;
    bool inGroup = false;
    bool boundEdit = false;
};

} // namespace Tervane3
