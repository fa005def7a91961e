// detail_bench FILE NAME RSS_BOUND_MIB: the detail of a picture deeper than one texture, measured
// in the viewer itself, run as main runs it with FILE, at the smallest angle with exact texturing.
// Prints the figures, and a line "ratio NAME: VALUE" for each cost over its floor:
//
//   detail_move_NAME/detail_floor_NAME: from a jump of the focus to the frame that shows the
//     file's own pixels at the new focus (every level's window in), against libvips reading and
//     shrinking windows of the same levels and sizes outside the viewer (the same pyramid, one
//     after the other, on this thread), both at fresh places, taking turns;
//   frame_detail_NAME/frame_exact_fit_NAME: a frame with the whole clipmap in, against an exact
//     frame of a picture that fits one texture: the picture's own shrunk copy drawn as one, its
//     detail unwanted, the two taking turns in short runs;
//   frame_streaming_NAME/frame_detail_NAME: a frame while windows stream in after a jump, against a
//     frame at rest;
//   peak_rss_NAME/rss_bound_NAME: the process's peak resident memory, against the bound given.
// For a pyramid of tiles, also:
//   deepest_NAME/tile_decode_NAME: from a jump of the focus to the frame that shows the deepest
//     level's window at the new focus, against libvips decoding the tiles of that window outside
//     the viewer (a pyramid freshly opened, on this thread; a served one fetched over as many
//     connections, with no cache);
//   first_picture_NAME/copy_tiles_NAME: from the start to the first frame of the picture, against
//     decoding the tiles of its copy the same way.
// It also states the most that libvips spilled to disk, in the viewer's own temporary folder.
#include "Callbacks.h"
#include "Clipmap.h"
#include "JumpPlaces.h"
#include "Pyramid.h"
#include "ServedPyramid.h"
#include "Startup.h"
#include "ViewerState.h"

#include <GL/freeglut.h>
#include <GL/glui.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The main loop as glutMainLoop runs it (events, timers, redraws, the idle pass), until `done`;
// the bench ends if that takes more than ten minutes.
template <class Done> void runUntil(Done done)
{
    const Clock::time_point start = Clock::now();
    while (!done()) {
        if (secondsSince(start) > 600) {
            std::fprintf(stderr, "detail_bench: the viewer never got there\n");
            std::exit(1);
        }
        glutMainLoopEvent();
        GLUI_Master.run_idle_pass_if_asked();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    glutMainLoopEvent();   // the frame that shows it
}

// One frame as a drag draws it, the angle moved by a step and back: its seconds.
double frame()
{
    static int step = 0;
    viewerState->morphAngle = float(0.01 + 0.02 * (++step % 2));
    const Clock::time_point start = Clock::now();
    onIdle();
    onDisplay();
    glFinish();
    return secondsSince(start);
}

// A frame with the detail and without, each the best of twenty short runs, taking turns, so that
// the rest of the machine disturbs both alike.
std::pair<double, double> frames(Picture& picture)
{
    double best[2] = {1e9, 1e9};
    for (int run = 0; run < 40; ++run) {
        picture.showDetail(run % 2 == 0);
        frame();   // the first frame of a turn pays for the switch
        double seconds = 0;
        for (int i = 0; i < 10; ++i)
            seconds += frame();
        best[run % 2] = std::min(best[run % 2], seconds / 10);
    }
    picture.showDetail(true);
    return {best[0], best[1]};
}

double peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string field; status >> field;)
        if (field == "VMHWM:" || field == "VmHWM:") {
            double kibibytes = 0;
            status >> kibibytes;
            return kibibytes * 1024;
        }
    return 0;
}

// The size of the files in a folder and under it.
std::uintmax_t folderBytes(const std::filesystem::path& folder)
{
    std::uintmax_t bytes = 0;
    std::error_code ignored;
    for (auto entry = std::filesystem::recursive_directory_iterator(folder, ignored); entry != std::filesystem::recursive_directory_iterator();
         entry.increment(ignored))
        if (entry->is_regular_file(ignored))
            bytes += entry->file_size(ignored);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: detail_bench FILE NAME RSS_BOUND_MIB\n");
        return 2;
    }
    const std::string file = argv[1], name = argv[2];
    const double rssBound = std::stod(argv[3]) * 1024 * 1024;
    std::string program = "detail_bench";
    std::vector<char*> arguments{program.data(), argv[1], nullptr};
    int count = 2;
    startViewer(&count, arguments.data());
    ViewerState& viewer = *viewerState;
    TextureCatalogue& catalogue = *viewer.grid->catalogue;

    // What libvips spills, watched while the bench runs.
    std::atomic<bool> watching{true};
    std::atomic<std::uintmax_t> spilled{0};
    const std::filesystem::path temporary = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::thread watcher([&] {
        while (watching) {
            spilled = std::max<std::uintmax_t>(spilled, folderBytes(temporary));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    const Clock::time_point opened = Clock::now();
    runUntil([&] { return catalogue.picture() != nullptr; });
    const double firstShown = secondsSince(opened);
    runUntil([&] { return catalogue.picture() && catalogue.picture()->detail() && catalogue.picture()->detailSettled(); });
    const double allIn = secondsSince(opened);
    Picture& picture = *catalogue.picture();
    const Clipmap& detail = *picture.detail();
    const auto [atRest, exactFit] = frames(picture);

    // A pyramid's tiles decoded outside the viewer: `area` of `level` read from the pyramid opened
    // afresh, nothing of it decoded before; its seconds.
    const bool tiled = isPyramid(file);
    auto decodedFresh = [&](int level, const PixelArea& area) {
        const Clock::time_point start = Clock::now();
        std::string whyNot, damage, label;
        // A served one through a fetcher of its own, as many connections as the viewer's, no cache.
        const std::shared_ptr<const TiledLevels> fresh =
            isServedPyramid(file) ? openServedPyramid(file, std::make_shared<HttpFetcher>(FetchOptions{}), label, whyNot) : openPyramid(file, label, whyNot);
        std::vector<unsigned char> pixels(std::size_t(area.width) * area.height * 3);
        if (!fresh || !fresh->read(level, area, pixels.data(), whyNot, damage)) {
            std::fprintf(stderr, "detail_bench: %s\n", whyNot.c_str());
            std::exit(1);
        }
        return secondsSince(start);
    };
    const PictureDepth& depth = *picture.depth();
    const double copyTiles = tiled ? decodedFresh(depth.levels, {0, 0, depth.copy.width, depth.copy.height}) : 0;

    // Jumps to fresh places, the floor and the viewer taking turns.
    const auto& places = jumpPlaces;
    double moving = 0, floor = 0, streaming = 0, deepest = 0, tileDecode = 0;
    int streamingFrames = 0;
    // The window of `level` centred on `place`, within the level, as the clipmap reads it.
    const auto windowAt = [&](std::size_t level, std::complex<double> place) {
        const ImageSize size = detail.levels()[level].size;
        const std::uint32_t side = detail.windowSide(), width = std::min(side, size.width), height = std::min(side, size.height);
        const auto at = [&](double part, std::uint32_t length, std::uint32_t extent) {
            return std::uint32_t(std::clamp((part + 1) / 2 * length - extent / 2.0, 0.0, double(length - extent)));
        };
        return PixelArea{at(place.real(), size.width, width), at(place.imag(), size.height, height), width, height};
    };
    for (std::size_t jump = 0; jump < std::size(places); jump += 2) {
        const Clock::time_point read = Clock::now();
        for (std::size_t level = 0; level < detail.levels().size(); ++level) {
            const PixelArea window = windowAt(level, places[jump]);
            std::vector<unsigned char> pixels(std::size_t(window.width) * window.height * 3);
            std::string whyNot, damage;
            detail.pyramid().read(int(level), window, pixels.data(), whyNot, damage);
        }
        floor += secondsSince(read);
        if (tiled)
            tileDecode += decodedFresh(0, windowAt(0, places[jump + 1]));

        // As a click in the main window moves it: the idle pass that follows asks for the windows.
        viewer.setFocus(places[jump + 1]);
        const Clock::time_point moved = Clock::now();
        GLUI_Master.post_idle_pass();
        GLUI_Master.run_idle_pass_if_asked();
        double deepestIn = 0;
        runUntil([&] {
            if (deepestIn == 0 && detail.levelShown(0))
                deepestIn = secondsSince(moved);
            return picture.detailSettled();
        });
        moving += secondsSince(moved);
        deepest += deepestIn;

        // Once more away and back, drawn as a drag draws while the windows stream in.
        viewer.setFocus(places[jump]);
        do {
            streaming += frame();
            ++streamingFrames;
            // The timer's passes, between the drag's frames.
            glutMainLoopEvent();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (!picture.detailSettled());
        runUntil([&] { return picture.detailSettled(); });
    }
    watching = false;
    watcher.join();

    const double jumps = double(std::size(places) / 2);
    std::printf("%s: all levels in %.3f s from the start; a jump %.1f ms, its floor %.1f ms; frames %.2f ms at rest, %.2f ms streaming, "
                "%.2f ms for its copy alone; peak RSS %.0f MiB; libvips spilled %.0f MiB to disk\n",
                file.c_str(), allIn, moving / jumps * 1e3, floor / jumps * 1e3, atRest * 1e3, streaming / std::max(streamingFrames, 1) * 1e3,
                exactFit * 1e3, peakResidentBytes() / 1048576, double(spilled) / 1048576);
    std::printf("ratio detail_move_%s/detail_floor_%s: %.3f\n", name.c_str(), name.c_str(), moving / floor);
    std::printf("ratio frame_detail_%s/frame_exact_fit_%s: %.3f\n", name.c_str(), name.c_str(), atRest / exactFit);
    std::printf("ratio frame_streaming_%s/frame_detail_%s: %.3f\n", name.c_str(), name.c_str(), streaming / std::max(streamingFrames, 1) / atRest);
    std::printf("ratio peak_rss_%s/rss_bound_%s: %.3f\n", name.c_str(), name.c_str(), peakResidentBytes() / rssBound);
    if (tiled) {
        std::printf("%s: %d levels to %u x %u; its deepest pixels at a new focus in %.1f ms, their tiles decoded in %.1f ms; its first picture in %.3f s, "
                    "the tiles of its copy decoded in %.3f s\n",
                    file.c_str(), depth.levels, depth.full.width, depth.full.height, deepest / jumps * 1e3, tileDecode / jumps * 1e3, firstShown, copyTiles);
        std::printf("ratio deepest_%s/tile_decode_%s: %.3f\n", name.c_str(), name.c_str(), deepest / tileDecode);
        // For scripts/bench, which sets figures of different runs against each other.
        std::printf("figure deepest_%s: %.6f\n", name.c_str(), deepest / jumps);
        std::printf("ratio first_picture_%s/copy_tiles_%s: %.3f\n", name.c_str(), name.c_str(), firstShown / copyTiles);
    }
    std::fflush(stdout);
    std::exit(0);   // as Esc ends the viewer, its workers with it
}
