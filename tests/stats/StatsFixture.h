// What the statistics tests share: tiny measurements written by the test itself and
// opened as datasets of a stand-in host, and the tooltip of a plot.
#pragma once

#include "stats/PlotPointTooltip.h"
#include "support/RuleBuilders.h"
#include "support/RtdcFixture.h"
#include "support/StandInHost.h"

#include <qwt_plot.h>

#include <QTemporaryDir>

#include <map>
#include <string>
#include <vector>

namespace Tervane3::Test {

// The tooltip attached to a plot (not a Q_OBJECT, so findChild cannot tell it apart).
inline PlotPointTooltip* tooltipOf(QwtPlot* plot)
{
    for (QObject* child : plot->children())
        if (auto* tooltip = dynamic_cast<PlotPointTooltip*>(child))
            return tooltip;
    return nullptr;
}

class StatsDatasets
{
public:
    // Writes a measurement with these double columns and opens it as a dataset of the
    // host with this display name; returns its id (-1 when it did not open).
    int add(const QString& name, const std::map<std::string, std::vector<double>>& columns)
    {
        const std::string path = dir.filePath(QStringLiteral("m%1.rtdc").arg(files++)).toStdString();
        {
            RtdcFixture file(path);
            for (const auto& [key, values] : columns)
                file.addColumn(key, values);
        }
        DatasetEntry* entry = host.addDataset(path, name);
        return entry ? entry->id : -1;
    }
    // A dataset whose features all have the one value (so every summary but the spreads
    // is that value).
    int addValue(const QString& name, double value, const std::vector<std::string>& keys = {"area_um", "deform"})
    {
        std::map<std::string, std::vector<double>> columns;
        for (const std::string& key : keys)
            columns[key] = {value};
        return add(name, columns);
    }

    QTemporaryDir dir;
    StandInHost host;

private:
    int files = 0;
};

} // namespace Tervane3::Test
