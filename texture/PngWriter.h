// Writing an 8-bit RGB image to a PNG file with libpng: the texture images the build draws, and
// any other picture the program keeps. No alpha, no gamma or colour chunks.
#pragma once

#include <cstdint>
#include <string>

// Writes width x height pixels, rows packed from the top row down, three bytes (red, green, blue)
// a pixel. Returns an empty string, or why the file could not be written (the system's reason, or
// libpng's); a file that was begun is left as it is.
std::string writePng(const std::string& path, std::uint32_t width, std::uint32_t height, const std::uint8_t* topFirstRgb);
