// A texture that cannot be loaded ends the real process with one line on standard output and
// status -1 (255 to the parent), whatever the reason.
#include "Command.h"
#include "TempDir.h"
#include "TestPng.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CommandResult runProbeIn(const TempDir& dir, int index)
{
    return runCommand("cd '" + dir.dir().string() + "' && '" PROBE_PATH "' " + std::to_string(index) + " 2>/dev/null");
}

const std::string failureMessage = "Texture file not found ... exiting\n";

TEST(TextureFailure, MissingFileEndsTheProcessWithTheMessage)
{
    TempDir dir;
    const CommandResult outcome = runProbeIn(dir, 0);
    EXPECT_EQ(outcome.output, failureMessage);
    EXPECT_EQ(outcome.status, 255);
}

TEST(TextureFailure, FileThatIsNotAPngEndsTheProcessLikeAMissingOne)
{
    TempDir dir;
    writeFile(dir.path("cantonales.png"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'});
    const CommandResult outcome = runProbeIn(dir, 1);
    EXPECT_EQ(outcome.output, failureMessage);
    EXPECT_EQ(outcome.status, 255);
}

TEST(TextureFailure, TheFourthEntryReadsCtreemap)
{
    TempDir dir;
    writeTestPng(dir.path("ctreemap.png"), rgbImage(1, 1, {1, 2, 3}));
    const CommandResult outcome = runProbeIn(dir, 3);
    EXPECT_EQ(outcome.output, "selected\n");
    EXPECT_EQ(outcome.status, 0);
}

} // namespace
