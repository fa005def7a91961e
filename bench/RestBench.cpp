// The viewer left alone, and the viewer answering a drag, measured on the real program: a process
// of its own with the swap probe preloaded, on the bench's display, driven through XTest.
//
// rest_cpu: the CPU seconds of all its threads (from /proc) per wall-clock second, over 5 s
// without input once start-up has settled. motion_to_frame: the time from a right-button motion
// event reaching the viewer (GLUT calls its motion callback) to the end of the swap that shows the
// angle it set.
#include "ProbedProgram.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <thread>

namespace {

// The viewer, started and come to rest: its first frames shown, and then a second in which it
// took no CPU.
std::unique_ptr<ProbedProgram> viewerAtRest()
{
    auto viewer = std::make_unique<ProbedProgram>(VIEWER_PATH);
    if (!viewer->firstFramesOfBothWindows())
        return nullptr;
    for (int second = 0; second < 10; ++second) {
        const double before = viewer->cpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (viewer->cpuSeconds() == before)
            return viewer;
    }
    return nullptr;
}

// Which of the viewer's two windows is the main window (the other is the panel). The bench's own
// viewer, opened by other benchmarks of this process, has windows of the same titles.
bool isMainWindow(Display* x, Window window)
{
    char* name = nullptr;
    const bool main = XFetchName(x, window, &name) && std::strcmp(name, "Complex Logarithmic Mapping") == 0;
    XFree(name);
    return main;
}

void restCpu(benchmark::State& state)
{
    const auto viewer = viewerAtRest();
    if (!viewer) {
        state.SkipWithError("the viewer did not come to rest");
        return;
    }
    for (auto _ : state) {
        const double cpu = viewer->cpuSeconds(), wall = monotonicSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        state.counters["rest_cpu"] = (viewer->cpuSeconds() - cpu) / (monotonicSeconds() - wall);
    }
}
BENCHMARK(restCpu)->Name("rest_cpu")->Iterations(1)->Unit(benchmark::kSecond);

void motionToFrame(benchmark::State& state)
{
    const auto viewer = viewerAtRest();
    if (!viewer) {
        state.SkipWithError("the viewer did not come to rest");
        return;
    }
    Display* x = XOpenDisplay(nullptr);
    const bool firstIsMain = isMainWindow(x, viewer->windows[0]);
    const Window main = viewer->windows[firstIsMain ? 0 : 1], panel = viewer->windows[firstIsMain ? 1 : 0];
    // The panel opens on top of the main window, at its corner; the drag happens beside it.
    XMoveWindow(x, panel, 1400, 0);
    XTestFakeMotionEvent(x, -1, 400, 200, 0);
    XTestFakeButtonEvent(x, 3, True, 0);
    XSync(x, False);
    while (viewer->next(0.5)) {   // the frames that moving the panel asked for
    }
    int y = 200;
    for (auto _ : state) {
        y = y == 200 ? 240 : 200;   // down closes the angle by 0.4, up opens it again
        XTestFakeMotionEvent(x, -1, 400, y, 0);
        XFlush(x);
        std::optional<ProbeLine> motion, swap;
        while ((motion = viewer->next(5)) && motion->kind != "motion") {
        }
        while (motion && (swap = viewer->next(5)) && !(swap->kind == "swap" && swap->drawable == main)) {
        }
        if (!swap) {
            state.SkipWithError("no frame followed the motion");
            break;
        }
        state.SetIterationTime(swap->seconds - motion->seconds);
    }
    XTestFakeButtonEvent(x, 3, False, 0);
    XCloseDisplay(x);
}
BENCHMARK(motionToFrame)->Name("motion_to_frame")->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);

} // namespace
