// A program run as a process of its own with the swap probe preloaded, on the bench's display:
// when it started, when each of its swaps finished, and when it was handed each motion event.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ProbeLine {
    std::string kind;          // "start", "swap", "motion" or "texture"
    double seconds;            // CLOCK_MONOTONIC, as the bench's own clock reads it
    unsigned long drawable;    // the window a swap showed; the width of a texture
    bool painted;              // a swap's frame had painted the pixel at (8, 8)
};

class ProbedProgram {
public:
    // Starts the program in the current folder, with `arguments`.
    explicit ProbedProgram(const char* path, const std::vector<std::string>& arguments = {});
    ~ProbedProgram();   // ends it
    ProbedProgram(const ProbedProgram&) = delete;
    ProbedProgram& operator=(const ProbedProgram&) = delete;

    // The probe's next line, or nothing if the program wrote none within the limit.
    std::optional<ProbeLine> next(double limitSeconds = 30);
    // The time of the swap after which both windows have shown a frame, or nothing.
    std::optional<double> firstFramesOfBothWindows();
    unsigned long windows[2] = {0, 0};   // the two windows' drawables, in the order they first swapped
    // CPU seconds the program has used so far, all its threads.
    double cpuSeconds() const;
    // The most resident memory it has held so far, in bytes.
    double peakResidentBytes() const;

    pid_t pid = 0;

private:
    int probe = -1;          // the reading end of the probe's pipe
    std::string received;    // what was read of it and is not a whole line yet
};

double monotonicSeconds();
