#include "ImageShrink.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

ImageSize sizeWithin(ImageSize size, std::uint32_t limit)
{
    const std::uint64_t longer = std::max(size.width, size.height);
    if (longer <= limit)
        return size;
    // Rounded to nearest; 64-bit so that side * limit cannot overflow.
    auto scaled = [&](std::uint64_t side) {
        const std::uint64_t result = (side * limit + longer / 2) / longer;
        return static_cast<std::uint32_t>(std::max<std::uint64_t>(result, 1));
    };
    return {scaled(size.width), scaled(size.height)};
}

unsigned char* shrinkImage(const unsigned char* pixels, ImageSize from, ImageSize to)
{
    const std::size_t targetBytes = std::size_t(to.width) * to.height * 3;
    auto* target = static_cast<unsigned char*>(std::malloc(targetBytes));
    if (!target)
        return nullptr;

    // Target column x covers source columns [x * from / to, (x + 1) * from / to): a partition.
    std::vector<std::uint32_t> columnStart(to.width + 1);
    for (std::uint32_t x = 0; x <= to.width; ++x)
        columnStart[x] = static_cast<std::uint32_t>(std::uint64_t(x) * from.width / to.width);

    const std::size_t sourceRowBytes = std::size_t(from.width) * 3;
    for (std::uint32_t y = 0; y < to.height; ++y) {
        const auto rowBegin = static_cast<std::uint32_t>(std::uint64_t(y) * from.height / to.height);
        const auto rowEnd = static_cast<std::uint32_t>(std::uint64_t(y + 1) * from.height / to.height);
        for (std::uint32_t x = 0; x < to.width; ++x) {
            std::uint64_t sum[3] = {0, 0, 0};
            for (std::uint32_t sy = rowBegin; sy < rowEnd; ++sy) {
                const unsigned char* source = pixels + sy * sourceRowBytes + std::size_t(columnStart[x]) * 3;
                for (std::uint32_t sx = columnStart[x]; sx < columnStart[x + 1]; ++sx, source += 3) {
                    sum[0] += source[0];
                    sum[1] += source[1];
                    sum[2] += source[2];
                }
            }
            const std::uint64_t count = std::uint64_t(rowEnd - rowBegin) * (columnStart[x + 1] - columnStart[x]);
            unsigned char* out = target + (std::size_t(y) * to.width + x) * 3;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<unsigned char>((sum[c] + count / 2) / count);
        }
    }
    return target;
}
