#include "TestPng.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

void writeTestPng(const std::string& path, const TestPng& image)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw std::runtime_error("cannot create " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        throw std::runtime_error("libpng could not write " + path);
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colorType,
                 image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!image.palette.empty()) {
        std::vector<png_color> colours;
        for (std::size_t i = 0; i + 2 < image.palette.size(); i += 3)
            colours.push_back({image.palette[i], image.palette[i + 1], image.palette[i + 2]});
        png_set_PLTE(png, info, colours.data(), int(colours.size()));
    }
    if (!image.paletteAlpha.empty())
        png_set_tRNS(png, info, image.paletteAlpha.data(), int(image.paletteAlpha.size()), nullptr);
    png_write_info(png, info);

    const std::size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rowPointers;
    for (std::uint32_t r = 0; r < image.height; ++r)
        rowPointers.push_back(const_cast<png_bytep>(image.rows.data() + r * rowBytes));
    png_write_image(png, rowPointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

TestPng rgbImage(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& topFirstRgb)
{
    TestPng image;
    image.width = width;
    image.height = height;
    image.rows = topFirstRgb;
    return image;
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
