#include "TextureCatalogue.h"

#include "BackgroundDecode.h"
#include "ImageShrink.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// The side of the shrunk copy of a large picture.
constexpr std::uint32_t shrunkPictureSide = 8192;

} // namespace

TextureCatalogue::TextureCatalogue(const std::vector<std::string>& files)
    : fileNames{"galaxie.png", "cantonales.png", "treemap.png", "ctreemap.png"},
      labels{"Galaxie.png", "Cantonales.png", "Treemap.png", "ColorTreemap.png"}, filesGiven(!files.empty())
{
    if (files.empty())
        return;
    fileNames = files;
    labels.clear();
    for (const std::string& file : files)
        labels.push_back(std::filesystem::path(file).filename().string());
}

TextureCatalogue::~TextureCatalogue() = default;

void TextureCatalogue::selectTexture(unsigned index)
{
    if (filesGiven) {
        std::string whyNot;
        const std::shared_ptr<const ImageSource> source = ImageSource::open(fileNames[index], whyNot);
        if (!source)
            exitFileNotLoaded(fileNames[index], whyNot);
        decoding = std::make_unique<BackgroundDecode>(source, sizeLimit());
        decodingIndex = index;
        return;
    }
    GLint maxTextureSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);

    // A texture larger than the GL's limit would be dropped by glTexImage2D and the grid would show
    // blank, so such an image is shrunk to fit rather than uploaded as it is.
    if (!loadPng(fileNames[index].c_str()) || !fitWithin(static_cast<std::uint32_t>(maxTextureSize))) {
        exitTextureNotFound();
    }
    uploadPixels();
}

std::optional<Loading> TextureCatalogue::loading() const
{
    if (!decoding)
        return std::nullopt;
    return Loading{labels[decodingIndex], decoding->done(), decoding->seconds()};
}

bool TextureCatalogue::finishLoading()
{
    if (!decoding || !decoding->finished())
        return false;
    DecodedPicture picture;
    std::string whyNot;
    if (!decoding->result(picture, whyNot))
        exitFileNotLoaded(fileNames[decodingIndex], whyNot);
    decoding.reset();
    width = picture.size.width;
    height = picture.size.height;
    pixels = picture.pixels.release();
    uploadPixels();
    return true;
}

std::uint32_t TextureCatalogue::sizeLimit() const
{
    GLint maxTextureSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    std::uint32_t limit = std::min(shrunkPictureSide, static_cast<std::uint32_t>(std::max(maxTextureSize, 1)));
    if (const char* testLimit = std::getenv("CLV_TEXTURE_LIMIT"); testLimit && std::atoi(testLimit) > 0)
        limit = std::min(limit, static_cast<std::uint32_t>(std::atoi(testLimit)));
    return limit;
}

void TextureCatalogue::uploadPixels()
{
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

void TextureCatalogue::exitFileNotLoaded(const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
    exitTextureNotFound();
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
