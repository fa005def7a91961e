#include "ProbedProgram.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

double monotonicSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

ProbedProgram::ProbedProgram(const char* path, const std::vector<std::string>& arguments)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::abort();
    if ((pid = fork()) == 0) {
        close(fds[0]);
        setenv("LD_PRELOAD", SWAP_PROBE, 1);
        setenv("SWAP_PROBE_FD", std::to_string(fds[1]).c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(path)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(path, argv.data());
        _exit(127);
    }
    close(fds[1]);
    probe = fds[0];
}

ProbedProgram::~ProbedProgram()
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(probe);
}

std::optional<ProbeLine> ProbedProgram::next(double limitSeconds)
{
    const double deadline = monotonicSeconds() + limitSeconds;
    while (received.find('\n') == std::string::npos) {
        pollfd ready{probe, POLLIN, 0};
        char buffer[4096];
        const double left = deadline - monotonicSeconds();
        const ssize_t length = left > 0 && poll(&ready, 1, int(left * 1000) + 1) > 0 ? read(probe, buffer, sizeof buffer) : 0;
        if (length <= 0)
            return std::nullopt;
        received.append(buffer, std::size_t(length));
    }
    const std::size_t end = received.find('\n');
    ProbeLine line{"", 0, 0, false};
    char kind[8] = {};
    int painted = 0;
    std::sscanf(received.substr(0, end).c_str(), "%7s %lf %lu %d", kind, &line.seconds, &line.drawable, &painted);
    line.painted = painted != 0;
    line.kind = kind;
    received.erase(0, end + 1);
    return line;
}

std::optional<double> ProbedProgram::firstFramesOfBothWindows()
{
    while (const auto line = next())
        if (line->kind == "swap" && windows[0] == 0)
            windows[0] = line->drawable;
        else if (line->kind == "swap" && line->drawable != windows[0]) {
            windows[1] = line->drawable;
            return line->seconds;
        }
    return std::nullopt;
}

double ProbedProgram::peakResidentBytes() const
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string field; status >> field;)
        if (field == "VmHWM:") {
            double kibibytes = 0;
            status >> kibibytes;
            return kibibytes * 1024;
        }
    return 0;
}

double ProbedProgram::cpuSeconds() const
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i)
        ticks += i >= 14 ? std::stod(field) : 0;   // user and system time
    return ticks / double(sysconf(_SC_CLK_TCK));
}
