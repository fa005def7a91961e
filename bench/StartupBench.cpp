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

void timeFirstFrames(benchmark::State& state, const char* program)
{
    const std::string result = "/tmp/clv-first-frames-" + std::to_string(getpid());
    for (auto _ : state) {
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
        double seconds = 0;
        std::FILE* file = std::fopen(result.c_str(), "r");
        const bool measured = file && std::fscanf(file, "%lf", &seconds) == 1;
        if (file)
            std::fclose(file);
        if (!measured) {
            state.SkipWithError("the program ended before both windows showed a frame");
            break;
        }
        state.SetIterationTime(seconds);
    }
    std::remove(result.c_str());
}

BENCHMARK_CAPTURE(timeFirstFrames, startup, VIEWER_PATH)->Name("startup")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(timeFirstFrames, bare_windows, BARE_WINDOWS_PATH)->Name("bare_windows")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
