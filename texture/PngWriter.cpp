#include "PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

// Every row uses the Up filter at the highest compression: for pictures like the viewer's that
// makes the smallest files, and Up is among the quickest filters to undo, so they decode in well
// under the time the adaptive filter choice would cost.
bool writePng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint8_t* topFirstRgb)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (std::uint32_t row = 0; row < height; ++row)
        png_write_row(png, topFirstRgb + std::size_t(row) * width * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}
