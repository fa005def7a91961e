// The levels of a picture's pyramid, whatever stands behind them: a file read through libvips, a
// folder of tiles, an MBTiles file or a Deep Zoom image. Level 0 is the picture's own pixels, each
// next one the last shrunk by about 2 in both directions. The clipmap asks for windows of them; a
// pyramid's coarse levels make the picture's shrunk copy.
#pragma once

#include "ImageShrink.h"

#include <cstdint>
#include <string>

// A rectangle of a level's pixels, counted from its bottom-left corner, as GL counts texels.
struct PixelArea {
    std::uint32_t x, y, width, height;
    bool operator==(const PixelArea& other) const
    {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};

class PictureLevels {
public:
    virtual ~PictureLevels() = default;

    virtual int count() const = 0;
    virtual ImageSize size(int level) const = 0;
    // Reads `area` of `level` into `bottomFirst`, 8-bit RGB, rows of area.width * 3 bytes packed,
    // the bottom row first. False, and why, if it cannot be read at all. A pyramid of tiles draws
    // a place it lacks from the finest coarser level that has it, and returns true; `damage` then
    // names a tile that could not be decoded, and why, if one could not. Any thread, several at
    // once.
    virtual bool read(int level, const PixelArea& area, unsigned char* bottomFirst, std::string& whyNot, std::string& damage) const = 0;
};
