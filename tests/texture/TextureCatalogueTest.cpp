// The catalogue with a real GL: what the GL holds after selections, read back from the GL itself.
#include "Clipmap.h"
#include "ImageShrink.h"
#include "PngWriter.h"
#include "TestSupport.h"
#include "TextureCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// Level 0 of the bound texture, bottom row first.
std::vector<std::uint8_t> boundTexels(int width, int height)
{
    std::vector<std::uint8_t> texels(std::size_t(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

TEST(TextureCatalogue, EachSelectionReplacesTheOneTextureObject)
{
    openGlWindow(64, 64);
    TempDir dir;
    std::filesystem::current_path(dir.root);
    TextureCatalogue catalogue;
    for (unsigned index = 0; index < 4; ++index)
        ASSERT_EQ(writePng(catalogue.fileNames[index], 8, 4, std::vector<std::uint8_t>(8 * 4 * 3, std::uint8_t(40 * index)).data()), "");
    std::vector<GLuint> earlier;
    for (unsigned index : {0u, 1u, 2u, 3u, 0u, 3u}) {
        catalogue.selectTexture(index);
        for (GLuint name : earlier)
            EXPECT_TRUE(name == catalogue.picture()->texture() || !glIsTexture(name)) << "texture " << name << " outlived its replacement";
        earlier.push_back(catalogue.picture()->texture());
        EXPECT_EQ(boundTexels(8, 4)[0], 40 * index);
        EXPECT_EQ(catalogue.pixels, nullptr);
    }

    // Twice as wide as the GL allows: shrunk to fit by averaging (rounded), rows still bottom first.
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const auto wide = std::uint32_t(maxSize) * 2;
    std::vector<std::uint8_t> columns;   // red 0, 101, 0, 101, ...; blue 0 in the top two rows, 200 below
    for (std::uint32_t row = 0; row < 4; ++row)
        for (std::uint32_t column = 0; column < wide; ++column)
            columns.insert(columns.end(), {std::uint8_t(column % 2 * 101), 7, std::uint8_t(row < 2 ? 0 : 200)});
    ASSERT_EQ(writePng(catalogue.fileNames[0], wide, 4, columns.data()), "");
    catalogue.selectTexture(0);
    const std::vector<std::uint8_t> texels = boundTexels(maxSize, 2);
    EXPECT_EQ(std::vector<std::uint8_t>(texels.begin(), texels.begin() + 3), (std::vector<std::uint8_t>{51, 7, 200}));
    EXPECT_EQ(std::vector<std::uint8_t>(texels.end() - 3, texels.end()), (std::vector<std::uint8_t>{51, 7, 0}));
    std::filesystem::current_path("/");
    // Sides near the 32-bit limit must not overflow on the way to their shrunk size.
    EXPECT_EQ(sizeWithin({4000000000u, 2000000000u}, 16384).height, 8192u);
}

// Every shape of picture up to 16 gigapixels, square or a thin strip, and pyramids up to 2^30 pixels
// a side: its clipmap's windows as large as its texture memory (256 MiB, its shrunk copy counted in
// its own texture and in the atlas) and the GL's side allow, and no smaller than needed.
TEST(TextureCatalogue, ADeepPicturesTexturesStayWithinTheirBudgetAndTheGlsSide)
{
    const std::uint64_t budget = std::uint64_t(256) << 20;
    for (const ImageSize full : {ImageSize{131072, 131072}, ImageSize{20000, 15000}, ImageSize{1048576, 16384}, ImageSize{16777216, 1024},
                                 ImageSize{9000, 8193}, ImageSize{1u << 30, 1u << 30}}) {
        const double scale = 4096.0 / std::max(full.width, full.height);
        const ImageSize copy{std::max(1u, std::uint32_t(std::lround(full.width * scale))), std::max(1u, std::uint32_t(std::lround(full.height * scale)))};
        const int levels = int(std::ceil(std::log2(1 / scale)));
        for (const std::uint32_t maxSide : {8192u, 16384u}) {
            const std::uint32_t side = Picture::windowSideFor(levels, copy, maxSide);
            const ImageSize atlas = Clipmap::atlasSizeFor(levels, side, copy);
            const std::uint64_t bytes = std::uint64_t(copy.width) * copy.height * 4 * 4 / 3 + Clipmap::textureBytes(levels, side, copy);
            SCOPED_TRACE(std::to_string(full.width) + " x " + std::to_string(full.height) + ", at most " + std::to_string(maxSide) + " a side");
            EXPECT_GE(side, 512u);
            EXPECT_LE(bytes, budget);
            EXPECT_LE(std::max(atlas.width, atlas.height), maxSide);
            if (side < 1024) {
                const ImageSize twice = Clipmap::atlasSizeFor(levels, side * 2, copy);
                EXPECT_TRUE(bytes - Clipmap::textureBytes(levels, side, copy) + Clipmap::textureBytes(levels, side * 2, copy) > budget ||
                            std::max(twice.width, twice.height) > maxSide)
                    << "windows of " << side << " where twice that would fit";
            }
            // The copy and two tiles a level, each in whole windows.
            const std::uint64_t windows = std::uint64_t((copy.width + side - 1) / side) * ((copy.height + side - 1) / side) + 2 * std::uint64_t(levels);
            EXPECT_GE(std::uint64_t(atlas.width / side) * (atlas.height / side), windows);
        }
    }
}

// The buttons name the files and folders given, a folder also when given with a slash at its end.
TEST(TextureCatalogue, ButtonsNameTheFilesAndFoldersGiven)
{
    const TextureCatalogue catalogue({"maps/world/", "scans/page.dzi", "photo.jpg"});
    EXPECT_EQ(catalogue.labels, (std::vector<std::string>{"world", "page.dzi", "photo.jpg"}));
}

} // namespace
