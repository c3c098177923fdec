// A tiny measurement for the per-event calculation requests: two fluorescence channels with a
// triangle peak at sample 30 of 60 (heights 100 and 200), and a disc in every 20 x 30 image
// and mask; each of traces, images and masks can be left out.
#pragma once

#include "support/RtdcFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace Tervane3::Test {

struct PerEventContent
{
    bool traces = true;
    bool images = true;
    bool masks = true;
};

constexpr hsize_t perEventSamples = 60;
constexpr hsize_t perEventRows = 20;
constexpr hsize_t perEventCols = 30;

inline void writePerEventMeasurement(const std::string& path, const PerEventContent& content, std::size_t events)
{
    RtdcFixture file(path);
    file.addColumn("area_um", std::vector<double>(events, 30.0));
    file.addColumn("deform", std::vector<double>(events, 0.03));
    for (int c = 1; c <= 2; ++c) {
        const std::string fl = "fl" + std::to_string(c);
        file.addColumn(fl + "_max", std::vector<double>(events, 100.0 * c));
        file.addColumn(fl + "_pos", std::vector<double>(events, 31.0));
        if (content.traces) {
            std::vector<std::int16_t> trace;
            for (std::size_t i = 0; i < events; ++i)
                for (hsize_t k = 0; k < perEventSamples; ++k)
                    trace.push_back(static_cast<std::int16_t>(
                        std::max(0.0, 100.0 * c - 20.0 * c * std::fabs(static_cast<double>(k) - 30.0))));
            file.addTrace(fl + "_raw", trace, events, perEventSamples);
        }
    }
    std::vector<std::uint8_t> image;
    std::vector<std::uint8_t> mask;
    for (std::size_t i = 0; i < events; ++i) {
        for (hsize_t r = 0; r < perEventRows; ++r) {
            for (hsize_t c = 0; c < perEventCols; ++c) {
                const bool inside = std::hypot(double(r) - 10.0, double(c) - 15.0) <= 6.0 + double(i % 2);
                mask.push_back(inside ? 1 : 0);
                image.push_back(static_cast<std::uint8_t>(40 + (r * 7 + c * 3 + i) % 100));
            }
        }
    }
    if (content.images)
        file.addFrames("image", image, events, perEventRows, perEventCols);
    if (content.masks)
        file.addFrames("mask", mask, events, perEventRows, perEventCols);
    file.addStringAttribute("fluorescence:sample rate", "1000000");
}

} // namespace Tervane3::Test
