// Decoding a PNG file into the catalogue's pixel buffer with libpng.
//
// Every file form comes out as 8-bit RGB, bottom row first, so the buffer can go straight to
// glTexImage2D: alpha is dropped, 16-bit samples are cut to 8, grey and palette images are
// expanded, interlaced images are deinterlaced. No gamma or colour correction is applied.
// libpng reports its errors through a long jump back into loadPng, which skips destructors, so
// only plain resources are held past the recovery point and each is released explicitly.
#include "TextureCatalogue.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int signatureBytes = 8;

// Deflate cannot compress better than 1032 to 1, so a file smaller than its pixel data divided by
// that cannot hold the image its header claims. Refusing it up front keeps a damaged header from
// asking for gigabytes before the truncated data would fail the decode anyway.
constexpr std::uint64_t maxDeflateRatio = 1032;

std::uint64_t fileSize(std::FILE* file)
{
    const long position = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, position, SEEK_SET);
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

bool dataCanHoldImage(std::uint64_t size, png_uint_32 width, png_uint_32 height, int channels, int bitDepth)
{
    std::uint64_t bits = 0;
    if (__builtin_mul_overflow(std::uint64_t(width), std::uint64_t(height), &bits) ||
        __builtin_mul_overflow(bits, std::uint64_t(channels * bitDepth), &bits))
        return false;
    std::uint64_t capacity = 0;
    if (__builtin_mul_overflow(size, maxDeflateRatio, &capacity))
        return true;
    return bits / 8 <= capacity;
}

// Asks libpng for exactly 8-bit RGB, whatever the file holds.
void requestRgb8(png_structp png, png_infop info, int colorType, int bitDepth)
{
    if (colorType & PNG_COLOR_MASK_ALPHA)
        png_set_strip_alpha(png);
    if (bitDepth > 8)
        png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);

    // Palette expansion turns a transparency chunk into alpha; drop it again.
    if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_strip_alpha(png);
    // Grey of 1, 2 or 4 bits would otherwise stay packed below a byte per sample.
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    png_set_interlace_handling(png);
}

} // namespace

bool TextureCatalogue::failed(std::string reason)
{
    loadFailure = std::move(reason);
    return false;
}

bool TextureCatalogue::loadPng(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return failed(std::strerror(errno));

    unsigned char signature[signatureBytes];
    if (std::fread(signature, 1, signatureBytes, file) != signatureBytes || !png_check_sig(signature, signatureBytes)) {
        // A folder opens, but cannot be read.
        const std::string reason = std::ferror(file) ? std::strerror(errno) : "not a PNG file";
        std::fclose(file);
        return failed(reason);
    }

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        std::fclose(file);
        return failed("out of memory");
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(file);
        return failed("out of memory");
    }

    // Written after the recovery point and read after a jump back to it, hence volatile.
    unsigned char* volatile pixelBuffer = nullptr;
    png_bytep* volatile rowPointers = nullptr;

    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(pixelBuffer);
        std::free(rowPointers);
        std::fclose(file);
        return failed("not a PNG image libpng can read");
    }

    png_init_io(png, file);
    png_set_sig_bytes(png, signatureBytes);
    png_read_info(png, info);

    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);

    if (!dataCanHoldImage(fileSize(file), width, height, png_get_channels(png, info), bitDepth))
        png_error(png, "file too short for the image size in its header");
    requestRgb8(png, info, colorType, bitDepth);
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 3 || rowBytes != std::size_t(width) * 3)
        png_error(png, "image does not decode to 8-bit RGB");

    std::size_t bufferBytes = 0;
    if (!__builtin_mul_overflow(std::size_t(height), rowBytes, &bufferBytes))
        pixelBuffer = static_cast<unsigned char*>(std::malloc(bufferBytes));
    if (pixelBuffer)
        rowPointers = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!rowPointers) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(pixelBuffer);
        std::fclose(file);
        return failed("out of memory");
    }

    // libpng delivers the top row first; OpenGL wants the bottom row first.
    for (png_uint_32 i = 0; i < height; ++i)
        rowPointers[height - 1 - i] = pixelBuffer + i * rowBytes;
    png_read_image(png, rowPointers);

    std::free(rowPointers);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    pixels = pixelBuffer;
    return true;
}
