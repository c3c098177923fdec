// The filter of one dataset: its ordered rules, how they combine and an on/off switch, and
// the evaluation of those rules over a dataset's feature columns to the indices of the
// events that are shown, plotted, exported and summarised.
#pragma once

#include "core/FeatureColumnMap.h"
#include "core/FilterRule.h"

#include <QMetaType>

#include <cstddef>
#include <string>
#include <vector>

namespace Tervane3 {

enum FilterCombineMode : int {
    CombineAllPass = 0,      // keep the events that pass every usable rule
    CombineShowExcluded = 1, // keep the events that fail at least one (any value but 0)
};

class EventFilter
{
public:
    EventFilter() = default;

    // Read and iterated directly by callers, in the order the rules were added.
    std::vector<FilterRule> rules;

    void addRule(const FilterRule& rule);
    // Both do nothing for an index outside 0 .. ruleCount() - 1.
    void updateRule(int index, const FilterRule& rule);
    void removeRule(int index);
    void clearRules();

    int ruleCount() const;
    int combineMode() const { return m_combineMode; }
    void setCombineMode(int mode) { m_combineMode = mode; }
    // The switch is the caller's to honour: apply() filters whatever it says.
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // The columns a caller must put into the FeatureColumnMap before apply(): for every
    // enabled rule its featureName, then for a polygon gate its featureNameY when set; each
    // name once, at its first occurrence.
    std::vector<std::string> usedFeatureNames() const;

    // Indices of the events the filter keeps, ascending. Rules that are disabled, of an
    // unknown type, polygons with fewer than 3 vertices and rules whose columns are
    // missing or shorter than eventCount are ignored; with no usable rule every event is
    // kept whatever the combine mode. Reads only the filter and the columns, so several
    // threads may evaluate one filter at once.
    std::vector<int> apply(const FeatureColumnMap& columns, size_t eventCount) const;

    bool operator==(const EventFilter& other) const;
    bool operator!=(const EventFilter& other) const { return !(*this == other); }

private:
    int m_combineMode = CombineAllPass;
    bool m_enabled = true;
};

// The per-axis mapping of polygon tests: mode 1 gives ln(v) for v > 0 and 0 otherwise,
// mode 2 the pseudo-log transform, mode 0 the value. Modes outside 0..2 are clamped.
double transformAxisValue(double value, int mode);

// Even-odd crossing test with strict comparisons: a vertex at exactly the point's y counts
// as below it and an edge crossing exactly at the point's x does not toggle. No vertices
// or a NaN coordinate: outside.
bool pointInPolygon(double x, double y, const std::vector<PolygonVertex>& vertices);

// Registers FilterRule and EventFilter with Qt's meta-type system under their plain and
// their qualified names, so that queued signals carry them. Call once at start-up before
// the first queued connection that carries them; calling it again does nothing.
void registerFilterMetaTypes();

} // namespace Tervane3

Q_DECLARE_METATYPE(Tervane3::EventFilter)
