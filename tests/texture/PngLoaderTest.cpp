// loadPng against real files: the whole PngSuite, checked pixel by pixel against ImageMagick's
// decode of the same file, its corrupt files, and small images whose exact bytes the test knows.
#include "Command.h"
#include "TempDir.h"
#include "TestPng.h"
#include "TextureCatalogue.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path suiteDir = fs::path(TEST_DATA_DIR) / "pngsuite";

// A decoded image copied out of the catalogue, which then holds no pixels again.
struct Decoded {
    bool loaded = false;
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> bottomFirstRgb;
};

Decoded load(const std::string& path)
{
    TextureCatalogue catalogue;
    Decoded result;
    result.loaded = catalogue.loadPng(path.c_str());
    if (result.loaded) {
        result.width = catalogue.width;
        result.height = catalogue.height;
        result.bottomFirstRgb.assign(catalogue.pixels, catalogue.pixels + std::size_t(catalogue.width) * catalogue.height * 3);
        std::free(catalogue.pixels);
    }
    return result;
}

// ImageMagick's decode, colour samples only, 8 bits each, top row first. Declaring the samples
// sRGB keeps it from converting files whose gamma chunk says linear.
std::vector<std::uint8_t> imageMagickRgb(const fs::path& file)
{
    const std::string rgb =
        runCommand("convert '" + file.string() + "' -set colorspace sRGB -alpha off -depth 8 rgb:- 2>/dev/null").output;
    return {rgb.begin(), rgb.end()};
}

std::vector<fs::path> suiteFiles(bool corrupt)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(suiteDir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && name != "PngSuite.png" && (name[0] == 'x') == corrupt)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

int openDescriptorCount()
{
    return int(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST(PngSuite, EveryValidFileDecodesToRgbEqualToAnIndependentDecoder)
{
    const auto files = suiteFiles(false);
    ASSERT_GT(files.size(), 140u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const Decoded decoded = load(file.string());
        ASSERT_TRUE(decoded.loaded);
        const std::vector<std::uint8_t> reference = imageMagickRgb(file);
        const std::size_t rowBytes = std::size_t(decoded.width) * 3;
        ASSERT_EQ(reference.size(), rowBytes * decoded.height) << "size differs from ImageMagick's";
        // 16-bit samples are cut to 8 bits by truncation here and by rounding there.
        const int tolerance = file.filename().string().find("16") != std::string::npos ? 1 : 0;
        int worst = 0;
        for (std::uint32_t row = 0; row < decoded.height; ++row)
            for (std::size_t i = 0; i < rowBytes; ++i) {
                const int ours = decoded.bottomFirstRgb[(decoded.height - 1 - row) * rowBytes + i];
                worst = std::max(worst, std::abs(ours - int(reference[row * rowBytes + i])));
            }
        EXPECT_LE(worst, tolerance);
    }
}

TEST(PngSuite, EveryCorruptFileFailsAndLeavesNothingBehind)
{
    const auto files = suiteFiles(true);
    ASSERT_GE(files.size(), 14u);
    // Load each once first, so that one-time allocations of the C library don't count as leaks.
    for (const fs::path& file : files)
        load(file.string());
    const int descriptors = openDescriptorCount();
    const std::size_t heapInUse = mallinfo2().uordblks;
    for (int round = 0; round < 20; ++round)
        for (const fs::path& file : files) {
            SCOPED_TRACE(file.filename().string());
            ASSERT_FALSE(load(file.string()).loaded);
        }
    EXPECT_EQ(openDescriptorCount(), descriptors);
    EXPECT_EQ(mallinfo2().uordblks, heapInUse);
}

TEST(PngLoader, StoresTheBottomRowFirst)
{
    TempDir dir;
    // Top row A = 1..9, bottom row B = 11..19.
    const std::vector<std::uint8_t> rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    writeTestPng(dir.path("a.png"), rgbImage(3, 2, rows));

    const Decoded decoded = load(dir.path("a.png"));
    ASSERT_TRUE(decoded.loaded);
    EXPECT_EQ(decoded.width, 3u);
    EXPECT_EQ(decoded.height, 2u);
    const std::vector<std::uint8_t> expected = {11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(decoded.bottomFirstRgb, expected);
}

TEST(PngLoader, DecodesSinglePixelRowsAndColumns)
{
    TempDir dir;
    writeTestPng(dir.path("wide.png"), rgbImage(4, 1, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
    writeTestPng(dir.path("tall.png"), rgbImage(1, 4, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));

    const Decoded wide = load(dir.path("wide.png"));
    ASSERT_TRUE(wide.loaded);
    EXPECT_EQ(wide.bottomFirstRgb, (std::vector<std::uint8_t>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
    const Decoded tall = load(dir.path("tall.png"));
    ASSERT_TRUE(tall.loaded);
    EXPECT_EQ(tall.bottomFirstRgb, (std::vector<std::uint8_t>{4, 4, 4, 3, 3, 3, 2, 2, 2, 1, 1, 1}));
}

// The forms that plain expansion would leave in another layout: they must still come out as RGB.
TEST(PngLoader, ConvertsTransparentPalettesAndLowBitGreyToRgb)
{
    TempDir dir;
    TestPng palette;
    palette.width = 3;
    palette.colorType = 3;
    palette.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    palette.paletteAlpha = {0, 128, 255};
    palette.rows = {2, 1, 0};
    writeTestPng(dir.path("palette.png"), palette);

    TestPng grey;
    grey.width = 4;
    grey.colorType = 0;
    grey.bitDepth = 2;
    grey.rows = {0b00011011};   // samples 0, 1, 2, 3
    writeTestPng(dir.path("grey.png"), grey);

    EXPECT_EQ(load(dir.path("palette.png")).bottomFirstRgb, (std::vector<std::uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0}));
    EXPECT_EQ(load(dir.path("grey.png")).bottomFirstRgb,
              (std::vector<std::uint8_t>{0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}));
}

TEST(PngLoader, RefusesFilesThatAreNotWholePngImages)
{
    TempDir dir;
    writeFile(dir.path("empty.png"), {});
    writeFile(dir.path("text.png"), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
    std::vector<std::uint8_t> pixels(64 * 64 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = std::uint8_t(i * 7919 >> 3);
    writeTestPng(dir.path("whole.png"), rgbImage(64, 64, pixels));
    std::vector<std::uint8_t> bytes = readFile(dir.path("whole.png"));
    bytes.resize(bytes.size() / 2);
    writeFile(dir.path("cut.png"), bytes);

    const int descriptors = openDescriptorCount();
    for (const char* name : {"empty.png", "text.png", "cut.png", "missing.png"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(load(dir.path(name)).loaded);
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        // Only libpng speaks, and only about a file that is a PNG but a damaged one.
        if (std::string(name) == "cut.png")
            EXPECT_NE(diagnostics.find("libpng"), std::string::npos);
        else
            EXPECT_EQ(diagnostics, "");
    }
    EXPECT_EQ(openDescriptorCount(), descriptors);
}

TEST(PngLoader, RefusesAHeaderThatClaimsMorePixelsThanTheFileCanHold)
{
    TempDir dir;
    writeTestPng(dir.path("small.png"), rgbImage(2, 2, std::vector<std::uint8_t>(12, 200)));
    std::vector<std::uint8_t> bytes = readFile(dir.path("small.png"));
    // IHDR's width and height follow the 8-byte signature, the chunk length and its type; the CRC
    // must match the forged values, or libpng rejects the chunk before the size is ever seen.
    const std::uint32_t side = 100000;
    for (int at : {16, 20})
        for (int b = 0; b < 4; ++b)
            bytes[std::size_t(at + b)] = std::uint8_t(side >> (24 - 8 * b));
    const std::uint32_t crc = std::uint32_t(crc32(0, bytes.data() + 12, 17));
    for (int b = 0; b < 4; ++b)
        bytes[std::size_t(29 + b)] = std::uint8_t(crc >> (24 - 8 * b));
    writeFile(dir.path("forged.png"), bytes);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(load(dir.path("forged.png")).loaded);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("file too short"), std::string::npos);
}

} // namespace
