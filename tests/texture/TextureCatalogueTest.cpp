// The catalogue with a real GL: what the GL holds after selections, read back from the GL itself.
#include "ImageShrink.h"
#include "PngWriter.h"
#include "TestSupport.h"
#include "TextureCatalogue.h"

#include <gtest/gtest.h>

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
            EXPECT_TRUE(name == catalogue.textureName || !glIsTexture(name)) << "texture " << name << " outlived its replacement";
        earlier.push_back(catalogue.textureName);
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

} // namespace
