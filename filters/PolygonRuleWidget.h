// A row of the filter panel that shows one polygon gate: its two features and vertex count,
// its enabled and inverted flags, an "Edit" toggle that asks for editing the gate on the
// plot, and the all-datasets buttons (RuleRowWidget). The vertices are drawn and edited on
// the plot, never in the row: the row keeps a full copy of the rule it was given.
#pragma once

#include "filters/RuleRowWidget.h"

class QLabel;
class QPushButton;

namespace Tervane3 {

class PolygonRuleWidget : public RuleRowWidget
{
    Q_OBJECT

public:
    explicit PolygonRuleWidget(std::shared_ptr<RTDCReader> reader, QWidget* parent = nullptr);

    void setRule(const FilterRule& rule) override;
    // The stored rule with the row's enabled and inverted flags.
    FilterRule rule() const override;
    std::string propagationId() const override { return storedRule.propagationId; }
    void setPropagationId(const std::string& id) override;

    // Sets the "Edit" toggle without a signal.
    void setEditChecked(bool on);
    bool isEditChecked() const;

signals:
    // The "Edit" toggle was pressed or released by the user.
    void editToggled(bool on);

private:
    QLabel* featuresLabel = nullptr;
    QLabel* pointsLabel = nullptr;
    QPushButton* editButton = nullptr;
    FilterRule storedRule;
};

} // namespace Tervane3
