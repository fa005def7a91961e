#include "Ratios.h"

#include <algorithm>
#include <cstdio>

namespace {

struct Ratio {
    const char* cost;
    const char* floor;
};

// recompute_direct/recompute is the other way round: the speed-up over the direct evaluation.
const Ratio ratios[] = {
    {"recompute_direct", "recompute"},
    {"frame", "textured_quad"},
    {"frame_1280x1000", "textured_quad_1280x1000"},
    {"frame", "textured_mesh"},
    {"startup", "bare_windows"},
};

const char* const imageFiles[] = {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"};

double figure(const std::map<std::string, double>& seconds, const std::string& name)
{
    const auto found = seconds.find(name);
    return found == seconds.end() ? 0.0 : found->second;
}

} // namespace

void printRatios(const std::map<std::string, double>& secondsPerIteration)
{
    const double startup = figure(secondsPerIteration, "startup");
    const double bare = figure(secondsPerIteration, "bare_windows");
    if (startup > 0 && bare > 0)
        std::printf("startup %.1f ms, bare windows %.1f ms\n", startup * 1e3, bare * 1e3);

    for (const Ratio& ratio : ratios) {
        const double cost = figure(secondsPerIteration, ratio.cost);
        const double floor = figure(secondsPerIteration, ratio.floor);
        if (cost > 0 && floor > 0)
            std::printf("ratio %s/%s: %.3f\n", ratio.cost, ratio.floor, cost / floor);
    }

    // One figure for the four images: the worst of them.
    double worst = 0;
    for (const char* file : imageFiles) {
        const double cost = figure(secondsPerIteration, std::string("loadpng/") + file);
        const double floor = figure(secondsPerIteration, std::string("libpng_simplified/") + file);
        if (cost > 0 && floor > 0)
            worst = std::max(worst, cost / floor);
    }
    if (worst > 0)
        std::printf("ratio loadpng/libpng_simplified: %.3f\n", worst);
}
