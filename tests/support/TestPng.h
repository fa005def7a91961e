// Writing small PNG files of any colour type, depth and interlacing for the tests, with libpng's
// writer, so that a test can state the exact samples a file holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestPng {
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    int colorType = 2;          // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<std::uint8_t> rows;      // packed PNG rows, top row first, as the file stores them
    std::vector<std::uint8_t> palette;   // RGB triples, for palette images
    std::vector<std::uint8_t> paletteAlpha;   // a tRNS chunk for palette images, when not empty
};

// Writes the image to path; throws std::runtime_error if libpng refuses.
void writeTestPng(const std::string& path, const TestPng& image);

// An 8-bit RGB image from pixels given top row first.
TestPng rgbImage(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& topFirstRgb);

std::vector<std::uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
