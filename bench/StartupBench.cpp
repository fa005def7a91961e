// The viewer's start-up, from just before main to both windows' first frames finished, against a
// program that opens the same two windows and finishes one empty frame in each. Each run is a
// fresh process with the first_frames_probe preloaded, which times it and ends it.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Runs the program once with the probe; the seconds to its first frames, or a negative number if
// it ended without showing both.
double firstFrames(const char* program, const std::string& result)
{
    std::remove(result.c_str());
    const pid_t child = fork();
    if (child == 0) {
        setenv("LD_PRELOAD", FIRST_FRAMES_PROBE, 1);
        setenv("FIRST_FRAMES_RESULT", result.c_str(), 1);
        execl(program, program, nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    double seconds = -1;
    if (std::FILE* file = std::fopen(result.c_str(), "r")) {
        if (std::fscanf(file, "%lf", &seconds) != 1)
            seconds = -1;
        std::fclose(file);
    }
    std::remove(result.c_str());
    return seconds;
}

void timeFirstFrames(benchmark::State& state, const char* program)
{
    const std::string result = "/tmp/clv-first-frames-" + std::to_string(getpid());
    // Untimed first runs, so that neither program pays alone for caches the other found warm.
    for (int i = 0; i < 2; ++i)
        firstFrames(program, result);
    for (auto _ : state) {
        const double seconds = firstFrames(program, result);
        if (seconds < 0) {
            state.SkipWithError("the program ended before both windows showed a frame");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

BENCHMARK_CAPTURE(timeFirstFrames, startup, VIEWER_PATH)->Name("startup")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(timeFirstFrames, bare_windows, BARE_WINDOWS_PATH)->Name("bare_windows")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
