// A texture that cannot be loaded ends the real process with one line on standard output and
// status -1 (255 to the parent), whatever the reason.
#include "TempDir.h"
#include "TestPng.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct Outcome {
    std::string output;
    int status;
};

Outcome runProbeIn(const TempDir& dir, int index)
{
    const std::string command = "cd '" + dir.dir().string() + "' && '" PROBE_PATH "' " + std::to_string(index) + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

const std::string failureMessage = "Texture file not found ... exiting\n";

TEST(TextureFailure, MissingFileEndsTheProcessWithTheMessage)
{
    TempDir dir;
    const Outcome outcome = runProbeIn(dir, 0);
    EXPECT_EQ(outcome.output, failureMessage);
    EXPECT_EQ(outcome.status, 255);
}

TEST(TextureFailure, FileThatIsNotAPngEndsTheProcessLikeAMissingOne)
{
    TempDir dir;
    writeFile(dir.path("cantonales.png"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'});
    const Outcome outcome = runProbeIn(dir, 1);
    EXPECT_EQ(outcome.output, failureMessage);
    EXPECT_EQ(outcome.status, 255);
}

TEST(TextureFailure, TheFourthEntryReadsCtreemap)
{
    TempDir dir;
    writeTestPng(dir.path("ctreemap.png"), rgbImage(1, 1, {1, 2, 3}));
    const Outcome outcome = runProbeIn(dir, 3);
    EXPECT_EQ(outcome.output, "selected\n");
    EXPECT_EQ(outcome.status, 0);
}

} // namespace
