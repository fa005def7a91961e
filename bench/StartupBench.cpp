// The viewer's start-up, from just before main to both windows' first frames finished, against a
// program that opens the same two windows and finishes one empty frame in each. Each run is a
// fresh process, timed by the swap probe and ended once both windows have shown a frame.
#include "ProbedProgram.h"

#include <benchmark/benchmark.h>

namespace {

// Seconds to the program's first frames, or nothing if it never showed both.
std::optional<double> firstFrames(const char* program)
{
    ProbedProgram run(program);
    const auto start = run.next();
    const auto both = run.firstFramesOfBothWindows();
    if (!start || !both)
        return std::nullopt;
    return *both - start->seconds;
}

void timeFirstFrames(benchmark::State& state, const char* program)
{
    // Untimed first runs, so that neither program pays alone for caches the other found warm.
    for (int i = 0; i < 2; ++i)
        firstFrames(program);
    for (auto _ : state) {
        const auto seconds = firstFrames(program);
        if (!seconds) {
            state.SkipWithError("the program ended before both windows showed a frame");
            break;
        }
        state.SetIterationTime(*seconds);
    }
}

BENCHMARK_CAPTURE(timeFirstFrames, startup, VIEWER_PATH)->Name("startup")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(timeFirstFrames, bare_windows, BARE_WINDOWS_PATH)->Name("bare_windows")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
