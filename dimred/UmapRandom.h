// The random numbers of the UMAP fit and transform, made from the 64-bit Mersenne Twister
// by fixed arithmetic (never through the standard distributions, whose output is up to the
// library): uniform doubles from the top 53 bits, indices by modulo, normal deviates in
// pairs by the polar method.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

namespace Tervane3 {

class UmapRandom
{
public:
    explicit UmapRandom(uint64_t seed) : engine(seed) {}

    uint64_t next() { return engine(); }
    // [0, 1)
    double uniform() { return static_cast<double>(engine() >> 11) * 0x1.0p-53; }
    // [0, n) for n > 0
    uint64_t index(uint64_t n) { return engine() % n; }
    // Standard normal; the second deviate of a pair is kept for the next call.
    double normal()
    {
        if (haveSpare) {
            haveSpare = false;
            return spare;
        }
        for (;;) {
            const double u1 = 2.0 * uniform() - 1.0;
            const double u2 = 2.0 * uniform() - 1.0;
            const double s = u1 * u1 + u2 * u2;
            if (s < 1.0 && u1 != 0.0 && u2 != 0.0) {
                const double f = std::sqrt(-2.0 * std::log(s) / s);
                spare = u2 * f;
                haveSpare = true;
                return u1 * f;
            }
        }
    }
    double normal(double mean, double sd) { return mean + sd * normal(); }

private:
    std::mt19937_64 engine;
    bool haveSpare = false;
    double spare = 0.0;
};

} // namespace Tervane3
