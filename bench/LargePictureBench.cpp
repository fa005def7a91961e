// The first picture of a file of about a gigapixel, as a JPEG and as a tiled pyramidal TIFF: the
// time from the viewer's start to the end of the swap that shows it, against vipsthumbnail making
// the same 8192-pixel copy of the file; and the viewer's peak resident memory by then, against
// twice that copy's bytes and 300 MiB. The pictures are made once, in large/ of the bench's folder:
// a 4096-pixel tile of the galaxy with noise, repeated 8 x 8 times.
#include "ProbedProgram.h"

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int side = 32768, shrunkSide = 8192;

// The large picture of that name, made if it is not there yet; empty if it cannot be.
std::string largePicture(const std::string& name, const std::string& options)
{
    const std::string path = "large/" + name;
    if (std::filesystem::exists(path))
        return path;
    std::filesystem::create_directory("large");
    const std::string tile = "large/tile.png";
    if (!std::filesystem::exists(tile) && std::system(("convert galaxie.png -resize 4096x4096 -attenuate 0.4 +noise Gaussian " + tile).c_str()) != 0)
        return "";
    // Under another name until it is whole.
    const std::string made = "large/making-" + name;
    if (std::system(("vips replicate " + tile + " '" + made + options + "' " + std::to_string(side / 4096) + " " + std::to_string(side / 4096)).c_str()) != 0)
        return "";
    std::filesystem::rename(made, path);
    return path;
}

// Seconds from the viewer's start to the first frame of the main window that shows the picture
// (the window is white until then), and its peak resident bytes then; nothing if it never showed
// it. The main window is the one that swaps first, being made first.
std::optional<std::pair<double, double>> firstPicture(const std::string& file)
{
    ProbedProgram viewer(VIEWER_PATH, {file});
    const auto start = viewer.next();
    unsigned long mainWindow = 0;
    while (const auto line = viewer.next(120))
        if (line->kind == "swap" && (mainWindow = mainWindow ? mainWindow : line->drawable) == line->drawable && line->painted)
            return std::pair{line->seconds - start->seconds, viewer.peakResidentBytes()};
    return std::nullopt;
}

double secondsOf(const std::string& command)
{
    const double started = monotonicSeconds();
    return std::system(command.c_str()) == 0 ? monotonicSeconds() - started : -1;
}

void largePicture(benchmark::State& state, const std::string& kind, const std::string& name, const std::string& options)
{
    const std::string file = largePicture(name, options);
    if (file.empty()) {
        state.SkipWithError("the large picture could not be made");
        return;
    }
    double best = 1e9, peak = 1e18, floor = 1e9;
    for (auto _ : state) {
        const auto shown = firstPicture(file);
        const double thumbnail = secondsOf("vipsthumbnail " + file + " --size " + std::to_string(shrunkSide) + " -o /tmp/clv-bench-%s.jpg");
        if (!shown || thumbnail < 0) {
            state.SkipWithError("the viewer did not show the picture, or vipsthumbnail failed");
            return;
        }
        best = std::min(best, shown->first);
        peak = std::min(peak, shown->second);
        floor = std::min(floor, thumbnail);
    }
    state.counters["first_picture_" + kind] = best;
    state.counters["vipsthumbnail_" + kind] = floor;
    state.counters["peak_rss_" + kind] = peak;
    state.counters["rss_bound_" + kind] = 2.0 * shrunkSide * shrunkSide * 3 + 300.0 * 1024 * 1024;
}

BENCHMARK_CAPTURE(largePicture, jpeg, "jpeg", "picture.jpg", "[Q=85]")->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(largePicture, tiff, "tiff", "picture.tif", "[tile,tile-width=256,tile-height=256,pyramid,compression=jpeg,Q=85]")
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

} // namespace
