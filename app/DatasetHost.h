// What docks and tool windows need of the window that owns the datasets: the dataset list,
// lookup by id, the active dataset, each dataset's effective filter and the events passing
// it, and a plot update. The main window implements it; a test implements it over fixture
// readers, so a tool window runs without the main window. GUI thread only.
#pragma once

#include "core/EventFilter.h"

#include <memory>
#include <vector>

namespace Tervane3 {

struct DatasetEntry;
struct EModulusParams;
struct IsoelasticLine;

class DatasetHost
{
public:
    virtual ~DatasetHost() = default;

    // All datasets in list order; a dataset's position is its index in the session file.
    virtual const std::vector<std::unique_ptr<DatasetEntry>>& datasets() const = 0;
    // The open dataset with this id, or null once it is gone. Tool windows keep ids only
    // and look the dataset up on every use.
    virtual DatasetEntry* findDatasetById(int id) const = 0;
    // -1 when no dataset is active.
    virtual int activeDatasetId() const = 0;
    // The dataset's own filter (switch, combine mode, rules) followed by the rules of every
    // filter group switched on for it, in group-list order; a default filter (enabled, no
    // rules) for null.
    virtual EventFilter buildEffectiveFilter(const DatasetEntry* dataset) const = 0;
    // Copies the main window's plot controls into the active dataset's entry.
    virtual void saveCurrentDatasetState() = 0;
    // The colour map chosen in the main window (0 to 5).
    virtual int colorMapIndex() const = 0;
    // Redraws the main plot of the active dataset (after a change of its filter).
    virtual void requestPlotUpdate() = 0;

    // The Young's-modulus inputs of a dataset as the calculations panel sets them (its
    // metadata, whether its reader has "temp"), and the isoelastic lines of such inputs
    // from the main window's calculator. Plots that draw isoelastic lines of their own call
    // the first on every update and the second only when the inputs changed.
    virtual EModulusParams isoelasticParams(const DatasetEntry& dataset) const = 0;
    virtual std::vector<IsoelasticLine> isoelasticLines(const EModulusParams& params) = 0;

    // The events of the dataset that pass its effective filter, ascending: every event when
    // the filter is switched off or has no usable rule, none for null or a dataset without
    // reader. This is the one road from a dataset to its events, so no caller can forget
    // the "Filtering Enabled" switch.
    std::vector<int> passingEvents(const DatasetEntry* dataset) const;
};

} // namespace Tervane3
