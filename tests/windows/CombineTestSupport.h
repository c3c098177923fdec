// Shared set-up of the combine plot window tests: a stand-in host over tiny measurement
// files made in a temporary folder, scripted prompts, and a window on that host.
#pragma once

#include "app/DatasetEntry.h"
#include "app/ScriptedPrompts.h"
#include "core/RTDCReader.h"
#include "support/FilterRules.h"
#include "support/RtdcFixture.h"
#include "support/StandInHost.h"
#include "windows/CombinePlotWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tervane3::Test {

using ::Tervane3::rangeRule;

using Columns = std::map<std::string, std::vector<double>>;

// n events: area_um 10, 11, ...; deform 0.01 + 0.001 * (i % 7); bright i % 5.
inline Columns rampColumns(int n)
{
    Columns columns;
    for (int i = 0; i < n; ++i) {
        columns["area_um"].push_back(10.0 + i);
        columns["deform"].push_back(0.01 + 0.001 * (i % 7));
        columns["bright"].push_back(i % 5);
    }
    return columns;
}

class CombineWindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<CombinePlotWindow>(&host);
    }
    void TearDown() override
    {
        window.reset();
        // Rows deleted later go before the host's readers.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A measurement with the given columns, added to the host.
    DatasetEntry* addFile(const std::string& name, const Columns& columns, const QString& displayName = QString())
    {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        {
            RtdcFixture fixture(path);
            for (const auto& [key, values] : columns)
                fixture.addColumn<double>(key, values);
        }
        DatasetEntry* entry = host.addDataset(path, displayName.isEmpty() ? QString::fromStdString(name) : displayName);
        if (entry) {
            entry->xFeatureName = "area_um";
            entry->yFeatureName = "deform";
        }
        return entry;
    }

    // Runs a scheduled rebuild now.
    void flush()
    {
        if (window->rebuildPending())
            window->rebuildPlots();
    }

    template <typename T> T* child(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    QTemporaryDir dir;
    StandInHost host;
    ScriptedPromptsGuard prompts;
    std::unique_ptr<CombinePlotWindow> window;
};

} // namespace Tervane3::Test
