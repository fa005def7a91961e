// The four images the grid can wear, and the one OpenGL texture object that shows the chosen one.
//
// selectTexture reads and decodes the file again on every call (nothing is cached), shrinks the
// image if the GL cannot hold it at full size, and replaces the texture object, so exactly one
// exists after the first selection. A file that cannot be loaded ends the process with a message.
// Every GL call here needs the main window's context current; the callers see to that.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

class TextureCatalogue {
public:
    // Fills the file table; opens no file and creates no GL object.
    TextureCatalogue();

    // Makes image `index` (below fileNames.size()) the texture bound to GL_TEXTURE_2D, or ends
    // the process with "Texture file not found ... exiting" and status -1.
    void selectTexture(unsigned index);

    // Decodes a PNG file into width, height and pixels (8-bit RGB, bottom row first, rows packed).
    // On success the caller owns pixels and releases it with free(); on failure nothing is held.
    bool loadPng(const char* path);

    GLuint textureName = 0;            // 0 until the first selection
    unsigned char* pixels = nullptr;   // only between a load and its upload
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::string> fileNames;

private:
    // Shrinks pixels in place of the old buffer so neither side exceeds limit; false if memory runs out.
    bool fitWithin(std::uint32_t limit);
};
