// mandelbrot_pyramid FOLDER: a picture of any depth for the README, as an XYZ folder of PNG tiles
// 256 pixels square: the Mandelbrot set over the square from -2.25 - 1.5i to 0.75 + 1.5i, 2^26
// pixels a side (zoom 0 to 18). Whole down to zoom 3; below that, as deep pyramids are, only the
// tiles within two of a point in its "seahorse valley", where it folds into spirals at every
// scale. Drawn on every core, each pixel the escape time of its centre, smoothed and coloured.
#include "PngWriter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int tileSide = 256, deepest = 18, wholeTo = 3, maxIterations = 2000;
constexpr double left = -2.25, top = 1.5, width = 3.0;
const std::complex<double> valley(-0.743643887037151, 0.131825904205330);

struct Tile {
    int zoom;
    long x, y;
};

std::vector<std::uint8_t> drawn(const Tile& tile)
{
    const double pixel = width / (double(tileSide) * double(1L << tile.zoom));
    std::vector<std::uint8_t> rgb;
    for (int row = 0; row < tileSide; ++row)
        for (int column = 0; column < tileSide; ++column) {
            const std::complex<double> c(left + (double(tile.x * tileSide + column) + 0.5) * pixel, top - (double(tile.y * tileSide + row) + 0.5) * pixel);
            std::complex<double> z = 0;
            int n = 0;
            while (n < maxIterations && std::norm(z) < 256.0) {
                z = z * z + c;
                ++n;
            }
            if (n == maxIterations) {
                rgb.insert(rgb.end(), {0, 0, 0});
                continue;
            }
            // The escape time, smoothed, on a cycle of colours.
            const double t = 0.05 * (n + 1 - std::log2(std::log2(std::norm(z)) / 2));
            auto channel = [&](double phase) { return std::uint8_t(std::lround(127.5 + 127.5 * std::cos(t + phase))); };
            rgb.insert(rgb.end(), {channel(0.0), channel(0.6), channel(1.0)});
        }
    return rgb;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mandelbrot_pyramid FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::vector<Tile> tiles;
    for (int zoom = 0; zoom <= deepest; ++zoom) {
        const long count = 1L << zoom;
        std::set<std::pair<long, long>> places;
        for (long x = 0; zoom <= wholeTo && x < count; ++x)
            for (long y = 0; y < count; ++y)
                places.insert({x, y});
        const long x = long((valley.real() - left) / width * count), y = long((top - valley.imag()) / width * count);
        for (long dx = -2; dx <= 2; ++dx)
            for (long dy = -2; dy <= 2; ++dy)
                if (x + dx >= 0 && y + dy >= 0 && x + dx < count && y + dy < count)
                    places.insert({x + dx, y + dy});
        for (const auto& [column, row] : places)
            tiles.push_back({zoom, column, row});
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (std::size_t index; (index = next++) < tiles.size();) {
            const Tile& tile = tiles[index];
            const std::filesystem::path file = folder / std::to_string(tile.zoom) / std::to_string(tile.x) / (std::to_string(tile.y) + ".png");
            std::error_code ignored;
            std::filesystem::create_directories(file.parent_path(), ignored);
            if (!writePng(file.string(), tileSide, tileSide, drawn(tile).data()).empty())
                failed = true;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned thread = 1; thread < std::max(1u, std::thread::hardware_concurrency()); ++thread)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    return failed ? 1 : 0;
}
