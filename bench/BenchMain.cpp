// Runs every benchmark, then prints each ratio of a cost to its floor, both measured in this run:
// "ratio NAME: VALUE". Comparisons across runs would mostly measure the machine's noise.
#include "Ratios.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

// The first second or so of a process runs slowly on this machine (the CPU is clocked up only
// under load), which would favour whichever benchmark comes later. Spinning first evens that out.
void warmUp()
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    volatile double sink = 0;
    while (std::chrono::steady_clock::now() < end)
        for (int i = 0; i < 10000; ++i)
            sink = sink + std::sqrt(double(i));
}

// Keeps, over the repetitions, the best real time per iteration of each benchmark and the best
// value of each counter a benchmark reports, while reporting as usual. The best of several runs is
// the figure least disturbed by the rest of the machine.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    CollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred) {
                keepBest(run.run_name.function_name, run.real_accumulated_time / double(run.iterations));
                for (const auto& [name, counter] : run.counters)
                    keepBest(name, counter.value);
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> figures;

private:
    void keepBest(const std::string& name, double value)
    {
        const auto [best, added] = figures.try_emplace(name, value);
        if (!added && value < best->second)
            best->second = value;
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    warmUp();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter.figures);
    benchmark::Shutdown();
    return 0;
}
