// What the filter-groups matrix window needs of the window that owns datasets and groups:
// both lists, the switches and their changes, and how the dataset list is shown (flat or as
// the folder tree). The main window implements it; a test implements it over plain entries.
// GUI thread only.
#pragma once

#include "filters/FilterGroup.h"

#include <memory>
#include <vector>

namespace Tervane3 {

struct DatasetEntry;

class FilterGroupsMatrixHost
{
public:
    virtual ~FilterGroupsMatrixHost() = default;

    // In list order.
    virtual const std::vector<std::unique_ptr<DatasetEntry>>& datasets() const = 0;
    virtual const std::vector<std::unique_ptr<FilterGroup>>& filterGroups() const = 0;
    virtual bool isGroupEnabled(const DatasetEntry* dataset, int groupId) const = 0;
    // Each change redraws the main plot (several in one turn of the event loop redraw once).
    virtual void setGroupEnabled(int datasetId, int groupId, bool enabled) = 0;
    virtual void setGroupEnabledInAll(int groupId, bool enabled) = 0;
    // The dataset list shows the folder tree, with this many parent folder levels.
    virtual bool datasetFolderViewActive() const = 0;
    virtual int datasetFolderDepth() const = 0;
};

} // namespace Tervane3
