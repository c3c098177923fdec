// Trace filters: hand-computed cases, a brute-force reference for the window filters, and the
// closed-form properties of the Savitzky-Golay smoothing.
#include "core/TraceProcessing.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

using namespace Tervane3;

namespace {

using Trace = std::vector<float>;

struct FilterCase
{
    const char* name;
    std::function<void(Trace&)> filter;
    Trace input;
    Trace expected;
};

// The window of sample i, sorted: a plain reference without partial selection.
std::vector<float> sortedWindow(const Trace& t, std::size_t i, int h)
{
    const std::size_t first = i >= static_cast<std::size_t>(h) ? i - h : 0;
    const std::size_t last = std::min(t.size() - 1, i + h);
    std::vector<float> w(t.begin() + first, t.begin() + last + 1);
    std::sort(w.begin(), w.end());
    return w;
}

Trace referenceMedian(const Trace& t, int h)
{
    Trace out(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto w = sortedWindow(t, i, h);
        out[i] = w[w.size() / 2];
    }
    return out;
}

Trace referenceHampel(const Trace& t, int h, float threshold)
{
    Trace out(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        auto w = sortedWindow(t, i, h);
        const float med = w[w.size() / 2];
        for (float& v : w)
            v = std::fabs(v - med);
        std::sort(w.begin(), w.end());
        const float scale = w[w.size() / 2] * 1.4826f;
        out[i] = (scale > 0 && std::fabs(t[i] - med) > threshold * scale) ? med : t[i];
    }
    return out;
}

Trace referenceMean(const Trace& t, int h)
{
    Trace out(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::size_t first = i >= static_cast<std::size_t>(h) ? i - h : 0;
        const std::size_t last = std::min(t.size() - 1, i + h);
        long double sum = 0;
        for (std::size_t k = first; k <= last; ++k)
            sum += t[k];
        out[i] = static_cast<float>(sum / static_cast<long double>(last - first + 1));
    }
    return out;
}

} // namespace

TEST(TraceProcessingTest, HandComputedCases)
{
    const FilterCase cases[] = {
        {"hampel spike", [](Trace& t) { hampelFilter(t, 2, 3.0f); }, {1, 2, 1, 10, 2, 1, 2}, {1, 2, 1, 2, 2, 1, 2}},
        {"hampel zero MAD keeps spike", [](Trace& t) { hampelFilter(t, 2, 3.0f); }, {1, 1, 1, 10, 1, 1, 1}, {1, 1, 1, 10, 1, 1, 1}},
        {"hampel h=0", [](Trace& t) { hampelFilter(t, 0, 3.0f); }, {1, 9, 1}, {1, 9, 1}},
        {"median upper middle at ends", [](Trace& t) { medianFilter(t, 1); }, {1, 5, 2}, {5, 2, 5}},
        {"median h=0", [](Trace& t) { medianFilter(t, 0); }, {3, 1, 2}, {3, 1, 2}},
        {"rolling mean", [](Trace& t) { rollingMeanFilter(t, 1); }, {1, 2, 3, 4}, {1.5f, 2, 3, 3.5f}},
        {"rolling mean h=0", [](Trace& t) { rollingMeanFilter(t, 0); }, {1, 7, 3}, {1, 7, 3}},
        {"savgol too short", [](Trace& t) { savitzkyGolayFilter(t, 3); }, {1, 9, 2, 8, 3, 7}, {1, 9, 2, 8, 3, 7}},
        {"savgol h=1 is identity", [](Trace& t) { savitzkyGolayFilter(t, 1); }, {1, 9, 2, 8, 3}, {1, 9, 2, 8, 3}},
        {"empty hampel", [](Trace& t) { hampelFilter(t, 3, 3.0f); }, {}, {}},
        {"empty median", [](Trace& t) { medianFilter(t, 3); }, {}, {}},
        {"empty mean", [](Trace& t) { rollingMeanFilter(t, 3); }, {}, {}},
        {"empty savgol", [](Trace& t) { savitzkyGolayFilter(t, 0); }, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Trace t = c.input;
        c.filter(t);
        ASSERT_EQ(t.size(), c.expected.size());
        for (std::size_t i = 0; i < t.size(); ++i)
            EXPECT_FLOAT_EQ(t[i], c.expected[i]) << "sample " << i;
    }
}

TEST(TraceProcessingTest, WindowFiltersMatchBruteForceOnNoisyTraces)
{
    // Continuous noise, detector counts (whole numbers, many ties and flat runs) and traces
    // with a negative zero, which take the plain selection.
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(100.0f, 5.0f);
    std::uniform_real_distribution<float> spike(0.0f, 1.0f);
    const std::function<float()> kinds[] = {
        [&] { return noise(rng) + (spike(rng) < 0.05f ? 300.0f : 0.0f); },
        [&] { return std::round(noise(rng) / 4.0f) + (spike(rng) < 0.05f ? 80.0f : 0.0f); },
        [&] { return spike(rng) < 0.3f ? -0.0f : std::round(noise(rng) - 100.0f); },
    };
    for (size_t kind = 0; kind < std::size(kinds); ++kind) {
        for (int h : {1, 2, 5, 11}) {
            for (std::size_t n : {std::size_t(1), std::size_t(4), std::size_t(30), std::size_t(177)}) {
                SCOPED_TRACE("kind=" + std::to_string(kind) + " h=" + std::to_string(h) + " n=" + std::to_string(n));
                Trace t(n);
                for (float& v : t)
                    v = kinds[kind]();
                Trace median = t, hampel = t, mean = t;
                medianFilter(median, h);
                hampelFilter(hampel, h, 3.0f);
                rollingMeanFilter(mean, h);
                EXPECT_EQ(median, referenceMedian(t, h));
                EXPECT_EQ(hampel, referenceHampel(t, h, 3.0f));
                const Trace expectedMean = referenceMean(t, h);
                for (std::size_t i = 0; i < n; ++i)
                    EXPECT_NEAR_REL(mean[i], expectedMean[i], 1e-6);
            }
        }
    }
}

TEST(TraceProcessingTest, SavitzkyGolayUsesQuadraticWeightsAndKeepsEnds)
{
    // An impulse returns the weights (-2, 3, 6, 7, 6, 3, -2) / 21 around it.
    Trace impulse(15, 0.0f);
    impulse[7] = 21.0f;
    savitzkyGolayFilter(impulse, 3);
    const float weights[] = {-2, 3, 6, 7, 6, 3, -2};
    for (int k = -3; k <= 3; ++k)
        EXPECT_NEAR(impulse[7 + k], weights[k + 3], 1e-5) << "offset " << k;
    EXPECT_EQ(impulse[0], 0.0f);

    // A parabola comes back unchanged; the first and last h samples are never touched.
    for (int h : {2, 3, 6}) {
        SCOPED_TRACE("h=" + std::to_string(h));
        Trace parabola(40);
        for (std::size_t i = 0; i < parabola.size(); ++i) {
            const float x = static_cast<float>(i);
            parabola[i] = 0.5f * x * x - 3.0f * x + 7.0f;
        }
        Trace smoothed = parabola;
        savitzkyGolayFilter(smoothed, h);
        for (std::size_t i = 0; i < parabola.size(); ++i)
            EXPECT_NEAR_REL(smoothed[i], parabola[i], 1e-4);
        Trace noisy = parabola;
        noisy[0] += 50.0f;
        noisy[39] -= 50.0f;
        savitzkyGolayFilter(noisy, h);
        EXPECT_EQ(noisy[0], parabola[0] + 50.0f);
        EXPECT_EQ(noisy[39], parabola[39] - 50.0f);
    }
}
