#include "TextureCatalogue.h"

#include "BackgroundDecode.h"
#include "ImageShrink.h"
#include "Pyramid.h"

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
      labels{"Galaxie.png", "Cantonales.png", "Treemap.png", "ColorTreemap.png"}, given(!files.empty())
{
    if (files.empty())
        return;
    fileNames = files;
    labels.clear();
    // A folder's name, also when given with a slash at its end.
    for (std::string file : files) {
        while (file.size() > 1 && file.back() == '/')
            file.pop_back();
        labels.push_back(std::filesystem::path(file).filename().string());
    }
}

TextureCatalogue::~TextureCatalogue() = default;

void TextureCatalogue::selectTexture(unsigned index)
{
    if (given) {
        if (!decoding || decodingIndex != index)
            startDecoding(index);
        return;
    }
    if (!loadPng(fileNames[index].c_str()))
        exitTextureNotFound();
    showPixels({width, height}, int(index));
}

void TextureCatalogue::checkFiles()
{
    pyramids.resize(fileNames.size());
    for (std::size_t index = 0; given && index < fileNames.size(); ++index) {
        const std::string& file = fileNames[index];
        std::string whyNot;
        if (isPyramid(file) ? !(pyramids[index] = openPyramid(file, labels[index], whyNot)) : !ImageSource::open(file, whyNot)) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), whyNot.c_str());
            exitTextureNotFound();
        }
    }
}

void TextureCatalogue::startDecoding(unsigned index)
{
    // A decode under way ends, and the texture its rows went to with it.
    if (filling)
        glDeleteTextures(1, &filling);
    filling = 0;
    rowsUploaded = 0;
    decoding.reset();
    openDecodingLevels = nullptr;
    decodingIndex = index;
    whyNotShown.clear();
    std::string whyNot;
    const std::string& path = fileNames[index];
    if (isPyramid(path)) {
        startPyramid(path);
        return;
    }
    const std::shared_ptr<const ImageSource> source = ImageSource::open(path, whyNot);
    if (!source) {
        refuseDecoding(whyNot);
        return;
    }
    // Deeper than one texture: a copy of half the side leaves room in texture memory for the detail.
    const bool deep = std::max(source->size().width, source->size().height) > sizeLimit();
    const ImageSize copy = source->shrunkSize(deep ? sizeLimit() / 2 : sizeLimit());
    decoding = std::make_unique<BackgroundDecode>(copy, [source, copy](unsigned char* pixels, std::string& whyNot, DecodeProgress& progress) {
        return source->decode(copy, pixels, whyNot, progress);
    });
    decodingSize = source->size();
    openDecodingLevels = [source](int levels, std::string& whyNot) { return std::shared_ptr<const PictureLevels>(openFileLevels(*source, levels, whyNot)); };
}

void TextureCatalogue::startPyramid(const std::string& path)
{
    // Opened once, when the files were checked: a served one's document is not fetched again on the
    // main loop.
    std::string whyNot, label;
    const std::shared_ptr<const TiledLevels> pyramid = decodingIndex < pyramids.size() && pyramids[decodingIndex] ? pyramids[decodingIndex] : openPyramid(path, label, whyNot);
    if (!pyramid) {
        refuseDecoding(whyNot);
        return;
    }
    // The copy is its first level within the limit, within half of it for a pyramid deeper than
    // one texture, as for a picture file.
    const auto side = [&](int level) { return std::max(pyramid->size(level).width, pyramid->size(level).height); };
    const std::uint32_t limit = side(0) > sizeLimit() ? sizeLimit() / 2 : sizeLimit();
    int copyLevel = 0;
    while (copyLevel + 1 < pyramid->count() && side(copyLevel) > limit)
        ++copyLevel;
    if (side(copyLevel) > sizeLimit()) {
        refuseDecoding("its coarsest level is " + std::to_string(pyramid->size(copyLevel).width) + " x " + std::to_string(pyramid->size(copyLevel).height) +
                       " pixels, more than its overview may have (" + std::to_string(sizeLimit()) + " a side): add coarser levels to it");
        return;
    }
    decoding = std::make_unique<BackgroundDecode>(pyramid->size(copyLevel), [pyramid, copyLevel](unsigned char* pixels, std::string& whyNot, DecodeProgress& progress) {
        std::string damage;
        const bool whole = pyramid->readWhole(copyLevel, pixels, damage, [&](std::uint32_t rows) {
            progress.rows.store(rows, std::memory_order_release);
            return !progress.cancelled;
        });
        if (!whole)
            whyNot = "cancelled";
        return whole;
    });
    decodingSize = pyramid->size(0);
    openDecodingLevels = [pyramid](int, std::string&) { return pyramid; };
}

void TextureCatalogue::refuseDecoding(const std::string& reason)
{
    const std::string& path = fileNames[decodingIndex];
    std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
    whyNotShown = labels[decodingIndex] + ": " + reason;
    if (filling)
        glDeleteTextures(1, &filling);
    filling = 0;
    decoding.reset();
    openDecodingLevels = nullptr;
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
    if (finished && !decoding->succeeded(whyNot)) {
        refuseDecoding(whyNot);
        return false;
    }
    const ImageSize size = decoding->size();
    const bool fits = std::max(size.width, size.height) <= Picture::maxTextureSide();
    if (fits)
        uploadDecodedRows();
    if (!finished)
        return false;
    if (fits) {
        shown.reset();
        shown = std::make_unique<Picture>(filling, decodingSize, size);
        shownAt = int(decodingIndex);
        filling = 0;
        glBindTexture(GL_TEXTURE_2D, shown->texture());
    } else {
        // Too large for this GL: shrunk once more, whole.
        width = size.width;
        height = size.height;
        pixels = decoding->release();
        showPixels(decodingSize, int(decodingIndex));
    }
    shown->takeDepth(decodingSize, openDecodingLevels, fits ? decoding->pixels() : nullptr, detailWanted);
    decoding.reset();
    openDecodingLevels = nullptr;
    return true;
}

void TextureCatalogue::uploadDecodedRows()
{
    const ImageSize size = decoding->size();
    if (!filling) {
        filling = Picture::newTexture(size.width, size.height, nullptr);
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
    glBindTexture(GL_TEXTURE_2D, shown ? shown->texture() : 0);   // the picture shown stays bound
}

std::uint32_t TextureCatalogue::sizeLimit()
{
    const char* testLimit = std::getenv("CLV_TEXTURE_LIMIT");
    if (testLimit && std::atoi(testLimit) > 0)
        return std::min(shrunkPictureSide, static_cast<std::uint32_t>(std::atoi(testLimit)));
    return shrunkPictureSide;
}

void TextureCatalogue::showPixels(ImageSize size, int index)
{
    // A texture larger than the GL's limit would be dropped by glTexImage2D and the grid would show
    // blank, so such an image is shrunk to fit rather than uploaded as it is.
    if (!fitWithin(Picture::maxTextureSide()))
        exitTextureNotFound();
    shown.reset();   // the one texture object goes before the next is made
    shown = std::make_unique<Picture>(Picture::newTexture(width, height, pixels), size, ImageSize{width, height});
    shownAt = index;
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
