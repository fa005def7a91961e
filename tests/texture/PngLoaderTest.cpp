// loadPng against the whole PngSuite, checked pixel by pixel against ImageMagick's decode of the
// same file, its corrupt files, and damaged files of our own.
#include "PngWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <malloc.h>

namespace {

namespace fs = std::filesystem;

TEST(PngLoader, EveryValidFileDecodesToTheRgbOfAnIndependentDecoder)
{
    const auto files = pngSuite(false);
    ASSERT_GT(files.size(), 140u);
    for (const fs::path& file : files) {
        const Image decoded = readPng(file);
        // ImageMagick's colour samples, top row first; declared sRGB so that it leaves gamma alone.
        const std::string reference = runCommand("convert '" + file.string() + "' -set colorspace sRGB -alpha off -depth 8 rgb:-").output;
        ASSERT_TRUE(!reference.empty() && reference.size() == decoded.rgb.size()) << file;
        // 16-bit samples are cut to 8 bits by truncation here and by rounding there.
        const int tolerance = file.filename().string().find("16") != std::string::npos ? 1 : 0;
        for (std::size_t i = 0; i < reference.size(); ++i)
            ASSERT_LE(std::abs(decoded.rgb[i] - std::uint8_t(reference[i])), tolerance) << file;
    }
}

TEST(PngLoader, CorruptAndIncompleteFilesFailLeavingNothingBehind)
{
    TempDir dir;
    std::vector<std::uint8_t> pixels(64 * 64 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = std::uint8_t(i * 7919 >> 3);
    ASSERT_EQ(writePng(dir.path("whole.png"), 64, 64, pixels.data()), "");
    const std::string bytes = readFile(dir.path("whole.png"));
    writeFile(dir.path("cut.png"), bytes.substr(0, bytes.size() / 2));
    // A header claiming 100000 x 100000 pixels in a file far too short for them: refused before
    // gigabytes are asked for.
    writeFile(dir.path("forged.png"), withClaimedSize(bytes, 100000, 100000));

    auto files = pngSuite(true);
    ASSERT_GE(files.size(), 14u);
    files.insert(files.end(), {dir.path("cut.png"), dir.path("forged.png")});
    for (const fs::path& file : files) {
        testing::internal::CaptureStderr();
        EXPECT_TRUE(readPng(file).rgb.empty()) << file;
        // libpng itself tells what is wrong with ours (not the loader running out of memory).
        EXPECT_TRUE(testing::internal::GetCapturedStderr().find("libpng") != std::string::npos || file.parent_path() != dir.root) << file;
    }
    // Twenty rounds more leave no descriptor open, and the heap as it was but for noise.
    const auto descriptors = std::distance(fs::directory_iterator("/proc/self/fd"), {});
    const std::size_t heapInUse = mallinfo2().uordblks;
    for (int round = 0; round < 20; ++round)
        for (const fs::path& file : files)
            readPng(file);
    EXPECT_EQ(std::distance(fs::directory_iterator("/proc/self/fd"), {}), descriptors);
    EXPECT_LT(mallinfo2().uordblks, heapInUse + 4096);
}

} // namespace
