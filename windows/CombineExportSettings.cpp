// Session form of the combine plot export settings.
#include "windows/CombineExportSettings.h"

#include "windows/CombineJsonRead.h"

#include <cmath>

namespace Tervane3 {

using namespace CombineJson;

QJsonObject CombineExportSettings::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("tickLabelSize"), tickLabelSize);
    object.insert(QStringLiteral("axisLabelSize"), axisLabelSize);
    object.insert(QStringLiteral("showTitle"), showTitle);
    object.insert(QStringLiteral("titleSize"), titleSize);
    object.insert(QStringLiteral("titleBold"), titleBold);
    object.insert(QStringLiteral("titleUseColor"), titleUseColor);
    object.insert(QStringLiteral("plotWidthMm"), plotWidthMm);
    object.insert(QStringLiteral("plotHeightMm"), plotHeightMm);
    object.insert(QStringLiteral("pointSize"), pointSize);
    object.insert(QStringLiteral("axisLineWidth"), axisLineWidth);
    object.insert(QStringLiteral("showGrid"), showGrid);
    object.insert(QStringLiteral("showRightTopAxes"), showRightTopAxes);
    object.insert(QStringLiteral("uniformColor"), uniformColor.name());
    return object;
}

CombineExportSettings CombineExportSettings::fromJson(const QJsonObject& object, const CombineExportSettings& current)
{
    const CombineExportSettings defaults;
    CombineExportSettings s;
    s.tickLabelSize = readInt(object, "tickLabelSize", defaults.tickLabelSize, 4, 24);
    s.axisLabelSize = readInt(object, "axisLabelSize", defaults.axisLabelSize, 4, 24);
    s.showTitle = readBool(object, "showTitle", defaults.showTitle);
    s.titleSize = readInt(object, "titleSize", defaults.titleSize, 4, 24);
    s.titleBold = readBool(object, "titleBold", defaults.titleBold);
    s.titleUseColor = readBool(object, "titleUseColor", defaults.titleUseColor);
    // The size boxes hold whole millimetres.
    s.plotWidthMm = std::round(readDouble(object, "plotWidthMm", defaults.plotWidthMm, 50.0, 600.0));
    s.plotHeightMm = std::round(readDouble(object, "plotHeightMm", defaults.plotHeightMm, 50.0, 600.0));
    s.pointSize = readInt(object, "pointSize", defaults.pointSize, 1, 20);
    // The box steps by halves.
    s.axisLineWidth = std::round(readDouble(object, "axisLineWidth", defaults.axisLineWidth, 0.5, 5.0) * 2.0) / 2.0;
    s.showGrid = readBool(object, "showGrid", defaults.showGrid);
    s.showRightTopAxes = readBool(object, "showRightTopAxes", defaults.showRightTopAxes);
    const QColor stored(readString(object, "uniformColor", QString()));
    s.uniformColor = stored.isValid() ? stored : current.uniformColor;
    return s;
}

const std::vector<UniformColorChoice>& uniformColorChoices()
{
    static const std::vector<UniformColorChoice> choices = {
        {QStringLiteral("Black"), QColor(Qt::black)},      {QStringLiteral("Gray"), QColor(Qt::darkGray)},
        {QStringLiteral("Blue"), QColor(Qt::blue)},        {QStringLiteral("Red"), QColor(Qt::red)},
        {QStringLiteral("Green"), QColor(Qt::darkGreen)},  {QStringLiteral("Purple"), QColor(Qt::darkMagenta)},
    };
    return choices;
}

} // namespace Tervane3
