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
    {"frame", "textured_mesh"},
    {"frame", "textured_quad"},
    {"frame_exact", "frame"},
    {"frame_true", "textured_mesh"},
    {"frame_exact_true", "frame_exact"},
    {"frame_focus_drag", "frame_morph_drag"},
    {"frame_1280x1000", "textured_quad_1280x1000"},
    {"startup", "bare_windows"},
    {"rest_cpu", "one_core"},
    {"motion_to_frame", "frame"},
    {"first_picture_jpeg", "vipsthumbnail_jpeg"},
    {"peak_rss_jpeg", "rss_bound_jpeg"},
    {"first_picture_tiff", "vipsthumbnail_tiff"},
    {"peak_rss_tiff", "rss_bound_tiff"},
};

const char* const imageFiles[] = {"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"};

// The figure of that name, or -1 if it was not measured.
double figure(const std::map<std::string, double>& figures, const std::string& name)
{
    const auto found = figures.find(name);
    return found == figures.end() ? -1.0 : found->second;
}

} // namespace

void printRatios(std::map<std::string, double> figures)
{
    figures["one_core"] = 1.0;   // CPU seconds per second of one core kept busy
    for (const char* name : {"startup", "bare_windows", "frame", "frame_exact", "frame_true", "frame_exact_true", "frame_morph_drag", "frame_focus_drag", "textured_mesh",
                             "textured_quad", "motion_to_frame"})
        if (figure(figures, name) >= 0)
            std::printf("%s %.3f ms\n", name, figure(figures, name) * 1e3);

    for (const Ratio& ratio : ratios) {
        const double cost = figure(figures, ratio.cost);
        const double floor = figure(figures, ratio.floor);
        if (cost >= 0 && floor > 0)
            std::printf("ratio %s/%s: %.3f\n", ratio.cost, ratio.floor, cost / floor);
    }

    // One figure for the four images: the worst of them.
    double worst = 0;
    for (const char* file : imageFiles) {
        const double cost = figure(figures, std::string("loadpng/") + file);
        const double floor = figure(figures, std::string("libpng_simplified/") + file);
        if (cost > 0 && floor > 0)
            worst = std::max(worst, cost / floor);
    }
    if (worst > 0)
        std::printf("ratio loadpng/libpng_simplified: %.3f\n", worst);
}
