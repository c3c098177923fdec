// Tiny measurements for the filter-panel tests: a file per column set in a temporary folder,
// opened in a shared reader as the panel's rows and boxes hold it.
#pragma once

#include "core/RTDCReader.h"
#include "support/RtdcFixture.h"

#include <QTemporaryDir>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tervane3::Test {

class FilterTestFiles
{
public:
    // Writes the columns (and image/mask frames when withFrames) and opens the file.
    std::shared_ptr<RTDCReader> open(const std::map<std::string, std::vector<double>>& columns,
                                     bool withFrames = false)
    {
        const std::string path = dir.filePath(QStringLiteral("m%1.rtdc").arg(count++)).toStdString();
        {
            RtdcFixture file(path);
            size_t events = 0;
            for (const auto& [name, values] : columns) {
                file.addColumn(name, values);
                events = values.size();
            }
            if (withFrames) {
                const std::vector<std::uint8_t> pixels(events * 4, 0);
                file.addFrames("image", pixels, events, 2, 2);
                file.addFrames("mask", pixels, events, 2, 2);
            }
        }
        auto reader = std::make_shared<RTDCReader>();
        if (!reader->open(path))
            return nullptr;
        return reader;
    }

private:
    QTemporaryDir dir;
    int count = 0;
};

} // namespace Tervane3::Test
