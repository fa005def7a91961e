// A small deterministic random source (SplitMix64). The standard distributions may differ between
// library versions, so the generator derives every value from the raw bits itself: the same seed
// draws the same images everywhere.
#pragma once

#include <cmath>
#include <cstdint>

class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    int below(int count) { return int(uniform() * count); }

    // Standard normal, by Box-Muller.
    double normal()
    {
        const double u = 1.0 - uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * uniform());
    }

private:
    std::uint64_t state;
};
