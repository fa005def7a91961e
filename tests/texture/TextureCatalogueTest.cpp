// The catalogue with a real OpenGL context (Mesa under the private Xvfb): what the GL holds after
// selections, read back from the GL itself.
#include "GlWindow.h"
#include "TempDir.h"
#include "TestPng.h"
#include "TextureCatalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

class TextureCatalogueTest : public testing::Test {
protected:
    void SetUp() override
    {
        openGlWindow();
        previousDir = std::filesystem::current_path();
        std::filesystem::current_path(dir.dir());
    }
    void TearDown() override { std::filesystem::current_path(previousDir); }

    // Writes the catalogue's file `index` as a width x height image of one colour per file.
    void writeImage(const TextureCatalogue& catalogue, unsigned index, std::uint32_t width, std::uint32_t height)
    {
        std::vector<std::uint8_t> pixels(std::size_t(width) * height * 3);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = std::uint8_t(40 * index + i % 3);
        writeTestPng(catalogue.fileNames[index], rgbImage(width, height, pixels));
    }

    // Level 0 of the bound texture, read back bottom row first.
    static std::vector<std::uint8_t> boundTexels(int width, int height)
    {
        std::vector<std::uint8_t> texels(std::size_t(width) * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        return texels;
    }

    static GLint boundLevelParameter(GLenum name)
    {
        GLint value = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
        return value;
    }

    TempDir dir;
    std::filesystem::path previousDir;
};

TEST_F(TextureCatalogueTest, EachSelectionReplacesTheOneTextureObject)
{
    TextureCatalogue catalogue;
    for (unsigned index = 0; index < 4; ++index)
        writeImage(catalogue, index, 8, 4);

    std::vector<GLuint> earlierNames;
    for (unsigned index : {0u, 1u, 2u, 3u, 0u, 3u, 3u}) {
        catalogue.selectTexture(index);
        ASSERT_EQ(glIsTexture(catalogue.textureName), GL_TRUE);
        for (GLuint earlier : earlierNames) {
            if (earlier != catalogue.textureName) {
                EXPECT_EQ(glIsTexture(earlier), GL_FALSE) << "texture " << earlier << " outlived its replacement";
            }
        }
        earlierNames.push_back(catalogue.textureName);

        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(GLuint(bound), catalogue.textureName);
        EXPECT_EQ(boundTexels(8, 4)[0], 40 * index);
        EXPECT_EQ(catalogue.pixels, nullptr);
    }
}

TEST_F(TextureCatalogueTest, SetsClampLinearFilteringAndReplaceMode)
{
    TextureCatalogue catalogue;
    writeImage(catalogue, 0, 4, 4);
    catalogue.selectTexture(0);

    auto parameter = [](GLenum name) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        return value;
    };
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_REPLACE);
    EXPECT_EQ(boundLevelParameter(GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
}

TEST_F(TextureCatalogueTest, RowsOfOddLengthArriveWithoutSkew)
{
    // Width 5 makes rows of 15 bytes; with the default unpack alignment of 4 every row would shift.
    TextureCatalogue catalogue;
    std::vector<std::uint8_t> topFirst;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 5; ++column)
            topFirst.insert(topFirst.end(), {std::uint8_t(row * 50), std::uint8_t(column * 50), 7});
    writeTestPng(catalogue.fileNames[0], rgbImage(5, 3, topFirst));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    catalogue.selectTexture(0);

    const std::vector<std::uint8_t> texels = boundTexels(5, 3);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 5; ++column) {
            const std::uint8_t* texel = &texels[std::size_t(row * 5 + column) * 3];
            EXPECT_EQ(texel[0], (2 - row) * 50) << "row " << row << " column " << column;
            EXPECT_EQ(texel[1], column * 50) << "row " << row << " column " << column;
        }
}

TEST_F(TextureCatalogueTest, AnImageLargerThanTheGlAllowsIsShrunkToFit)
{
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    ASSERT_GT(maxSize, 0);
    TextureCatalogue catalogue;
    const auto width = std::uint32_t(maxSize) * 2;
    writeImage(catalogue, 0, width, 4);
    catalogue.selectTexture(0);

    EXPECT_EQ(boundLevelParameter(GL_TEXTURE_WIDTH), maxSize);
    EXPECT_EQ(boundLevelParameter(GL_TEXTURE_HEIGHT), 2);
    EXPECT_EQ(boundTexels(maxSize, 2)[0], 0);
}

} // namespace
