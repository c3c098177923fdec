// Typed reads of session-object keys for the combine plot window: a missing key or a value
// of another JSON type gives the default, and numbers are clamped to the range of the
// control that shows them, so a hand-edited or damaged session file cannot put a control
// into a state it could not reach itself.
#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace Tervane3::CombineJson {

inline bool readBool(const QJsonObject& object, const char* key, bool fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isBool() ? value.toBool() : fallback;
}

// Whole numbers only; others (fractions, huge values) give the fallback.
inline int readInt(const QJsonObject& object, const char* key, int fallback, int lo, int hi)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number))
        return fallback;
    return static_cast<int>(std::clamp(number, static_cast<double>(lo), static_cast<double>(hi)));
}

inline double readDouble(const QJsonObject& object, const char* key, double fallback, double lo, double hi)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return fallback;
    return std::clamp(value.toDouble(), lo, hi);
}

inline QString readString(const QJsonObject& object, const char* key, const QString& fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

} // namespace Tervane3::CombineJson
