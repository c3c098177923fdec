// The Young's-modulus settings of a dataset in the session file: the object under the key
// "emodulusSettings" of a dataset object, written for every dataset whose modulus was
// computed, so that loading can compute the same column again.
#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include <optional>

namespace Tervane3 {

struct EmodulusSettings;

// "medium", "viscosityModel", "manualViscosity", "temperatureSource", "temperature",
// "channelWidth", "flowRate", "pixelSize", "deformFeature", "pixelationCorrection".
QJsonObject emodulusSettingsToJson(const EmodulusSettings& settings);

// Empty unless the value is an object with every key of a usable value: codes within their
// ranges (medium 0..4, model 0..3, temperature source 0..2), finite numbers (channel width,
// flow rate and pixel size above 0, the manual viscosity not below 0), a deformation column
// name. Settings that could not compute a modulus are as good as none.
std::optional<EmodulusSettings> emodulusSettingsFromJson(const QJsonValue& value);

} // namespace Tervane3
