#include "TextureCatalogue.h"

#include "ImageShrink.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

TextureCatalogue::TextureCatalogue(const std::vector<std::string>& files)
    : fileNames{"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"},
      labels{"Galaxie.png", "Cantonales.png", "Treemap.png", "ColorTreemap.png"}
{
    if (files.empty())
        return;
    fileNames = files;
    labels.clear();
    for (const std::string& file : files)
        labels.push_back(std::filesystem::path(file).filename().string());
}

void TextureCatalogue::selectTexture(unsigned index)
{
    GLint maxTextureSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);

    // A texture larger than the GL's limit would be dropped by glTexImage2D and the grid would show
    // blank, so such an image is shrunk to fit rather than uploaded as it is.
    if (!loadPng(fileNames[index].c_str()) || !fitWithin(static_cast<std::uint32_t>(maxTextureSize))) {
        exitTextureNotFound();
    }

    glDeleteTextures(1, &textureName);
    glGenTextures(1, &textureName);
    mipmapsBuilt = false;
    glBindTexture(GL_TEXTURE_2D, textureName);
    // Rows are width * 3 bytes with no padding.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // The texel replaces the drawing colour, so the grid's red never tints the image.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGB,
                 GL_UNSIGNED_BYTE, pixels);

    std::free(pixels);
    pixels = nullptr;
}

void TextureCatalogue::exitTextureNotFound()
{
    std::printf("Texture file not found ... exiting\n");
    std::exit(-1);
}

bool TextureCatalogue::fitWithin(std::uint32_t limit)
{
    const ImageSize size{width, height};
    const ImageSize fitted = sizeWithin(size, limit);
    if (fitted.width == width && fitted.height == height)
        return true;

    unsigned char* shrunk = shrinkImage(pixels, size, fitted);
    std::free(pixels);
    pixels = shrunk;
    if (!shrunk)
        return false;
    width = fitted.width;
    height = fitted.height;
    return true;
}
