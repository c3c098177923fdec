// A dataset host for tests of docks and tool windows without the main window: it owns a
// list of entries over fixture readers, takes each dataset's own filter (plus optional
// extra rules per dataset id, standing in for switched-on filter groups) as its effective
// filter, counts the plot updates asked of it, and hands out fixed isoelastic lines.
#pragma once

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "calc/EModulusParams.h"
#include "calc/IsoelasticLine.h"
#include "core/RTDCReader.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tervane3::Test {

class StandInHost : public DatasetHost
{
public:
    std::vector<std::unique_ptr<DatasetEntry>> entries;
    // Rules appended to a dataset's own filter, by dataset id.
    std::map<int, std::vector<FilterRule>> groupRules;
    int activeId = -1;
    int colorMap = 0;
    int plotUpdates = 0;
    int savedStates = 0;
    // Returned by isoelasticLines; each call is counted.
    std::vector<IsoelasticLine> isoLines;
    int isoelasticCalls = 0;
    // The flow rate of every dataset's Young's-modulus inputs (a change stands for new
    // inputs on the calculations panel).
    double isoFlowRate = 0.04;

    // Opens the file in a new reader and appends an entry with the next id; null when the
    // file does not open.
    DatasetEntry* addDataset(const std::string& path, const QString& displayName = QString())
    {
        auto reader = std::make_shared<RTDCReader>();
        if (!reader->open(path))
            return nullptr;
        auto entry = std::make_unique<DatasetEntry>();
        entry->id = nextId++;
        entry->metadata = reader->readMetadata();
        entry->reader = std::move(reader);
        entry->filePath = path;
        entry->displayName = displayName.isEmpty() ? QString::fromStdString(path) : displayName;
        entry->featuresLoaded = true;
        entries.push_back(std::move(entry));
        if (activeId < 0)
            activeId = entries.back()->id;
        return entries.back().get();
    }

    const std::vector<std::unique_ptr<DatasetEntry>>& datasets() const override { return entries; }
    DatasetEntry* findDatasetById(int id) const override
    {
        for (const auto& entry : entries)
            if (entry->id == id)
                return entry.get();
        return nullptr;
    }
    int activeDatasetId() const override { return activeId; }
    EventFilter buildEffectiveFilter(const DatasetEntry* dataset) const override
    {
        if (!dataset)
            return EventFilter();
        EventFilter filter = dataset->filter;
        const auto found = groupRules.find(dataset->id);
        if (found != groupRules.end())
            for (const FilterRule& rule : found->second)
                filter.addRule(rule);
        return filter;
    }
    void saveCurrentDatasetState() override { ++savedStates; }
    int colorMapIndex() const override { return colorMap; }
    void requestPlotUpdate() override { ++plotUpdates; }
    EModulusParams isoelasticParams(const DatasetEntry&) const override
    {
        EModulusParams params;
        params.flowRate = isoFlowRate;
        return params;
    }
    std::vector<IsoelasticLine> isoelasticLines(const EModulusParams&) override
    {
        ++isoelasticCalls;
        return isoLines;
    }

private:
    int nextId = 0;
};

} // namespace Tervane3::Test
