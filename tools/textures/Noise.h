// Smooth deterministic noise: value noise on an integer lattice, and its fractal sum.
#pragma once

#include <cmath>
#include <cstdint>

inline double latticeValue(std::int64_t x, std::int64_t y, std::uint64_t seed)
{
    std::uint64_t h = seed ^ (std::uint64_t(x) * 0x9E3779B97F4A7C15ull) ^ (std::uint64_t(y) * 0xC2B2AE3D27D4EB4Full);
    h = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 29)) * 0x94D049BB133111EBull;
    h ^= h >> 32;
    return double(h & 0xFFFFFF) / double(0xFFFFFF) * 2.0 - 1.0;
}

// In [-1, 1], smooth, with features about one unit apart.
inline double valueNoise(double x, double y, std::uint64_t seed)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = std::int64_t(fx), iy = std::int64_t(fy);
    auto smooth = [](double t) { return t * t * (3.0 - 2.0 * t); };
    const double tx = smooth(x - fx), ty = smooth(y - fy);
    const double top = latticeValue(ix, iy, seed) * (1 - tx) + latticeValue(ix + 1, iy, seed) * tx;
    const double bottom = latticeValue(ix, iy + 1, seed) * (1 - tx) + latticeValue(ix + 1, iy + 1, seed) * tx;
    return top * (1 - ty) + bottom * ty;
}

// Value noise in three dimensions, for patterns that must wrap around a circle without a seam.
inline double valueNoise(double x, double y, double z, std::uint64_t seed)
{
    const double fz = std::floor(z);
    const double tz = (z - fz) * (z - fz) * (3.0 - 2.0 * (z - fz));
    const std::uint64_t layer = std::uint64_t(std::int64_t(fz)) * 0xD6E8FEB86659FD93ull;
    return valueNoise(x, y, seed ^ layer) * (1 - tz) + valueNoise(x, y, seed ^ (layer + 0xD6E8FEB86659FD93ull)) * tz;
}

// Octaves of value noise, each twice as fine and half as strong; roughly in [-1, 1].
inline double fractalNoise(double x, double y, int octaves, std::uint64_t seed)
{
    double sum = 0, amplitude = 0.5;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += amplitude * valueNoise(x, y, seed + std::uint64_t(octave) * 7919);
        x *= 2.0;
        y *= 2.0;
        amplitude *= 0.5;
    }
    return sum;
}
