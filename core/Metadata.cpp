// Section look-up of the metadata record and the locale-independent "%f" text of numbers.
#include "core/Metadata.h"

#include <charconv>
#include <cmath>

namespace Tervane3 {

std::map<std::string, std::string>* Metadata::sectionMap(const std::string& section)
{
    return const_cast<std::map<std::string, std::string>*>(
        static_cast<const Metadata*>(this)->sectionMap(section));
}

const std::map<std::string, std::string>* Metadata::sectionMap(const std::string& section) const
{
    if (section == "experiment")
        return &experiment;
    if (section == "setup")
        return &setup;
    if (section == "imaging")
        return &imaging;
    if (section == "online_contour")
        return &onlineContour;
    if (section == "online_filter")
        return &onlineFilter;
    if (section == "offline_filter")
        return &offlineFilter;
    if (section == "fluorescence")
        return &fluorescence;
    if (section == "export")
        return &exportInfo;
    return nullptr;
}

std::string Metadata::value(const std::string& section, const std::string& key,
                            const std::string& fallback) const
{
    const auto* map = sectionMap(section);
    if (!map)
        return fallback;
    const auto it = map->find(key);
    return it == map->end() ? fallback : it->second;
}

std::string formatFixed6(double value)
{
    // printf("%f") follows LC_NUMERIC, which the application object sets from the
    // environment ("0,060000" under a German locale). to_chars never looks at the locale.
    if (std::isnan(value))
        return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[400]; // the largest double has 309 integer digits
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

std::string formatMetadataNumber(double value)
{
    std::string fixed = formatFixed6(value);
    if (!std::isfinite(value) || value == 0.0)
        return fixed;
    const std::optional<double> shown = leadingDouble(fixed);
    if (shown && std::abs(*shown - value) <= 1e-6 * std::abs(value))
        return fixed;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

std::optional<double> leadingDouble(const std::string& text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    // One sign only: from_chars takes '-' but not '+'.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '-' || *begin == '+'))
            return std::nullopt;
    }
    double value = 0.0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc())
        return std::nullopt;
    return value;
}

} // namespace Tervane3
