// The fluorescence channels of a measurement: every feature "fl<N>_max" names channel N.
// One parser for the channel numbers of feature names and metadata keys, so the dock, the
// compensation and the refinement agree on which channels a dataset has.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Tervane3 {

// The integer at the start of text, read the way std::stoi reads it: leading blanks, an
// optional sign, then at least one digit; whatever follows the digits is ignored. Nothing
// when there is no digit or the value lies outside the range of int.
std::optional<int> leadingInteger(const std::string& text);

// True for "fl<N>_max" names: at least 6 characters, "fl" first, "_max" last and "_max_"
// nowhere (so "fl1_max_ctc" and "fl1_max_rf" are no channels).
bool isChannelMaximumName(const std::string& name);

// The channel numbers of the names that are channel maxima and whose middle part holds a
// number, ascending by value (fl10 after fl2); duplicates stay.
std::vector<int> fluorescenceChannels(const std::vector<std::string>& featureNames);

// "fl<N>" + suffix, N in decimal with a minus sign when negative.
std::string channelFeature(int channel, const char* suffix);

} // namespace Tervane3
