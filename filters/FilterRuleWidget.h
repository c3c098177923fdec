// A row of the filter panel that edits one range rule: its feature, lower and upper bound,
// enabled and inverted flags, and the all-datasets buttons (RuleRowWidget).
//
// Showing a rule never changes it: rule() returns each bound exactly as it was given until
// the user edits that spin box, also when the spin box shows it rounded or clamped (bounds
// from a session file, another dataset or a group may have more decimals than the column
// suggests, or lie beyond the spin range). Such bounds are shown with up to 10 decimals.
// A fresh range (the first feature of a new row, or a feature the user chooses) spans every
// finite event: each bound is rounded to the chosen decimals and moved one grid step
// outward when rounding put it inside the data.
#pragma once

#include "core/RTDCReader.h"
#include "filters/RuleRowWidget.h"

#include <string>
#include <vector>

class QComboBox;
class QDoubleSpinBox;

namespace Tervane3 {

class FilterRuleWidget : public RuleRowWidget
{
    Q_OBJECT

public:
    // features: the keys offered in the combo (the owner takes them from the same reader;
    // empty without one). The row starts on the first feature spanning its values.
    FilterRuleWidget(const std::vector<std::string>& features, std::shared_ptr<RTDCReader> reader,
                     QWidget* parent = nullptr);

    void setRule(const FilterRule& rule) override;
    FilterRule rule() const override;
    std::string propagationId() const override { return ruleId; }
    void setPropagationId(const std::string& id) override;

    // Refills the combo keeping the selection (a placeholder when the feature is gone); the
    // bounds stay and nothing is emitted.
    void setAvailableFeatures(const std::vector<std::string>& features);
    const std::vector<std::string>& availableFeatureList() const { return availableFeatures; }

public slots:
    // The combo's current feature: new bounds spanning its finite values, then ruleChanged.
    void onFeatureChanged(int index);

private:
    // Drops the " (n/a)" item and enables the widgets again.
    void removePlaceholder();
    void appendPlaceholder(const QString& key);
    void updateWidgetsEnabled();
    // Shows both stored bounds with enough decimals (at least the column's, at most 10).
    void showBounds();
    // Decimals (returned) and step of the spin boxes for a column's finite range.
    int chooseColumnGrid(const RTDCReader::FiniteRange& range);

    QComboBox* featureCombo = nullptr;
    QDoubleSpinBox* minSpin = nullptr;
    QDoubleSpinBox* maxSpin = nullptr;
    std::vector<std::string> availableFeatures;
    std::string ruleId;
    // The bounds rule() returns; a spin box edit replaces its bound.
    double minValue = 0.0;
    double maxValue = 0.0;
    // Decimals the current column suggests (the QDoubleSpinBox default until one is chosen).
    int columnDecimals = 2;
};

} // namespace Tervane3
