#include "PngWriter.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

// libpng's errors come here instead of to standard error: the reason is kept for the caller.
void keepReason(png_structp png, png_const_charp message)
{
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

// libpng's own writing, but for the reason a write fails: the system's (a full disk, say).
void writeData(png_structp png, png_bytep data, std::size_t length)
{
    if (std::fwrite(data, 1, length, static_cast<std::FILE*>(png_get_io_ptr(png))) != length)
        png_error(png, std::strerror(errno));
}

void flushData(png_structp png)
{
    std::fflush(static_cast<std::FILE*>(png_get_io_ptr(png)));
}

// Every row uses the Up filter at the highest compression: for pictures like the viewer's that
// makes the smallest files, and Up is among the quickest filters to undo, so they decode in well
// under the time the adaptive filter choice would cost. An empty string, or libpng's reason.
std::string writeImage(std::FILE* file, std::uint32_t width, std::uint32_t height, const std::uint8_t* topFirstRgb)
{
    std::string reason = "out of memory";
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &reason, keepReason, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return reason;
    }
    png_set_write_fn(png, file, writeData, flushData);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (std::uint32_t row = 0; row < height; ++row)
        png_write_row(png, topFirstRgb + std::size_t(row) * width * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return "";
}

} // namespace

std::string writePng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint8_t* topFirstRgb)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return std::strerror(errno);
    const std::string failure = writeImage(file, width, height, topFirstRgb);
    // Data that did not fit on the disk may fail only now, when the last of it is flushed.
    if (std::fclose(file) != 0 && failure.empty())
        return std::strerror(errno);
    return failure;
}
