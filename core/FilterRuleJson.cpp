// The JSON form of a filter rule and of the numbers in it.
#include "core/FilterRuleJson.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

// A scale mode as the event filter understands it: 0 linear, 1 log, 2 pseudo-log.
int scaleModeFromJson(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double mode = value.toDouble();
    if (!std::isfinite(mode))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(mode), 0.0, 2.0));
}

std::string textFromJson(const QJsonValue& value)
{
    return value.isString() ? value.toString().toStdString() : std::string();
}

} // namespace

QJsonValue numberToJson(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return value;
}

double numberFromJson(const QJsonValue& value, double fallback)
{
    if (value.isDouble())
        return value.toDouble();
    if (value.isString()) {
        const QString text = value.toString();
        if (text == QLatin1String("inf"))
            return std::numeric_limits<double>::infinity();
        if (text == QLatin1String("-inf"))
            return -std::numeric_limits<double>::infinity();
        if (text == QLatin1String("nan"))
            return std::numeric_limits<double>::quiet_NaN();
    }
    return fallback;
}

QJsonObject filterRuleToJson(const FilterRule& rule)
{
    QJsonObject object;
    object.insert(QStringLiteral("type"), rule.type != RangeRule ? QStringLiteral("Polygon") : QStringLiteral("Range"));
    object.insert(QStringLiteral("featureName"), QString::fromStdString(rule.featureName));
    object.insert(QStringLiteral("featureNameY"), QString::fromStdString(rule.featureNameY));
    object.insert(QStringLiteral("minValue"), numberToJson(rule.minValue));
    object.insert(QStringLiteral("maxValue"), numberToJson(rule.maxValue));
    object.insert(QStringLiteral("enabled"), rule.enabled);
    object.insert(QStringLiteral("inverted"), rule.inverted);
    object.insert(QStringLiteral("propagationId"), QString::fromStdString(rule.propagationId));
    QJsonArray vertices;
    for (const PolygonVertex& vertex : rule.polygonVertices)
        vertices.append(QJsonArray{numberToJson(vertex.first), numberToJson(vertex.second)});
    object.insert(QStringLiteral("polygonVertices"), vertices);
    object.insert(QStringLiteral("scaleXMode"), rule.scaleXMode);
    object.insert(QStringLiteral("scaleYMode"), rule.scaleYMode);
    return object;
}

FilterRule filterRuleFromJson(const QJsonObject& object)
{
    FilterRule rule;
    const QJsonValue type = object.value(QStringLiteral("type"));
    rule.type = type.isString() && type.toString() == QLatin1String("Polygon") ? PolygonRule : RangeRule;
    rule.featureName = textFromJson(object.value(QStringLiteral("featureName")));
    rule.featureNameY = textFromJson(object.value(QStringLiteral("featureNameY")));
    rule.minValue = numberFromJson(object.value(QStringLiteral("minValue")), 0.0);
    rule.maxValue = numberFromJson(object.value(QStringLiteral("maxValue")), 0.0);
    const QJsonValue enabled = object.value(QStringLiteral("enabled"));
    rule.enabled = enabled.isBool() ? enabled.toBool() : true;
    const QJsonValue inverted = object.value(QStringLiteral("inverted"));
    rule.inverted = inverted.isBool() ? inverted.toBool() : false;
    rule.propagationId = textFromJson(object.value(QStringLiteral("propagationId")));
    const QJsonValue vertices = object.value(QStringLiteral("polygonVertices"));
    if (vertices.isArray()) {
        for (const QJsonValue& element : vertices.toArray()) {
            if (!element.isArray())
                continue;
            const QJsonArray pair = element.toArray();
            if (pair.size() < 2)
                continue;
            rule.polygonVertices.emplace_back(numberFromJson(pair.at(0), 0.0), numberFromJson(pair.at(1), 0.0));
        }
    }
    rule.scaleXMode = scaleModeFromJson(object.value(QStringLiteral("scaleXMode")));
    rule.scaleYMode = scaleModeFromJson(object.value(QStringLiteral("scaleYMode")));
    return rule;
}

} // namespace Tervane3
