// Young's-modulus settings of a session's dataset object.
#include "io/EmodulusSettingsJson.h"

#include "app/DatasetEntry.h"

#include <cmath>

namespace Tervane3 {

namespace {

std::optional<int> code(const QJsonObject& object, const char* key, int high)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || number < 0 || number > high)
        return std::nullopt;
    return static_cast<int>(number);
}

// A finite number above `low` (or at least `low` when equalAllowed).
std::optional<double> number(const QJsonObject& object, const char* key, double low, bool equalAllowed)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return std::nullopt;
    const double x = value.toDouble();
    if (!std::isfinite(x) || x < low || (!equalAllowed && x == low))
        return std::nullopt;
    return x;
}

} // namespace

QJsonObject emodulusSettingsToJson(const EmodulusSettings& settings)
{
    QJsonObject object;
    object.insert(QStringLiteral("medium"), settings.medium);
    object.insert(QStringLiteral("viscosityModel"), settings.viscosityModel);
    object.insert(QStringLiteral("manualViscosity"), settings.manualViscosity);
    object.insert(QStringLiteral("temperatureSource"), settings.temperatureSource);
    object.insert(QStringLiteral("temperature"), settings.temperature);
    object.insert(QStringLiteral("channelWidth"), settings.channelWidth);
    object.insert(QStringLiteral("flowRate"), settings.flowRate);
    object.insert(QStringLiteral("pixelSize"), settings.pixelSize);
    object.insert(QStringLiteral("deformFeature"), QString::fromStdString(settings.deformFeature));
    object.insert(QStringLiteral("pixelationCorrection"), settings.pixelationCorrection);
    return object;
}

std::optional<EmodulusSettings> emodulusSettingsFromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const std::optional<int> medium = code(object, "medium", 4);
    const std::optional<int> model = code(object, "viscosityModel", 3);
    const std::optional<int> source = code(object, "temperatureSource", 2);
    const std::optional<double> manual = number(object, "manualViscosity", 0.0, true);
    const std::optional<double> temperature = number(object, "temperature", -HUGE_VAL, true);
    const std::optional<double> width = number(object, "channelWidth", 0.0, false);
    const std::optional<double> flow = number(object, "flowRate", 0.0, false);
    const std::optional<double> pixel = number(object, "pixelSize", 0.0, false);
    const QJsonValue deform = object.value(QStringLiteral("deformFeature"));
    const QJsonValue correction = object.value(QStringLiteral("pixelationCorrection"));
    if (!medium || !model || !source || !manual || !temperature || !width || !flow || !pixel || !deform.isString()
        || deform.toString().isEmpty() || !correction.isBool())
        return std::nullopt;
    EmodulusSettings settings;
    settings.medium = *medium;
    settings.viscosityModel = *model;
    settings.manualViscosity = *manual;
    settings.temperatureSource = *source;
    settings.temperature = *temperature;
    settings.channelWidth = *width;
    settings.flowRate = *flow;
    settings.pixelSize = *pixel;
    settings.deformFeature = deform.toString().toStdString();
    settings.pixelationCorrection = correction.toBool();
    return settings;
}

} // namespace Tervane3
