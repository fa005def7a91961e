// Pictures of every common format, and of any size, read through libvips: the one place that turns
// a file given to the viewer into the 8-bit RGB pixels the GL takes, rows packed, bottom row first.
//
// Opening reads the header only. Decoding shrinks on load where the format can (JPEG's scaled
// decoding, a pyramidal TIFF's own levels, WebP's scaling), to the size sizeWithin gives for the
// limit, and then drops alpha, cuts 16-bit samples to their high byte, makes grey RGB, converts
// CMYK and other colour spaces to sRGB, and obeys the orientation tag. RGB gets no gamma or colour
// profile applied, as the PNG loader applies none.
// Only the loaders libvips trusts with files from anywhere are used: JPEG, PNG, WebP, TIFF, GIF and
// HEIF/AVIF. A damaged file fails, whether its header shows it or only its decode does, and
// whether libvips reports the damage as an error, a warning, or fewer rows.
// openFileLevels reads a picture's pyramid a window at a time, for pictures deeper than one
// texture; decodeTile decodes the tiles of pyramids kept as tiles.
// What it doesn't: pages or frames after the first (but a pyramidal TIFF's levels), or keep
// anything between decodes. libvips is started by the first open, and spills what it must decode
// whole to disk into a folder of the viewer's own, removed when the viewer ends; nothing else in
// the program sees its headers.
#pragma once

#include "PictureLevels.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

// A header that claims more pixels than this is refused before anything is decoded.
inline constexpr std::uint64_t maxPicturePixels = std::uint64_t(16) << 30;   // 16 gigapixels

// How a decode goes, shared between the thread that decodes and the ones that follow it.
struct DecodeProgress {
    std::atomic<std::uint32_t> rows{0};     // rows written so far, from the top, each whole once counted
    std::atomic<bool> cancelled{false};     // set, the decode stops soon and fails
};

class ImageSource {
public:
    // The picture in `path`, its header read; nothing, and why in whyNot, if libvips cannot read
    // it or its header claims more than maxPicturePixels. Call from one thread at a time.
    static std::unique_ptr<ImageSource> open(const std::string& path, std::string& whyNot);

    // Its size as shown: after its orientation tag.
    ImageSize size() const { return shown; }

    // The size a decode for `limit` gives: sizeWithin(size(), limit).
    ImageSize shrunkSize(std::uint32_t limit) const { return sizeWithin(shown, limit); }

    // Decodes the picture shrunk to `size`, a shrunkSize, into `bottomFirst`: 8-bit RGB, rows of
    // size.width * 3 bytes packed, the bottom row first. The rows come from the top down, counted
    // in progress as they are written. False and why if it cannot be decoded, or was cancelled.
    // Any thread may call it, one decode at a time for each progress.
    bool decode(ImageSize size, unsigned char* bottomFirst, std::string& whyNot, DecodeProgress& progress) const;

    const std::string& file() const { return path; }

private:
    ImageSource(std::string path, ImageSize shown, bool turned, std::set<std::string> headerWarnings)
        : path(std::move(path)), shown(shown), turned(turned), headerWarnings(std::move(headerWarnings))
    {
    }

    std::string path;
    ImageSize shown;
    bool turned;                              // its orientation tag turns or mirrors it
    std::set<std::string> headerWarnings;     // what libvips warned of as it read the header
};

// The levels of the picture in `source`, the first `count` of them: a pyramidal TIFF gives its own
// levels; any other picture is decoded whole once, libvips spilling it to disk, and shrunk window
// by window, each pixel of a level the mean of the four it covers. Nothing, and why, if libvips
// cannot open them.
std::unique_ptr<PictureLevels> openFileLevels(const ImageSource& source, int count, std::string& whyNot);

// A tile of a pyramid, decoded: 8-bit RGB, rows packed, the top row first; what is transparent in
// it lies on white, the colour around the picture.
struct TilePixels {
    ImageSize size{0, 0};
    std::vector<unsigned char> pixels;
};
// Decodes a tile from its file's bytes, with the loaders the viewer trusts; false and why if they
// are not a whole picture, or one wider or higher than `largest`, which is not decoded. Any thread.
bool decodeTile(const std::string& bytes, const ImageSize& largest, TilePixels& tile, std::string& whyNot);
// The largest tile a pyramid's tiles are taken to be at most, before their size is known.
constexpr ImageSize largestTile{4096, 4096};
