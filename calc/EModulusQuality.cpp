// The Young's-modulus quality assessment: where a set of events falls relative to the
// look-up table, how close the mapped events sit to the table's lower deformation edge,
// how strongly the modulus responds to the spread of the deformation, and how much the
// edge events move the median modulus. Runs on the GUI thread.
#include "calc/EModulus.h"

#include "core/RTDCReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>

namespace Tervane3 {

namespace {

constexpr int profileBins = 200;

// The element at position n / 2 of the sorted values (the upper middle one for even n, no
// averaging); 0 for no values.
double upperMedian(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

int profileBin(double normalisedArea)
{
    const double bin = std::trunc(normalisedArea * profileBins);
    if (!(bin >= 0.0))
        return 0;
    return bin > profileBins - 1 ? profileBins - 1 : static_cast<int>(bin);
}

// The smallest table deformation over each of 200 bins of the normalised area axis; empty
// bins take the value of their left, then of their right neighbour.
std::array<double, profileBins> lowerBoundaryProfile(const LutTriangulation& t)
{
    std::array<double, profileBins> profile;
    profile.fill(t.deformMax);
    for (size_t i = 0; i < t.x.size(); ++i) {
        const int k = profileBin(t.x[i]);
        profile[k] = std::min(profile[k], t.y[i] * t.deformRange + t.deformMin);
    }
    for (int k = 1; k < profileBins; ++k) {
        if (profile[k] >= t.deformMax)
            profile[k] = profile[k - 1];
    }
    for (int k = profileBins - 2; k >= 0; --k) {
        if (profile[k] >= t.deformMax)
            profile[k] = profile[k + 1];
    }
    return profile;
}

} // namespace

EModQualityReport EModulus::assessQuality(RTDCReader* reader, const EModulusParams& params,
                                          const std::vector<int>& eventIndices)
{
    if (!reader || !reader->hasFeature("area_um") || !reader->hasFeature("deform"))
        return {};
    return assessQuality(reader->getFeature("area_um"), reader->getFeature("deform"), params,
                         eventIndices);
}

EModQualityReport EModulus::assessQuality(const std::vector<double>& area,
                                          const std::vector<double>& deform,
                                          const EModulusParams& params,
                                          const std::vector<int>& eventIndices)
{
    EModQualityReport result;
    const std::string problem = params.measurementProblem(true);
    if (!problem.empty()) {
        std::cerr << ("EModulus: " + problem + "; no quality assessment\n");
        return result;
    }
    const std::string warning = params.temperatureWarning(params.effectiveTemperature());
    if (!params.viscosityUsable(params.effectiveTemperature())) {
        std::cerr << ("EModulus: " + warning + "; no quality assessment\n");
        return result;
    }
    const Tables table = tables(params.lutId);
    if (!table.triangulation)
        return result;
    if (!warning.empty())
        std::cerr << ("EModulus: " + warning + "\n");

    const LutData& lut = *table.data;
    const LutTriangulation& t = *table.triangulation;
    const double s = lut.channelWidth / params.channelWidth;
    const double areaScale = s * s;
    const double eta = params.viscosity(params.effectiveTemperature());
    const double modulusScale =
        s * s * s * ((params.flowRate / lut.flowRate) * (eta / lut.viscosity));
    const std::array<double, profileBins> profile = lowerBoundaryProfile(t);
    const double deformMid = (t.deformMin + t.deformMax) * 0.5;
    const double h = 0.001 * t.deformRange;

    std::vector<double> moduli;
    std::vector<double> interiorModuli;
    std::vector<double> mappedDeforms;
    std::vector<double> sensitivities;
    result.total = static_cast<int>(eventIndices.size());
    for (int index : eventIndices) {
        if (index < 0 || static_cast<size_t>(index) >= area.size()
            || static_cast<size_t>(index) >= deform.size())
            continue;
        const double a = area[static_cast<size_t>(index)];
        const double d = correctPixelation(deform[static_cast<size_t>(index)], a, params.pixelSize);
        // An event without a finite area or deformation cannot be placed on either side of
        // the table; like an index beyond the columns it counts in the total only.
        if (!std::isfinite(a) || !std::isfinite(d))
            continue;
        const double u = a * areaScale;
        if (u < t.areaMin) {
            ++result.areaTooSmall;
            continue;
        }
        if (u > t.areaMax) {
            ++result.areaTooLarge;
            continue;
        }
        if (d < t.deformMin) {
            ++result.deformTooLow;
            continue;
        }
        if (d > t.deformMax) {
            ++result.deformTooHigh;
            continue;
        }
        const double tableModulus = t.interpolate(u, d);
        if (std::isnan(tableModulus)) {
            // Inside the table's box but outside its triangles: above or below the table?
            if (!std::isnan(t.interpolate(u, deformMid))) {
                if (d > deformMid)
                    ++result.deformTooHigh;
                else
                    ++result.deformTooLow;
            } else if (!std::isnan(t.interpolate(u, t.deformMin + 0.05 * t.deformRange))) {
                ++result.deformTooHigh;
            } else {
                ++result.deformTooLow;
            }
            continue;
        }

        const double modulus = tableModulus * modulusScale;
        ++result.mapped;
        moduli.push_back(modulus);
        mappedDeforms.push_back(d);

        const int k = profileBin((u - t.areaMin) / t.areaRange);
        const double diff = d - profile[k];
        if (diff >= 0.0 && diff < 0.1 * t.deformRange)
            ++result.nearEdge;
        else
            interiorModuli.push_back(modulus);

        const double above = t.interpolate(u, d + h);
        const double below = t.interpolate(u, d - h);
        if (!std::isnan(above) && !std::isnan(below))
            sensitivities.push_back(std::fabs((above - below) / (2.0 * h)) * modulusScale
                                    / std::max(1e-10, modulus));
    }

    if (result.mapped == 0) {
        result.valid = true;
        return result;
    }

    const double centre = upperMedian(mappedDeforms);
    std::vector<double> deviations;
    deviations.reserve(mappedDeforms.size());
    for (double d : mappedDeforms)
        deviations.push_back(std::fabs(d - centre));
    const double spread = 1.4826 * upperMedian(std::move(deviations));
    result.deformationSpread = spread;
    result.sensitivityCount = static_cast<int>(sensitivities.size());
    for (double& sensitivity : sensitivities) {
        sensitivity *= spread;
        if (sensitivity > 1.0)
            ++result.highSensitivityCount;
    }
    result.medianSensitivity = upperMedian(std::move(sensitivities));

    result.medianEmodulusAll = upperMedian(std::move(moduli));
    result.medianEmodulusInterior = upperMedian(std::move(interiorModuli));
    result.bias = result.medianEmodulusInterior > 1e-10
                      ? std::fabs(result.medianEmodulusAll - result.medianEmodulusInterior)
                            / result.medianEmodulusInterior
                      : 0.0;
    result.valid = true;
    return result;
}

} // namespace Tervane3
