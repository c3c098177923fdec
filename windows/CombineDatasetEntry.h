// One dataset shown in a combine plot window: the dataset's id and the row's choices
// (features, colour, axis scales). A plain value record; the window keeps one per row, in
// row order, and looks the dataset up by id on every use.
#pragma once

#include <QColor>

#include <string>

namespace Tervane3 {

struct CombineDatasetEntry
{
    int datasetId = -1;
    std::string xFeature;
    std::string yFeature;
    // Points, title, legend entry and contour lines; alpha included.
    QColor color;
    int scaleXMode = 0; // axis scale modes: 0 linear, 1 log, 2 pseudo-log
    int scaleYMode = 0;
};

// The colours handed to new rows in turn: index modulo 20 of a fixed table (alpha 255).
constexpr int combineDatasetColorCount = 20;
QColor combineDatasetColor(int index);

} // namespace Tervane3
