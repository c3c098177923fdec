// The measurement metadata: the root attributes of an .rtdc file as texts, filed by section,
// plus the polygon filters stored in the file. A plain value, copied freely; needs no lock.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Tervane3 {

// One polygon filter stored in the file as an attribute
// "<section>:<x key>,<y key> polygon points" holding N x 2 floating-point values.
struct MetadataPolygonFilter
{
    std::string xFeature;
    std::string yFeature;
    std::vector<std::pair<double, double>> points;
};

struct Metadata
{
    // Section maps: attribute key (the name without "section:") -> value text.
    std::map<std::string, std::string> experiment;    // "experiment"
    std::map<std::string, std::string> setup;         // "setup"
    std::map<std::string, std::string> imaging;       // "imaging"
    std::map<std::string, std::string> onlineContour; // "online_contour"
    std::map<std::string, std::string> onlineFilter;  // "online_filter"
    std::map<std::string, std::string> offlineFilter; // "offline_filter"
    std::map<std::string, std::string> fluorescence;  // "fluorescence"
    std::map<std::string, std::string> exportInfo;    // "export"

    // Every attribute read, under its full name, whatever its section (or none).
    std::map<std::string, std::string> allEntries;

    // In the order the attributes were read.
    std::vector<MetadataPolygonFilter> polygonFilters;

    // The map of a section name ("online_filter" -> onlineFilter), or nullptr for a name
    // that is none of the eight sections.
    std::map<std::string, std::string>* sectionMap(const std::string& section);
    const std::map<std::string, std::string>* sectionMap(const std::string& section) const;

    // The value of section:key, or fallback when the section or the key is missing.
    std::string value(const std::string& section, const std::string& key,
                      const std::string& fallback = std::string()) const;
};

// A number in the text form of metadata values: fixed notation with six decimals, the form
// of printf's "%f" in the C locale ("0.060000"), whatever the process locale is.
std::string formatFixed6(double value);

// The text of a number stored as a metadata setting: formatFixed6's form, unless six
// decimals lose the number (1.5e-7 would read "0.000000", 0.0601234 "0.060123"); such a
// number keeps six significant digits instead ("1.5e-07", "0.0601234").
std::string formatMetadataNumber(double value);

// The number at the start of a metadata text (leading blanks and tabs and one '+' skipped,
// trailing characters ignored), read the same way whatever the process locale is ("inf"
// and "nan" included). Nothing when the text does not start with a number or the number
// overflows a double.
std::optional<double> leadingDouble(const std::string& text);

} // namespace Tervane3
