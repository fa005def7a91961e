#include "TextureCatalogue.h"

#include "BackgroundDecode.h"
#include "Clipmap.h"
#include "ImageShrink.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// The side of the shrunk copy of a large picture.
constexpr std::uint32_t shrunkPictureSide = 8192;
// The side of a level's window in a clipmap, at most; smaller for pictures so deep that their
// clipmap would not fit the texture memory a picture may take.
constexpr std::uint32_t widestWindow = 1024;
constexpr std::uint64_t textureBudget = std::uint64_t(256) << 20;

// The side of the largest texture this GL takes.
std::uint32_t maxTextureSide()
{
    GLint side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
    return static_cast<std::uint32_t>(std::max(side, 0));
}

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
        if (!decoding || decodingIndex != index)
            startDecoding(index);
        return;
    }
    if (!loadPng(fileNames[index].c_str()))
        exitTextureNotFound();
    uploadPixels();
}

void TextureCatalogue::checkFiles() const
{
    for (const std::string& file : filesGiven ? fileNames : std::vector<std::string>{}) {
        std::string whyNot;
        if (!ImageSource::open(file, whyNot))
            exitFileNotLoaded(file, whyNot);
    }
}

void TextureCatalogue::startDecoding(unsigned index)
{
    std::string whyNot;
    const std::shared_ptr<const ImageSource> source = ImageSource::open(fileNames[index], whyNot);
    if (!source)
        exitFileNotLoaded(fileNames[index], whyNot);
    // A decode under way ends, and the texture its rows went to with it.
    if (filling)
        glDeleteTextures(1, &filling);
    filling = 0;
    rowsUploaded = 0;
    // Deeper than one texture: a copy of half the side leaves room in texture memory for the detail.
    const bool deep = std::max(source->size().width, source->size().height) > sizeLimit();
    decoding = std::make_unique<BackgroundDecode>(source, deep ? sizeLimit() / 2 : sizeLimit());
    decodingSource = source;
    decodingIndex = index;
}

std::optional<Loading> TextureCatalogue::loading() const
{
    if (!decoding)
        return std::nullopt;
    return Loading{labels[decodingIndex], decoding->done(), decoding->seconds()};
}

bool TextureCatalogue::followDecoding()
{
    if (!decoding)
        return false;
    // Read first: once it is finished, all its rows are there.
    const bool finished = decoding->finished();
    std::string whyNot;
    if (finished && !decoding->succeeded(whyNot))
        exitFileNotLoaded(fileNames[decodingIndex], whyNot);
    const ImageSize size = decoding->size();
    const bool fits = std::max(size.width, size.height) <= maxTextureSide();
    if (fits)
        uploadDecodedRows();
    if (!finished)
        return false;
    width = size.width;
    height = size.height;
    if (fits) {
        glDeleteTextures(1, &textureName);
        textureName = filling;
        filling = 0;
        mipmapsBuilt = false;
    } else {
        // Too large for this GL: shrunk once more, whole.
        pixels = decoding->release();
        uploadPixels();
    }
    takeDepth(*decodingSource, {width, height}, fits ? decoding->pixels() : nullptr);
    decoding.reset();
    decodingSource.reset();
    return true;
}

int TextureCatalogue::levelsAbove(ImageSize full, ImageSize copy)
{
    int levels = 0;
    for (std::uint64_t side = std::max(full.width, full.height); side > std::max(copy.width, copy.height); side = (side + 1) / 2)
        ++levels;
    return levels;
}

std::uint32_t TextureCatalogue::windowSideFor(int levels, ImageSize copy, std::uint32_t maxTextureSide)
{
    // Counted at four bytes a texel and with mipmaps: the copy in its own texture, and in the atlas.
    const std::uint64_t copyBytes = std::uint64_t(copy.width) * copy.height * 4 * 4 / 3;
    std::uint32_t side = std::min(widestWindow, sizeLimit() / 2);
    const auto fits = [&] {
        const ImageSize atlas = Clipmap::atlasSizeFor(levels, side, copy);
        return copyBytes + Clipmap::textureBytes(levels, side, copy) <= textureBudget && std::max(atlas.width, atlas.height) <= maxTextureSide;
    };
    while (side > 64 && !fits())
        side /= 2;
    return fits() ? side : 0;
}

void TextureCatalogue::takeDepth(const ImageSource& source, ImageSize copy, const unsigned char* copyPixels)
{
    clipmap.reset();
    shownDepth.reset();
    detailFailure.clear();
    const int levels = levelsAbove(source.size(), copy);
    if (levels == 0)
        return;
    shownDepth = PictureDepth{levels, source.size(), copy};
    if (!detailWanted || !copyPixels)
        return;
    std::shared_ptr<const PictureLevels> pyramid = PictureLevels::open(source, levels, detailFailure);
    const std::uint32_t side = windowSideFor(levels, copy, maxTextureSide());
    if (pyramid && side == 0)
        detailFailure = "its levels do not fit this OpenGL's textures";
    else if (pyramid)
        clipmap = std::make_unique<Clipmap>(std::move(pyramid), side, copyPixels, copy);
}

bool TextureCatalogue::followDetail(std::complex<double> focus)
{
    return clipmap && clipmap->follow(focus);
}

bool TextureCatalogue::detailUploading() const
{
    return clipmap && clipmap->uploading();
}

bool TextureCatalogue::detailSettled() const
{
    return !clipmap || clipmap->settled();
}

void TextureCatalogue::uploadDecodedRows()
{
    const ImageSize size = decoding->size();
    if (!filling) {
        filling = newTexture(size.width, size.height, nullptr);
        rowsUploaded = 0;
    }
    const std::uint32_t rows = decoding->rowsDone();
    if (rows > rowsUploaded) {
        // Rows count from the top; the buffer and the texture hold the bottom row first.
        glBindTexture(GL_TEXTURE_2D, filling);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        const std::uint32_t lowest = size.height - rows;
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, static_cast<GLint>(lowest), static_cast<GLsizei>(size.width), static_cast<GLsizei>(rows - rowsUploaded),
                        GL_RGB, GL_UNSIGNED_BYTE, decoding->pixels() + std::size_t(lowest) * size.width * 3);
        rowsUploaded = rows;
    }
    glBindTexture(GL_TEXTURE_2D, textureName);   // the picture shown stays bound
}

std::uint32_t TextureCatalogue::sizeLimit()
{
    const char* testLimit = std::getenv("CLV_TEXTURE_LIMIT");
    if (testLimit && std::atoi(testLimit) > 0)
        return std::min(shrunkPictureSide, static_cast<std::uint32_t>(std::atoi(testLimit)));
    return shrunkPictureSide;
}

void TextureCatalogue::uploadPixels()
{
    // A texture larger than the GL's limit would be dropped by glTexImage2D and the grid would show
    // blank, so such an image is shrunk to fit rather than uploaded as it is.
    if (!fitWithin(maxTextureSide()))
        exitTextureNotFound();

    glDeleteTextures(1, &textureName);
    textureName = newTexture(width, height, pixels);
    mipmapsBuilt = false;
    std::free(pixels);
    pixels = nullptr;
}

GLuint TextureCatalogue::newTexture(std::uint32_t width, std::uint32_t height, const unsigned char* pixels)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // Rows are width * 3 bytes with no padding.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // The texel replaces the drawing colour, so the grid's red never tints the image.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    return name;
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
