// Shrinking an 8-bit RGB image by area averaging, for images larger than the GL can hold.
// Pure computation on plain buffers: no GL, no files.
#pragma once

#include <cstdint>

struct ImageSize {
    std::uint32_t width;
    std::uint32_t height;
};

// The largest size with the image's proportions whose sides are both at most limit (limit >= 1).
// An image that already fits keeps its size; no side becomes 0.
ImageSize sizeWithin(ImageSize size, std::uint32_t limit);

// Returns a new malloc'd buffer holding `from` (rows of from.width * 3 bytes, packed) averaged down
// to `to`, which must be no larger than `from` in either direction; nullptr if memory runs out.
// Every source pixel contributes to exactly one target pixel, so flat areas keep their colour.
unsigned char* shrinkImage(const unsigned char* pixels, ImageSize from, ImageSize to);
