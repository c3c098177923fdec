// The style in which a combine plot window exports and previews its plots: fonts, titles,
// physical plot size, point size, axis lines, grid, and the uniform point colour.
#pragma once

#include <QColor>
#include <QJsonObject>
#include <QString>

#include <vector>

namespace Tervane3 {

struct CombineExportSettings
{
    int tickLabelSize = 12;   // pt, 4 .. 24
    int axisLabelSize = 14;   // pt, 4 .. 24
    bool showTitle = true;
    int titleSize = 14;       // pt, 4 .. 24
    bool titleBold = false;
    bool titleUseColor = true;
    double plotWidthMm = 100.0;  // whole millimetres, 50 .. 600
    double plotHeightMm = 100.0; // whole millimetres, 50 .. 600
    int pointSize = 4;        // px, 1 .. 20
    double axisLineWidth = 1.0; // px, 0.5 .. 5 in steps of 0.5
    bool showGrid = true;
    bool showRightTopAxes = true;
    QColor uniformColor = Qt::black;

    // Every field under its own name; the colour as "#rrggbb".
    QJsonObject toJson() const;
    // The fields of the object (defaults for missing or mistyped keys, values clamped to
    // the ranges above); an empty or invalid "uniformColor" keeps `current`'s colour.
    static CombineExportSettings fromJson(const QJsonObject& object, const CombineExportSettings& current);
};

// The choices of the "Uniform color" combo, in order.
struct UniformColorChoice
{
    QString text;
    QColor color;
};
const std::vector<UniformColorChoice>& uniformColorChoices();

} // namespace Tervane3
