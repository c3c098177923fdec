// Channel numbers from feature names, parsed like std::stoi without its exceptions.
#include "calc/FluorescenceChannels.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace Tervane3 {

std::optional<int> leadingInteger(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t firstDigit = i;
    long long value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i] - '0');
        // Beyond the range of int either way: no number (std::stoi would throw).
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
        ++i;
    }
    if (i == firstDigit)
        return std::nullopt;
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

bool isChannelMaximumName(const std::string& name)
{
    return name.size() >= 6 && name.compare(0, 2, "fl") == 0
           && name.compare(name.size() - 4, 4, "_max") == 0
           && name.find("_max_") == std::string::npos;
}

std::vector<int> fluorescenceChannels(const std::vector<std::string>& featureNames)
{
    std::vector<int> channels;
    for (const std::string& name : featureNames) {
        if (!isChannelMaximumName(name))
            continue;
        if (const std::optional<int> channel = leadingInteger(name.substr(2, name.size() - 6)))
            channels.push_back(*channel);
    }
    std::sort(channels.begin(), channels.end());
    return channels;
}

std::string channelFeature(int channel, const char* suffix)
{
    return "fl" + std::to_string(channel) + suffix;
}

} // namespace Tervane3
